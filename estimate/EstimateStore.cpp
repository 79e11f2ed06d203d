#include "estimate/EstimateStore.h"
#include "estimate/EstimateValues.h"
#include "store/Engine.h"
#include "store/Numbering.h"
#include "store/SearchIndex.h"

#include <tuple>

namespace {

using namespace estimatevalues;

// A product line's master fields that differ from every line of the same name in basis.
QVector<bool> ownProductFields(const EstimateLine &l, const Estimate *basis)
{
    QVector<bool> own{true, true, true, true, true}; // 品名, 単位, 単価, 非課税, 軽減
    if (!basis)
        return own;
    for (const EstimateLine &b : basis->lines) {
        if (b.name != l.name)
            continue;
        own[0] = false; // the name is the key
        own[1] = own[1] && b.unit != l.unit;
        own[2] = own[2] && b.price != l.price;
        own[3] = own[3] && b.exempt != l.exempt;
        own[4] = own[4] && b.reduced != l.reduced;
    }
    return own;
}

} // namespace

bool sameContent(const Estimate &a, const Estimate &b)
{
    auto header = [](const Estimate &e) {
        return std::tie(e.date, e.customerName, e.customerInfo, e.subject, e.paymentTerms, e.deliveryDate,
                        e.deliveryPlace, e.validity);
    };
    auto line = [](const EstimateLine &l) {
        return std::tie(l.name, l.quantity, l.unit, l.price, l.amount, l.exempt, l.reduced);
    };
    if (header(a) != header(b) || a.honorific != b.honorific || a.lines.size() != b.lines.size())
        return false;
    for (int i = 0; i < a.lines.size(); ++i)
        if (line(a.lines[i]) != line(b.lines[i]))
            return false;
    return true;
}

int firstLineAfterGap(const QVector<EstimateLine> &rows)
{
    bool gap = false;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].name.isEmpty())
            gap = true;
        else if (gap)
            return i;
    }
    return -1;
}

DbResult EstimateStore::retried(const std::function<DbResult()> &transaction)
{
    DbResult r = transaction();
    for (int again = 0; again < 3 && r.mayRetry(); ++again)
        r = transaction();
    return r;
}

DbResult EstimateStore::save(const Estimate &e, const Estimate *basis, bool overwrite)
{
    return searchindex::withRepair(m_ctx.main, [&] { return retried([&] { return saveOnce(e, basis, overwrite); }); },
                                   &m_indexRebuilt);
}

DbResult EstimateStore::saveUnderNextNumber(const Estimate &e, const Estimate *basis, int *number)
{
    Db &db = m_ctx.main;
    return retried([&] {
        return db.transaction([&]() -> DbResult {
            qlonglong next = 0;
            if (DbResult r = engineOf(db).takeNextNumber(db, next); !r)
                return r;
            Estimate moved = e;
            moved.number = int(next);
            if (number)
                *number = moved.number;
            return writeEstimate(moved, basis, 0);
        });
    });
}

DbResult EstimateStore::saveOnce(const Estimate &e, const Estimate *basis, bool overwrite)
{
    Db &db = m_ctx.main;
    const StoreEngine &engine = engineOf(db);
    qlonglong stored = -1;
    auto save = [&]() -> DbResult {
        // Another desktop saving or deleting the same number waits here until this one is done.
        if (DbResult r = engine.lockEstimate(db, e.number); !r)
            return r;
        if (DbResult r = engine.storedVersion(db, e.number, stored); !r)
            return r;
        if (!overwrite && stored != e.version)
            return DbResult::failure(QStringLiteral("No.%1 was stored elsewhere meanwhile").arg(e.number),
                                     e.version == 0 ? sqlitecode::TakenElsewhere : sqlitecode::ChangedElsewhere);
        return writeEstimate(e, basis, stored);
    };
    DbResult r = db.transaction(save);
    if (!r.commitUnknown)
        return r;
    // The connection went with the COMMIT: what is stored now says whether it arrived.
    Estimate now;
    bool found = false;
    if (DbResult v = load(e.number, now, found); !v)
        return r;
    Estimate written = e; // as stored: the lines up to the first empty one
    if (const auto gap = std::find_if(written.lines.begin(), written.lines.end(),
                                      [](const EstimateLine &l) { return l.name.isEmpty(); });
        gap != written.lines.end())
        written.lines.erase(gap, written.lines.end());
    if (found && now.version == stored + 1 && sameContent(now, written))
        return {}; // it did
    if ((found ? now.version : 0) == stored)
        return db.transaction(save); // it did not, and nobody wrote since: nothing stands in the way
    return DbResult::failure(QStringLiteral("No.%1 was changed elsewhere meanwhile").arg(e.number),
                             sqlitecode::ChangedElsewhere);
}

// Inside the transaction, with the number locked; stored: the version it replaces.
DbResult EstimateStore::writeEstimate(const Estimate &e, const Estimate *basis, qlonglong stored)
{
    Db &db = m_ctx.main;
    // The counter first: every save then takes its locks in one order (number, counter, masters),
    // and two desktops never wait for each other in a circle.
    DbResult counter;
    Proc管理(db, QStringLiteral("最大見積書番号"), QStringLiteral("Set"), QString::number(e.number), &counter);
    if (!counter)
        return counter;
    if (DbResult r = registerCustomer(e, basis); !r)
        return r;
    if (DbResult r = registerProducts(e, basis); !r)
        return r;
    if (DbResult r = db.exec("DELETE FROM 見積書 WHERE 伝票番号 = ?", {e.number}); !r)
        return r;
    if (DbResult r = writeLines(e); !r)
        return r;
    if (DbResult r = writeHeader(e, stored + 1); !r)
        return r;
    return writeSearchText(e);
}

DbResult EstimateStore::registerCustomer(const Estimate &e, const Estimate *basis)
{
    // A nameless customer would become a blank master row on every such save.
    if (e.customerName.trimmed().isEmpty())
        return {};
    const bool same = basis && basis->customerName == e.customerName;
    const MasterRow row{{e.customerName, bindText(e.customerInfo), e.honorific.isEmpty() ? QVariant(QString()) : e.honorific},
                        {!same, !same || basis->customerInfo != e.customerInfo, !same || basis->honorific != e.honorific}};
    return engineOf(m_ctx.main).registerMasterRows(m_ctx.main, "顧客マスタ", {"顧客名", "顧客情報", "敬称"}, {row});
}

DbResult EstimateStore::registerProducts(const Estimate &e, const Estimate *basis)
{
    QVector<MasterRow> rows;
    for (const EstimateLine &l : e.lines) {
        if (l.name.isEmpty() || (!l.price && !l.quantity))
            continue;
        const QVariant unit = l.unit.isNull() ? QVariant(QString()) : l.unit;
        rows << MasterRow{{l.name, unit, bindMoney(l.price), l.exempt ? 1 : 0, l.reduced ? 1 : 0},
                          ownProductFields(l, basis)};
    }
    return engineOf(m_ctx.main).registerMasterRows(m_ctx.main, "商品マスタ", {"品名", "単位", "単価", "非課税", "軽減"},
                                                   rows);
}

DbResult EstimateStore::writeLines(const Estimate &e)
{
    // Every line in one statement: on a server each statement is a round trip.
    const QVariant date = bindDate(e.date);
    QVariantList binds;
    QStringList rows;
    for (const EstimateLine &l : e.lines) {
        if (l.name.isEmpty())
            break;
        binds += QVariantList{e.number, bindText(e.customerName), date, int(rows.size())};
        binds += lineBinds(l);
        rows << QStringLiteral("(?, ?, ?, ?, 1, ?, ?, ?, ?, ?, ?, ?)");
    }
    if (rows.isEmpty())
        return {};
    return m_ctx.main.exec("INSERT INTO 見積書 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額, "
                           "非課税, 軽減) VALUES " + rows.join(", "),
                           binds);
}

DbResult EstimateStore::writeHeader(const Estimate &e, qlonglong version)
{
    return engineOf(m_ctx.main).replaceHeader(
        m_ctx.main,
        {"伝票番号", "日付", "顧客名", "顧客情報", "件名", "支払条件", "納期", "受渡場所", "有効期限", "消費税", "税抜計", "合計",
         "敬称", "税区分", "税率", "端数処理"},
        {e.number, bindDate(e.date), bindText(e.customerName), bindText(e.customerInfo), bindText(e.subject),
         bindText(e.paymentTerms), bindText(e.deliveryDate), bindText(e.deliveryPlace), bindText(e.validity),
         bindMoney(e.tax), bindMoney(e.net), bindMoney(e.grand), nullIfEmpty(e.honorific), nullIfEmpty(e.taxMode),
         e.taxRate > 0 ? QVariant(e.taxRate) : nullInt(), nullIfEmpty(e.rounding)},
        version);
}

DbResult EstimateStore::writeSearchText(const Estimate &e)
{
    QStringList parts{e.customerName, e.subject};
    for (const EstimateLine &l : e.lines) {
        if (l.name.isEmpty())
            break; // as stored
        parts << l.name;
    }
    return engineOf(m_ctx.main).writeSearchText(m_ctx.main, e.number, searchindex::textOf(parts));
}

DbResult EstimateStore::load(int number, Estimate &out, bool &found)
{
    // Read between two looks at its version: a save from another desktop in between would
    // mix two versions' header and lines.
    const StoreEngine &engine = engineOf(m_ctx.main);
    for (int attempt = 0;; ++attempt) {
        qlonglong before = 0, after = 0;
        if (DbResult r = engine.storedVersion(m_ctx.main, number, before); !r)
            return r;
        if (DbResult r = loadOnce(number, out, found); !r)
            return r;
        if (DbResult r = engine.storedVersion(m_ctx.main, number, after); !r)
            return r;
        out.version = before;
        if (before == after || attempt == 3)
            return before == after ? DbResult{} : DbResult::failure(QStringLiteral("changed while read"));
    }
}

DbResult EstimateStore::loadOnce(int number, Estimate &out, bool &found)
{
    found = false;
    out = Estimate();
    out.number = number;
    DbRows head;
    if (DbResult r = m_ctx.main.select("SELECT 日付, 顧客名, 顧客情報, 納期, 受渡場所, 有効期限, 支払条件, 件名, "
                                       "消費税, 税抜計, 合計, 敬称, 税区分, 税率, 端数処理 FROM 見積書ヘッダ WHERE 伝票番号 = ?",
                                       {number}, head);
        !r || head.isEmpty())
        return r;
    const DbRow &h = head[0];
    const QString date = readText(h[0]);
    out.date = QDate::fromString(date, kDateFormat);
    if (!out.date.isValid())
        out.date = QDate::fromString(date.left(10), Qt::ISODate);
    out.customerName = readText(h[1]);
    out.customerInfo = readText(h[2]);
    out.deliveryDate = readText(h[3]);
    out.deliveryPlace = readText(h[4]);
    out.validity = readText(h[5]);
    out.paymentTerms = readText(h[6]);
    out.subject = readText(h[7]);
    out.tax = Money::fromSql(h[8]);
    out.net = Money::fromSql(h[9]);
    out.grand = Money::fromSql(h[10]);
    out.honorific = readText(h[11]);
    out.taxMode = readText(h[12]);
    out.taxRate = h[13].isNull() ? 0 : h[13].toInt();
    out.rounding = readText(h[14]);
    DbRows lines;
    if (DbResult r = m_ctx.main.select("SELECT 品名, 数量, 単位, 単価, 金額, 非課税, 軽減 FROM 見積書 WHERE 伝票番号 = ? "
                                       "ORDER BY 伝票番号, 伝票区分, 行番号 LIMIT ?",
                                       {number, kDetailRows}, lines);
        !r)
        return r;
    for (const DbRow &l : lines) {
        out.lines << lineFrom(l, 0);
        out.lines.back().name = readText(l[0]); // as stored, not trimmed again
    }
    found = true;
    return {};
}

DbResult EstimateStore::remove(int number, qlonglong version)
{
    return searchindex::withRepair(m_ctx.main, [&] { return retried([&] { return removeOnce(number, version); }); },
                                   &m_indexRebuilt);
}

DbResult EstimateStore::removeOnce(int number, qlonglong version)
{
    Db &db = m_ctx.main;
    const StoreEngine &engine = engineOf(db);
    qlonglong stored = 0;
    auto remove = [&]() -> DbResult {
        if (DbResult r = engine.lockEstimate(db, number); !r)
            return r;
        if (DbResult r = engine.storedVersion(db, number, stored); !r)
            return r;
        if (version >= 0 && stored != version)
            return DbResult::failure(QStringLiteral("No.%1 was changed elsewhere meanwhile").arg(number),
                                     sqlitecode::ChangedElsewhere);
        if (DbResult d = db.exec("DELETE FROM 見積書 WHERE 伝票番号 = ?", {number}); !d)
            return d;
        if (DbResult d = engine.removeSearchText(db, number); !d)
            return d;
        return db.exec("DELETE FROM 見積書ヘッダ WHERE 伝票番号 = ?", {number});
    };
    DbResult r = db.transaction(remove);
    if (!r.commitUnknown)
        return r;
    // The connection went with the COMMIT: gone now means it arrived.
    qlonglong now = -1;
    if (DbResult v = engine.storedVersion(db, number, now); !v)
        return r;
    if (now == 0)
        return {};
    return now == stored ? db.transaction(remove)
                         : DbResult::failure(QStringLiteral("No.%1 was changed elsewhere meanwhile").arg(number),
                                             sqlitecode::ChangedElsewhere);
}

