#include "store/ArchiveSchema.h"
#include "store/ArchiveChain.h"
#include "store/ArchiveFiles.h"
#include "store/ReceivedArchive.h"

#include <QSet>

namespace archiveschema {

namespace {

const char *const kTables[] = {"発行版", "発行記録", "発行取引先"};

// No update and no delete in any archive table; in the two with ids, no insert that replaces.
// Versions follow one another per number, and no issue is dated before the latest.
QStringList fileTriggers()
{
    QStringList s;
    const std::pair<const char *, const char *> keys[] = {
        {"発行版", "id = NEW.id OR (種別 = NEW.種別 AND 伝票番号 = NEW.伝票番号 AND 版 = NEW.版)"}, {"発行記録", "id = NEW.id"}};
    for (const char *table : kTables) {
        const QString t = QString::fromUtf8(table);
        s << QString("CREATE TRIGGER %1_変更不可 BEFORE UPDATE ON %1 BEGIN SELECT RAISE(ABORT, "
                     "'issued documents cannot be changed'); END").arg(t)
          << QString("CREATE TRIGGER %1_削除不可 BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, "
                     "'issued documents cannot be deleted'); END").arg(t);
    }
    for (const auto &[table, key] : keys)
        s << QString("CREATE TRIGGER %1_置換不可 BEFORE INSERT ON %1 WHEN EXISTS (SELECT 1 FROM %1 WHERE %2) "
                     "BEGIN SELECT RAISE(ABORT, 'issued documents cannot be replaced'); END")
                 .arg(QString::fromUtf8(table), QString::fromUtf8(key));
    s << "CREATE TRIGGER 発行版_順序 BEFORE INSERT ON 発行版 WHEN NEW.版 <> 1 + coalesce((SELECT max(版) FROM 発行版 "
         "WHERE 種別 = NEW.種別 AND 伝票番号 = NEW.伝票番号), 0) BEGIN SELECT RAISE(ABORT, 'versions follow one another'); END"
      << "CREATE TRIGGER 発行記録_順序 BEFORE INSERT ON 発行記録 WHEN NEW.発行日時 < (SELECT max(発行日時) FROM 発行記録) "
         "BEGIN SELECT RAISE(ABORT, 'no issue is dated before the latest'); END";
    return s;
}

QStringList fileTables(const QString &suffix)
{
    return {QString("CREATE TABLE 発行版%1 (id INTEGER PRIMARY KEY AUTOINCREMENT, 種別 TEXT NOT NULL DEFAULT '見積書', "
                    "伝票番号 INTEGER NOT NULL, 版 INTEGER NOT NULL, 発行日時 TEXT NOT NULL, 顧客名 TEXT, 日付 TEXT, "
                    "合計 INTEGER, 内容 BLOB NOT NULL, SHA256 TEXT NOT NULL, UNIQUE (種別, 伝票番号, 版))").arg(suffix),
            QString("CREATE TABLE 発行記録%1 (id INTEGER PRIMARY KEY AUTOINCREMENT, 版ID INTEGER NOT NULL, "
                    "発行日時 TEXT NOT NULL, 方法 TEXT NOT NULL, 連鎖 TEXT NOT NULL)").arg(suffix)};
}

QStringList fileIndexes()
{
    return {"CREATE INDEX 発行記録_日時 ON 発行記録 (発行日時)", "CREATE INDEX 発行記録_版 ON 発行記録 (版ID)",
            "CREATE INDEX 発行版_合計 ON 発行版 (合計)", "CREATE INDEX 発行版_顧客名 ON 発行版 (顧客名)"};
}

// Every existing issue, in order, with what its link covers; the chain is computed as they come.
DbResult chainExisting(Db &db, const QString &versions, const QString &records,
                       const std::function<DbResult(const QVariant &id, const QString &chain)> &store)
{
    DbRows rows;
    if (DbResult r = db.select(QString("SELECT r.id, v.種別, v.伝票番号, v.版, r.発行日時, v.顧客名, v.合計, r.方法, v.SHA256 "
                                       "FROM %1 r LEFT JOIN %2 v ON v.id = r.版ID ORDER BY r.id").arg(records, versions),
                               {}, rows);
        !r)
        return r;
    QString head = archivechain::kStart;
    for (const DbRow &row : rows) {
        head = archivechain::next(head, {row[1].toString(), row[2].toLongLong(), row[3].toInt(), row[4].toString(),
                                         row[5].toString(), row[6].isNull() ? std::nullopt : std::optional<qint64>(row[6].toLongLong()),
                                         row[7].toString(), row[8].toString()});
        if (DbResult r = store(row[0], head); !r)
            return r;
    }
    return {};
}

DbResult hasColumn(Db &db, const QString &table, const QString &column, bool &has)
{
    QVariant n;
    DbResult r = db.scalar(db.engine() == Db::Engine::Sqlite
                               ? "SELECT count(*) FROM pragma_table_info(?) WHERE name = ?"
                               : "SELECT count(*) FROM information_schema.columns WHERE table_schema = 'public' "
                                 "AND table_name = ? AND column_name = ?",
                           {table, column}, n);
    has = n.toInt() > 0;
    return r;
}

} // namespace

QStringList fileStatements()
{
    return fileTables(QString()) + fileIndexes() +
           QStringList{"CREATE TABLE 発行取引先 (名 TEXT PRIMARY KEY) WITHOUT ROWID"} + fileTriggers();
}

QStringList fileStatementsV5()
{
    QStringList s{
        "CREATE TABLE 発行版 (id INTEGER PRIMARY KEY, 伝票番号 INTEGER NOT NULL, 版 INTEGER NOT NULL, "
        "発行日時 TEXT NOT NULL, 顧客名 TEXT, 日付 TEXT, 合計 INTEGER, 内容 BLOB NOT NULL, SHA256 TEXT NOT NULL, "
        "UNIQUE (伝票番号, 版))",
        "CREATE TABLE 発行PDF (版ID INTEGER PRIMARY KEY, PDF BLOB NOT NULL)",
        "CREATE TABLE 発行記録 (id INTEGER PRIMARY KEY, 版ID INTEGER NOT NULL, 発行日時 TEXT NOT NULL, 方法 TEXT NOT NULL)",
        "CREATE INDEX 発行記録_日時 ON 発行記録 (発行日時)", "CREATE INDEX 発行記録_版 ON 発行記録 (版ID)",
        "CREATE INDEX 発行版_合計 ON 発行版 (合計)", "CREATE INDEX 発行版_顧客名 ON 発行版 (顧客名)",
        "CREATE TABLE 発行取引先 (名 TEXT PRIMARY KEY) WITHOUT ROWID",
    };
    for (const char *table : {"発行版", "発行PDF", "発行記録"})
        s << QString("CREATE TRIGGER %1_変更不可 BEFORE UPDATE ON %1 BEGIN SELECT RAISE(ABORT, "
                     "'issued estimates cannot be changed'); END").arg(QString::fromUtf8(table))
          << QString("CREATE TRIGGER %1_削除不可 BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, "
                     "'issued estimates cannot be deleted'); END").arg(QString::fromUtf8(table));
    return s;
}

static DbResult rebuildFileTables(Db &db);

DbResult upgradeFile(Db &db)
{
    bool done = false;
    if (DbResult r = hasColumn(db, QStringLiteral("自社情報"), QStringLiteral("控え保持数"), done); !r)
        return r;
    if (!done)
        if (DbResult r = db.exec("ALTER TABLE 自社情報 ADD COLUMN 控え保持数 INTEGER"); !r)
            return r;
    if (DbResult r = hasColumn(db, QStringLiteral("発行記録"), QStringLiteral("連鎖"), done); !r || done)
        return r;
    if (DbResult r = rebuildFileTables(db); !r)
        return r;
    for (const char *sql : {"DROP TABLE 発行PDF", "DROP TABLE 発行記録", "DROP TABLE 発行版",
                            "ALTER TABLE 発行版_新 RENAME TO 発行版", "ALTER TABLE 発行記録_新 RENAME TO 発行記録"})
        if (DbResult r = db.exec(QString::fromUtf8(sql)); !r)
            return r;
    for (const QString &sql : fileIndexes() + fileTriggers())
        if (DbResult r = db.exec(sql); !r)
            return r;
    return {};
}

// The tables anew with ids that are never given twice and the chain filled in; the bytes out.
static DbResult rebuildFileTables(Db &db)
{
    for (const QString &sql : fileTables(QStringLiteral("_新")))
        if (DbResult r = db.exec(sql); !r)
            return r;
    if (DbResult r = db.exec("INSERT INTO 発行版_新 (id, 種別, 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256) "
                             "SELECT id, '見積書', 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256 FROM 発行版 ORDER BY id");
        !r)
        return r;
    if (DbResult r = chainExisting(db, "発行版_新", "発行記録", [&](const QVariant &id, const QString &chain) {
            return db.exec("INSERT INTO 発行記録_新 (id, 版ID, 発行日時, 方法, 連鎖) SELECT id, 版ID, 発行日時, 方法, ? "
                           "FROM 発行記録 WHERE id = ?", {chain, id});
        });
        !r)
        return r;
    // The bytes leave under their stored hash: a copy that no longer matches it stays evidence.
    const QString folder = archivefiles::folderOf(db.path());
    DbResult moved;
    if (DbResult r = db.forEachRow("SELECT v.SHA256, p.PDF FROM 発行PDF p JOIN 発行版 v ON v.id = p.版ID", {},
                                   [&](const QSqlQuery &q) {
                                       if (moved)
                                           moved = archivefiles::put(folder, q.value(0).toString(), q.value(1).toByteArray());
                                   });
        !r || !moved)
        return r ? moved : r;
    return {};
}

QStringList serverTables()
{
    return {
        "CREATE TABLE 発行版 (id bigserial PRIMARY KEY, 伝票番号 bigint NOT NULL, 版 bigint NOT NULL, "
        "発行日時 text NOT NULL, 顧客名 text, 日付 text, 合計 bigint, 内容 bytea NOT NULL, SHA256 text NOT NULL, "
        "種別 text NOT NULL DEFAULT '見積書', UNIQUE (伝票番号, 版))",
        "CREATE TABLE 発行PDF (版ID bigint PRIMARY KEY, PDF bytea NOT NULL)",
        "CREATE TABLE 発行記録 (id bigserial PRIMARY KEY, 版ID bigint NOT NULL, 発行日時 text NOT NULL, 方法 text NOT NULL, "
        "連鎖 text NOT NULL)",
        "CREATE INDEX 発行記録_日時 ON 発行記録 (発行日時)",
        "CREATE INDEX 発行記録_版 ON 発行記録 (版ID)",
        "CREATE INDEX 発行版_合計 ON 発行版 (合計)",
        "CREATE INDEX 発行版_顧客名 ON 発行版 (顧客名)",
        "CREATE TABLE 発行取引先 (名 text PRIMARY KEY)",
    };
}

QStringList serverProtections()
{
    QStringList s{
        "CREATE OR REPLACE FUNCTION quotedesk_issued_unchangeable() RETURNS trigger LANGUAGE plpgsql AS "
        "$body$ BEGIN RAISE EXCEPTION 'issued estimates cannot be changed or deleted'; END $body$",
    };
    for (const char *table : {"発行版", "発行PDF", "発行記録", "発行取引先"}) {
        const QString t = QString::fromUtf8(table);
        s << QString("CREATE TRIGGER %1_変更不可 BEFORE UPDATE OR DELETE ON %1 FOR EACH ROW "
                     "EXECUTE FUNCTION quotedesk_issued_unchangeable()").arg(t)
          << QString("CREATE TRIGGER %1_消去不可 BEFORE TRUNCATE ON %1 FOR EACH STATEMENT "
                     "EXECUTE FUNCTION quotedesk_issued_unchangeable()").arg(t);
    }
    return s;
}

DbResult upgradeServer(Db &db)
{
    bool done = false;
    if (DbResult r = hasColumn(db, QStringLiteral("発行記録"), QStringLiteral("連鎖"), done); !r || done)
        return r;
    for (const char *sql : {"ALTER TABLE 発行版 ADD COLUMN 種別 text NOT NULL DEFAULT '見積書'",
                            "ALTER TABLE 発行記録 ADD COLUMN 連鎖 text", "ALTER TABLE 発行記録 DISABLE TRIGGER USER"})
        if (DbResult r = db.execUnprepared(QString::fromUtf8(sql)); !r)
            return r;
    // Written in batches, one statement each: a record at a time would cost a round trip apiece.
    QStringList ids, chains;
    auto flush = [&]() -> DbResult {
        if (ids.isEmpty())
            return {};
        DbResult r = db.exec("UPDATE 発行記録 r SET 連鎖 = x.c FROM unnest(?::bigint[], ?::text[]) AS x(i, c) WHERE r.id = x.i",
                             {'{' + ids.join(',') + '}', '{' + chains.join(',') + '}'});
        ids.clear();
        chains.clear();
        return r;
    };
    if (DbResult r = chainExisting(db, "発行版", "発行記録", [&](const QVariant &id, const QString &chain) {
            ids << QString::number(id.toLongLong());
            chains << chain;
            return ids.size() < 5000 ? DbResult{} : flush();
        });
        !r)
        return r;
    if (DbResult r = flush(); !r)
        return r;
    QStringList s{"ALTER TABLE 発行記録 ENABLE TRIGGER USER", "ALTER TABLE 発行記録 ALTER COLUMN 連鎖 SET NOT NULL"};
    for (const QString &sql : serverProtections())
        if (sql.contains(QStringLiteral("発行取引先")) || sql.startsWith(QStringLiteral("CREATE OR REPLACE")))
            s << sql;
    for (const QString &sql : s)
        if (DbResult r = db.execUnprepared(sql); !r)
            return r;
    return {};
}

DbResult missingProtections(Db &db, QStringList &missing)
{
    missing.clear();
    const bool file = db.engine() == Db::Engine::Sqlite;
    QStringList expected;
    for (const QString &sql : file ? fileTriggers() : serverProtections())
        if (sql.startsWith(QStringLiteral("CREATE TRIGGER ")))
            expected << sql.section(QLatin1Char(' '), 2, 2);
    expected << receivedarchive::protectionNames(db.engine());
    DbRows rows;
    // A server's trigger switched off protects nothing: it counts as missing.
    if (DbResult r = db.select(file ? "SELECT name FROM sqlite_master WHERE type = 'trigger'"
                                    : "SELECT tgname FROM pg_trigger WHERE NOT tgisinternal AND tgenabled <> 'D'",
                               {}, rows);
        !r)
        return r;
    QSet<QString> present;
    for (const DbRow &row : rows)
        present.insert(row.value(0).toString().toLower());
    for (const QString &name : expected)
        if (!present.contains(name.toLower()))
            missing << name;
    return {};
}

} // namespace archiveschema
