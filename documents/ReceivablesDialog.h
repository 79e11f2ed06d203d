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
    const QVector<InvoiceBalance> &shown() const { return m_rows; }
    // One row per open invoice shown, UTF-8 with BOM; false when it could not be written (said).
    bool exportCsv(const QString &path);

private:
    void showCustomers();
    PaymentStore m_store;
    QDate m_today;
    QVector<InvoiceBalance> m_rows;
};

// Shows the view until it closes. Replaceable so tests run without a human.
using ReceivablesRunner = std::function<void(ReceivablesDialog &)>;
ReceivablesRunner setReceivablesRunner(ReceivablesRunner runner);
void runReceivables(ReceivablesDialog &dialog);

// The rows of the per-customer table: open, overdue, the oldest due date, by customer.
struct CustomerOwed {
    QString customer;
    Money open, overdue;
    QDate oldestDue;
    int invoices = 0;
};
QVector<CustomerOwed> owedByCustomer(const QVector<InvoiceBalance> &rows, const QDate &today);
