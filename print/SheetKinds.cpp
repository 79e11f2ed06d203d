#include "print/SheetKinds.h"

namespace sheetkinds {

QString title(const PrintRecord &r)
{
    switch (r.kind) {
    case DocKind::Delivery: return QStringLiteral("納品書");
    case DocKind::Invoice: return QStringLiteral("請求書");
    default: return QStringLiteral("お見積書");
    }
}

QString dateCaption(const PrintRecord &r) { return r.kind == DocKind::Invoice ? QStringLiteral("請求日") : QStringLiteral("日付"); }

QString amountCaption(const PrintRecord &r)
{
    switch (r.kind) {
    case DocKind::Delivery: return QStringLiteral("納品金額");
    case DocKind::Invoice: return r.withheld ? QStringLiteral("差引ご請求額") : QStringLiteral("ご請求金額");
    default: return QStringLiteral("お見積金額");
    }
}

QString caption(const PrintRecord &r, int slot)
{
    static const char *const estimate[] = {"有効期限", "受渡場所", "支払条件", "納　　　期"};
    static const char *const delivery[] = {"納品日", "納品場所", "支払条件", "元伝票"};
    static const char *const invoice[] = {"お支払期限", "取引年月日", "振込先", "元伝票"};
    const char *const *set = r.kind == DocKind::Delivery ? delivery : r.kind == DocKind::Invoice ? invoice : estimate;
    return QString::fromUtf8(set[slot]);
}

QString value(const PrintRecord &r, int slot)
{
    if (r.kind == DocKind::Delivery) {
        const QString v[] = {r.tradeDate, r.deliveryPlace, r.paymentTerms, r.sources};
        return v[slot];
    }
    if (r.kind == DocKind::Invoice) {
        const QString v[] = {r.dueDate, r.tradeDate, r.bank, r.sources};
        return v[slot];
    }
    const QString v[] = {r.validity, r.deliveryPlace, r.paymentTerms, r.deliveryDate};
    return v[slot];
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
