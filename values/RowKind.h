#pragma once
// What a row of a document is: a line item, or one of the rows that shape a long document.
// Only items and discounts carry figures into the totals; a subtotal is always computed.

#include "values/Money.h"

#include <QString>
#include <QVector>
#include <optional>

enum class RowKind {
    Item,          // 明細
    Heading,       // 見出し: a group's name, bold, no figures
    Subtotal,      // 小計: the items since the last heading or subtotal
    Discount,      // 値引: negative, at its own line's rate
    SplitDiscount, // 値引 spread over the rates in proportion to their items
    Note,          // 備考: text only
};

// A document holds at most this many rows; its grid starts with kFirstRows of them.
constexpr int kMaxRows = 999;

// The stored 行種別: Null for an item (as every row was before there were kinds).
QString rowKindCode(RowKind kind);
RowKind rowKindFromCode(const QString &code);
// As the grid's menu and the sheet name it.
QString rowKindCaption(RowKind kind);

inline bool isDiscount(RowKind k) { return k == RowKind::Discount || k == RowKind::SplitDiscount; }
// Rows whose amounts count in the totals.
inline bool countsInTotals(RowKind k) { return k == RowKind::Item || isDiscount(k); }
// Rows that hold no figures at all.
inline bool isTextRow(RowKind k) { return k == RowKind::Heading || k == RowKind::Note; }

// A discount's amount: never positive, whatever sign was typed.
Money discountAmount(Money typed);

// total spread over bases in proportion, each share whole yen, the shares adding up to total
// exactly (what the rounding leaves goes to the largest base). All bases zero: the first takes it.
QVector<Money> shareInProportion(Money total, const QVector<Money> &bases);
