#pragma once
// The rules a qualified invoice (適格請求書) is checked and computed by: the registration
// number, the withholding on an individual's fees, the due date, the bank account.

#include "values/Money.h"

#include <QDate>
#include <QString>
#include <optional>

namespace invoicerules {

enum class Registration { Valid, Empty, BadForm, BadCheckDigit };
// "T" and 13 digits (full-width and spaces forgiven). A company's number carries a check digit
// in front: 9 − (Σ Pn×Qn mod 9) over the other twelve counted from the right, Qn 1 for odd n
// and 2 for even n. An individual's may not: a failed check is a warning to the caller.
Registration checkRegistration(const QString &text);
// The number as printed: "T" and the 13 digits; empty when the form is wrong.
QString normalisedRegistration(const QString &text);

// 源泉徴収 on fees: 10.21 % up to ¥1,000,000 and 20.42 % of the excess, fractions dropped.
Money withholdingOn(Money base);

// A rule for the due date: "月末締め翌月末払い" (the end of the month after the delivery's),
// "月末締め翌々月末払い", "N日" (N days after) or empty (none proposed).
std::optional<QDate> dueDateBy(const QString &rule, const QDate &delivered);
// The longest a smaller supplier's payment may wait after delivery.
constexpr int kLongestWaitDays = 60;

// Seven digits exactly; the name in katakana (full or half width), spaces and the signs banks
// allow. Empty: nothing typed, no account.
bool validAccountNumber(const QString &text);
bool validAccountName(const QString &text);

} // namespace invoicerules
