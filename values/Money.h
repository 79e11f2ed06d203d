#pragma once
// Exact money value with four decimals (ten-thousandths of a yen), stored as such in SQL.

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <optional>

class Money {
public:
    static constexpr qint64 kScale = 10000;
    // Beyond this a value can no longer be represented; callers check before converting.
    static constexpr double kMaxAbs = 900000000000000.0;

    constexpr Money() = default;
    static constexpr Money fromRaw(qint64 raw) { Money m; m.m_raw = raw; return m; }
    static constexpr Money fromYen(qint64 yen) { return fromRaw(yen * kScale); }
    // Rounds to four decimals, halves to even; nullopt when out of range or not finite.
    static std::optional<Money> fromDouble(double v);
    // Exact parse of decimal text ("1,234.5", " -3 ", full-width digits); exponent forms go via double.
    static std::optional<Money> parse(const QString &text);
    // A column value read from SQL (raw INTEGER) or a null.
    static std::optional<Money> fromSql(const QVariant &v);

    constexpr qint64 raw() const { return m_raw; }
    double toDouble() const { return double(m_raw) / kScale; }
    bool isZero() const { return m_raw == 0; }
    // Plain decimal text without separators: "1234.5", "-3".
    QString toPlainString() const;
    // Thousands separators, no decimals unless the value has a fraction ("1,234", "2.5").
    QString toGroupedString() const;

    friend constexpr Money operator+(Money a, Money b) { return fromRaw(a.m_raw + b.m_raw); }
    friend constexpr Money operator-(Money a, Money b) { return fromRaw(a.m_raw - b.m_raw); }
    friend constexpr Money operator-(Money a) { return fromRaw(-a.m_raw); }
    constexpr Money &operator+=(Money b) { m_raw += b.m_raw; return *this; }
    friend constexpr bool operator==(Money a, Money b) { return a.m_raw == b.m_raw; }
    friend constexpr auto operator<=>(Money a, Money b) { return a.m_raw <=> b.m_raw; }

private:
    qint64 m_raw = 0;
};
Q_DECLARE_METATYPE(Money)

// Cell text as the user may type it: blanks trimmed, full-width forms folded, separators dropped.
QString normaliseNumberText(const QString &text);
// Numeric reading of cell text; nullopt when it is not a number.
std::optional<double> parseNumber(const QString &text);
// "#,###" display: empty for 0, thousands separators, a fraction only when there is one.
QString formatGrouped(double v, int maxDecimals);

// Rounds by mode: "切り捨て" truncates, "四捨五入" rounds half away from zero, anything else
// rounds up away from zero (tolerance 0.00001). Amounts beyond ±9,999,999,999.99 give 0.
Money RoundAmount(double amount, const QString &mode);
