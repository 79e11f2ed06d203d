// A document's work table (the grid's rows) and the master lookups the grid makes.
#include "estimate/EstimateStore.h"
#include "estimate/EstimateValues.h"
#include "store/BatchInsert.h"
#include "store/Engine.h"

#include <algorithm>

using namespace estimatevalues;

namespace {

// Rows a grid shows for lines: 30 as always, one blank row after the last one filled; blank
// rows given (an undo's) are kept.
int workRowsFor(const QVector<EstimateLine> &lines)
{
    int filled = int(lines.size());
    while (filled > 0 && lines[filled - 1].isBlank() && !lines[filled - 1].amount)
        --filled;
    return std::clamp(std::max(int(lines.size()), filled + 1), kDetailRows, kMaxRows);
}

QVariantList blankRow(int row, bool later)
{
    QVariantList binds{row, QString(), nullInt(), QString(), nullInt(), nullInt(), 0, 0, QString()};
    if (later)
        binds << nullInt();
    return binds;
}

} // namespace

DbResult EstimateStore::rebuildWork(const QVector<EstimateLine> &lines)
{
    Db &db = m_ctx.work;
    const QString work = names().work;
    const bool later = m_kind != DocKind::Estimate;
    if (lines.isEmpty()) {
        // Rows 1 to 30 there already: blanked in one statement; blank already (as the program
        // leaves them): nothing to write and nothing to sync.
        DbRows shape;
        if (DbResult r = db.select(QStringLiteral("SELECT count(*) = ? AND count(DISTINCT 行番号) = ? AND min(行番号) = 1 AND "
                                                  "max(行番号) = ?, count(品名) + count(数量) + count(単位) + count(単価) + "
                                                  "count(金額) + total(非課税) + total(軽減) + count(行種別)%1 = 0 FROM main.%2")
                                       .arg(later ? QStringLiteral(" + count(納品書番号)") : QString(), work),
                                   {kDetailRows, kDetailRows, kDetailRows}, shape);
            !r)
            return r;
        if (shape[0][0].toInt() == 1 && shape[0][1].toInt() == 1)
            return {};
        if (shape[0][0].toInt() == 1)
            return db.exec(QStringLiteral("UPDATE main.%1 SET 品名 = NULL, 数量 = NULL, 単位 = NULL, 単価 = NULL, 金額 = NULL, "
                                          "非課税 = 0, 軽減 = 0, 行種別 = NULL%2")
                               .arg(work, later ? QStringLiteral(", 納品書番号 = NULL") : QString()));
    }
    QStringList columns = QStringList{QStringLiteral("行番号")} + kLineFields.split(QStringLiteral(", "));
    if (later)
        columns << QStringLiteral("納品書番号");
    const int rows = workRowsFor(lines);
    return db.transaction([&]() -> DbResult {
        if (DbResult d = db.exec(QStringLiteral("DELETE FROM %1").arg(work)); !d)
            return d;
        BatchInsert insert(db, work, columns);
        for (int i = 0; i < rows; ++i) {
            QVariantList binds = blankRow(i + 1, later);
            if (i < lines.size()) {
                binds = QVariantList{i + 1} + lineBinds(lines[i]);
                if (later)
                    binds << (lines[i].deliveryNumber > 0 ? QVariant(lines[i].deliveryNumber) : nullInt());
            }
            if (DbResult a = insert.add(binds); !a)
                return a;
        }
        return insert.flush();
    }, Db::Lock::Deferred); // the work file only: the permanent file stays unlocked
}

DbResult EstimateStore::insertWorkRow(int row)
{
    Db &db = m_ctx.work;
    const QString work = names().work;
    return db.transaction([&]() -> DbResult {
        // A blank last row makes room, as in a grid of fixed rows; a filled one stays and the table grows.
        DbRows last;
        if (DbResult r = db.select(QStringLiteral("SELECT 行番号, 品名 IS NULL AND 数量 IS NULL AND 単価 IS NULL AND 金額 IS NULL "
                                                  "AND 行種別 IS NULL, count(*) OVER () FROM %1 ORDER BY 行番号 DESC LIMIT 1").arg(work),
                                   {}, last);
            !r)
            return r;
        if (!last.isEmpty() && last[0][1].toLongLong() != 0) {
            if (DbResult d = db.exec(QStringLiteral("DELETE FROM %1 WHERE 行番号 = ?").arg(work), {last[0][0]}); !d)
                return d;
        } else if (!last.isEmpty() && last[0][2].toInt() >= kMaxRows) {
            return DbResult::failure(QStringLiteral("a document holds at most %1 lines").arg(kMaxRows)); // never one pushed off
        }
        if (DbResult u = db.exec(QStringLiteral("UPDATE %1 SET 行番号 = 行番号 + 1 WHERE 行番号 >= ?").arg(work), {row + 1}); !u)
            return u;
        return db.exec(QStringLiteral("INSERT INTO %1 (行番号, 非課税, 軽減) VALUES (?, 0, 0)").arg(work), {row + 1});
    }, Db::Lock::Deferred);
}

DbResult EstimateStore::deleteWorkRow(int row)
{
    Db &db = m_ctx.work;
    const QString work = names().work;
    return db.transaction([&]() -> DbResult {
        if (DbResult d = db.exec(QStringLiteral("DELETE FROM %1 WHERE 行番号 = ?").arg(work), {row + 1}); !d)
            return d;
        if (DbResult u = db.exec(QStringLiteral("UPDATE %1 SET 行番号 = 行番号 - 1 WHERE 行番号 > ?").arg(work), {row + 1}); !u)
            return u;
        return db.exec(QStringLiteral("INSERT INTO %1 (行番号, 非課税, 軽減) SELECT coalesce(max(行番号), 0) + 1, 0, 0 FROM %1").arg(work));
    }, Db::Lock::Deferred);
}

DbResult EstimateStore::growWork(int rows)
{
    Db &db = m_ctx.work;
    const QString work = names().work;
    return db.transaction([&]() -> DbResult {
        QVariant have;
        if (DbResult r = db.scalar(QStringLiteral("SELECT coalesce(max(行番号), 0) FROM %1").arg(work), {}, have); !r)
            return r;
        BatchInsert insert(db, work, {QStringLiteral("行番号"), QStringLiteral("非課税"), QStringLiteral("軽減")});
        for (int row = have.toInt() + 1; row <= std::min(rows, kMaxRows); ++row)
            if (DbResult a = insert.add({row, 0, 0}); !a)
                return a;
        return insert.flush();
    }, Db::Lock::Deferred);
}

DbResult EstimateStore::setWorkRowKind(int row, RowKind kind)
{
    // A row that holds no figures loses those it had; a subtotal's are computed.
    const bool figures = kind == RowKind::Item || isDiscount(kind);
    return m_ctx.work.exec(QStringLiteral("UPDATE %1 SET 行種別 = ?%2 WHERE 行番号 = ?")
                               .arg(names().work, figures ? QString()
                                                          : QStringLiteral(", 数量 = NULL, 単価 = NULL, 金額 = NULL, 単位 = NULL, "
                                                                           "非課税 = 0, 軽減 = 0")),
                           {nullIfEmpty(rowKindCode(kind)), row + 1});
}

DbResult EstimateStore::readWork(QVector<EstimateLine> &rows)
{
    rows.clear();
    DbRows raw;
    const bool later = m_kind != DocKind::Estimate;
    DbResult r = m_ctx.work.select(QStringLiteral("SELECT %3%1 FROM main.%2 ORDER BY 行番号, id")
                                       .arg(later ? QStringLiteral(", 納品書番号") : QString(), names().work, kLineFields),
                                   {}, raw);
    rows.reserve(raw.size());
    for (const DbRow &row : raw) {
        rows << lineFrom(row, 0);
        if (later)
            rows.back().deliveryNumber = row[kLineFieldCount].toInt();
    }
    return r;
}

DbResult EstimateStore::reloadProductList()
{
    Db &db = m_ctx.work;
    return db.transaction([&]() -> DbResult {
        if (DbResult d = db.exec("DELETE FROM w商品参照"); !d)
            return d;
        return engineOf(m_ctx.main).copyToWork(m_ctx.main, db, "商品マスタ", "w商品参照",
                                               {"品名", "単位", "単価", "非課税", "軽減"}, "品名");
    }, Db::Lock::Deferred);
}

qlonglong EstimateStore::changeCount(const QString &master)
{
    QVariant n;
    if (!m_ctx.main.scalar("SELECT 番号 FROM 変更番号 WHERE 表 = ?", {master}, n) || n.isNull())
        return -1;
    return n.toLongLong();
}

ProductInfo EstimateStore::seekProduct(const QString &name)
{
    ProductInfo p;
    DbRows rows;
    DbResult r = m_ctx.main.select("SELECT 単位, 単価, 非課税, 軽減 FROM 商品マスタ WHERE 品名 = ? ORDER BY " +
                                       engineOf(m_ctx.main).rowOrder() + " LIMIT 1",
                                   {name}, rows);
    if (!r || rows.isEmpty())
        return p;
    p.unit = readText(rows[0][0]);
    p.price = Money::fromSql(rows[0][1]).value_or(Money());
    p.exempt = rows[0][2].toLongLong() != 0;
    p.reduced = rows[0][3].toLongLong() != 0;
    p.found = true;
    m_read.products.insert(name, EstimateLine{name, std::nullopt, p.unit.isEmpty() ? QVariant() : QVariant(p.unit),
                                              p.price.isZero() ? std::nullopt : std::optional<Money>(p.price), std::nullopt,
                                              p.exempt, p.reduced && !p.exempt});
    return p;
}

DbResult EstimateStore::customerNames(QStringList &names)
{
    names.clear();
    DbRows rows;
    DbResult r = m_ctx.main.select("SELECT 顧客名 FROM 顧客マスタ WHERE 顧客名 IS NOT NULL ORDER BY 顧客名", {}, rows);
    names.reserve(rows.size());
    for (const DbRow &row : rows)
        names << row[0].toString();
    return r;
}

QString EstimateStore::customerHonorific(const QString &name)
{
    QVariant v;
    m_ctx.main.scalar("SELECT 敬称 FROM 顧客マスタ WHERE 顧客名 = ? ORDER BY " + engineOf(m_ctx.main).rowOrder() +
                          " LIMIT 1",
                      {name}, v);
    if (!v.isNull())
        m_read.customers[name].second = readText(v);
    return readText(v);
}

QVariant EstimateStore::customerDetails(const QString &name)
{
    QVariant details;
    m_ctx.main.scalar("SELECT 顧客情報 FROM 顧客マスタ WHERE 顧客名 = ? ORDER BY " + engineOf(m_ctx.main).rowOrder() +
                          " LIMIT 1",
                      {name}, details);
    if (!details.isNull())
        m_read.customers[name].first = details;
    return details;
}

CustomerInvoiceRule EstimateStore::customerInvoiceRule(const QString &name)
{
    DbRows rows;
    if (!m_ctx.main.select("SELECT 支払期限規則, 源泉徴収, 締日 FROM 顧客マスタ WHERE 顧客名 = ? ORDER BY " +
                               engineOf(m_ctx.main).rowOrder() + " LIMIT 1",
                           {name}, rows) ||
        rows.isEmpty())
        return {};
    return {true, readText(rows[0][0]), rows[0][1].toLongLong() != 0, readText(rows[0][2])};
}
