#pragma once
#include "store/Money.h"
#include <optional>

constexpr double kTaxRate = 0.05;

// The three boxes of the estimate; nullopt shows nothing.
struct Totals {
    std::optional<Money> net;
    std::optional<Money> tax;
    std::optional<Money> grand;
};

// total: sum of all amounts; htotal: sum of the taxable ones; mode "外税", "内税" or other (no tax).
Totals computeTotals(Money total, Money htotal, const QString &taxMode);
