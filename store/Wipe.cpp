#include "store/Wipe.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"

#include <QDir>
#include <QFileInfo>

DbResult writeBackup(Db &db, const QString &backupFolder, const QString &stem, QString *written)
{
    if (!QDir().mkpath(backupFolder))
        return DbResult::failure(QStringLiteral("cannot create folder"), sqlitecode::CantOpen, backupFolder);
    QString path = QDir(backupFolder).filePath(stem + ".mdb");
    for (int n = 2; QFileInfo::exists(path); ++n) // two copies within a second keep both
        path = QDir(backupFolder).filePath(QString("%1-%2.mdb").arg(stem).arg(n));
    if (DbResult r = db.exec(QStringLiteral("VACUUM main INTO ?"), {path}); !r) {
        QFile::remove(path); // a half-written copy is no copy
        r.file = path;
        return r;
    }
    if (written)
        *written = path;
    return {};
}

DbResult backupPermanent(Db &main, const QString &backupFolder, const QDateTime &at, QString *written)
{
    return writeBackup(main, backupFolder, QStringLiteral("QuoteDesk-") + at.toString(QStringLiteral("yyyyMMdd-HHmmss")),
                       written);
}

DbResult wipeAllData(Db &main)
{
    return main.transaction([&]() -> DbResult {
        for (const char *table : {"顧客マスタ", "商品マスタ", "自社情報", "見積書", "見積書ヘッダ"})
            if (DbResult r = main.exec(QStringLiteral("DELETE FROM ") + QString::fromUtf8(table)); !r)
                return r;
        // Made anew (empty) rather than emptied: a damaged index must not stop the wipe.
        return engineOf(main).rebuildSearchIndex(main);
    });
}
