#include "estimate/Totals.h"

Totals computeTotals(Money total, Money htotal, const QString &taxMode)
{
    Totals t;
    t.net = total;
    if (total.isZero())
        return t;
    const QString round = QStringLiteral("四捨五入");
    if (taxMode == QStringLiteral("外税")) {
        const Money tax = RoundAmount(htotal.toDouble() * kTaxRate, round);
        t.tax = tax;
        t.grand = total + tax;
    } else if (taxMode == QStringLiteral("内税")) {
        // Net held as currency (four decimals) before the tax is taken from it.
        const Money net = Money::fromDouble(htotal.toDouble() / (1.0 + kTaxRate)).value_or(Money());
        const Money tax = RoundAmount((htotal - net).toDouble(), round);
        t.tax = tax;
        t.net = htotal - tax;
        t.grand = total;
    } else {
        t.grand = total;
    }
    return t;
}
