// An office's server, written by several desktops at once (READ COMMITTED): the counter is
// raised by an upsert on its one row, each estimate number has an advisory lock of its own,
// master names are unique and registered by upserts, and every statement is one round trip.
#include "store/BatchInsert.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"
#include "store/Schema.h"
#include "server/ServerSave.h"
#include "server/ServerSchema.h"
#include "server/ServerEngine.h"
#include "server/ServerIssue.h"

#include <QHash>
#include <QSet>

namespace {

// The server's type of a master or line column, for values it cannot infer.
QString sqlType(const QString &column)
{
    static const QSet<QString> whole{"単価", "金額", "非課税", "軽減", "伝票番号", "行番号"};
    return whole.contains(column) ? QStringLiteral("bigint") : QStringLiteral("text");
}

// Text found literally by LIKE: its wildcards and the escape character stand for themselves.
QString likeLiteral(const QString &text)
{
    QString t = text;
    t.replace('\\', QStringLiteral("\\\\")).replace('%', QStringLiteral("\\%")).replace('_', QStringLiteral("\\_"));
    return '%' + t + '%';
}

// Rows of one name once: the last, as a save writing them one after another would leave it.
QVector<MasterRow> lastOfEachName(const QVector<MasterRow> &rows)
{
    QHash<QString, int> at;
    QVector<MasterRow> out;
    for (const MasterRow &row : rows) {
        const QString name = row.values.first().toString();
        if (const auto it = at.constFind(name); it != at.constEnd()) {
            out[*it] = row;
            continue;
        }
        at.insert(name, out.size());
        out << row;
    }
    return out;
}

// Own fields of rows that exist already, written where they differ: one statement for all.
DbResult updateOwnFields(Db &db, const QString &table, const QStringList &fields, const QVector<MasterRow> &rows)
{
    QStringList names{QStringLiteral("k")}, sets, differs, tuples;
    QVariantList binds;
    for (int i = 1; i < fields.size(); ++i) {
        names << QStringLiteral("f%1").arg(i);
        sets << QStringLiteral("%1 = CASE WHEN v.o%2 = 1 THEN v.f%2 ELSE m.%1 END").arg(fields[i]).arg(i);
        differs << QStringLiteral("(v.o%2 = 1 AND m.%1 IS DISTINCT FROM v.f%2)").arg(fields[i]).arg(i);
    }
    for (int i = 1; i < fields.size(); ++i)
        names << QStringLiteral("o%1").arg(i);
    for (const MasterRow &row : rows) {
        QStringList marks;
        for (int i = 0; i < fields.size(); ++i) {
            marks << QStringLiteral("?::") + sqlType(fields[i]);
            binds << row.values[i];
        }
        for (int i = 1; i < fields.size(); ++i) {
            marks << QStringLiteral("?::integer");
            binds << (row.own[i] ? 1 : 0);
        }
        tuples << '(' + marks.join(", ") + ')';
    }
    return db.exec(QStringLiteral("UPDATE %1 AS m SET %2 FROM (VALUES %3) AS v(%4) WHERE m.%5 = v.k AND (%6)")
                       .arg(table, sets.join(", "), tuples.join(", "), names.join(", "), fields.first(),
                            differs.join(" OR ")),
                   binds);
}

class PostgresEngine final : public StoreEngine {
public:
    QString description(const Db &db) const override
    {
        return QStringLiteral("サーバーの PostgreSQL データベース（%1）").arg(db.path());
    }
    DbResult createSchema(Db &db) const override
    {
        return db.transaction([&]() -> DbResult {
            if (DbResult r = serverschema::create(db); !r)
                return r;
            return schema::insertUnitCodes(db);
        });
    }
    DbResult checkSchema(Db &db) const override { return serverschema::check(db); }

    DbResult proposedNumber(Db &db, DocKind kind, qlonglong &next) const override
    {
        QVariant v; // max() of bigint stays bigint; coalesce keeps it so
        DbResult r = db.scalar(QStringLiteral("SELECT coalesce(max(%1), 0) + 1 FROM 自社情報").arg(kindNames(kind).counter), {}, v);
        next = v.toLongLong();
        return r;
    }
    DbResult raiseNumber(Db &db, DocKind kind, qlonglong saved) const override
    {
        return db.exec(QStringLiteral("INSERT INTO 自社情報 (id, %1) VALUES (1, ?) ON CONFLICT (id) DO UPDATE SET "
                                      "%1 = greatest(自社情報.%1, EXCLUDED.%1)")
                           .arg(kindNames(kind).counter),
                       {saved});
    }
    DbResult takeNextNumber(Db &db, DocKind kind, qlonglong &number) const override
    {
        const KindNames &k = kindNames(kind);
        // The upsert holds the counter's row until commit: no other desktop takes the same one.
        for (QVariant taken = 1; !taken.isNull();) {
            QVariant v;
            if (DbResult r = db.scalar(QStringLiteral("INSERT INTO 自社情報 (id, %1) VALUES (1, 1) ON CONFLICT (id) DO "
                                                      "UPDATE SET %1 = coalesce(自社情報.%1, 0) + 1 RETURNING %1")
                                           .arg(k.counter),
                                       {}, v);
                !r)
                return r;
            number = v.toLongLong();
            // A desktop saving this very number as its own holds it: it is taken. Never waited
            // for: that desktop waits for the counter held here, and waiting would deadlock.
            QVariant locked;
            if (DbResult r = db.scalar("SELECT pg_try_advisory_xact_lock(?, ?)", {serverschema::lockSpace(kind), int(number)},
                                       locked);
                !r)
                return r;
            if (!locked.toBool())
                continue;
            if (DbResult r = db.scalar(QStringLiteral("SELECT 1 FROM %1 WHERE 伝票番号 = ?").arg(k.header), {number}, taken); !r)
                return r;
        }
        return {};
    }
    DbResult lockEstimate(Db &db, DocKind kind, qlonglong number) const override
    {
        return db.exec("SELECT pg_advisory_xact_lock(?, ?)", {serverschema::lockSpace(kind), int(number)});
    }
    DbResult lockArchive(Db &db) const override
    {
        return db.exec("SELECT pg_advisory_xact_lock(?, 0)", {serverschema::kLockSpace + 1});
    }
    DbResult lockPayments(Db &db) const override
    {
        return db.exec("SELECT pg_advisory_xact_lock(?, 0)", {serverschema::kLockSpace + 2});
    }
    DbResult storedVersion(Db &db, DocKind kind, qlonglong number, qlonglong &version) const override
    {
        QVariant v;
        DbResult r = db.scalar(QStringLiteral("SELECT 更新番号 FROM %1 WHERE 伝票番号 = ?").arg(kindNames(kind).header), {number}, v);
        version = v.isNull() ? 0 : v.toLongLong();
        return r;
    }
    DbResult replaceHeader(Db &db, DocKind kind, const QStringList &columns, const QVariantList &values,
                           qlonglong version) const override
    {
        // One statement in place of a delete and an insert: each statement is a round trip.
        QStringList sets;
        for (const QString &c : columns.mid(1))
            sets << c + QStringLiteral(" = EXCLUDED.") + c;
        return db.exec(QString("INSERT INTO %4 (%1, 更新番号) VALUES (%2, ?) ON CONFLICT (伝票番号) DO UPDATE SET "
                               "%3, 更新番号 = EXCLUDED.更新番号")
                           .arg(columns.join(", "), QStringList(columns.size(), QStringLiteral("?")).join(", "),
                                sets.join(", "), kindNames(kind).header),
                       values + QVariantList{version});
    }

    DbResult writeEstimate(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored) const override
    {
        EstimateRecord once = e;
        once.customers = lastOfEachName(e.customers);
        once.products = lastOfEachName(e.products);
        bool written = false;
        if (DbResult r = serversave::write(db, once, expected, stored, written); !r)
            return r;
        return written ? DbResult{} : estimateMismatch(e.number, expected, stored);
    }

    DbResult saveEstimate(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored) const override
    {
        // Overwriting whatever is stored is rare, and its outcome harder to re-check: as a transaction.
        if (expected < 0 || db.inTransaction())
            return StoreEngine::saveEstimate(db, e, expected, stored);
        // One statement is a transaction of its own: no BEGIN, no COMMIT, one round trip.
        stored = expected;
        DbResult r = writeEstimate(db, e, expected, stored);
        r.commitUnknown = r.connectionLost();
        return r;
    }

    QString rowOrder() const override { return QStringLiteral("id"); }
    QString withoutIndex(const QString &column) const override { return column; } // the planner decides

    DbResult registerMasterRows(Db &db, const QString &table, const QStringList &fields,
                                const QVector<MasterRow> &rows) const override
    {
        if (rows.isEmpty())
            return {};
        const QVector<MasterRow> once = lastOfEachName(rows);
        QStringList tuples;
        QVariantList binds;
        const QString marks = '(' + QStringList(fields.size(), QStringLiteral("?")).join(", ") + ')';
        for (const MasterRow &row : once) {
            tuples << marks;
            binds += row.values;
        }
        const QString insert = QStringLiteral("INSERT INTO %1 AS m (%2) VALUES %3 ON CONFLICT (%4) ")
                                   .arg(table, fields.join(", "), tuples.join(", "), fields.first());
        auto ownsAll = [](const MasterRow &row) { return std::find(row.own.begin() + 1, row.own.end(), false) == row.own.end(); };
        auto ownsAny = [](const MasterRow &row) { return std::find(row.own.begin() + 1, row.own.end(), true) != row.own.end(); };
        if (std::all_of(once.begin(), once.end(), ownsAll)) { // every field this desktop's: one upsert
            QStringList sets, differs;
            for (const QString &f : fields.mid(1)) {
                sets << QStringLiteral("%1 = EXCLUDED.%1").arg(f);
                differs << QStringLiteral("m.%1 IS DISTINCT FROM EXCLUDED.%1").arg(f);
            }
            return db.exec(insert + "DO UPDATE SET " + sets.join(", ") + " WHERE " + differs.join(" OR "), binds);
        }
        // New names with every field (a name another desktop adds meanwhile is no error), then
        // each stored row's own fields.
        if (DbResult r = db.exec(insert + "DO NOTHING", binds); !r)
            return r;
        return std::any_of(once.begin(), once.end(), ownsAny) ? updateOwnFields(db, table, fields, once) : DbResult{};
    }

    DbResult writeSearchText(Db &db, DocKind kind, qlonglong number, const QString &text) const override
    {
        return db.exec(QStringLiteral("INSERT INTO %1 (伝票番号, 本文) VALUES (?, ?) ON CONFLICT (伝票番号) DO UPDATE SET "
                                      "本文 = EXCLUDED.本文")
                           .arg(kindNames(kind).index),
                       {number, text});
    }
    DbResult removeSearchText(Db &db, DocKind kind, qlonglong number) const override
    {
        return db.exec(QStringLiteral("DELETE FROM %1 WHERE 伝票番号 = ?").arg(kindNames(kind).index), {number});
    }
    SearchSource searchSource(Db &, DocKind kind, const QString &t) const override
    {
        // Three characters and more through the trigram index; shorter ones through the index of
        // single characters and pairs. A text held by many is found walking the newest first.
        SearchSource out{QStringLiteral("%1 s JOIN %2 h ON h.伝票番号 = s.伝票番号").arg(kindNames(kind).index, kindNames(kind).header),
                         {QStringLiteral("s.本文 ILIKE ? ESCAPE '\\'")},
                         {likeLiteral(t)},
                         QStringLiteral("s.伝票番号 DESC")};
        if (t.size() < 3) {
            out.where << QStringLiteral("quotedesk_grams(s.本文) @> ARRAY[lower(?)]");
            out.binds << t;
        }
        return out;
    }

    DbResult copyToWork(Db &main, Db &work, const QString &master, const QString &workTable, const QStringList &fields,
                        const QString &order) const override
    {
        // Read from the server, written locally: the work copies never make a grid wait on the network.
        BatchInsert out(work, QStringLiteral("main.") + workTable, fields);
        DbResult written;
        DbResult r = main.forEachRow(QString("SELECT %1 FROM %2 ORDER BY %3").arg(fields.join(", "), master, order), {},
                                     [&](const QSqlQuery &q) {
                                         if (!written.ok)
                                             return;
                                         DbRow row(fields.size());
                                         for (int i = 0; i < row.size(); ++i)
                                             row[i] = q.value(i);
                                         written = out.add(row);
                                     });
        if (r && written.ok)
            written = out.flush();
        return r ? written : r;
    }
    Db &masterWriter(Db &main, Db &) const override { return main; }
    QString masterPrefix() const override { return QString(); }

    void tidyAtClose(Db &) const override {} // the server keeps its own statistics
    bool shared() const override { return true; }
    DbResult backupBeforeWipe(Db &db, const QString &, const QDateTime &at, QString *written) const override;
    DbResult recordIssue(Db &db, const IssueRow &issue, int *version) const override
    {
        return serverissue::record(db, issue, version);
    }
    DbResult rebuildSearchIndex(Db &db) const override
    {
        return db.transaction([&]() -> DbResult {
            for (DocKind kind : kAllKinds) {
                const KindNames &k = kindNames(kind);
                if (DbResult r = db.exec(QStringLiteral("DELETE FROM %1").arg(k.index)); !r)
                    return r;
                const DbResult r = db.exec(QStringLiteral(
                    "INSERT INTO %1 (伝票番号, 本文) SELECT h.伝票番号, coalesce(h.顧客名, '') || chr(10) || "
                    "coalesce(h.件名, '') || chr(10) || coalesce((SELECT string_agg(l.品名, chr(10) ORDER BY "
                    "l.伝票区分, l.行番号) FROM %3 l WHERE l.伝票番号 = h.伝票番号), '') || chr(10) || chr(10) "
                    "FROM %2 h").arg(k.index, k.header, k.lines));
                if (!r)
                    return r;
                if (DbResult f = searchindex::foldAll(db, QStringLiteral("伝票番号"), kind); !f)
                    return f;
            }
            return DbResult{};
        });
    }
};

// The tables a wipe empties, copied into a schema of their own on the same server: restored
// with the statements in the README.
DbResult PostgresEngine::backupBeforeWipe(Db &db, const QString &, const QDateTime &at, QString *written) const
{
    const QString stem = QStringLiteral("quotedesk_backup_") + at.toString(QStringLiteral("yyyyMMdd_HHmmss"));
    return db.transaction([&]() -> DbResult {
        // Copying every estimate is asked for and may take long; the limit still ends a hung one.
        if (DbResult r = db.execUnprepared("SET LOCAL statement_timeout = 600000"); !r)
            return r;
        QString name = stem;
        for (int n = 2;; ++n) { // two copies within a second keep both
            QVariant taken;
            if (DbResult r = db.scalar("SELECT 1 FROM information_schema.schemata WHERE schema_name = ?", {name}, taken); !r)
                return r;
            if (taken.isNull())
                break;
            name = QStringLiteral("%1_%2").arg(stem).arg(n);
        }
        // The name is made here from the date alone: nothing typed reaches the statement.
        if (DbResult r = db.execUnprepared("CREATE SCHEMA " + name); !r)
            return r;
        QStringList copied{"顧客マスタ", "商品マスタ", "自社情報", "伝票連携", "入金"};
        for (DocKind kind : kAllKinds)
            copied << kindNames(kind).header << kindNames(kind).lines << kindNames(kind).index;
        for (const QString &t : copied) {
            if (DbResult r = db.execUnprepared(QStringLiteral("CREATE TABLE %1.%2 AS TABLE public.%2").arg(name, t)); !r)
                return r;
        }
        if (written)
            *written = QStringLiteral("サーバーのスキーマ %1").arg(name);
        return {};
    });
}

} // namespace

void serverstore::install()
{
    static const PostgresEngine engine;
    installServerEngine(engine);
}
