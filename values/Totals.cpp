#include "values/Totals.h"

Money roundYen(qint64 num, qint64 den, const QString &rounding)
{
    const qint64 sign = num < 0 ? -1 : 1;
    const qint64 a = num < 0 ? -num : num;
    qint64 q = a / den;
    const qint64 rest = a % den;
    if (rounding == QStringLiteral("切上げ"))
        q += rest != 0;
    else if (rounding != QStringLiteral("切捨て"))
        q += 2 * rest >= den; // half away from zero
    return Money::fromYen(sign * q);
}

QString TaxRules::lineRounding() const
{
    if (isFirstRules() || rounding == QStringLiteral("切上げ"))
        return QString(); // rounds up
    return rounding == QStringLiteral("切捨て") ? QStringLiteral("切り捨て") : QStringLiteral("四捨五入");
}

static Money taxOf(Money base, int rate, const TaxRules &rules)
{
    // Amounts are ten-thousandths of a yen; rates are whole percents: all of it in integers.
    const qint64 den = (rules.mode == QStringLiteral("内税") ? 100 + rate : 100) * Money::kScale;
    return roundYen(base.raw() * rate, den, rules.rounding);
}

Totals computeTotals(Money total, const TaxableSums &taxable, const TaxRules &rules)
{
    Totals t;
    t.net = total;
    if (total.isZero())
        return t;
    const bool outside = rules.mode == QStringLiteral("外税"), inside = rules.mode == QStringLiteral("内税");
    if (!outside && !inside) {
        t.grand = total;
        t.exempt = total; // no line carries tax
        return t;
    }
    if (taxable.exemptLines > 0)
        t.exempt = taxable.exempt;
    // Lines of the same rate form one group, whichever kind they are.
    struct Group { int rate; bool reduced; Money base; int lines; };
    QVector<Group> groups{{rules.rate, false, taxable.standard, taxable.standardLines}};
    if (kReducedRate == rules.rate) {
        groups[0].base = groups[0].base + taxable.reduced;
        groups[0].lines += taxable.reducedLines;
        groups[0].reduced = taxable.reducedLines > 0;
    } else {
        groups.push_back({kReducedRate, true, taxable.reduced, taxable.reducedLines});
    }
    Money tax;
    int used = 0;
    for (const Group &g : groups) {
        const Money groupTax = taxOf(g.base, g.rate, rules);
        tax = tax + groupTax;
        if (g.lines > 0) {
            ++used;
            t.rates.push_back({g.rate, g.reduced, g.base, groupTax});
        }
    }
    t.used = t.rates;
    if (used < 2)
        t.rates.clear();
    t.tax = tax;
    if (outside) {
        t.grand = total + tax;
    } else {
        // Today's 税抜計 is all of it before tax, so that 税抜計 + 消費税 = 合計.
        t.net = rules.isFirstRules() ? taxable.standard + taxable.reduced - tax : total - tax;
        t.grand = total;
    }
    return t;
}
