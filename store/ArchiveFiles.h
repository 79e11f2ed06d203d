#pragma once
// The issued bytes of a file-kept archive, outside the data file: write-once files under
// data/archive named by their SHA-256, on the disk before the row that names them commits.

#include "store/Db.h"

#include <QSet>
#include <QString>
#include <functional>

namespace archivefiles {

// data/archive beside the permanent file at permPath.
QString folderOf(const QString &permPath);
QString pathOf(const QString &folder, const QString &sha256, const QString &suffix = QStringLiteral("pdf"));

// Puts bytes under their hash: a file already there with these very bytes is kept as it is;
// a new one is written under a temporary name, synced, renamed and its folder synced.
// *created says whether a file was made (so a failed issue may take back only its own).
DbResult put(const QString &folder, const QString &sha256, const QByteArray &bytes, bool *created = nullptr,
             const QString &suffix = QStringLiteral("pdf"));
// The bytes stored under sha256; NotFound when there is no file.
DbResult get(const QString &folder, const QString &sha256, QByteArray &bytes,
             const QString &suffix = QStringLiteral("pdf"));
// The hashes that have a file (temporary and foreign names left out).
QSet<QString> present(const QString &folder);
// Writes that never finished (a kill between writing and renaming): removed.
void removeUnfinished(const QString &folder);

// Makes target hold each of the files hashes names in source that it does not have yet: a hard
// link where the file system allows one, else a synced copy. *added counts them.
DbResult carry(const QString &source, const QString &target, const QStringList &hashes, int *added = nullptr,
               const std::function<bool(int done, int total)> &progress = {});

// The directory's own entries on the disk (after a rename or a link).
DbResult syncFolder(const QString &folder);
// A file's bytes on the disk.
DbResult syncFile(const QString &path);

} // namespace archivefiles
