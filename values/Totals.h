#pragma once
// The three totals of an estimate, and the tax per rate, in exact arithmetic.

#include "values/Money.h"

#include <QString>
#include <QVector>
#include <optional>

constexpr int kReducedRate = 8; // food and drink, newspapers

// How an estimate's tax is computed. The defaults are the rules first specified: 5 %, the
// tax rounded half away from zero.
struct TaxRules {
    QString mode = QStringLiteral("外税"); // "外税", "内税", anything else: no tax
    int rate = 5;                          // the standard rate, percent
    QString rounding = QStringLiteral("四捨五入"); // "切捨て", "四捨五入" or "切上げ"

    // The first rules round every line amount up and, in 内税, leave exempt amounts out of
    // 税抜計; estimates stored under them keep those figures. Any other setting is today's.
    bool isFirstRules() const { return rate == 5 && rounding == QStringLiteral("四捨五入"); }
    // The mode RoundAmount takes for a line amount under these rules.
    QString lineRounding() const;
    friend bool operator==(const TaxRules &, const TaxRules &) = default;
};

// The taxable amounts of one estimate, by kind of line.
struct TaxableSums {
    Money standard, reduced, exempt;
    int standardLines = 0, reducedLines = 0, exemptLines = 0;
};

struct RateTotal {
    int rate = 0;
    bool reduced = false; // printed with "※"
    Money base;           // the taxable amounts of this rate
    Money tax;
};

// The three boxes of the estimate (nullopt shows nothing) and, when lines of more than one
// rate are taxed, one entry per rate.
struct Totals {
    std::optional<Money> net;
    std::optional<Money> tax;
    std::optional<Money> grand;
    QVector<RateTotal> rates;
    QVector<RateTotal> used;     // every rate some line is taxed at, one rate or more
    std::optional<Money> exempt; // the amounts no tax is added to, when there are such lines
};

// total: every amount; the tax of each rate is rounded once, never per line.
Totals computeTotals(Money total, const TaxableSums &taxable, const TaxRules &rules);

// num / den yen rounded by the named rule; den > 0.
Money roundYen(qint64 num, qint64 den, const QString &rounding);
