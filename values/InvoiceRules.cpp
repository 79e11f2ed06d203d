#include "values/InvoiceRules.h"

#include <QRegularExpression>

namespace invoicerules {

static QString folded(const QString &text)
{
    QString t = text.normalized(QString::NormalizationForm_KC).toUpper();
    t.remove(' ').remove('-');
    return t;
}

QString normalisedRegistration(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^T[0-9]{13}$"));
    const QString t = folded(text);
    return form.match(t).hasMatch() ? t : QString();
}

Registration checkRegistration(const QString &text)
{
    if (folded(text).isEmpty())
        return Registration::Empty;
    const QString t = normalisedRegistration(text);
    if (t.isEmpty())
        return Registration::BadForm;
    const QString digits = t.mid(1);
    int sum = 0;
    for (int n = 1; n <= 12; ++n) // counted from the right, the check digit left aside
        sum += digits[13 - n].digitValue() * (n % 2 == 1 ? 1 : 2);
    return digits[0].digitValue() == 9 - sum % 9 ? Registration::Valid : Registration::BadCheckDigit;
}

Money withholdingOn(Money base)
{
    if (base.raw() <= 0)
        return Money();
    const qint64 yen = base.raw() / Money::kScale; // whole yen: the fraction is no fee
    const qint64 limit = 1000000;
    const qint64 low = std::min(yen, limit), high = std::max<qint64>(yen - limit, 0);
    // In ten-thousandths of a percent, so that the drop of the fraction is exact.
    const qint64 tax = (low * 1021 + high * 2042) / 10000;
    return Money::fromYen(tax);
}

std::optional<QDate> dueDateBy(const QString &rule, const QDate &delivered)
{
    if (!delivered.isValid())
        return std::nullopt;
    const QString r = rule.normalized(QString::NormalizationForm_KC).trimmed();
    auto monthEnd = [&](int months) {
        const QDate first(delivered.year(), delivered.month(), 1);
        const QDate m = first.addMonths(months);
        return QDate(m.year(), m.month(), m.daysInMonth());
    };
    if (r == QStringLiteral("月末締め翌月末払い") || r == QStringLiteral("翌月末") || r == QStringLiteral("翌月末払い"))
        return monthEnd(1);
    if (r == QStringLiteral("月末締め翌々月末払い") || r == QStringLiteral("翌々月末") || r == QStringLiteral("翌々月末払い"))
        return monthEnd(2);
    // 翌月10日, 翌月10日払い: that day of the next month (its last, when it is shorter).
    static const QRegularExpression nextMonth(QStringLiteral("^翌月([0-9]{1,2})日(払い)?$"));
    if (const auto m = nextMonth.match(r); m.hasMatch() && m.captured(1).toInt() >= 1) {
        const QDate end = monthEnd(1);
        return QDate(end.year(), end.month(), std::min(m.captured(1).toInt(), end.day()));
    }
    static const QRegularExpression days(QStringLiteral("^([0-9]{1,3})日$"));
    if (const auto m = days.match(r); m.hasMatch())
        return delivered.addDays(m.captured(1).toInt());
    return std::nullopt;
}

bool validAccountNumber(const QString &text)
{
    static const QRegularExpression seven(QStringLiteral("^[0-9]{7}$"));
    return seven.match(text.normalized(QString::NormalizationForm_KC).trimmed()).hasMatch();
}

bool validAccountName(const QString &text)
{
    // Katakana, the long sound, spaces and the few signs a transfer name may hold; letters and digits.
    static const QRegularExpression kana(QStringLiteral("^[\\x{30A0}-\\x{30FF}A-Z0-9 ().,/\\-]+$"));
    const QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    return !t.isEmpty() && kana.match(t).hasMatch();
}

} // namespace invoicerules
