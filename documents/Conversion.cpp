#include "documents/Conversion.h"

namespace {

const QString kConversionDay = QStringLiteral("yyyy/MM/dd");

// The header of the first source, the lines of all in order.
void takeHeader(Estimate &doc, const Estimate &source)
{
    doc.customerName = source.customerName;
    doc.customerInfo = source.customerInfo;
    doc.subject = source.subject;
    doc.honorific = source.honorific;
    doc.paymentTerms = source.paymentTerms;
    doc.deliveryPlace = source.deliveryPlace;
    doc.taxMode = source.taxMode;
    doc.taxRate = source.taxRate;
    doc.rounding = source.rounding;
}

bool sameRules(const Estimate &a, const Estimate &b)
{
    return a.taxMode == b.taxMode && a.taxRate == b.taxRate && a.rounding == b.rounding;
}

// A 納品書's own date of delivery: its 納品日, or its date.
QString deliveredOn(const Estimate &s)
{
    return s.tradeDate.isEmpty() && s.date.isValid() ? s.date.toString(kConversionDay) : s.tradeDate;
}

// A line returned in full: the quantity goes back, so the amount is negative at the same price.
void negate(EstimateLine &l)
{
    if (l.quantity)
        l.quantity = -*l.quantity;
    else if (l.price)
        l.price = -*l.price;
    if (l.amount)
        l.amount = -*l.amount;
}

} // namespace

// One source into the new document: its header when it is the first, its lines, its link;
// false (with the refusal set) when it cannot join the others.
static bool addSource(Conversion &out, DocKind kind, int number, const Estimate &s, DocKind target)
{
    Estimate &doc = out.document;
    const QString label = kindNames(kind).label;
    if (doc.sources.isEmpty()) {
        takeHeader(doc, s);
    } else if (s.customerName != doc.customerName) {
        out.refusal = QStringLiteral("%1 No.%2 は顧客が違います（%3）。一つの請求書には同じ顧客の%1だけをまとめられます。")
                          .arg(label).arg(number).arg(s.customerName);
        return false;
    } else if (!sameRules(s, doc)) {
        out.refusal = QStringLiteral("%1 No.%2 は税の設定が違うため、一つの請求書にまとめられません。").arg(label).arg(number);
        return false;
    }
    const bool delivery = kind == DocKind::Delivery;
    doc.sources << DocLink{kind, number, delivery ? deliveredOn(s) : s.date.toString(kConversionDay)};
    if (delivery)
        doc.tradeDate = deliveredOn(s); // the latest delivery of those billed
    // A credit note goes back to the invoice's transaction, and returns what it billed.
    const bool credit = target == DocKind::Credit;
    if (credit)
        doc.tradeDate = s.tradeDate.isEmpty() && s.date.isValid() ? s.date.toString(kConversionDay) : s.tradeDate;
    for (EstimateLine l : s.lines) {
        l.deliveryNumber = delivery ? number : l.deliveryNumber;
        if (credit)
            negate(l);
        doc.lines << l;
    }
    return true;
}

DbResult convertDocuments(QuoteDeskContext &ctx, DocKind kind, const QVector<int> &numbers, DocKind target,
                          Conversion &out)
{
    out = {};
    Estimate &doc = out.document;
    doc.kind = target;
    doc.date = QDate::currentDate();
    doc.tradeDate = doc.date.toString(kConversionDay);
    EstimateStore sources(ctx, kind);
    for (int number : numbers) {
        Estimate s;
        bool found = false;
        if (DbResult r = sources.load(number, s, found); !r)
            return r;
        if (!found) {
            out.refusal = QStringLiteral("%1 No.%2 は登録されていません（他の端末で削除された可能性があります）。")
                              .arg(kindNames(kind).label).arg(number);
            return {};
        }
        if (!addSource(out, kind, number, s, target))
            return {};
        QVector<DocLink> made;
        if (DbResult r = sources.convertedInto(number, made); !r)
            return r;
        for (const DocLink &m : made)
            if (m.kind == target)
                out.alreadyMade << m;
    }
    // Each 納品書 of several prints its own heading line on the sheet.
    const bool grouped = kind == DocKind::Delivery && numbers.size() > 1;
    const int rows = int(doc.lines.size()) + (grouped ? int(numbers.size()) : 0);
    if (rows > kMaxRows)
        out.refusal = QStringLiteral("明細が %1 行になり、%2 行を超えるため一つの%3にできません。分けて作成してください。")
                          .arg(rows).arg(kMaxRows).arg(kindNames(target).label);
    return {};
}
