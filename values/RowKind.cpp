#include "values/RowKind.h"

#include <array>
#include <cstdlib>

namespace {
struct KindText {
    RowKind kind;
    const char *code;
    const char *caption;
};
const std::array<KindText, 6> kTexts{{
    {RowKind::Item, "明細", "明細"},
    {RowKind::Heading, "見出し", "見出し"},
    {RowKind::Subtotal, "小計", "小計"},
    {RowKind::Discount, "値引", "値引（同じ税率）"},
    {RowKind::SplitDiscount, "値引按分", "値引（税率ごとに按分）"},
    {RowKind::Note, "備考", "備考"},
}};
} // namespace

QString rowKindCode(RowKind kind)
{
    return kind == RowKind::Item ? QString() : QString::fromUtf8(kTexts[size_t(kind)].code);
}

RowKind rowKindFromCode(const QString &code)
{
    if (code.isEmpty()) // most rows: asked for at every paint of every cell
        return RowKind::Item;
    static const std::array<QString, kTexts.size()> codes = [] {
        std::array<QString, kTexts.size()> out;
        for (size_t i = 0; i < kTexts.size(); ++i)
            out[i] = QString::fromUtf8(kTexts[i].code);
        return out;
    }();
    for (size_t i = 0; i < codes.size(); ++i)
        if (code == codes[i])
            return kTexts[i].kind;
    return RowKind::Item; // Null, or a kind some later program added: its figures still count
}

QString rowKindCaption(RowKind kind) { return QString::fromUtf8(kTexts[size_t(kind)].caption); }

Money discountAmount(Money typed) { return typed.raw() > 0 ? -typed : typed; }

QVector<Money> shareInProportion(Money total, const QVector<Money> &bases)
{
    QVector<Money> shares(bases.size());
    if (bases.isEmpty())
        return shares;
    qint64 whole = 0;
    int largest = 0;
    for (int i = 0; i < bases.size(); ++i) {
        whole += bases[i].raw();
        if (std::llabs(bases[i].raw()) > std::llabs(bases[largest].raw()))
            largest = i;
    }
    if (whole == 0) {
        shares[0] = total;
        return shares;
    }
    Money given;
    for (int i = 0; i < bases.size(); ++i) {
        // In 128 bits: a yen amount times another overflows 64.
        const __int128 exact = __int128(total.raw()) * bases[i].raw() / whole;
        shares[i] = Money::fromYen(qint64(exact / Money::kScale));
        given += shares[i];
    }
    shares[largest] += total - given;
    return shares;
}
