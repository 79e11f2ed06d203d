#include "store/Engine.h"
#include "store/Numbering.h"

static const StoreEngine *g_serverEngine = nullptr;

void installServerEngine(const StoreEngine &engine) { g_serverEngine = &engine; }

const StoreEngine &engineOf(const Db &db)
{
    if (db.engine() != Db::Engine::Postgres)
        return sqliteEngine();
    if (!g_serverEngine)
        qFatal("the server engine is not installed");
    return *g_serverEngine;
}

DbResult StoreEngine::recordIssue(Db &, const IssueRow &, int *) const
{
    return DbResult::failure(QStringLiteral("this store records an issue statement by statement"));
}

DbResult estimateMismatch(qlonglong number, qlonglong expected, qlonglong stored)
{
    if (expected == 0)
        return DbResult::failure(QStringLiteral("No.%1 was stored elsewhere meanwhile").arg(number), sqlitecode::TakenElsewhere);
    if (stored == 0)
        return DbResult::failure(QStringLiteral("No.%1 was deleted elsewhere meanwhile").arg(number),
                                 sqlitecode::DeletedElsewhere);
    return DbResult::failure(QStringLiteral("No.%1 was changed elsewhere meanwhile").arg(number), sqlitecode::ChangedElsewhere);
}

// Statement by statement: on a file each is a call, not a round trip.
DbResult StoreEngine::writeEstimate(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored) const
{
    if (DbResult r = lockEstimate(db, e.number); !r)
        return r;
    if (DbResult r = storedVersion(db, e.number, stored); !r)
        return r;
    if (expected >= 0 && stored != expected)
        return estimateMismatch(e.number, expected, stored);
    // The counter first: every save then takes its locks in one order (number, counter, masters),
    // and two desktops never wait for each other in a circle.
    DbResult counter;
    Proc管理(db, QStringLiteral("最大見積書番号"), QStringLiteral("Set"), QString::number(e.number), &counter);
    if (!counter)
        return counter;
    if (DbResult r = registerMasterRows(db, "顧客マスタ", e.customerFields, e.customers); !r)
        return r;
    if (DbResult r = registerMasterRows(db, "商品マスタ", e.productFields, e.products); !r)
        return r;
    if (DbResult r = db.exec("DELETE FROM 見積書 WHERE 伝票番号 = ?", {e.number}); !r)
        return r;
    if (!e.lines.isEmpty()) {
        // Every line in one statement.
        const QString marks = '(' + QStringList(e.lineColumns.size(), QStringLiteral("?")).join(", ") + ')';
        QVariantList binds;
        for (const QVariantList &line : e.lines)
            binds += line;
        if (DbResult r = db.exec(QStringLiteral("INSERT INTO 見積書 (%1) VALUES %2")
                                     .arg(e.lineColumns.join(", "), QStringList(e.lines.size(), marks).join(", ")),
                                 binds);
            !r)
            return r;
    }
    if (DbResult r = replaceHeader(db, e.headerColumns, e.header, stored + 1); !r)
        return r;
    return writeSearchText(db, e.number, e.searchText);
}
