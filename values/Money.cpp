#include "values/Money.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

std::optional<Money> Money::fromDouble(double v)
{
    if (!std::isfinite(v) || std::fabs(v) >= kMaxAbs)
        return std::nullopt;
    return fromRaw(qint64(std::nearbyint(v * kScale)));
}

QString normaliseNumberText(const QString &text)
{
    QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    t.remove(',');
    t.remove(' ');
    t.replace(QChar(0x2212), '-'); // minus sign
    return t;
}

std::optional<double> parseNumber(const QString &text)
{
    const QString t = normaliseNumberText(text);
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<Money> Money::parse(const QString &text)
{
    const QString t = normaliseNumberText(text);
    static const QRegularExpression plain(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
    const auto m = plain.match(t);
    if (m.hasMatch() && (m.capturedLength(2) > 0 || m.capturedLength(3) > 0)) {
        const QString whole = m.captured(2);
        QString frac = m.captured(3);
        // Checked before scaling: fifteen digits times 10,000 would overflow 64 bits.
        const qint64 wholeYen = whole.isEmpty() ? 0 : whole.toLongLong();
        if (whole.size() > 15 || double(wholeYen) >= kMaxAbs)
            return std::nullopt;
        qint64 raw = wholeYen * kScale;
        if (frac.size() > 4) {
            // Round beyond four decimals half to even, like the engine's currency conversion.
            const QString rest = frac.mid(4);
            frac = frac.left(4);
            qint64 f = frac.toLongLong();
            const bool above = rest[0] > '5' || (rest[0] == '5' && rest.mid(1).contains(QRegularExpression("[1-9]")));
            const bool half = rest[0] == '5' && !above;
            if (above || (half && (f % 2 == 1)))
                ++f;
            raw += f;
        } else if (!frac.isEmpty()) {
            raw += frac.leftJustified(4, '0').toLongLong();
        }
        if (double(raw) / kScale >= kMaxAbs)
            return std::nullopt;
        return fromRaw(m.captured(1) == "-" ? -raw : raw);
    }
    if (auto d = parseNumber(text))
        return fromDouble(*d);
    return std::nullopt;
}

std::optional<Money> Money::fromSql(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    if (v.metaType() == QMetaType::fromType<Money>())
        return v.value<Money>();
    bool ok = false;
    const qint64 raw = v.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return fromRaw(raw);
}

QString Money::toPlainString() const
{
    const qint64 a = m_raw < 0 ? -m_raw : m_raw;
    QString s = QString::number(a / kScale);
    if (const qint64 f = a % kScale) {
        QString fs = QString::number(f).rightJustified(4, '0');
        while (fs.endsWith('0'))
            fs.chop(1);
        s += '.' + fs;
    }
    return m_raw < 0 ? '-' + s : s;
}

static QString groupDigits(const QString &digits)
{
    QString out;
    const int n = digits.size();
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

QString Money::toGroupedString() const
{
    if (m_raw == 0)
        return QString();
    const QString plain = toPlainString();
    const bool neg = plain.startsWith('-');
    const QString body = neg ? plain.mid(1) : plain;
    const int dot = body.indexOf('.');
    QString s = groupDigits(dot < 0 ? body : body.left(dot));
    if (dot >= 0)
        s += body.mid(dot);
    return neg ? '-' + s : s;
}

QString formatGrouped(double v, int maxDecimals)
{
    if (v == 0 || !std::isfinite(v))
        return QString();
    QString plain = QString::number(std::fabs(v), 'f', maxDecimals);
    if (plain.contains('.')) {
        while (plain.endsWith('0'))
            plain.chop(1);
        if (plain.endsWith('.'))
            plain.chop(1);
    }
    if (plain == "0")
        return QString();
    const int dot = plain.indexOf('.');
    QString s = groupDigits(dot < 0 ? plain : plain.left(dot));
    if (dot >= 0)
        s += plain.mid(dot);
    return v < 0 ? '-' + s : s;
}

Money RoundAmount(double amount, const QString &mode)
{
    if (!(amount <= 9999999999.99 && amount >= -9999999999.99))
        return Money();
    double x = amount;
    if (mode == QStringLiteral("切り捨て")) {
        if (x > 0)
            x += 0.00000001;
    } else if (mode == QStringLiteral("四捨五入")) {
        x += x > 0 ? 0.5 : -0.5;
    } else {
        x += x > 0 ? 0.99999 : -0.99999;
    }
    return Money::fromYen(qint64(std::trunc(x)));
}
