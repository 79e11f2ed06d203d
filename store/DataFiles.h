#pragma once
// Opening the two data files at start-up: refuse at once what cannot be used, bring an
// older file up to this program's version.

#include "store/Db.h"
#include "store/Schema.h"

// Opens path into db, after checking that it exists and can be written, that no other
// program holds its write lock, that it is ours; upgrades an older version in place and
// makes a missing search index anew. What the user should hear of that goes to *notices.
DbResult openDataFile(Db &db, const QString &path, schema::FileKind kind, QStringList *notices = nullptr);

// Opens the office's server as the permanent data (see ServerConfig) and checks that it was
// prepared for this program's version. Failures name the server (DbResult::server).
DbResult openServerData(Db &db, const struct ServerConfig &config);

// The folder itself must take new files (SQLite writes its journal beside the data file).
DbResult checkDataFolder(const QString &folder);

// Super-journals left by a crash once no journal names them any more.
void removeStaleSuperJournals(const QString &folder);
