#include "documents/Receipts.h"

#include "documents/PaymentStore.h"

namespace {

const QString kReceiptDay = QStringLiteral("yyyy/MM/dd");

// The invoice's amounts per rate as the customer pays them: tax included.
QVector<RateShare> ratesOf(const Estimate &invoice)
{
    Money total;
    TaxableSums taxable;
    sumLines(invoice.lines, total, taxable);
    const TaxRules rules{invoice.taxMode, invoice.taxRate > 0 ? invoice.taxRate : 5,
                         invoice.rounding.isEmpty() ? QStringLiteral("四捨五入") : invoice.rounding};
    const Totals t = computeTotals(total, taxable, rules);
    const bool outside = rules.mode == QStringLiteral("外税");
    QVector<RateShare> out;
    if (rules.mode != QStringLiteral("外税") && rules.mode != QStringLiteral("内税")) {
        out << RateShare{0, false, true, total};
        return out;
    }
    for (const RateTotal &r : t.used)
        out << RateShare{r.rate, r.reduced, false, outside ? r.base + r.tax : r.base};
    if (t.exempt && !t.exempt->isZero())
        out << RateShare{0, false, true, *t.exempt};
    return out;
}

QString shareName(const RateShare &s)
{
    if (s.exempt)
        return QStringLiteral("お品代（非課税）");
    return QStringLiteral("お品代（%1%対象）").arg(s.rate);
}

} // namespace

QString receiptNote(int payment) { return QStringLiteral("入金 No.%1").arg(payment); }

QVector<RateShare> sharesOf(const Estimate &invoice, Money received)
{
    QVector<RateShare> out = ratesOf(invoice);
    Money whole;
    for (const RateShare &s : out)
        whole += s.amount;
    if (out.isEmpty() || whole.isZero())
        return {RateShare{invoice.taxRate, false, false, received}};
    // Each share in whole yen, rounded down; what is left goes to the largest, so none is lost.
    Money given;
    int largest = 0;
    for (int i = 0; i < out.size(); ++i) {
        const qint64 yen = qint64((__int128(out[i].amount.raw()) * received.raw()) / whole.raw() / Money::kScale);
        if (out[i].amount > out[largest].amount)
            largest = i;
        out[i].amount = Money::fromYen(yen);
        given += out[i].amount;
    }
    out[largest].amount += received - given;
    return out;
}

static void addShares(Estimate &doc, const QVector<RateShare> &shares)
{
    for (const RateShare &s : shares) {
        auto same = std::find_if(doc.lines.begin(), doc.lines.end(), [&](const EstimateLine &l) { return l.name == shareName(s); });
        if (same == doc.lines.end()) {
            doc.lines << EstimateLine{shareName(s), 1.0, QVariant(), s.amount, s.amount, s.exempt, s.reduced};
            continue;
        }
        same->price = *same->price + s.amount;
        same->amount = same->price;
    }
}

DbResult receiptForPayment(QuoteDeskContext &ctx, int payment, Conversion &out)
{
    out = {};
    Payment p;
    bool found = false;
    if (DbResult r = PaymentStore(ctx.main).payment(payment, p, found); !r || !found) {
        if (r)
            out.refusal = QStringLiteral("入金 No.%1 は記録されていません。").arg(payment);
        return r;
    }
    Estimate &doc = out.document;
    doc.kind = DocKind::Receipt;
    doc.date = QDate::currentDate();
    doc.tradeDate = p.date.toString(kReceiptDay);
    doc.customerName = p.customer;
    doc.note = receiptNote(payment);
    doc.paymentTerms = QStringLiteral("振込");
    EstimateStore invoices(ctx, DocKind::Invoice);
    for (const auto &[number, amount] : p.allocations) {
        Estimate inv;
        if (DbResult r = invoices.load(number, inv, found); !r)
            return r;
        if (!found) {
            out.refusal = QStringLiteral("請求書 No.%1 は登録されていません（他の端末で削除された可能性があります）。").arg(number);
            return {};
        }
        if (doc.sources.isEmpty()) {
            doc.customerInfo = inv.customerInfo;
            doc.honorific = inv.honorific;
            doc.taxRate = inv.taxRate;
            doc.rounding = inv.rounding;
            doc.subject = inv.subject.isEmpty() ? QStringLiteral("お品代として")
                          : inv.subject.endsWith(QStringLiteral("として")) ? inv.subject
                                                                          : inv.subject + QStringLiteral("代として");
        }
        doc.sources << DocLink{DocKind::Invoice, number, inv.date.toString(kReceiptDay)};
        addShares(doc, sharesOf(inv, amount));
    }
    // The amounts it received contain their tax.
    doc.taxMode = QStringLiteral("内税");
    return EstimateStore(ctx, DocKind::Receipt).receiptsNamed(doc.note, out.alreadyMade);
}
