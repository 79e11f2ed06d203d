#pragma once
// A permanent file as the version before left it: the archive's bytes inside it, no chain.

#include "TestSupport.h"
#include "store/ArchiveSchema.h"
#include "store/IssueArchive.h"

// Three versions of Nos. 1 to 3, each PDF "%PDF-1.4 N" followed by padding.
inline void makeOlderArchive(const TempData &data, const QByteArray &padding = {})
{
    Db perm(QStringLiteral("older-archive"));
    QStringList sql{"DROP TABLE 発行記録", "DROP TABLE 発行版", "DROP TABLE 発行取引先", "ALTER TABLE 自社情報 DROP COLUMN 控え保持数"};
    sql += archiveschema::fileStatementsV5();
    sql += withoutLaterKinds(schema::FileKind::Permanent);
    bool ok = bool(perm.open(data.perm()));
    for (const QString &s : sql)
        ok = ok && perm.exec(s);
    for (int id = 1; id <= 3; ++id) {
        const QByteArray pdf = "%PDF-1.4 " + QByteArray::number(id) + padding;
        const QString at = QString("2026-0%1-01 10:00:00").arg(id);
        ok = ok && perm.exec("INSERT INTO 発行版 (id, 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256) VALUES "
                             "(?, ?, 1, ?, '甲社', '', 10000, 'c', ?)", {id, id, at, sha256Hex(pdf)}) &&
             perm.exec("INSERT INTO 発行PDF (版ID, PDF) VALUES (?, ?)", {id, pdf}) &&
             perm.exec("INSERT INTO 発行記録 (版ID, 発行日時, 方法) VALUES (?, ?, 'PDF')", {id, at});
    }
    ok = ok && perm.exec("INSERT INTO 発行取引先 (名) VALUES ('甲社')") && perm.exec("PRAGMA user_version = 108");
    if (!ok)
        qFatal("cannot write the older archive");
}
