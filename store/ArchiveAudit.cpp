#include "store/ArchiveAudit.h"
#include "store/ArchiveChain.h"
#include "store/ArchiveFiles.h"
#include "store/ArchiveSchema.h"
#include "store/Csv.h"
#include "store/IssueArchive.h"
#include "store/SafeFile.h"

#include <QSet>

namespace {

bool isFile(const Db &db) { return db.engine() == Db::Engine::Sqlite; }

QString versionName(qlonglong number, int version) { return QStringLiteral("No.%1 第%2版").arg(number).arg(version); }

// The highest id a file ever gave in table (AUTOINCREMENT keeps it when the row goes).
DbResult highestGiven(Db &db, const QString &table, qlonglong &seq)
{
    QVariant v;
    DbResult r = db.scalar("SELECT seq FROM sqlite_sequence WHERE name = ?", {table}, v);
    seq = v.toLongLong();
    return r;
}

void gap(ArchiveAudit &out, const QString &what, qlonglong after, qlonglong next)
{
    out.breaks.push_back({ArchiveBreak::Missing,
                          next - after == 2 ? QStringLiteral("%1 %2 がありません（削除されています）").arg(what).arg(after + 1)
                                            : QStringLiteral("%1 %2〜%3 がありません（削除されています）").arg(what).arg(after + 1).arg(next - 1)});
}

// The issues in order, each against the chain as stored up to the one before it, so a break is
// found where it is rather than everywhere after it.
struct RecordWalk {
    ArchiveAudit &out;
    bool file;
    QString previous = archivechain::kStart, previousAt;
    qlonglong previousId = 0;

    void step(const DbRow &row)
    {
        const qlonglong id = row[0].toLongLong();
        const QString at = row[2].toString(), stored = row[4].toString();
        if (file && id != previousId + 1) // a file's ids follow one another; a server's skip on rollback
            gap(out, QStringLiteral("発行記録"), previousId, id);
        const QString name = versionName(row[7].toLongLong(), row[8].toInt());
        if (row[5].isNull())
            out.breaks.push_back({ArchiveBreak::Missing,
                                  QStringLiteral("発行記録 %1（%2 発行）の版がありません（削除されています）").arg(id).arg(at),
                                  row[1].toLongLong()});
        else if (archivechain::next(previous, link(row)) != stored)
            out.breaks.push_back({ArchiveBreak::ChangedRecord,
                                  QStringLiteral("%1（%2 発行）の記録が連鎖と合いません（発行後に書き換えられています）").arg(name, at),
                                  row[5].toLongLong()});
        if (at < previousAt)
            out.breaks.push_back({ArchiveBreak::BackDated,
                                  QStringLiteral("%1 の発行日時 %2 が、その前の発行 %3 より前です（後から差し込まれています）")
                                      .arg(name, at, previousAt),
                                  row[5].toLongLong()});
        previous = stored;
        previousId = id;
        previousAt = at;
    }
    static ChainLink link(const DbRow &row)
    {
        return {row[6].toString(), row[7].toLongLong(), row[8].toInt(), row[2].toString(), row[9].toString(),
                row[10].isNull() ? std::nullopt : std::optional<qint64>(row[10].toLongLong()), row[3].toString(),
                row[11].toString()};
    }
};

DbResult checkRecords(Db &db, ArchiveAudit &out)
{
    DbRows rows;
    if (DbResult r = db.select("SELECT r.id, r.版ID, r.発行日時, r.方法, r.連鎖, v.id, v.種別, v.伝票番号, v.版, v.顧客名, v.合計, "
                               "v.SHA256 FROM 発行記録 r LEFT JOIN 発行版 v ON v.id = r.版ID ORDER BY r.id",
                               {}, rows);
        !r)
        return r;
    RecordWalk walk{out, isFile(db)};
    for (const DbRow &row : rows)
        walk.step(row);
    out.records = rows.size();
    out.head = walk.previous;
    qlonglong seq = 0;
    if (walk.file)
        if (DbResult r = highestGiven(db, QStringLiteral("発行記録"), seq); !r)
            return r;
    if (seq > walk.previousId) // the latest issues removed: the file still knows it gave their ids
        gap(out, QStringLiteral("最後の発行記録"), walk.previousId, seq + 1);
    return {};
}

struct VersionRow {
    qlonglong id;
    QString kind;
    qlonglong number;
    int version;
    QString sha;
    qlonglong issues;
};

DbResult checkSequence(Db &db, const QVector<VersionRow> &versions, ArchiveAudit &out)
{
    QSet<qlonglong> ids;
    qlonglong highest = 0;
    for (int i = 0; i < versions.size(); ++i) {
        const VersionRow &v = versions[i];
        const bool first = i == 0 || versions[i - 1].kind != v.kind || versions[i - 1].number != v.number;
        const int expected = first ? 1 : versions[i - 1].version + 1;
        if (v.version > expected)
            out.breaks.push_back({ArchiveBreak::Missing,
                                  QStringLiteral("No.%1 の第%2版がありません（削除されています）").arg(v.number).arg(expected), v.id});
        if (v.issues == 0)
            out.breaks.push_back({ArchiveBreak::Inserted,
                                  QStringLiteral("%1 はどの発行記録にもありません（後から加えられたか、記録が削除されています）")
                                      .arg(versionName(v.number, v.version)),
                                  v.id});
        ids.insert(v.id);
        highest = std::max(highest, v.id);
    }
    if (!isFile(db))
        return {};
    qlonglong seq = 0;
    if (DbResult r = highestGiven(db, QStringLiteral("発行版"), seq); !r)
        return r;
    for (qlonglong id = 1; id <= std::max(seq, highest); ++id)
        if (!ids.contains(id))
            out.breaks.push_back({ArchiveBreak::Missing, QStringLiteral("版 ID %1 がありません（削除されています）").arg(id), id});
    return {};
}

void checkBytes(const VersionRow &v, const QByteArray *bytes, ArchiveAudit &out)
{
    if (!bytes)
        out.breaks.push_back({ArchiveBreak::MissingCopy,
                              QStringLiteral("%1 の控え（PDF）がありません").arg(versionName(v.number, v.version)), v.id});
    else if (sha256Hex(*bytes) != v.sha)
        out.breaks.push_back({ArchiveBreak::ChangedCopy,
                              QStringLiteral("%1 の控え（PDF）が発行時と違います（SHA-256 が合いません）")
                                  .arg(versionName(v.number, v.version)),
                              v.id});
}

DbResult checkCopies(Db &db, const QVector<VersionRow> &versions, ArchiveAudit &out,
                     const std::function<bool(qlonglong, qlonglong)> &progress)
{
    const qlonglong total = versions.size();
    qlonglong done = 0;
    auto step = [&] { return !progress || progress(++done, total); };
    if (isFile(db)) {
        const QString folder = archivefiles::folderOf(db.path());
        for (const VersionRow &v : versions) {
            QByteArray bytes;
            const DbResult r = archivefiles::get(folder, v.sha, bytes);
            if (!r && r.code != sqlitecode::NotFound)
                return r;
            checkBytes(v, r ? &bytes : nullptr, out);
            if (!step())
                return DbResult::failure(QStringLiteral("cancelled"), sqlitecode::Cancelled);
        }
        return {};
    }
    // One pass over the server's bytes: a round trip per version would take longer than the check.
    QHash<qlonglong, const VersionRow *> byId;
    for (const VersionRow &v : versions)
        byId.insert(v.id, &v);
    bool stopped = false;
    DbResult r = db.forEachRow("SELECT v.id, p.PDF FROM 発行版 v LEFT JOIN 発行PDF p ON p.版ID = v.id ORDER BY v.id", {},
                               [&](const QSqlQuery &q) {
                                   if (stopped)
                                       return;
                                   const QByteArray bytes = q.value(1).toByteArray();
                                   checkBytes(*byId.value(q.value(0).toLongLong()), q.value(1).isNull() ? nullptr : &bytes, out);
                                   stopped = !step();
                               });
    return r && stopped ? DbResult::failure(QStringLiteral("cancelled"), sqlitecode::Cancelled) : r;
}

DbResult checkVersions(Db &db, ArchiveAudit &out, const std::function<bool(qlonglong, qlonglong)> &progress)
{
    QVector<VersionRow> versions;
    if (DbResult r = db.forEachRow("SELECT v.id, v.種別, v.伝票番号, v.版, v.SHA256, "
                                   "(SELECT count(*) FROM 発行記録 r WHERE r.版ID = v.id) FROM 発行版 v "
                                   "ORDER BY v.種別, v.伝票番号, v.版",
                                   {},
                                   [&](const QSqlQuery &q) {
                                       versions.push_back({q.value(0).toLongLong(), q.value(1).toString(),
                                                           q.value(2).toLongLong(), q.value(3).toInt(),
                                                           q.value(4).toString(), q.value(5).toLongLong()});
                                   });
        !r)
        return r;
    out.versions = versions.size();
    if (DbResult r = checkSequence(db, versions, out); !r)
        return r;
    return checkCopies(db, versions, out, progress);
}

DbResult checkNamesAndFiles(Db &db, ArchiveAudit &out)
{
    DbRows names;
    if (DbResult r = db.select("SELECT DISTINCT v.顧客名 FROM 発行版 v WHERE coalesce(v.顧客名, '') <> '' AND "
                               "NOT EXISTS (SELECT 1 FROM 発行取引先 t WHERE t.名 = v.顧客名) ORDER BY 1",
                               {}, names);
        !r)
        return r;
    for (const DbRow &n : names)
        out.breaks.push_back({ArchiveBreak::IndexRow,
                              QStringLiteral("取引先「%1」が取引先の索引にありません（発行履歴の取引先検索に出ません）")
                                  .arg(n[0].toString())});
    ArchiveStartCheck start;
    if (DbResult r = checkArchiveAtStart(db, start); !r)
        return r;
    for (const QString &t : start.unprotected)
        out.breaks.push_back({ArchiveBreak::Unprotected,
                              QStringLiteral("保護「%1」がありません（記録の変更や削除を止められません）").arg(t)});
    for (const QString &f : start.strayFiles)
        out.breaks.push_back({ArchiveBreak::StrayFile,
                              QStringLiteral("控えのファイル「%1」を記録している版がありません（版の記録が削除されています）").arg(f)});
    return {};
}

} // namespace

bool ArchiveAudit::has(ArchiveBreak::Kind kind) const
{
    return std::any_of(breaks.begin(), breaks.end(), [kind](const ArchiveBreak &b) { return b.kind == kind; });
}

QString ArchiveAudit::summary() const
{
    QString text = QStringLiteral("発行 %1 件・版 %2 件を照合しました。").arg(records).arg(versions);
    if (breaks.isEmpty())
        return text + QStringLiteral("すべて発行時のままです。\n連鎖の先頭: %1").arg(archivechain::shortCode(head));
    text += QStringLiteral("異常が %1 件あります。\n").arg(breaks.size());
    for (int i = 0; i < std::min<int>(breaks.size(), 20); ++i)
        text += QStringLiteral("・") + breaks[i].text + '\n';
    if (breaks.size() > 20)
        text += QStringLiteral("ほか %1 件\n").arg(breaks.size() - 20);
    return text + QStringLiteral("連鎖の先頭: %1").arg(archivechain::shortCode(head));
}

DbResult auditArchive(Db &db, ArchiveAudit &out, const std::function<bool(qlonglong, qlonglong)> &progress)
{
    out = {};
    if (DbResult r = checkRecords(db, out); !r)
        return r;
    if (DbResult r = checkVersions(db, out, progress); !r)
        return r;
    return checkNamesAndFiles(db, out);
}

DbResult checkArchiveAtStart(Db &db, ArchiveStartCheck &out)
{
    out = {};
    if (DbResult r = archiveschema::missingProtections(db, out.unprotected); !r)
        return r;
    if (!isFile(db))
        return {};
    QSet<QString> named;
    if (DbResult r = db.forEachRow("SELECT SHA256 FROM 発行版", {}, [&](const QSqlQuery &q) { named.insert(q.value(0).toString()); });
        !r)
        return r;
    for (const QString &sha : archivefiles::present(archivefiles::folderOf(db.path())))
        if (!named.contains(sha))
            out.strayFiles << sha + QStringLiteral(".pdf");
    out.strayFiles.sort();
    return {};
}

QString ArchiveStartCheck::notice() const
{
    QStringList parts;
    if (!unprotected.isEmpty())
        parts << QStringLiteral("発行履歴の保護（%1）が欠けています。発行済みの控えが書き換えられた可能性があります。")
                     .arg(unprotected.join(QStringLiteral("、")));
    if (!strayFiles.isEmpty())
        parts << QStringLiteral("発行履歴に記録のない控えのファイルが %1 件あります（archive フォルダー、削除せずに残しています）。")
                     .arg(strayFiles.size());
    if (parts.isEmpty())
        return {};
    return parts.join('\n') + QStringLiteral("\n発行履歴の「照合」で確かめてください。");
}

DbResult compareWithIndex(Db &db, const QString &indexPath, ArchiveAudit &out)
{
    out = {};
    QByteArray bytes;
    if (DbResult r = readRegularFile(indexPath, 512 * 1024 * 1024, bytes); !r)
        return r;
    const CsvContent csv = parseCsv(bytes);
    if (csv.rows.size() < 2 || csv.rows.last().fields.value(0) != issuearchive::kHeadRow)
        return DbResult::failure(QStringLiteral("この索引には連鎖の先頭がありません（QuoteDesk が書き出した索引.csv を選んでください）"),
                                 sqlitecode::NotADb, indexPath);
    for (int i = 1; i + 1 < csv.rows.size(); ++i) {
        const QStringList &f = csv.rows[i].fields;
        QVariant sha;
        if (DbResult r = db.scalar("SELECT SHA256 FROM 発行版 WHERE 種別 = ? AND 伝票番号 = ? AND 版 = ?",
                                   {f.value(8).isEmpty() ? issuearchive::kEstimate : f.value(8), f.value(0).toLongLong(),
                                    f.value(1).toInt()},
                                   sha);
            !r)
            return r;
        const QString name = versionName(f.value(0).toLongLong(), f.value(1).toInt());
        if (sha.isNull())
            out.breaks.push_back({ArchiveBreak::Missing, QStringLiteral("書出し時にあった %1 がありません").arg(name)});
        else if (sha.toString() != f.value(7))
            out.breaks.push_back({ArchiveBreak::ChangedRecord, QStringLiteral("%1 の SHA-256 が書出し時と違います").arg(name)});
        ++out.versions;
    }
    const QStringList &last = csv.rows.last().fields;
    out.head = last.value(7);
    DbRows at;
    if (DbResult r = db.select("SELECT id, (SELECT count(*) FROM 発行記録 b WHERE b.id <= r.id) FROM 発行記録 r WHERE 連鎖 = ?",
                               {out.head}, at);
        !r)
        return r;
    if (at.isEmpty())
        out.breaks.push_back({ArchiveBreak::ChangedRecord,
                              QStringLiteral("書出し時の連鎖の先頭 %1 が発行記録にありません（それまでの記録が変わっています）")
                                  .arg(archivechain::shortCode(out.head))});
    else if (at[0][1].toLongLong() != last.value(1).toLongLong())
        out.breaks.push_back({ArchiveBreak::Missing,
                              QStringLiteral("書出し時に %1 件だった発行記録が、その時点までで %2 件になっています")
                                  .arg(last.value(1), at[0][1].toString())});
    out.records = last.value(1).toLongLong();
    return {};
}
