#pragma once
// A customer's monthly invoice (締め請求): the closing day, the period it closes, and the balance
// carried from the month before. Plain values.

#include "values/Money.h"

#include <QDate>
#include <QString>
#include <optional>

// 締日: 末日 (0) or the 5th, 10th, 15th, 20th or 25th; -1 for none (empty); nullopt when the
// text is none of these.
std::optional<int> closingDayOf(const QString &text);
QString closingDayText(int day);

struct ClosingPeriod {
    QDate from, to; // both included
};
// The period that closes in month (any day of it) on day.
ClosingPeriod closingPeriod(int day, const QDate &month);

// The balance block: what the last monthly invoice asked, what came in since, what is carried
// (no new tax on it), and with this period's purchases what is asked now.
struct ClosingBalance {
    Money previous, received;
    Money credited; // credit notes since: negative, or zero
    Money carried() const { return previous - received + credited; }
    Money billed(Money current) const { return carried() + current; }
};
