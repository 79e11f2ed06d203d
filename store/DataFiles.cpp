#include "store/DataFiles.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"
#include "store/ServerConfig.h"

#include <QDir>
#include <QFileInfo>

DbResult checkDataFolder(const QString &folder)
{
    const QFileInfo fi(folder);
    if (!fi.isDir())
        return DbResult::failure(QStringLiteral("folder not found"), sqlitecode::NotFound, folder);
    if (!fi.isWritable())
        return DbResult::failure(QStringLiteral("folder is read-only"), sqlitecode::ReadOnly, folder);
    return {};
}

static DbResult probeWriteLock(Db &db)
{
    // Takes the write lock and gives it back at once: a read-only or locked file says so now.
    if (DbResult r = db.exec(QStringLiteral("BEGIN IMMEDIATE")); !r)
        return r;
    return db.exec(QStringLiteral("ROLLBACK"));
}

DbResult openDataFile(Db &db, const QString &path, schema::FileKind kind, QStringList *notices)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return DbResult::failure(QStringLiteral("file not found"), sqlitecode::NotFound, path);
    if (!fi.isWritable())
        return DbResult::failure(QStringLiteral("file is read-only"), sqlitecode::ReadOnly, path);
    // A file that is not ours is refused as it is: opening it as ours would change it.
    if (DbResult h = schema::checkHeader(path, kind); !h)
        return h;
    // The work file's tables have no meaning between runs: no commit of theirs waits for the disk.
    DbResult r = db.open(path, kind == schema::FileKind::Work ? Db::Durability::Scratch : Db::Durability::Full);
    if (r)
        r = probeWriteLock(db);
    if (r)
        r = schema::upgrade(db, kind, QDir(fi.absolutePath()).filePath(QStringLiteral("backup")),
                            schema::upgradeSteps(kind), schema::currentVersion(kind));
    if (r)
        r = schema::verify(db, kind);
    if (r && kind == schema::FileKind::Permanent && !searchindex::present(db, &r) && r) {
        r = searchindex::rebuild(db);
        if (r && notices)
            *notices << searchindex::rebuiltNotice();
    }
    if (r)
        r = db.setBusyTimeout(2000);
    if (!r) {
        db.close();
        if (r.file.isEmpty())
            r.file = path;
    }
    return r;
}

DbResult openServerData(Db &db, const ServerConfig &config)
{
    DbResult r = db.openServer(config);
    if (r)
        r = engineOf(db).checkSchema(db);
    if (!r) {
        db.close();
        r.server = true;
        r.file = config.displayName();
    }
    return r;
}

void removeStaleSuperJournals(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &name : {schema::kPermFileName, schema::kWorkFileName})
        if (QFileInfo::exists(dir.filePath(name + "-journal")))
            return; // a journal may still name one: SQLite needs it to roll back
    for (const QString &mj : dir.entryList({QStringLiteral("*.mdb-mj*")}, QDir::Files))
        QFile::remove(dir.filePath(mj));
}
