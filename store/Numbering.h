#pragma once
#include "store/Db.h"

// The estimate counter in 自社情報.最大見積書番号.
// Key "最大見積書番号", mode "Get": the next number (stored + 1, or 1).
// Mode "Set", value = the number just saved: raises the stored number, never lowers it.
// Any other key: an empty text, nothing changed. Read and write run in one transaction;
// a failure leaves the result empty and sets *error.
QVariant Proc管理(Db &main, const QString &key, const QString &mode, const QVariant &value,
                 DbResult *error = nullptr);
