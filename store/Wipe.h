#pragma once
// Wiping every estimate, customer, product and the own-company row, after a copy.

#include "store/Db.h"

#include <QDateTime>

// Writes a copy of the permanent file into backupFolder as QuoteDesk-YYYYMMDD-HHMMSS.mdb
// (never over an existing file); *written names it.
DbResult backupPermanent(Db &main, const QString &backupFolder, const QDateTime &at, QString *written = nullptr);

// Deletes the five tables' rows in one transaction: all of them, or none.
// The code master and the hints stay.
DbResult wipeAllData(Db &main);
