#pragma once
// The fields the later kinds have beyond the estimate's: the delivery date, the invoice's due
// date and withholding, a note, the documents each was made from, and whether its tax rules
// are today's.

#include "estimate/EstimateStore.h"

#include <QWidget>
#include <functional>

class DateBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class DocumentPanel : public QWidget {
public:
    DocumentPanel(DocKind kind, QWidget *parent = nullptr);

    void show(const Estimate &e);
    // The panel's fields into e; the withholding from the totals on screen.
    void fill(Estimate &e, const Totals &totals) const;
    void clear();
    void forgetSources();
    // Proposes the customer's due date and withholding while they are still untouched.
    void customerChosen(const CustomerInvoiceRule &rule);
    // What this document was converted into, as the page shows it ("変換済: 請求書 No.3").
    void setConverted(const QString &text);
    // The stored rules differ from today's settings: said, with a button that takes today's.
    void setRulesNotice(const QString &text);
    std::function<void()> takeTodaysRules;
    // What a new invoice's note proposes (the settings' default).
    std::function<QString()> defaultNote;

    // Refuses what a document of this kind cannot hold: a message naming the field, or empty.
    QString refusal(const Estimate &e) const;
    // What to ask before storing (a due date past the longest wait), or empty.
    QString question(const Estimate &e) const;

    DateBox *tradeDate = nullptr, *dueDate = nullptr;
    QCheckBox *withholding = nullptr;
    QLineEdit *note = nullptr;
    QLabel *sources = nullptr, *converted = nullptr, *rulesNotice = nullptr;
    QLabel *payment = nullptr; // an invoice's: 未入金, 一部入金 (残額), 入金済, 期限超過
    QLabel *closing = nullptr; // a monthly invoice's period and balance
    QPushButton *todaysRules = nullptr;

private:
    void addInvoiceFields(class QGridLayout *grid);
    void addNote(QGridLayout *grid);
    void proposeDue(const QDate &delivered);
    DocKind m_kind;
    bool m_proposing = false;
    QVector<DocLink> m_sources;
    Estimate m_closing; // the period and balance block a monthly invoice carries
    void showClosing();
    bool m_dueTouched = false, m_withholdingTouched = false;
    QString m_dueRule;
};

// "見積書 No.3 より", "納品書 No.4, No.5 より": the sources as the page and the sheet name them.
QString sourcesCaption(const QVector<DocLink> &sources);
