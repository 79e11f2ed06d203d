#include "store/Integrity.h"
#include "store/ArchiveAudit.h"
#include "store/ArchiveFiles.h"
#include "store/Backups.h"
#include "store/Db.h"

#include <QDir>
#include <QFileInfo>

IntegrityReport checkIntegrity(const QStringList &paths, bool withIndex)
{
    IntegrityReport report;
    static std::atomic<int> serial{0};
    for (int i = 0; i < paths.size(); ++i) {
        Db db(QStringLiteral("integrity-%1").arg(++serial));
        DbResult r = db.open(paths[i]);
        if (r)
            r = db.setBusyTimeout(5000); // waits for a save in progress rather than failing it
        QVariant result;
        if (r)
            r = db.scalar(QStringLiteral("PRAGMA quick_check(1)"), {}, result);
        if (!r || result.toString() != QStringLiteral("ok")) {
            report.damagedFiles << paths[i];
            if (report.detail.isEmpty())
                report.detail = r ? result.toString() : r.error;
            continue;
        }
        if (i == 0 && withIndex) {
            // The index check is written as an INSERT; nothing is written, and it is rolled back.
            DbResult t = db.exec(QStringLiteral("BEGIN"));
            if (t)
                t = db.exec(QStringLiteral("INSERT INTO 見積書索引 (見積書索引) VALUES ('integrity-check')"));
            db.exec(QStringLiteral("ROLLBACK"));
            report.indexDamaged = !t && t.code != sqlitecode::Busy && t.code != sqlitecode::Locked;
            ArchiveStartCheck archive;
            if (checkArchiveAtStart(db, archive))
                report.archiveNotice = archive.notice();
            // What a kill left of a copy is no copy: nothing may offer it for restore.
            tidyBackupFolder(QDir(QFileInfo(paths[i]).absolutePath()).filePath(QStringLiteral("backup")));
            archivefiles::removeUnfinished(archivefiles::folderOf(paths[i]));
        }
    }
    return report;
}

QString damagedFileAdvice(const QString &file, const QString &dataFolder)
{
    const QString name = QFileInfo(file).fileName();
    QString text = QStringLiteral("「%1」の一部が壊れています。これ以上の入力や登録はせず、QuoteDesk を終了してください。\n")
                       .arg(QDir::toNativeSeparators(file));
    const QString copy = latestBackup(dataFolder);
    if (!copy.isEmpty() && name == QStringLiteral("QuoteDesk.mdb"))
        text += QStringLiteral("最新の控え「%1」を「%2」として上書きコピーしてから、もう一度起動してください。"
                               "控えより後に登録した見積書は入力し直しが必要です。")
                    .arg(QDir::toNativeSeparators(copy), name);
    else
        text += QStringLiteral("控えのファイルがあればそれを「%1」として上書きコピーしてから起動してください。"
                               "控えがない場合は、購入元またはシステムの担当者にご相談ください。")
                    .arg(name);
    return text;
}

IntegrityWatch::~IntegrityWatch()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void IntegrityWatch::start(const QStringList &paths, bool withIndex)
{
    if (m_thread)
        return;
    m_thread = QThread::create([this, paths, withIndex] {
        const IntegrityReport report = checkIntegrity(paths, withIndex);
        QMetaObject::invokeMethod(this, [this, report] { emit finished(report); }, Qt::QueuedConnection);
    });
    m_thread->start(QThread::LowPriority);
}
