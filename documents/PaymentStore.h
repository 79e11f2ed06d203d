#pragma once
// Payments against invoices as plain values: what each invoice of a customer still owes, a
// payment spread over several of them, what is owed in total. Payments are rows of their own:
// an invoice's stored figures never change. No widgets here.

#include "store/Db.h"
#include "values/Receivables.h"

#include <QDate>
#include <QVector>
#include <utility>

struct InvoiceBalance {
    int number = 0;
    QString customer;
    QDate date, due;
    Money billed;   // the total, less what is withheld
    Money settled;  // payments and the fees kept back
    Money credited; // the credit notes made from it: negative, or zero
    Money owed() const { return billed + credited; }
    Money open() const { return owed() - settled; }
    PayStatus status(const QDate &today) const { return payStatus(owed(), settled, due, today); }
};

struct Payment {
    QDate date;
    QString customer;
    Money fee; // what the payer kept back for the transfer
    QString memo;
    QVector<std::pair<int, Money>> allocations; // invoice number, amount
    Money amount() const;
};

struct ReceivablesFilter {
    QString customer;                // any part of the name; empty: all
    std::optional<PayStatus> status; // unset: every open invoice (and only open ones)
    QDate dueMonth;                  // any day of the month; invalid: any
};

// One customer's line of the 売掛 view: what is open, what of it is overdue, the oldest due date.
struct CustomerOwed {
    QString customer;
    Money open, overdue;
    QDate oldestDue;
    int invoices = 0;
};

// What the 売掛 view shows: the first invoices (oldest due first) and customers (by name), and
// the count and sums of every one that matches.
struct ReceivablesPage {
    QVector<InvoiceBalance> invoices;
    QVector<CustomerOwed> customers;
    int count = 0;
    Money open, overdue;
};

class PaymentStore {
public:
    explicit PaymentStore(Db &main) : m_db(main) {}
    // The customer's invoices, oldest first; only those still open unless all.
    DbResult invoices(const QString &customer, QVector<InvoiceBalance> &out, bool all = false);
    DbResult balance(int invoice, InvoiceBalance &out, bool &found);
    // All of it or nothing, under the next payment number (*number).
    DbResult record(const Payment &p, int *number = nullptr);
    // Each invoice that matches, oldest due first.
    DbResult receivables(const ReceivablesFilter &filter, const QDate &today, QVector<InvoiceBalance> &out);
    // The first limit of them and of their customers, with the totals of all; read from what the
    // engine keeps per invoice (売掛残), so it does not grow with the payments.
    DbResult receivablesPage(const ReceivablesFilter &filter, const QDate &today, int limit, ReceivablesPage &out);
    // One recorded payment, its rows in order.
    DbResult payment(int number, Payment &out, bool &found);
    // The latest payment that settled some of invoice; 0 for none.
    DbResult latestPaymentFor(int invoice, int &number);
    // What the customer paid (fees kept back included) on the days after..to.
    DbResult receivedBetween(const QString &customer, const QDate &after, const QDate &to, Money &out);
    // The credit notes of the customer dated after..to, in total (negative).
    DbResult creditedBetween(const QString &customer, const QDate &after, const QDate &to, Money &out);
    // What to ask before recording: amounts of 0, above what is open, dated before an invoice.
    QStringList questions(const Payment &p);

private:
    DbResult select(const QString &where, const QVariantList &binds, QVector<InvoiceBalance> &out);
    DbResult owedRows(const ReceivablesFilter &filter, const QDate &today, int limit, QVector<InvoiceBalance> &out,
                      const QStringList *customers = nullptr);
    DbResult owedTotals(const ReceivablesFilter &filter, const QDate &today, ReceivablesPage &out);
    QString owedWhere(const ReceivablesFilter &filter, const QDate &today, QVariantList &binds, bool sums = false) const;
    Db &m_db;
};
