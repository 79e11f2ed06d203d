#include "store/Engine.h"
#include "store/Numbering.h"
#include "store/Tables.h"

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

// Rows of columns in one statement.
static DbResult insertRows(Db &db, const QString &table, const QStringList &columns, const QVector<QVariantList> &rows)
{
    if (rows.isEmpty())
        return {};
    const QString marks = '(' + QStringList(columns.size(), QStringLiteral("?")).join(", ") + ')';
    QVariantList binds;
    for (const QVariantList &row : rows)
        binds += row;
    return db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(table, columns.join(", "), QStringList(rows.size(), marks).join(", ")),
                   binds);
}

// Statement by statement: on a file each is a call, not a round trip.
DbResult StoreEngine::writeEstimate(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored) const
{
    const KindNames &k = kindNames(e.kind);
    if (DbResult r = lockEstimate(db, e.kind, e.number); !r)
        return r;
    if (DbResult r = storedVersion(db, e.kind, e.number, stored); !r)
        return r;
    if (expected >= 0 && stored != expected)
        return estimateMismatch(e.number, expected, stored);
    // The counter first: every save then takes its locks in one order (number, counter, masters),
    // and two desktops never wait for each other in a circle.
    DbResult counter;
    Proc管理(db, k.counter, QStringLiteral("Set"), QString::number(e.number), &counter);
    if (!counter)
        return counter;
    if (DbResult r = registerMasterRows(db, "顧客マスタ", e.customerFields, e.customers); !r)
        return r;
    if (DbResult r = registerMasterRows(db, "商品マスタ", e.productFields, e.products); !r)
        return r;
    if (DbResult r = db.exec(QStringLiteral("DELETE FROM %1 WHERE 伝票番号 = ?").arg(k.lines), {e.number}); !r)
        return r;
    if (DbResult r = insertRows(db, k.lines, e.lineColumns, e.lines); !r)
        return r;
    if (e.kind != DocKind::Estimate) {
        if (DbResult r = db.exec("DELETE FROM 伝票連携 WHERE 種別 = ? AND 伝票番号 = ?", {k.code, e.number}); !r)
            return r;
        if (DbResult r = insertRows(db, "伝票連携", tables::links().names(), e.links); !r)
            return r;
    }
    if (DbResult r = replaceHeader(db, e.kind, e.headerColumns, e.header, stored + 1); !r)
        return r;
    return writeSearchText(db, e.kind, e.number, e.searchText);
}
