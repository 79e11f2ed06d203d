#pragma once
// The settings tab's transfer accounts: two accounts and the note a new invoice proposes,
// checked as they are typed and stored on their own.

#include "masters/BankStore.h"

#include <QGroupBox>

class QComboBox;
class QLineEdit;
struct QuoteDeskContext;

class BankPanel : public QGroupBox {
public:
    BankPanel(QuoteDeskContext &ctx, QWidget *parent = nullptr);
    void load();
    // Refuses what an invoice could not print; true when stored.
    bool store();
    BankSettings shown() const;

private:
    struct Fields {
        QLineEdit *bank, *branch, *number, *holder;
        QComboBox *type;
    };
    Fields addAccount(class QGridLayout *grid, int row, const QString &suffix);
    void checkTyped(QLineEdit *box);
    QuoteDeskContext &m_ctx;
    Fields m_first{}, m_second{};
    QLineEdit *m_note = nullptr;
};
