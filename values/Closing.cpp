#include "values/Closing.h"

std::optional<int> closingDayOf(const QString &text)
{
    QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    if (t.isEmpty())
        return -1;
    if (t == QStringLiteral("末日") || t == QStringLiteral("月末") || t == QStringLiteral("末"))
        return 0;
    if (t.endsWith(QChar(u'日')))
        t.chop(1);
    bool ok = false;
    const int day = t.toInt(&ok);
    if (ok && day > 0 && day <= 25 && day % 5 == 0)
        return day;
    return std::nullopt;
}

QString closingDayText(int day) { return day == 0 ? QStringLiteral("末日") : day > 0 ? QStringLiteral("%1日").arg(day) : QString(); }

static QDate closingDate(int day, int year, int month)
{
    const QDate first(year, month, 1);
    return QDate(year, month, day <= 0 ? first.daysInMonth() : day);
}

ClosingPeriod closingPeriod(int day, const QDate &month)
{
    const QDate to = closingDate(day, month.year(), month.month());
    const QDate before = month.addMonths(-1);
    return {closingDate(day, before.year(), before.month()).addDays(1), to};
}
