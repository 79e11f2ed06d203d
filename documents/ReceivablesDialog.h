#pragma once
// 売掛 (F5): what each customer still owes and in total, by status and due month, with a CSV
// of the open invoices for the accountant.

#include "documents/PaymentStore.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

class ReceivablesDialog : public QDialog {
    Q_OBJECT
public:
    ReceivablesDialog(Db &main, QWidget *parent = nullptr, const QDate &today = QDate::currentDate());

    QLineEdit *customer = nullptr;
    QComboBox *status = nullptr, *dueMonth = nullptr;
    QTableWidget *customers = nullptr, *invoices = nullptr;
    QLabel *total = nullptr;

    void refresh();
    ReceivablesFilter filter() const;
    // The invoices listed: the first kShownRows of those that match.
    const QVector<InvoiceBalance> &shown() const { return m_page.invoices; }
    const ReceivablesPage &page() const { return m_page; }
    // One row per invoice that matches, UTF-8 with BOM; false when it could not be written (said).
    bool exportCsv(const QString &path);

private:
    void showCustomers();
    PaymentStore m_store;
    QDate m_today;
    ReceivablesPage m_page;
};

// Shows the view until it closes. Replaceable so tests run without a human.
using ReceivablesRunner = std::function<void(ReceivablesDialog &)>;
ReceivablesRunner setReceivablesRunner(ReceivablesRunner runner);
void runReceivables(ReceivablesDialog &dialog);
