#pragma once
// 入金: one payment of a customer, spread over the open invoices (the oldest first proposed),
// checked and recorded as one.

#include "documents/PaymentStore.h"
#include "store/Context.h"

#include <QDialog>
#include <functional>

class DateBox;
class QLineEdit;
class QTableWidget;

class PaymentDialog : public QDialog {
    Q_OBJECT
public:
    // For the customer of invoice (its open invoices listed, the oldest first).
    PaymentDialog(QuoteDeskContext &ctx, const QString &customer, QWidget *parent = nullptr);

    DateBox *date = nullptr;
    QLineEdit *amount = nullptr, *fee = nullptr, *memo = nullptr;
    QTableWidget *invoices = nullptr;
    // The payment as the dialog shows it; the amounts typed in the table, or proposed.
    Payment payment() const;
    // Asks what the store says to ask, then records; true when recorded (the dialog closes).
    bool recordShown();
    int recorded() const { return m_number; }

private:
    void propose();
    QuoteDeskContext &m_ctx;
    PaymentStore m_store;
    QString m_customer;
    QVector<InvoiceBalance> m_open;
    int m_number = 0;
};

// Shows the dialog until it closes. Replaceable so tests run without a human.
using PaymentRunner = std::function<void(PaymentDialog &)>;
PaymentRunner setPaymentRunner(PaymentRunner runner);
void runPayment(PaymentDialog &dialog);
