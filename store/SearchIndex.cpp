#include "store/SearchIndex.h"

#include <QSqlQuery>

namespace searchindex {

QString createStatement(DocKind kind)
{
    return QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(本文, tokenize = 'trigram')").arg(kindNames(kind).index);
}

QString fold(const QString &text) { return text.normalized(QString::NormalizationForm_KC).toCaseFolded(); }

QString textOf(const QStringList &parts) { return fold(parts.join('\n')) + QStringLiteral("\n\n"); }

DbResult foldAll(Db &db, const QString &key, DocKind kind)
{
    const QString index = kindNames(kind).index;
    QVector<std::pair<qlonglong, QString>> changed; // read first: the table is written after
    DbResult r = db.forEachRow(QString("SELECT %1, 本文 FROM %2").arg(key, index), {}, [&](const QSqlQuery &q) {
        const QString text = q.value(1).toString();
        if (const QString folded = fold(text); folded != text)
            changed.push_back({q.value(0).toLongLong(), folded});
    });
    for (const auto &[number, text] : changed) {
        if (!r)
            break;
        r = db.exec(QString("UPDATE %2 SET 本文 = ? WHERE %1 = ?").arg(key, index), {text, number});
    }
    return r;
}

QString fillStatement(DocKind kind)
{
    const KindNames &k = kindNames(kind);
    return QStringLiteral("INSERT INTO %1 (rowid, 本文) SELECT h.伝票番号, coalesce(h.顧客名, '') || char(10) || "
                          "coalesce(h.件名, '') || char(10) || coalesce((SELECT group_concat(品名, char(10)) FROM "
                          "(SELECT 品名 FROM %3 WHERE 伝票番号 = h.伝票番号 ORDER BY 伝票区分, 行番号) l), '') "
                          "|| char(10) || char(10) FROM %2 h").arg(k.index, k.header, k.lines);
}

bool present(Db &db, DbResult *error, DocKind kind)
{
    QVariant n;
    const DbResult r = db.scalar(QStringLiteral("SELECT count(*) FROM main.sqlite_master WHERE name = ?"), {kindNames(kind).index}, n);
    if (error)
        *error = r;
    return r && n.toInt() > 0;
}

// When the index is too damaged for its own DROP: its tables go as plain tables, and its entry
// in the schema is removed by hand (it owns no pages of its own).
static DbResult removeByHand(Db &db, const QString &kTable)
{
    DbRows parts;
    if (DbResult r = db.select(QStringLiteral("SELECT name FROM main.sqlite_master WHERE type = 'table' AND name IN "
                                              "(?, ?, ?, ?, ?)"),
                               {kTable + "_data", kTable + "_idx", kTable + "_content", kTable + "_docsize",
                                kTable + "_config"},
                               parts);
        !r)
        return r;
    for (const DbRow &part : parts) // names from the schema itself, quoted as identifiers
        if (DbResult r = db.exec("DROP TABLE \"" + part[0].toString() + "\""); !r)
            return r;
    QVariant version;
    if (DbResult r = db.scalar(QStringLiteral("PRAGMA main.schema_version"), {}, version); !r)
        return r;
    if (DbResult r = db.exec(QStringLiteral("PRAGMA writable_schema = ON")); !r)
        return r;
    DbResult removed = db.exec(QStringLiteral("DELETE FROM main.sqlite_master WHERE type = 'table' AND name = ?"), {kTable});
    db.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
    if (!removed)
        return removed;
    // Every connection reads the schema anew.
    return db.exec(QStringLiteral("PRAGMA main.schema_version = %1").arg(version.toLongLong() + 1));
}

DbResult rebuild(Db &db)
{
    return db.transaction([&]() -> DbResult {
        for (DocKind kind : kAllKinds) {
            const QString index = kindNames(kind).index;
            if (!db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(index)))
                if (DbResult r = removeByHand(db, index); !r)
                    return r;
            if (DbResult r = db.exec(createStatement(kind)); !r)
                return r;
            if (DbResult r = db.exec(fillStatement(kind)); !r)
                return r;
            if (DbResult r = foldAll(db, QStringLiteral("rowid"), kind); !r)
                return r;
        }
        return DbResult{};
    });
}

bool isDamage(const DbResult &r)
{
    if (r)
        return false;
    const QString e = r.error.toLower();
    return r.code == sqlitecode::Corrupt || e.contains(QStringLiteral("fts5")) || e.contains(QStringLiteral("malformed")) ||
           std::any_of(kAllKinds.begin(), kAllKinds.end(), [&](DocKind k) {
               return e.contains(QStringLiteral("no such table: ") + kindNames(k).index);
           });
}

DbResult withRepair(Db &db, const std::function<DbResult()> &op, bool *rebuilt)
{
    if (rebuilt)
        *rebuilt = false;
    DbResult r = op();
    if (!isDamage(r) || db.inTransaction())
        return r;
    // Whatever else is damaged shows itself again in the second run.
    if (DbResult fixed = rebuild(db); !fixed)
        return r;
    if (rebuilt)
        *rebuilt = true;
    return op();
}

QString rebuiltNotice()
{
    return QStringLiteral("見積書の検索用の索引が壊れていたため、登録済みの見積書から作り直しました。"
                          "見積書のデータは失われていません。");
}

} // namespace searchindex
