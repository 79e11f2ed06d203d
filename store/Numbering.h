#pragma once
#include "store/Db.h"

// The estimate counter in 自社情報.最大見積書番号.
// Key "最大見積書番号", mode "Get": the next number (stored + 1, or 1).
// Mode "Set", value = the number just saved: raises the stored number, never lowers it.
// Any other key: an empty text, nothing changed. Read and write run in one transaction;
// a failure leaves the result empty and sets *error.
QVariant Proc管理(Db &main, const QString &key, const QString &mode, const QVariant &value,
                 DbResult *error = nullptr);

// How the estimate number box reads: only digits (half- or full-width) with blanks around
// them and, optionally, thousands separators in their places ("1,500"). A delete acts on
// what this reads, so "1,5", "1 5", "1e1" or "-3" are refused rather than guessed at.
struct EstimateNumber {
    enum Kind { Empty, Ok, NotNumber, OutOfRange } kind = Empty;
    int value = 0;
};
EstimateNumber readEstimateNumber(const QString &text);
