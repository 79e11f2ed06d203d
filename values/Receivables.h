#pragma once
// What is owed on an invoice and what a receipt costs in stamp duty, as plain values.

#include "values/Money.h"

#include <QDate>
#include <QString>
#include <QVector>

enum class PayStatus { Unpaid, Partial, Paid, Overdue };

// 未入金, 一部入金, 入金済, 期限超過.
QString payStatusLabel(PayStatus s);

// What is billed (what the customer is to pay), what settled it so far, the due date (invalid:
// none): not wholly settled past its due date is overdue.
PayStatus payStatus(Money billed, Money settled, const QDate &due, const QDate &today);

// An amount spread over what is open on several invoices, the first (the oldest) first; what
// is left over stays unallocated.
QVector<Money> splitOldestFirst(Money amount, const QVector<Money> &open);

// 印紙税 on a paper receipt for sales (売上代金の受取書) of amount: none under ¥50,000, then by band.
Money stampDuty(Money amount);
