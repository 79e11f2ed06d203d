#include "store/Backups.h"
#include "store/ArchiveFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kUnfinished = QStringLiteral(".unfinished");
const QString kChecked = QStringLiteral(".checked");

QString freeName(const QString &folder, const QString &stem)
{
    QString path = QDir(folder).filePath(stem + ".mdb");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo::exists(path + kUnfinished); ++n) // two within a second keep both
        path = QDir(folder).filePath(QString("%1-%2.mdb").arg(stem).arg(n));
    return path;
}

// Every page read back: a copy that a message may offer for restore.
DbResult pageCheck(const QString &path, const QString &pragma)
{
    static std::atomic<int> serial{0};
    Db copy(QStringLiteral("backup-check-%1").arg(++serial));
    DbResult r = copy.open(path);
    // Read once, all of it: a cache the size of the file and the file mapped halve the check.
    if (r)
        r = copy.exec(QStringLiteral("PRAGMA cache_size = -262144"));
    if (r)
        r = copy.exec(QStringLiteral("PRAGMA mmap_size = 268435456"));
    QVariant result;
    if (r)
        r = copy.scalar(pragma, {}, result);
    if (r && result.toString() != QStringLiteral("ok"))
        r = DbResult::failure(result.toString(), sqlitecode::Corrupt, path);
    return r;
}

bool hasJournal(const QString &path)
{
    return QFileInfo::exists(path + "-journal") || QFileInfo::exists(path + "-wal");
}

} // namespace

qint64 BackupJob::done() const
{
    if (m_copying)
        return QFileInfo(m_temporary).size();
    return m_written.isEmpty() && m_files == 0 ? 0 : m_total.load();
}

DbResult BackupJob::copy(const QString &temporary)
{
    static std::atomic<int> serial{0};
    Db source(QStringLiteral("backup-source-%1").arg(++serial));
    if (DbResult r = source.open(m_source); !r)
        return r;
    if (DbResult r = source.setBusyTimeout(5000); !r) // a save in progress is waited for
        return r;
    m_copying = true;
    DbResult r = source.exec(QStringLiteral("VACUUM main INTO ?"), {temporary});
    m_copying = false;
    return r;
}

DbResult BackupJob::run()
{
    if (!QDir().mkpath(m_folder))
        return DbResult::failure(QStringLiteral("cannot create folder"), sqlitecode::CantOpen, m_folder);
    m_total = QFileInfo(m_source).size();
    const QString path = freeName(m_folder, m_stem);
    m_temporary = path + kUnfinished;
    DbResult r = copy(m_temporary);
    if (r)
        r = archivefiles::syncFile(m_temporary);
    if (r)
        r = pageCheck(m_temporary, QStringLiteral("PRAGMA integrity_check(1)"));
    if (r && m_cancel)
        r = DbResult::failure(QStringLiteral("cancelled"), sqlitecode::Cancelled, path);
    // The archive's files first: a copy that has its name has every document it lists.
    if (r)
        r = carryArchive();
    if (r && !QFile::rename(m_temporary, path))
        r = DbResult::failure(QStringLiteral("cannot rename"), sqlitecode::IoErr, path);
    if (!r) {
        QFile::remove(m_temporary);
        QFile::remove(m_temporary + "-journal");
        if (r.file.isEmpty())
            r.file = path;
        return r;
    }
    QFile mark(path + kChecked);
    if (mark.open(QIODevice::WriteOnly))
        mark.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + " integrity_check ok\n");
    mark.close();
    m_written = path;
    if (m_carried > 0)
        writeCarried(m_carried);
    return archivefiles::syncFolder(m_folder);
}

QString BackupJob::pool() const { return QDir(m_folder).filePath(QStringLiteral("archive")); }

// The versions up to this id have their files in the pool already: only newer ones are looked at.
qlonglong BackupJob::readCarried() const
{
    QFile f(QDir(pool()).filePath(QStringLiteral(".carried")));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

void BackupJob::writeCarried(qlonglong id) const
{
    QFile f(QDir(pool()).filePath(QStringLiteral(".carried")));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QByteArray::number(id) + '\n');
}

DbResult BackupJob::carryArchive()
{
    const QString archive = archivefiles::folderOf(m_source);
    if (!QFileInfo(archive).isDir())
        return {};
    static std::atomic<int> serial{0};
    Db copy(QStringLiteral("backup-copy-%1").arg(++serial));
    QStringList hashes;
    qlonglong highest = 0;
    DbResult r = copy.open(m_temporary);
    // The work file lies beside the archive too, but lists none of it.
    QVariant lists;
    if (r)
        r = copy.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '発行版'", {}, lists);
    if (r && lists.toInt() == 0) {
        copy.close();
        return {};
    }
    if (r) // the copy's own rows: exactly the documents it lists
        r = copy.forEachRow("SELECT id, SHA256 FROM 発行版 WHERE id > ? ORDER BY id", {readCarried()}, [&](const QSqlQuery &q) {
            highest = q.value(0).toLongLong();
            hashes << q.value(1).toString();
        });
    copy.close();
    if (r)
        r = archivefiles::carry(archive, pool(), hashes, nullptr, [this](int done, int total) {
            m_files = done;
            m_filesTotal = total;
            return !m_cancel;
        });
    if (r && highest > 0)
        m_carried = highest;
    return r;
}

DbResult writeBackup(Db &db, const QString &backupFolder, const QString &stem, QString *written)
{
    BackupJob job(db.path(), backupFolder, stem);
    const DbResult r = job.run();
    if (r && written)
        *written = job.written();
    return r;
}

QString backupStem(const QDateTime &at)
{
    return QStringLiteral("QuoteDesk-") + at.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

DbResult backupPermanent(Db &main, const QString &backupFolder, const QDateTime &at, QString *written)
{
    return writeBackup(main, backupFolder, backupStem(at), written);
}

QVector<BackupCopy> listBackups(const QString &backupFolder)
{
    QVector<BackupCopy> out;
    const QDir dir(backupFolder);
    for (const QFileInfo &fi : dir.entryInfoList({QStringLiteral("QuoteDesk*.mdb")}, QDir::Files, QDir::Time))
        out.push_back({fi.absoluteFilePath(), fi.lastModified(), fi.size(), QFileInfo::exists(fi.absoluteFilePath() + kChecked)});
    return out;
}

void tidyBackupFolder(const QString &backupFolder)
{
    const QDir dir(backupFolder);
    for (const QString &name : dir.entryList({'*' + kUnfinished, '*' + kUnfinished + "-journal"}, QDir::Files))
        QFile::remove(dir.filePath(name));
    for (const QString &name : dir.entryList({QStringLiteral("QuoteDesk*.mdb")}, QDir::Files))
        if (QFileInfo::exists(dir.filePath(name + "-journal")) && !QFileInfo::exists(dir.filePath(name + kChecked))) {
            QFile::remove(dir.filePath(name));
            QFile::remove(dir.filePath(name + "-journal"));
        }
    archivefiles::removeUnfinished(dir.filePath(QStringLiteral("archive")));
}

QString latestBackup(const QString &dataFolder)
{
    for (const BackupCopy &c : listBackups(QDir(dataFolder).filePath(QStringLiteral("backup")))) {
        if (hasJournal(c.path))
            continue; // a copy interrupted as it was written
        if (c.checked || pageCheck(c.path, QStringLiteral("PRAGMA quick_check(1)")))
            return c.path;
    }
    return {};
}

bool removeBackup(const QString &path)
{
    QFile::remove(path + kChecked);
    return QFile::remove(path);
}
