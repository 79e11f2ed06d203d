// The estimate on screen while it is not stored, kept in the work file as it is typed, so that
// a crash or a kill loses nothing: the header here, the lines in w明細 as always.

#include "estimate/EstimateStore.h"
#include "estimate/EstimateValues.h"

using namespace estimatevalues;

DbResult EstimateStore::writeScreen(const UnstoredScreen &s)
{
    const Estimate &e = s.estimate;
    return m_ctx.work.exec("INSERT OR REPLACE INTO main.w画面 (id, 伝票番号, 元版, 日付, 顧客名, 顧客情報, 件名, 支払条件, "
                           "納期, 受渡場所, 有効期限, 敬称, 時刻) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                           {bindText(s.number), s.version, bindDate(e.date), bindText(e.customerName),
                            bindText(e.customerInfo), bindText(e.subject), bindText(e.paymentTerms),
                            bindText(e.deliveryDate), bindText(e.deliveryPlace), bindText(e.validity),
                            bindText(e.honorific), s.at.toString(Qt::ISODate)});
}

DbResult EstimateStore::readScreen(std::optional<UnstoredScreen> &out)
{
    out.reset();
    DbRows rows;
    if (DbResult r = m_ctx.work.select("SELECT 伝票番号, 元版, 日付, 顧客名, 顧客情報, 件名, 支払条件, 納期, 受渡場所, "
                                       "有効期限, 敬称, 時刻 FROM main.w画面 WHERE id = 1",
                                       {}, rows);
        !r || rows.isEmpty())
        return r;
    const DbRow &row = rows[0];
    UnstoredScreen s;
    s.number = readText(row[0]);
    s.version = row[1].toLongLong();
    Estimate &e = s.estimate;
    e.date = QDate::fromString(readText(row[2]), kDateFormat);
    e.customerName = readText(row[3]);
    e.customerInfo = readText(row[4]);
    e.subject = readText(row[5]);
    e.paymentTerms = readText(row[6]);
    e.deliveryDate = readText(row[7]);
    e.deliveryPlace = readText(row[8]);
    e.validity = readText(row[9]);
    e.honorific = readText(row[10]);
    s.at = QDateTime::fromString(readText(row[11]), Qt::ISODate);
    if (DbResult r = readWork(e.lines); !r)
        return r;
    out = s;
    return {};
}

// With a WHERE the statement writes nothing when nothing is kept: a clean close syncs nothing.
DbResult EstimateStore::clearScreen() { return m_ctx.work.exec("DELETE FROM main.w画面 WHERE id = 1"); }
