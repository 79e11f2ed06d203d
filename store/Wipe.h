#pragma once
// Wiping every estimate, customer, product and the own-company row, after a copy.

#include "store/Db.h"

#include <QDateTime>

// Writes a copy of db's file into backupFolder as <stem>.mdb, or <stem>-2.mdb … when that
// exists: a copy never replaces another. *written names it.
DbResult writeBackup(Db &db, const QString &backupFolder, const QString &stem, QString *written = nullptr);

// The copy before a wipe: QuoteDesk-YYYYMMDD-HHMMSS.mdb.
DbResult backupPermanent(Db &main, const QString &backupFolder, const QDateTime &at, QString *written = nullptr);

// Deletes the five tables' rows in one transaction: all of them, or none.
// The code master and the hints stay.
DbResult wipeAllData(Db &main);
