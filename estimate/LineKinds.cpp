// What a document's rows add up to once some of them are headings, subtotals, discounts or notes.
#include "estimate/EstimateStore.h"

namespace {

void addTo(TaxableSums &t, const EstimateLine &l, Money amount)
{
    if (l.exempt) {
        t.exempt += amount;
        ++t.exemptLines;
    } else if (l.reduced) {
        t.reduced += amount;
        ++t.reducedLines;
    } else {
        t.standard += amount;
        ++t.standardLines;
    }
}

} // namespace

void sumLines(const QVector<EstimateLine> &lines, Money &total, TaxableSums &taxable)
{
    total = Money();
    taxable = TaxableSums();
    Money split;
    for (const EstimateLine &l : lines) {
        if (!l.amount || !countsInTotals(l.kind))
            continue;
        const Money amount = *l.amount; // a discount as stored: negative, positive on a credit note that returns it
        total += amount;
        if (l.kind == RowKind::SplitDiscount)
            split += amount;
        else
            addTo(taxable, l, amount);
    }
    if (split.isZero())
        return;
    // In proportion to the items of each rate, not to what other discounts left of them.
    TaxableSums items;
    for (const EstimateLine &l : lines)
        if (l.amount && l.kind == RowKind::Item)
            addTo(items, l, *l.amount);
    const QVector<Money> shares = shareInProportion(split, {items.standard, items.reduced, items.exempt});
    taxable.standard += shares[0];
    taxable.reduced += shares[1];
    taxable.exempt += shares[2];
    // A rate the discount reaches is a rate the document is taxed at.
    taxable.standardLines += !shares[0].isZero() && taxable.standardLines == 0;
    taxable.reducedLines += !shares[1].isZero() && taxable.reducedLines == 0;
    taxable.exemptLines += !shares[2].isZero() && taxable.exemptLines == 0;
}

QVector<std::optional<Money>> subtotalsOf(const QVector<EstimateLine> &lines)
{
    QVector<std::optional<Money>> out(lines.size());
    Money running;
    for (int i = 0; i < lines.size(); ++i) {
        switch (lines[i].kind) {
        case RowKind::Item:
            running += lines[i].amount.value_or(Money());
            break;
        case RowKind::Heading:
            running = Money();
            break;
        case RowKind::Subtotal:
            out[i] = running;
            running = Money();
            break;
        default:
            break;
        }
    }
    return out;
}

void settleRowKinds(QVector<EstimateLine> &lines)
{
    const QVector<std::optional<Money>> subtotals = subtotalsOf(lines);
    for (int i = 0; i < lines.size(); ++i) {
        EstimateLine &l = lines[i];
        if (l.kind == RowKind::Subtotal) {
            l.amount = subtotals[i];
            l.quantity.reset();
            l.price.reset();
        } else if (isTextRow(l.kind)) {
            l.quantity.reset();
            l.price.reset();
            l.amount.reset();
        }
    }
}
