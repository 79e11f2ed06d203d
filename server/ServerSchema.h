#pragma once
// The permanent tables on a PostgreSQL server: the file's tables, with what several desktops
// writing at once need besides: one name per master row, a version per estimate (更新番号),
// a one-row settings table whose counter is raised by an upsert, a trigram index for search.

#include "store/Db.h"
#include "values/DocKind.h"

#include <QStringList>

namespace serverschema {

// Marks a database as ours and names its version ("quotedesk_schema").
constexpr int kVersion = 309;
constexpr int kApplicationId = 0x51444B31;
// The first key of every advisory lock the program takes; the second is an estimate number.
constexpr int kLockSpace = 0x5144; // "QD"
// Each kind's numbers are locked in a space of their own: the estimate's is kLockSpace, the
// chain's kLockSpace + 1, the payments' + 2, what is owed (売掛残) + 3.
inline int lockSpace(DocKind kind) { return kind == DocKind::Estimate ? kLockSpace : kLockSpace + 8 + int(kind); }

QStringList createStatements();
// Creates the tables in an empty database, in one transaction; a database that holds any
// table of its own (ours or another program's) is refused and left as it is.
DbResult create(Db &db);
// Ours and current, every table present.
DbResult check(Db &db);
// Tables in the database's public schema, ours or not.
DbResult tableCount(Db &db, int &count);

} // namespace serverschema
