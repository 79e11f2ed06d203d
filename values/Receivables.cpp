#include "values/Receivables.h"

QString payStatusLabel(PayStatus s)
{
    switch (s) {
    case PayStatus::Unpaid: return QStringLiteral("未入金");
    case PayStatus::Partial: return QStringLiteral("一部入金");
    case PayStatus::Paid: return QStringLiteral("入金済");
    case PayStatus::Overdue: return QStringLiteral("期限超過");
    }
    return {};
}

PayStatus payStatus(Money billed, Money settled, const QDate &due, const QDate &today)
{
    if (settled >= billed)
        return PayStatus::Paid;
    if (due.isValid() && due < today)
        return PayStatus::Overdue;
    return settled.isZero() ? PayStatus::Unpaid : PayStatus::Partial;
}

QVector<Money> splitOldestFirst(Money amount, const QVector<Money> &open)
{
    QVector<Money> out;
    for (Money o : open) {
        const Money take = o.raw() <= 0 ? Money() : std::min(amount, o);
        out << take;
        amount = amount - take;
    }
    return out;
}

Money stampDuty(Money amount)
{
    // Up to each limit (inclusive), in yen; the bands of the stamp duty table for receipts.
    static const std::pair<qint64, qint64> bands[] = {
        {49999, 0},          {1000000, 200},       {2000000, 400},       {3000000, 600},
        {5000000, 1000},     {10000000, 2000},     {20000000, 4000},     {30000000, 6000},
        {50000000, 10000},   {100000000, 20000},   {200000000, 40000},   {300000000, 60000},
        {500000000, 100000}, {1000000000, 150000},
    };
    const qint64 yen = amount.raw() / Money::kScale;
    for (const auto &[limit, duty] : bands)
        if (yen <= limit)
            return Money::fromYen(duty);
    return Money::fromYen(200000);
}
