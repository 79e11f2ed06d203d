#include "server/ServerSchema.h"
#include "store/ArchiveSchema.h"
#include "store/SearchIndex.h"
#include "server/ServerSave.h"
#include "server/ServerIssue.h"
#include "store/Owed.h"
#include "store/ReceivedArchive.h"
#include "store/Schema.h"
#include "store/Tables.h"

#include <QSet>

namespace serverschema {

static QStringList tableStatements()
{
    return QStringList{
        "CREATE TABLE quotedesk_schema (application_id integer NOT NULL, version integer NOT NULL)",
        tables::header(DocKind::Estimate).createStatement(Db::Engine::Postgres),
        tables::lines(DocKind::Estimate).createStatement(Db::Engine::Postgres),
        // One row per name: registration from two desktops at once is an upsert, not a second row.
        tables::customers().createStatement(Db::Engine::Postgres),
        tables::products().createStatement(Db::Engine::Postgres),
        // One row only, so that the counter can be raised by an upsert on its key.
        tables::settings().createStatement(Db::Engine::Postgres),
        tables::codes().createStatement(Db::Engine::Postgres),
        "CREATE TABLE 見積書索引 (伝票番号 bigint PRIMARY KEY, 本文 text NOT NULL)",
        "CREATE INDEX 見積書索引_本文 ON 見積書索引 USING gin (本文 gin_trgm_ops)",
        "CREATE TABLE 変更番号 (表 text PRIMARY KEY, 番号 bigint NOT NULL)",
        "INSERT INTO 変更番号 (表, 番号) VALUES ('顧客マスタ', 0), ('商品マスタ', 0), ('自社情報', 0)",
    } + archiveschema::serverTables();
}

// Every change to a master is counted, so that each desktop re-reads its copy only then:
// once per statement that changed a row; a registration that finds every row as it was
// counts nothing. (Counting per row made a 30-line save update the counter 30 times.)
static QStringList changeCounting(bool upgrading)
{
    QStringList s{
        "CREATE OR REPLACE FUNCTION quotedesk_count_changes() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN "
        "IF EXISTS (SELECT 1 FROM changed) THEN UPDATE 変更番号 SET 番号 = 番号 + 1 WHERE 表 = TG_TABLE_NAME; END IF; "
        "RETURN NULL; END $body$",
    };
    const QStringList events{"INSERT", "UPDATE", "DELETE"}, names{"追加", "変更", "削除"};
    for (const char *table : {"顧客マスタ", "商品マスタ"}) {
        const QString t = QString::fromUtf8(table);
        if (upgrading)
            s << QString("DROP TRIGGER %1_変更 ON %1").arg(t); // counted per row before 302
        for (int i = 0; i < events.size(); ++i)
            s << QString("CREATE TRIGGER %1_%2 AFTER %3 ON %1 REFERENCING %4 TABLE AS changed FOR EACH STATEMENT "
                         "EXECUTE FUNCTION quotedesk_count_changes()")
                     .arg(t, names[i], events[i], events[i] == "DELETE" ? "OLD" : "NEW");
    }
    return s;
}

// One and two characters: no trigram holds them, so each text's single characters and
// pairs (folded as ILIKE folds) are indexed beside. And the planner chooses between the index
// and walking the newest estimates from how often a text occurs: a sample of a hundred texts
// made that guess differ from one ANALYZE to the next (3 ms or 115 ms for the same search).
static QStringList searchStatements()
{
    return {
        "ALTER TABLE 見積書索引 ALTER COLUMN 本文 SET STATISTICS 1000",
        // plpgsql keeps its plan between calls; an SQL function planned anew for every row written.
        "CREATE OR REPLACE FUNCTION quotedesk_grams(t text) RETURNS text[] LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS "
        "$body$ DECLARE u text[] := string_to_array(lower(t), NULL); BEGIN "
        "RETURN u || ARRAY(SELECT a || b FROM unnest(u[1:cardinality(u) - 1], u[2:cardinality(u)]) x(a, b)); END $body$",
        "CREATE INDEX 見積書索引_短語 ON 見積書索引 USING gin (quotedesk_grams(本文))",
    };
}

// Changes of the settings counted, the raise of the estimate counter in the same row not.
// Row by row for an insert: an upsert that updates does not count as one.
static QStringList settingsCounting()
{
    const QString count = QStringLiteral(" ON 自社情報 FOR EACH %1 EXECUTE FUNCTION quotedesk_count_change()");
    return {"CREATE OR REPLACE TRIGGER 自社情報_変更 AFTER UPDATE OF 自社名, 自社情報, 税区分, LineColor1, 税率, 端数処理, 登録番号, "
            "見積番号印刷, 社印 OR DELETE" + count.arg("STATEMENT"),
            "CREATE OR REPLACE TRIGGER 自社情報_追加 AFTER INSERT" + count.arg("ROW")};
}

// The search index of a kind: trigrams, and single characters and pairs (see searchStatements).
static QStringList indexStatements(DocKind kind)
{
    const QString t = kindNames(kind).index;
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (伝票番号 bigint PRIMARY KEY, 本文 text NOT NULL)").arg(t),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1_本文 ON %1 USING gin (本文 gin_trgm_ops)").arg(t),
            QStringLiteral("ALTER TABLE %1 ALTER COLUMN 本文 SET STATISTICS 1000").arg(t),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1_短語 ON %1 USING gin (quotedesk_grams(本文))").arg(t)};
}

// Delivery notes and invoices: their tables, counters, links, indexes and save functions, the
// customers' invoice rules and the settings' bank accounts (after the estimate's search statements).
// Each leaves what exists as it is: a database prepared by hand halfway still upgrades.
static QStringList kindStatements(std::initializer_list<DocKind> kinds)
{
    QStringList s;
    for (DocKind kind : kinds)
        s << tables::header(kind).createStatement(Db::Engine::Postgres, true)
          << tables::lines(kind).createStatement(Db::Engine::Postgres, true)
          << indexStatements(kind)
          << QStringLiteral("ALTER TABLE 自社情報 ADD COLUMN IF NOT EXISTS %1 bigint").arg(kindNames(kind).counter)
          << serversave::functionStatement(kind);
    return s;
}

static QStringList laterKindStatements()
{
    QStringList s = kindStatements({DocKind::Delivery, DocKind::Invoice});
    s << tables::links().createStatement(Db::Engine::Postgres, true)
      << QStringLiteral("CREATE INDEX IF NOT EXISTS 伝票連携_元 ON 伝票連携 (元種別, 元番号)")
      // The same number in two kinds is two documents.
      << QStringLiteral("ALTER TABLE 発行版 DROP CONSTRAINT IF EXISTS 発行版_伝票番号_版_key")
      << QStringLiteral("ALTER TABLE 発行版 DROP CONSTRAINT IF EXISTS 発行版_種別_番号_版")
      << QStringLiteral("ALTER TABLE 発行版 ADD CONSTRAINT 発行版_種別_番号_版 UNIQUE (種別, 伝票番号, 版)");
    for (const QString &column : schema::laterSettingsColumns())
        s << QStringLiteral("ALTER TABLE 自社情報 ADD COLUMN IF NOT EXISTS %1").arg(column);
    for (const QString &column : schema::laterCustomerColumns())
        s << QStringLiteral("ALTER TABLE 顧客マスタ ADD COLUMN IF NOT EXISTS %1").arg(column);
    return s;
}

// 307: credit notes and receipts, a monthly invoice's period and balance, the customers' closing day.
static QStringList moneyBackStatements()
{
    QStringList s = kindStatements({DocKind::Credit, DocKind::Receipt});
    const QStringList types{"text", "text", "bigint", "bigint", "bigint"};
    const QStringList closing = tables::closingHeaderColumns();
    for (int i = 0; i < closing.size(); ++i)
        s << QStringLiteral("ALTER TABLE 請求書ヘッダ ADD COLUMN IF NOT EXISTS %1 %2").arg(closing[i], types[i]);
    return s << QStringLiteral("ALTER TABLE 顧客マスタ ADD COLUMN IF NOT EXISTS 締日 text")
             << serversave::functionStatement(DocKind::Invoice);
}

static QStringList triggerStatements()
{
    // What was issued stays as it was, whoever connects: no update, delete or truncate.
    QStringList s = archiveschema::serverProtections();
    // Emptied all at once (a wipe): counted too.
    s << "CREATE FUNCTION quotedesk_count_change() RETURNS trigger LANGUAGE plpgsql AS "
         "$body$ BEGIN UPDATE 変更番号 SET 番号 = 番号 + 1 WHERE 表 = TG_TABLE_NAME; RETURN NULL; END $body$";
    for (const char *table : {"顧客マスタ", "商品マスタ"})
        s << QString("CREATE TRIGGER %1_消去 AFTER TRUNCATE ON %1 FOR EACH STATEMENT "
                     "EXECUTE FUNCTION quotedesk_count_change()").arg(QString::fromUtf8(table));
    return s + changeCounting(false) + settingsCounting();
}

QStringList createStatements()
{
    // pg_trgm is a trusted extension: the database's owner may create it without a superuser.
    return QStringList{"CREATE EXTENSION IF NOT EXISTS pg_trgm"} + tableStatements() + triggerStatements() +
           searchStatements() + QStringList{serversave::functionStatement()} + laterKindStatements() +
           schema::paymentStatements(Db::Engine::Postgres) + moneyBackStatements() +
           QStringList{serverissue::functionStatement()} + owed::statements(Db::Engine::Postgres, kLockSpace + 3) +
           receivedarchive::statements(Db::Engine::Postgres);
}

DbResult tableCount(Db &db, int &count)
{
    QVariant v;
    DbResult r = db.scalar("SELECT count(*) FROM information_schema.tables WHERE table_schema = 'public'", {}, v);
    count = v.toInt();
    return r;
}

DbResult create(Db &db)
{
    return db.transaction([&]() -> DbResult {
        int tables = 0;
        if (DbResult r = tableCount(db, tables); !r)
            return r;
        if (tables > 0)
            return DbResult::failure(QStringLiteral("データベース %1 は空ではありません（表が %2 個あります）")
                                         .arg(db.path())
                                         .arg(tables));
        for (const QString &sql : createStatements())
            if (DbResult r = db.execUnprepared(sql); !r)
                return r;
        return db.exec("INSERT INTO quotedesk_schema (application_id, version) VALUES (?, ?)",
                       {kApplicationId, kVersion});
    });
}

static QStringList ourTables()
{
    return {"見積書ヘッダ", "見積書", "顧客マスタ", "商品マスタ", "自社情報", "コードマスタ", "見積書索引",
            "発行版", "発行PDF", "発行記録", "発行取引先", "変更番号", "納品書ヘッダ", "納品書", "納品書索引", "請求書ヘッダ",
            "請求書", "請求書索引", "伝票連携", "入金", "返還請求書ヘッダ", "返還請求書", "返還請求書索引", "領収書ヘッダ",
            "領収書", "領収書索引", "売掛残", "売掛期日", "受領書類", "発行XML"};
}

static DbResult storedVersion(Db &db, int &version)
{
    QVariant v;
    DbResult r = db.scalar("SELECT max(version) FROM quotedesk_schema WHERE application_id = ?", {kApplicationId}, v);
    version = v.toInt();
    return r;
}

// 301 had no save function, no index for short searches, and counted master changes per row;
// 302 held the search texts unfolded; 303 had no chain over the issues; 304 only estimates; 305 no payments; 306 no credit notes or receipts; 307 no 売掛残 and no 受領書類; 308 no 行種別. Desktops starting at once upgrade one after the other.
static DbResult upgrade(Db &db)
{
    return db.transaction([&]() -> DbResult {
        if (DbResult r = db.exec("SELECT pg_advisory_xact_lock(?)", {qlonglong(kLockSpace) << 32}); !r)
            return r;
        // An upgrade rewrites what is stored once; its statements may run longer than any action's.
        if (DbResult r = db.execUnprepared("SET LOCAL statement_timeout = 600000"); !r)
            return r;
        int version = 0;
        if (DbResult r = storedVersion(db, version); !r || version < 301 || version >= kVersion)
            return r;
        if (version == 301)
            for (const QString &sql : changeCounting(true) + searchStatements() + QStringList{serversave::functionStatement()})
                if (DbResult r = db.execUnprepared(sql); !r)
                    return r;
        if (version <= 302)
            if (DbResult r = searchindex::foldAll(db, QStringLiteral("伝票番号")); !r)
                return r;
        if (DbResult r = db.execUnprepared("ALTER TABLE 自社情報 ADD COLUMN IF NOT EXISTS 控え保持数 bigint"); !r)
            return r;
        if (DbResult r = archiveschema::upgradeServer(db); !r)
            return r;
        if (version <= 304)
            for (const QString &sql : laterKindStatements())
                if (DbResult r = db.execUnprepared(sql); !r)
                    return r;
        for (const QString &sql : schema::paymentStatements(Db::Engine::Postgres)) // 306: payments
            if (DbResult r = db.execUnprepared(sql); !r)
                return r;
        if (version <= 306) // 307: credit notes and receipts
            for (const QString &sql : moneyBackStatements())
                if (DbResult r = db.execUnprepared(sql); !r)
                    return r;
        if (DbResult r = db.execUnprepared(serverissue::functionStatement()); !r)
            return r;
        if (version <= 307) // 308: what each invoice still asks, kept by the server itself; the documents received
            for (const QString &sql : owed::statements(Db::Engine::Postgres, kLockSpace + 3) + owed::fillStatements() +
                                          receivedarchive::statements(Db::Engine::Postgres))
                if (DbResult r = db.execUnprepared(sql); !r)
                    return r;
        if (version <= 308) // 309: each line's kind (heading, subtotal, discount, note); the saves write it
            for (DocKind kind : kAllKinds)
                for (const QString &sql : {QStringLiteral("ALTER TABLE %1 ADD COLUMN IF NOT EXISTS 行種別 text").arg(kindNames(kind).lines),
                                           serversave::functionStatement(kind)})
                    if (DbResult r = db.execUnprepared(sql); !r)
                        return r;
        if (version <= 303) {
            if (DbResult r = db.exec("INSERT INTO 変更番号 (表, 番号) VALUES ('自社情報', 0) ON CONFLICT DO NOTHING"); !r)
                return r;
            for (const QString &sql : settingsCounting())
                if (DbResult r = db.execUnprepared(sql); !r)
                    return r;
        }
        return db.exec("UPDATE quotedesk_schema SET version = ? WHERE application_id = ?", {kVersion, kApplicationId});
    });
}

// Whether the user holds each right on its table, in one round trip; else a failure naming the
// first table and right missing. Names and rights are program constants, passed as two arrays.
static DbResult requireRights(Db &db, const QVector<std::pair<QString, QString>> &needed)
{
    QStringList tables, rights;
    for (const auto &[table, right] : needed) {
        tables << table;
        rights << right;
    }
    DbRows rows;
    if (DbResult r = db.select("SELECT x.t, x.r, current_user FROM unnest(?::text[], ?::text[]) WITH ORDINALITY AS x(t, r, n) "
                               "WHERE NOT has_table_privilege(current_user, 'public.' || x.t, x.r) ORDER BY x.n LIMIT 1",
                               {'{' + tables.join(',') + '}', '{' + rights.join(',') + '}'}, rows);
        !r || rows.isEmpty())
        return r;
    DbResult r = DbResult::failure(QStringLiteral("ユーザー「%1」には表「%2」の %3 の権限がありません")
                                       .arg(rows[0][2].toString(), rows[0][0].toString(), rows[0][1].toString()),
                                   sqlitecode::NoPermission, db.path());
    r.server = true;
    return r;
}

// What a desktop does to each table (the archive's only grow). A user who may not is told so at
// the start, naming the table, rather than that the database is empty, or by a failed save later.
static DbResult checkRights(Db &db)
{
    const QSet<QString> appendOnly{"発行版", "発行PDF", "発行記録", "発行取引先", "受領書類", "発行XML"};
    QVector<std::pair<QString, QString>> needed;
    for (const QString &t : ourTables())
        for (const char *right : {"SELECT", "INSERT", "UPDATE", "DELETE"})
            if (!appendOnly.contains(t) || QByteArray(right) == "SELECT" || QByteArray(right) == "INSERT")
                needed.push_back({t, QString::fromLatin1(right)});
    return requireRights(db, needed);
}

// The tables of the public schema, from the catalogue: it lists them whatever the user may do
// with them. Unquoted names fold: 発行PDF is 発行pdf.
static DbResult presentTables(Db &db, QSet<QString> &present)
{
    DbRows rows;
    present.clear();
    DbResult r = db.select("SELECT tablename FROM pg_catalog.pg_tables WHERE schemaname = 'public'", {}, rows);
    for (const DbRow &row : rows)
        present.insert(row.value(0).toString().toLower());
    return r;
}

DbResult check(Db &db)
{
    QSet<QString> present;
    if (DbResult r = presentTables(db, present); !r)
        return r;
    auto notOurs = [&](const QString &why) {
        return DbResult::failure(QStringLiteral("QuoteDesk のデータベースではありません（%1）").arg(why),
                                 sqlitecode::NotADb, db.path());
    };
    if (!present.contains(QStringLiteral("quotedesk_schema")))
        return notOurs(present.isEmpty() ? QStringLiteral("空です。quotedesk_mkdata --create で準備してください")
                                         : QStringLiteral("quotedesk_schema がありません"));
    if (DbResult r = requireRights(db, {{QStringLiteral("quotedesk_schema"), QStringLiteral("SELECT")}}); !r)
        return r;
    int version = 0;
    if (DbResult r = storedVersion(db, version); !r)
        return r;
    if (version > kVersion)
        return DbResult::failure(QString("database version %1 is newer than this program's %2").arg(version).arg(kVersion),
                                 sqlitecode::NewerVersion, db.path());
    if (version >= 301 && version < kVersion) {
        if (DbResult r = upgrade(db); !r)
            return r;
        version = kVersion;
        if (DbResult r = presentTables(db, present); !r) // what the upgrade added
            return r;
    }
    if (version != kVersion)
        return notOurs(QStringLiteral("版 %1").arg(version));
    for (const QString &t : ourTables())
        if (!present.contains(t.toLower()))
            return notOurs(QStringLiteral("表 %1 がありません").arg(t));
    return checkRights(db);
}

} // namespace serverschema
