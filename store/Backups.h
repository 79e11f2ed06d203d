#pragma once
// Copies of the permanent file that restore: written under a temporary name, synced, checked
// page by page, and only then given their name. The archive's files are carried beside them
// by hard links (new files only), so a copy of ten years of documents costs seconds.

#include "store/Db.h"

#include <QDateTime>
#include <QVector>
#include <atomic>

struct BackupCopy {
    QString path;
    QDateTime at;
    qint64 bytes = 0;
    bool checked = false; // passed the page check when it was written
};

// One copy as it is made, on any thread; done() and total() may be read from another while it
// runs. The copy opens its own connection to source.
class BackupJob {
public:
    BackupJob(QString sourcePath, QString backupFolder, QString stem)
        : m_source(std::move(sourcePath)), m_folder(std::move(backupFolder)), m_stem(std::move(stem)) {}
    DbResult run();
    // Bytes of the copy written so far, of about total(); then the archive's files carried.
    qint64 done() const;
    qint64 total() const { return m_total; }
    int filesDone() const { return m_files; }
    int filesTotal() const { return m_filesTotal; }
    // Stops at the next step; nothing half-made is left.
    void cancel() { m_cancel = true; }
    QString written() const { return m_written; }

private:
    DbResult copy(const QString &temporary);
    DbResult carryArchive();
    QString pool() const;
    qlonglong readCarried() const;
    void writeCarried(qlonglong id) const;
    qlonglong m_carried = 0;
    QString m_source, m_folder, m_stem, m_written, m_temporary;
    std::atomic<qint64> m_total{0};
    std::atomic<int> m_files{0}, m_filesTotal{0};
    std::atomic<bool> m_cancel{false}, m_copying{false};
};

// A checked copy of db's file into backupFolder as <stem>.mdb (<stem>-2.mdb … when that exists).
DbResult writeBackup(Db &db, const QString &backupFolder, const QString &stem, QString *written = nullptr);
// The copy before a wipe or on request: QuoteDesk-YYYYMMDD-HHMMSS.mdb.
QString backupStem(const QDateTime &at);
DbResult backupPermanent(Db &main, const QString &backupFolder, const QDateTime &at, QString *written = nullptr);

// The copies, newest first.
QVector<BackupCopy> listBackups(const QString &backupFolder);
// What a kill left behind: unfinished copies and their journals are removed, and so are copies
// an older version left half-written (a journal beside them).
void tidyBackupFolder(const QString &backupFolder);
// The newest copy in dataFolder/backup that is known sound (checked then, or now), or empty.
QString latestBackup(const QString &dataFolder);
// Removes a copy (and its mark).
bool removeBackup(const QString &path);
