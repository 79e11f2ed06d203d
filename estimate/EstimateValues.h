#pragma once
// How an estimate's values are bound to SQL and read back: shared by the store's two files.

#include "estimate/EstimateStore.h"

namespace estimatevalues {

inline const QString kDateFormat = QStringLiteral("yyyy/MM/dd");

inline QVariant nullInt() { return QVariant(QMetaType::fromType<qlonglong>()); }
inline QVariant bindMoney(const std::optional<Money> &m) { return m ? QVariant(m->raw()) : nullInt(); }
inline QVariant bindReal(const std::optional<double> &d) { return d ? QVariant(*d) : QVariant(QMetaType::fromType<double>()); }
inline QVariant bindText(const QString &s) { return s.isNull() ? QString("") : s; }
inline QString readText(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }
inline QVariant nullIfEmpty(const QString &s) { return s.isEmpty() ? QVariant(QString()) : QVariant(s); }
// An estimate without a date stores Null.
inline QVariant bindDate(const QDate &d) { return d.isValid() ? QVariant(d.toString(kDateFormat)) : QVariant(QString()); }

inline std::optional<double> readReal(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

// A line's fields in the order lineFrom reads them and lineBinds writes them: every statement
// that moves a line names them through this.
inline const QString kLineFields = QStringLiteral("品名, 数量, 単位, 単価, 金額, 非課税, 軽減, 行種別");
constexpr int kLineFieldCount = 8;

inline EstimateLine lineFrom(const DbRow &r, int first)
{
    EstimateLine l;
    l.name = readText(r[first]).trimmed();
    l.quantity = readReal(r[first + 1]);
    l.unit = r[first + 2].isNull() ? QVariant() : QVariant(r[first + 2].toString());
    l.price = Money::fromSql(r[first + 3]);
    l.amount = Money::fromSql(r[first + 4]);
    l.exempt = r[first + 5].toLongLong() != 0;
    l.reduced = r[first + 6].toLongLong() != 0;
    l.kind = rowKindFromCode(readText(r[first + 7]));
    return l;
}

inline QVariantList lineBinds(const EstimateLine &l)
{
    return {l.name.isEmpty() ? QVariant(QString()) : QVariant(l.name), bindReal(l.quantity),
            l.unit.isNull() ? QVariant(QString()) : l.unit, bindMoney(l.price), bindMoney(l.amount),
            l.exempt ? 1 : 0, l.reduced ? 1 : 0, nullIfEmpty(rowKindCode(l.kind))};
}

} // namespace estimatevalues
