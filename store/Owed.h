#pragma once
// 売掛残: what each invoice still asks, one row per invoice. Derived from the invoice, its
// payments and the credit notes made from it, and kept by triggers in the very transaction that
// changes any of them, on both engines: a save, a payment, a credit note, a delete, a wipe and an
// import all keep it right without knowing of it. The 売掛 view reads it instead of summing every
// payment of every invoice.

#include "store/Db.h"

#include <QStringList>

namespace owed {

inline const QString kTable = QStringLiteral("売掛残");
// The table, its indexes, the sums by due date (売掛期日) and the triggers that keep them, for a
// file or a server that has the invoices, payments, links and credit notes; a server's may run
// again (upgrade); lockSpace: the server's advisory lock of what is owed.
QStringList statements(Db::Engine engine, int lockSpace = 0);
// Every invoice's row made anew from what is stored.
QStringList fillStatements();
// How many rows differ from what the sources say (missing, stale or left over), the sums by due
// date included: 0 when right.
QString mismatchStatement();

} // namespace owed
