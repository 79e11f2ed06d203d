#include "estimate/EstimateStore.h"
#include "estimate/EstimateValues.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"
#include "store/Tables.h"

#include <tuple>

namespace {

using namespace estimatevalues;

// A product line's master fields that differ from every line of the same name in basis.
QVector<bool> ownProductFields(const EstimateLine &l, const Estimate *basis, const MasterReads &reads)
{
    QVector<bool> own{true, true, true, true, true}; // 品名, 単位, 単価, 非課税, 軽減
    if (const auto read = reads.products.constFind(l.name); read != reads.products.cend()) {
        own[1] = read->unit != l.unit;
        own[2] = read->price != l.price;
        own[3] = read->exempt != l.exempt;
        own[4] = read->reduced != l.reduced;
    }
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
                        e.deliveryPlace, e.validity, e.tradeDate, e.dueDate, e.note, e.withholding, e.sources,
                        e.periodFrom, e.periodTo, e.previousBilled, e.received, e.credited);
    };
    auto line = [](const EstimateLine &l) {
        return std::tie(l.name, l.quantity, l.unit, l.price, l.amount, l.exempt, l.reduced, l.deliveryNumber, l.kind);
    };
    if (header(a) != header(b) || a.honorific != b.honorific || a.lines.size() != b.lines.size())
        return false;
    for (int i = 0; i < a.lines.size(); ++i)
        if (line(a.lines[i]) != line(b.lines[i]))
            return false;
    return true;
}

bool isEmptyEstimate(const Estimate &e)
{
    if (!e.customerName.trimmed().isEmpty())
        return false;
    return std::none_of(e.lines.begin(), e.lines.end(),
                        [](const EstimateLine &l) { return !l.isBlank() || l.amount.has_value(); });
}

int firstLineAfterGap(const QVector<EstimateLine> &rows)
{
    bool gap = false;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].isBlank())
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
            qlonglong next = 0, stored = 0;
            if (DbResult r = engineOf(db).takeNextNumber(db, m_kind, next); !r)
                return r;
            Estimate moved = e;
            moved.number = int(next);
            if (number)
                *number = moved.number;
            return engineOf(db).writeEstimate(db, recordOf(moved, basis, m_read), 0, stored);
        });
    });
}

DbResult EstimateStore::saveOnce(const Estimate &e, const Estimate *basis, bool overwrite)
{
    Db &db = m_ctx.main;
    const EstimateRecord record = recordOf(e, basis, m_read);
    qlonglong stored = -1;
    const qlonglong expected = overwrite ? -1 : e.version;
    DbResult r = engineOf(db).saveEstimate(db, record, expected, stored);
    auto save = [&]() -> DbResult { return engineOf(db).writeEstimate(db, record, expected, stored); };
    if (!r.commitUnknown)
        return r;
    // The connection went with the COMMIT: what is stored now says whether it arrived.
    Estimate now;
    bool found = false;
    if (DbResult v = load(e.number, now, found); !v)
        return r;
    Estimate written = e; // as stored: the lines up to the first empty one, their kinds settled
    if (const auto gap = std::find_if(written.lines.begin(), written.lines.end(),
                                      [](const EstimateLine &l) { return l.isBlank(); });
        gap != written.lines.end())
        written.lines.erase(gap, written.lines.end());
    settleRowKinds(written.lines);
    if (found && now.version == stored + 1 && sameContent(now, written))
        return {}; // it did
    if ((found ? now.version : 0) == stored)
        return db.transaction(save); // it did not, and nobody wrote since: nothing stands in the way
    return estimateMismatch(e.number, std::max<qlonglong>(expected, 1), found ? now.version : 0);
}

// What a save writes, as bound values.
EstimateRecord EstimateStore::recordOf(const Estimate &e, const Estimate *basis, const MasterReads &reads) const
{
    EstimateRecord out;
    out.kind = m_kind;
    out.number = e.number;
    out.headerColumns = tables::header(m_kind).names();
    out.header = {e.number, bindDate(e.date), bindText(e.customerName), bindText(e.customerInfo), bindText(e.subject),
                  bindText(e.paymentTerms), bindText(e.deliveryDate), bindText(e.deliveryPlace), bindText(e.validity),
                  bindMoney(e.tax), bindMoney(e.net), bindMoney(e.grand), nullIfEmpty(e.honorific),
                  nullIfEmpty(e.taxMode), e.taxRate > 0 ? QVariant(e.taxRate) : nullInt(), nullIfEmpty(e.rounding)};
    const bool later = m_kind != DocKind::Estimate;
    if (later)
        out.header += QVariantList{nullIfEmpty(e.tradeDate), nullIfEmpty(e.dueDate), e.withholding ? 1 : 0,
                                   bindMoney(e.withheld), nullIfEmpty(e.note)};
    if (m_kind == DocKind::Invoice) // a plain invoice leaves the balance block Null
        out.header += e.isClosing() ? QVariantList{e.periodFrom, e.periodTo, e.previousBilled.raw(), e.received.raw(), e.credited.raw()}
                                    : QVariantList{QString(), QString(), nullInt(), nullInt(), nullInt()};
    out.lineColumns = tables::lines(m_kind).names();
    const int code = names().code;
    QStringList searched{e.customerName, e.subject};
    QVector<EstimateLine> lines = e.lines;
    lines.erase(std::find_if(lines.begin(), lines.end(), [](const EstimateLine &l) { return l.isBlank(); }), lines.end());
    settleRowKinds(lines); // a subtotal is stored as computed, never as typed
    for (const EstimateLine &l : lines) {
        QVariantList fields = lineBinds(l);
        const QVariant rowKind = fields.takeLast(); // the last column: files gained it last
        out.lines << QVariantList{e.number, bindText(e.customerName), bindDate(e.date), int(out.lines.size()), code} + fields;
        if (later)
            out.lines.back() << (l.deliveryNumber > 0 ? QVariant(l.deliveryNumber) : nullInt());
        out.lines.back() << rowKind;
        searched << l.name;
    }
    for (int i = 0; i < e.sources.size(); ++i)
        out.links << QVariantList{code, e.number, i, kindNames(e.sources[i].kind).code, e.sources[i].number,
                                  nullIfEmpty(e.sources[i].date)};
    out.searchText = searchindex::textOf(searched);
    addMasterRows(out, e, basis, reads);
    return out;
}

// The customer and the products a save registers: a value e carries over unchanged from basis,
// or still as it was read from the master, is not its own, and only fills a row that does not
// exist yet.
void EstimateStore::addMasterRows(EstimateRecord &out, const Estimate &e, const Estimate *basis, const MasterReads &reads)
{
    out.customerFields = QStringList{"顧客名", "顧客情報", "敬称"};
    // A nameless customer would become a blank master row on every such save.
    if (!e.customerName.trimmed().isEmpty()) {
        const bool same = basis && basis->customerName == e.customerName;
        const auto read = reads.customers.constFind(e.customerName);
        const bool known = read != reads.customers.cend();
        const bool infoRead = known && read->first.toString() == e.customerInfo;
        const bool honorificRead = known && read->second == e.honorific;
        out.customers << MasterRow{{e.customerName, bindText(e.customerInfo),
                                    e.honorific.isEmpty() ? QVariant(QString()) : e.honorific},
                                   {!same && !known, (!same || basis->customerInfo != e.customerInfo) && !infoRead,
                                    (!same || basis->honorific != e.honorific) && !honorificRead}};
    }
    out.productFields = QStringList{"品名", "単位", "単価", "非課税", "軽減"};
    for (const EstimateLine &l : e.lines) {
        if (l.name.isEmpty() || (!l.price && !l.quantity) || l.kind != RowKind::Item)
            continue; // a heading or a discount is no product
        const QVariant unit = l.unit.isNull() ? QVariant(QString()) : l.unit;
        out.products << MasterRow{{l.name, unit, bindMoney(l.price), l.exempt ? 1 : 0, l.reduced ? 1 : 0},
                                  ownProductFields(l, basis, reads)};
    }
}

DbResult EstimateStore::load(int number, Estimate &out, bool &found)
{
    // Read between two looks at its version: a save from another desktop in between would
    // mix two versions' header and lines.
    const StoreEngine &engine = engineOf(m_ctx.main);
    for (int attempt = 0;; ++attempt) {
        qlonglong before = 0, after = 0;
        if (DbResult r = engine.storedVersion(m_ctx.main, m_kind, number, before); !r)
            return r;
        if (DbResult r = loadOnce(number, out, found); !r)
            return r;
        if (DbResult r = engine.storedVersion(m_ctx.main, m_kind, number, after); !r)
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
    out.kind = m_kind;
    out.number = number;
    DbRows head;
    const bool later = m_kind != DocKind::Estimate;
    QStringList more = later ? tables::laterHeaderColumns() : QStringList();
    if (m_kind == DocKind::Invoice)
        more += tables::closingHeaderColumns();
    const QString laterColumns = later ? ", " + more.join(", ") : QString();
    if (DbResult r = m_ctx.main.select(QStringLiteral("SELECT 日付, 顧客名, 顧客情報, 納期, 受渡場所, 有効期限, 支払条件, 件名, "
                                                      "消費税, 税抜計, 合計, 敬称, 税区分, 税率, 端数処理%1 FROM %2 WHERE 伝票番号 = ?")
                                           .arg(laterColumns, names().header),
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
    if (later)
        readLaterFields(h, out);
    DbRows lines;
    // Every line stored: a document is never cut to what one page or one grid holds.
    if (DbResult r = m_ctx.main.select(QStringLiteral("SELECT %3%1 FROM %2 WHERE 伝票番号 = ? "
                                                      "ORDER BY 伝票番号, 伝票区分, 行番号")
                                           .arg(later ? QStringLiteral(", 納品書番号") : QString(), names().lines, kLineFields),
                                       {number}, lines);
        !r)
        return r;
    out.lines.reserve(lines.size());
    for (const DbRow &l : lines) {
        out.lines << lineFrom(l, 0);
        out.lines.back().name = readText(l[0]); // as stored, not trimmed again
        if (later)
            out.lines.back().deliveryNumber = l[kLineFieldCount].toInt();
    }
    if (DbResult r = later ? readSources(out) : DbResult{}; !r)
        return r;
    found = true;
    return {};
}

void EstimateStore::readLaterFields(const DbRow &h, Estimate &out) const
{
    out.tradeDate = readText(h[15]);
    out.dueDate = readText(h[16]);
    out.withholding = h[17].toLongLong() != 0;
    out.withheld = Money::fromSql(h[18]);
    out.note = readText(h[19]);
    if (m_kind != DocKind::Invoice || h.size() < 25)
        return;
    out.periodFrom = readText(h[20]);
    out.periodTo = readText(h[21]);
    out.previousBilled = Money::fromSql(h[22]).value_or(Money());
    out.received = Money::fromSql(h[23]).value_or(Money());
    out.credited = Money::fromSql(h[24]).value_or(Money());
}

DbResult EstimateStore::readSources(Estimate &out)
{
    DbRows rows;
    if (DbResult r = m_ctx.main.select("SELECT 元種別, 元番号, 元日付 FROM 伝票連携 WHERE 種別 = ? AND 伝票番号 = ? ORDER BY 並び",
                                       {names().code, out.number}, rows);
        !r)
        return r;
    for (const DbRow &row : rows)
        if (const auto kind = kindFromCode(row[0].toInt()))
            out.sources << DocLink{*kind, row[1].toInt(), readText(row[2])};
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
        if (DbResult r = engine.lockEstimate(db, m_kind, number); !r)
            return r;
        if (DbResult r = engine.storedVersion(db, m_kind, number, stored); !r)
            return r;
        if (version >= 0 && stored != version)
            return estimateMismatch(number, std::max<qlonglong>(version, 1), stored);
        if (DbResult d = db.exec(QStringLiteral("DELETE FROM %1 WHERE 伝票番号 = ?").arg(names().lines), {number}); !d)
            return d;
        if (DbResult d = engine.removeSearchText(db, m_kind, number); !d)
            return d;
        if (m_kind != DocKind::Estimate)
            if (DbResult d = db.exec("DELETE FROM 伝票連携 WHERE 種別 = ? AND 伝票番号 = ?", {names().code, number}); !d)
                return d;
        return db.exec(QStringLiteral("DELETE FROM %1 WHERE 伝票番号 = ?").arg(names().header), {number});
    };
    DbResult r = db.transaction(remove);
    if (!r.commitUnknown)
        return r;
    // The connection went with the COMMIT: gone now means it arrived.
    qlonglong now = -1;
    if (DbResult v = engine.storedVersion(db, m_kind, number, now); !v)
        return r;
    if (now == 0)
        return {};
    return now == stored ? db.transaction(remove) : estimateMismatch(number, std::max<qlonglong>(version, 1), now);
}


DbResult EstimateStore::convertedInto(int number, QVector<DocLink> &into)
{
    into.clear();
    DbRows rows;
    if (DbResult r = m_ctx.main.select("SELECT 種別, 伝票番号 FROM 伝票連携 WHERE 元種別 = ? AND 元番号 = ? ORDER BY 種別, 伝票番号",
                                       {names().code, number}, rows);
        !r)
        return r;
    for (const DbRow &row : rows)
        if (const auto kind = kindFromCode(row[0].toInt()))
            into << DocLink{*kind, row[1].toInt(), QString()};
    return {};
}

DbResult EstimateStore::receiptsNamed(const QString &note, QVector<DocLink> &out)
{
    out.clear();
    DbRows rows;
    if (DbResult r = m_ctx.main.select(QStringLiteral("SELECT 伝票番号 FROM %1 WHERE 備考 = ? ORDER BY 伝票番号").arg(names().header),
                                       {note}, rows);
        !r)
        return r;
    for (const DbRow &row : rows)
        out << DocLink{m_kind, row[0].toInt(), QString()};
    return {};
}

DbResult EstimateStore::deliveredBetween(const QString &customer, const QDate &from, const QDate &to, QVector<int> &out)
{
    out.clear();
    DbRows rows;
    // Days are stored as yyyy/MM/dd: their text sorts as the days do.
    if (DbResult r = m_ctx.main.select(QStringLiteral("SELECT 伝票番号 FROM %1 WHERE 顧客名 = ? AND coalesce(取引日, 日付) >= ? "
                                                      "AND coalesce(取引日, 日付) <= ? ORDER BY coalesce(取引日, 日付), 伝票番号")
                                           .arg(names().header),
                                       {customer, bindDate(from), bindDate(to)}, rows);
        !r)
        return r;
    for (const DbRow &row : rows)
        out << row[0].toInt();
    return {};
}

DbResult EstimateStore::lastClosingBefore(const QString &customer, const QDate &day, Estimate &out)
{
    out = Estimate();
    QVariant number;
    if (DbResult r = m_ctx.main.scalar(QStringLiteral("SELECT 伝票番号 FROM %1 WHERE 顧客名 = ? AND 請求期間終了 < ? "
                                                      "ORDER BY 請求期間終了 DESC, 伝票番号 DESC LIMIT 1").arg(names().header),
                                       {customer, bindDate(day)}, number);
        !r || number.isNull())
        return r;
    bool found = false;
    return load(number.toInt(), out, found);
}
