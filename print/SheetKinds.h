#pragma once
// What the sheet's captions and fields say for each kind of document: the estimate's as they
// always were, a delivery note's and an invoice's in the same places.

#include "print/EstimateSheet.h"

namespace sheetkinds {

QString title(const PrintRecord &r);
QString dateCaption(const PrintRecord &r);
QString amountCaption(const PrintRecord &r);
// The four fields under the totals, in the estimate's places: 有効期限, 受渡場所, 支払条件, 納期.
QString caption(const PrintRecord &r, int slot);
QString value(const PrintRecord &r, int slot);
// The caption of the subject: a receipt's is its 但し書き.
QString subjectCaption(const PrintRecord &r);
// The 収入印紙 a receipt handed over on paper needs: none for a PDF, a card payment or below the
// first band.
std::optional<Money> stampDue(const PrintRecord &r);
// A monthly invoice's balance block, first in the summary: the period, then 前回御請求額 ·
// ご入金額 · 繰越金額 · 今回御買上額 · 消費税額 · 今回御請求額.
QStringList closingLines(const PrintRecord &r);
// The summary's lines an invoice adds: what is withheld and what is left to pay.
QStringList withholdingLines(const PrintRecord &r);

} // namespace sheetkinds
