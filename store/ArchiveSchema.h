#pragma once
// The archive's tables and their protections on either engine, and the upgrades that give an
// older archive its chain (and, in a file, move its bytes out to data/archive).

#include "store/Db.h"

#include <QStringList>

namespace archiveschema {

// A file's archive tables and triggers as this version writes them.
QStringList fileStatements();
// The archive as version 5 of the file first wrote it (the upgrades start from there).
QStringList fileStatementsV5();
// The same on a server (tables only; triggers in serverProtections()).
QStringList serverTables();
QStringList serverProtections();

// Version 9 of the file: the chain over every issue, ids never reused, the bytes out of the file.
// Inside the upgrade's transaction; every file is on the disk before it commits.
DbResult upgradeFile(Db &db);
// The server's 304: the chain column filled for what was issued before.
DbResult upgradeServer(Db &db);

// Each protection (trigger) the archive should have and has not, or has switched off.
DbResult missingProtections(Db &db, QStringList &missing);

} // namespace archiveschema
