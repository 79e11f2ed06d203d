#pragma once
// 100,000 issued versions of 60,000 estimates over seven years, each issued once, chained as the
// program chains them; with files, each version's PDF (20 kB) under data/archive.

#include "store/ArchiveChain.h"
#include "store/ArchiveFiles.h"
#include "store/Db.h"
#include "store/IssueArchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

inline void seedArchive(Db &perm, int versions, bool withFiles)
{
    const QString folder = archivefiles::folderOf(perm.path());
    QDir().mkpath(folder);
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
    const QByteArray padding(20000, 'p');
    QString head = archivechain::kStart;
    static const char *const names[] = {"山田", "田中", "佐藤", "鈴木", "高橋", "伊藤", "渡辺", "小林"};
    for (int i = 1; i <= versions; ++i) {
        const QByteArray pdf = "%PDF-1.4 " + QByteArray::number(i) + padding;
        const QString sha = withFiles ? sha256Hex(pdf) : QString("%1").arg(i, 64, 10, QChar('0'));
        const QString at = start.addSecs(qint64(i) * 36 * 60).toString("yyyy-MM-dd HH:mm:ss");
        const QString customer = QString("株式会社%1商店%2").arg(QString::fromUtf8(names[i % 8])).arg(i % 1000);
        const qint64 total = (1000 + i % 5000) * 10000LL;
        const int number = 1 + (i - 1) % 60000, version = 1 + (i - 1) / 60000;
        perm.exec("INSERT INTO 発行版 (id, 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256) VALUES (?, ?, ?, ?, ?, "
                  "'2026/01/01', ?, x'00', ?)",
                  {i, number, version, at, customer, total, sha});
        head = archivechain::next(head, {issuearchive::kEstimate, number, version, at, customer, total, "PDF", sha});
        perm.exec("INSERT INTO 発行記録 (id, 版ID, 発行日時, 方法, 連鎖) VALUES (?, ?, ?, 'PDF', ?)", {i, i, at, head});
        perm.exec("INSERT INTO 発行取引先 (名) VALUES (?) ON CONFLICT DO NOTHING", {customer});
        if (withFiles) { // unsynced: a benchmark's seed need not survive a power cut
            QFile f(archivefiles::pathOf(folder, sha));
            f.open(QIODevice::WriteOnly);
            f.write(pdf);
        }
    }
    // A file in use carries the planner's statistics: the program runs PRAGMA optimize at each close.
    perm.exec("ANALYZE");
}
