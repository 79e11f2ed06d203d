#include "print/SheetKinds.h"

#include "values/Closing.h"
#include "values/Receivables.h"

namespace sheetkinds {

QString title(const PrintRecord &r)
{
    switch (r.kind) {
    case DocKind::Delivery: return QStringLiteral("納品書");
    case DocKind::Invoice: return QStringLiteral("請求書");
    case DocKind::Credit: return QStringLiteral("返還請求書");
    case DocKind::Receipt: return QStringLiteral("領収書");
    default: return QStringLiteral("お見積書");
    }
}

QString dateCaption(const PrintRecord &r)
{
    switch (r.kind) {
    case DocKind::Invoice: return QStringLiteral("請求日");
    case DocKind::Credit: return QStringLiteral("返還日");
    case DocKind::Receipt: return QStringLiteral("発行日");
    default: return QStringLiteral("日付");
    }
}

QString amountCaption(const PrintRecord &r)
{
    switch (r.kind) {
    case DocKind::Delivery: return QStringLiteral("納品金額");
    case DocKind::Invoice:
        if (!r.periodTo.isEmpty())
            return QStringLiteral("今回御請求額");
        return r.withheld ? QStringLiteral("差引ご請求額") : QStringLiteral("ご請求金額");
    case DocKind::Credit: return QStringLiteral("返還金額");
    case DocKind::Receipt: return QStringLiteral("受領金額");
    default: return QStringLiteral("お見積金額");
    }
}

QString caption(const PrintRecord &r, int slot)
{
    static const char *const estimate[] = {"有効期限", "受渡場所", "支払条件", "納　　　期"};
    static const char *const delivery[] = {"納品日", "納品場所", "支払条件", "元伝票"};
    static const char *const invoice[] = {"お支払期限", "取引年月日", "振込先", "元伝票"};
    static const char *const credit[] = {"返還理由", "元の取引日", "支払条件", "元請求書"};
    static const char *const receipt[] = {"入金日", "支払方法", "備　　考", "請求書"};
    switch (r.kind) {
    case DocKind::Delivery: return QString::fromUtf8(delivery[slot]);
    case DocKind::Invoice: return QString::fromUtf8(invoice[slot]);
    case DocKind::Credit: return QString::fromUtf8(credit[slot]);
    case DocKind::Receipt: return QString::fromUtf8(receipt[slot]);
    default: return QString::fromUtf8(estimate[slot]);
    }
}

QString value(const PrintRecord &r, int slot)
{
    switch (r.kind) {
    case DocKind::Delivery: return QStringList{r.tradeDate, r.deliveryPlace, r.paymentTerms, r.sources}[slot];
    case DocKind::Invoice: return QStringList{r.dueDate, r.tradeDate, r.bank, r.sources}[slot];
    case DocKind::Credit: return QStringList{r.note, r.tradeDate, r.paymentTerms, r.sources}[slot];
    case DocKind::Receipt: return QStringList{r.tradeDate, r.paymentTerms, r.note, r.sources}[slot];
    default: return QStringList{r.validity, r.deliveryPlace, r.paymentTerms, r.deliveryDate}[slot];
    }
}

QString subjectCaption(const PrintRecord &r)
{
    return r.kind == DocKind::Receipt ? QStringLiteral("但　し　書") : QStringLiteral("件　　　名");
}

std::optional<Money> stampDue(const PrintRecord &r)
{
    if (r.kind != DocKind::Receipt || !r.paper || r.paymentTerms.contains(QStringLiteral("カード")))
        return std::nullopt;
    // The tax shown on the receipt does not count towards the band.
    const Money basis = r.grand.value_or(Money()) - r.tax.value_or(Money());
    const Money duty = stampDuty(basis);
    return duty.isZero() ? std::nullopt : std::optional<Money>(duty);
}

QStringList closingLines(const PrintRecord &r)
{
    if (r.kind != DocKind::Invoice || r.periodTo.isEmpty())
        return {};
    auto yen = [](Money m) { return QStringLiteral("¥") + (m.isZero() ? QStringLiteral("0") : m.toGroupedString()); };
    const ClosingBalance b{r.previousBilled, r.received, r.credited};
    const Money current = r.grand.value_or(Money()) - r.withheld.value_or(Money());
    const Money purchases = r.grand.value_or(Money()) - r.tax.value_or(Money());
    return {QStringLiteral("請求期間 %1〜%2").arg(r.periodFrom, r.periodTo),
            QStringLiteral("前回御請求額 %1　ご入金額 %2%3　繰越金額 %4")
                .arg(yen(b.previous), yen(b.received),
                     b.credited.isZero() ? QString() : QStringLiteral("　返還額 ") + yen(b.credited), yen(b.carried())),
            QStringLiteral("今回御買上額 %1　消費税額 %2　今回御請求額 %3")
                .arg(yen(purchases), yen(r.tax.value_or(Money())), yen(b.billed(current)))};
}

QStringList withholdingLines(const PrintRecord &r)
{
    if (r.kind != DocKind::Invoice || !r.withheld)
        return {};
    const Money rest = r.grand.value_or(Money()) - *r.withheld;
    return {QStringLiteral("源泉徴収税額 ▲¥%1　差引ご請求額 ¥%2")
                .arg(r.withheld->isZero() ? QStringLiteral("0") : r.withheld->toGroupedString(),
                     rest.isZero() ? QStringLiteral("0") : rest.toGroupedString())};
}

} // namespace sheetkinds
