#include "store/Engine.h"
#include "store/Schema.h"
#include "store/ServerSchema.h"

#include <QDir>

namespace {

// A file of this computer: one writer at a time holds the whole file (BEGIN IMMEDIATE), so a
// read followed by a write in one transaction is already safe.
class SqliteEngine final : public StoreEngine {
public:
    QString description(const Db &db) const override
    {
        return QStringLiteral("このコンピューターのファイル（%1）").arg(QDir::toNativeSeparators(db.path()));
    }
    DbResult createSchema(Db &db) const override
    {
        return db.transaction([&]() -> DbResult {
            for (const QString &sql : schema::createStatements(schema::FileKind::Permanent))
                if (DbResult r = db.exec(sql); !r)
                    return r;
            return schema::insertUnitCodes(db);
        });
    }
    DbResult checkSchema(Db &db) const override { return schema::verify(db, schema::FileKind::Permanent); }

    DbResult proposedNumber(Db &db, qlonglong &next) const override
    {
        QVariant stored;
        DbResult r = db.scalar("SELECT 最大見積書番号 FROM 自社情報 ORDER BY rowid LIMIT 1", {}, stored);
        next = stored.isNull() || stored.toString().isEmpty() ? 1 : stored.toLongLong() + 1;
        return r;
    }
    DbResult raiseNumber(Db &db, qlonglong saved) const override
    {
        return db.transaction([&]() -> DbResult {
            DbRows rows;
            if (DbResult s = db.select("SELECT rowid, 最大見積書番号 FROM 自社情報 ORDER BY rowid LIMIT 1", {}, rows); !s)
                return s;
            if (rows.isEmpty())
                return db.exec("INSERT INTO 自社情報 (最大見積書番号) VALUES (?)", {saved});
            // A Null counter takes the number saved, like a missing row; storing 1 here would later
            // propose numbers that are already in use.
            if (rows[0][1].isNull() || rows[0][1].toLongLong() < saved)
                return db.exec("UPDATE 自社情報 SET 最大見積書番号 = ? WHERE rowid = ?", {saved, rows[0][0]});
            return {};
        });
    }
    DbResult takeNextNumber(Db &db, qlonglong &number) const override
    {
        if (DbResult r = proposedNumber(db, number); !r)
            return r;
        while (true) {
            QVariant taken;
            if (DbResult r = db.scalar("SELECT 1 FROM 見積書ヘッダ WHERE 伝票番号 = ?", {number}, taken); !r)
                return r;
            if (taken.isNull())
                return raiseNumber(db, number);
            ++number;
        }
    }
    DbResult lockEstimate(Db &, qlonglong) const override { return {}; }
};

// A server several desktops write to at once (READ COMMITTED): the counter is raised by an
// upsert on its one row, and each estimate number has an advisory lock of its own.
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

    DbResult proposedNumber(Db &db, qlonglong &next) const override
    {
        QVariant v; // max() of bigint stays bigint; coalesce keeps it so
        DbResult r = db.scalar("SELECT coalesce(max(最大見積書番号), 0) + 1 FROM 自社情報", {}, v);
        next = v.toLongLong();
        return r;
    }
    DbResult raiseNumber(Db &db, qlonglong saved) const override
    {
        return db.exec("INSERT INTO 自社情報 (id, 最大見積書番号) VALUES (1, ?) ON CONFLICT (id) DO UPDATE SET "
                       "最大見積書番号 = greatest(自社情報.最大見積書番号, EXCLUDED.最大見積書番号)",
                       {saved});
    }
    DbResult takeNextNumber(Db &db, qlonglong &number) const override
    {
        // The upsert holds the counter's row until commit: no other desktop takes the same one.
        for (QVariant taken = 1; !taken.isNull();) {
            QVariant v;
            if (DbResult r = db.scalar("INSERT INTO 自社情報 (id, 最大見積書番号) VALUES (1, 1) ON CONFLICT (id) DO "
                                       "UPDATE SET 最大見積書番号 = coalesce(自社情報.最大見積書番号, 0) + 1 "
                                       "RETURNING 最大見積書番号",
                                       {}, v);
                !r)
                return r;
            number = v.toLongLong();
            if (DbResult r = db.scalar("SELECT 1 FROM 見積書ヘッダ WHERE 伝票番号 = ?", {number}, taken); !r)
                return r;
        }
        return {};
    }
    DbResult lockEstimate(Db &db, qlonglong number) const override
    {
        return db.exec("SELECT pg_advisory_xact_lock(?, ?)", {serverschema::kLockSpace, int(number)});
    }
};

} // namespace

const StoreEngine &engineOf(const Db &db)
{
    static const SqliteEngine sqlite;
    static const PostgresEngine postgres;
    if (db.engine() == Db::Engine::Postgres)
        return postgres;
    return sqlite;
}
