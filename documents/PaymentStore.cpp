#include "documents/PaymentStore.h"

#include "store/Engine.h"
#include "store/Tables.h"

namespace {
const QString kPaymentDay = QStringLiteral("yyyy/MM/dd");

QDate dayOf(const QVariant &v)
{
    const QString t = v.isNull() ? QString() : v.toString();
    const QDate d = QDate::fromString(t, kPaymentDay);
    return d.isValid() ? d : QDate::fromString(t.left(10), Qt::ISODate);
}
} // namespace

Money Payment::amount() const
{
    Money sum;
    for (const auto &[invoice, money] : allocations)
        sum += money;
    return sum;
}

DbResult PaymentStore::select(const QString &where, const QVariantList &binds, QVector<InvoiceBalance> &out)
{
    out.clear();
    // What settled each invoice, summed where the payments are: one statement for them all.
    // The credit notes made from each invoice reduce what it asks for.
    const QString sql = QStringLiteral(
        "SELECT h.伝票番号, h.顧客名, h.日付, h.支払期限, coalesce(h.合計, 0) - coalesce(h.源泉税額, 0), "
        "coalesce(p.s, 0), coalesce(c.s, 0) FROM 請求書ヘッダ h LEFT JOIN (SELECT 請求書番号, sum(金額) + sum(coalesce(手数料, 0)) AS s "
        "FROM 入金 GROUP BY 請求書番号) p ON p.請求書番号 = h.伝票番号 LEFT JOIN (SELECT l.元番号, sum(coalesce(r.合計, 0)) AS s "
        "FROM 伝票連携 l JOIN 返還請求書ヘッダ r ON r.伝票番号 = l.伝票番号 WHERE l.種別 = %2 AND l.元種別 = %3 GROUP BY l.元番号) c "
        "ON c.元番号 = h.伝票番号 %1 ORDER BY h.日付, h.伝票番号")
                            .arg(where)
                            .arg(kindNames(DocKind::Credit).code)
                            .arg(kindNames(DocKind::Invoice).code);
    return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) {
        out << InvoiceBalance{q.value(0).toInt(), q.value(1).toString(), dayOf(q.value(2)), dayOf(q.value(3)),
                              Money::fromRaw(q.value(4).toLongLong()), Money::fromRaw(q.value(5).toLongLong()),
                              Money::fromRaw(q.value(6).toLongLong())};
    });
}

DbResult PaymentStore::invoices(const QString &customer, QVector<InvoiceBalance> &out, bool all)
{
    DbResult r = select(QStringLiteral("WHERE h.顧客名 = ?"), {customer}, out);
    if (!all)
        out.erase(std::remove_if(out.begin(), out.end(), [](const InvoiceBalance &b) { return b.open().raw() <= 0; }),
                  out.end());
    return r;
}

DbResult PaymentStore::balance(int invoice, InvoiceBalance &out, bool &found)
{
    QVector<InvoiceBalance> rows;
    DbResult r = select(QStringLiteral("WHERE h.伝票番号 = ?"), {invoice}, rows);
    found = !rows.isEmpty();
    if (found)
        out = rows.first();
    return r;
}

DbResult PaymentStore::record(const Payment &p, int *number)
{
    Db &db = m_db;
    const QStringList columns = tables::payments().names();
    return db.transaction([&]() -> DbResult {
        if (DbResult r = engineOf(db).lockPayments(db); !r)
            return r;
        QVariant next;
        if (DbResult r = db.scalar("SELECT coalesce(max(入金番号), 0) + 1 FROM 入金", {}, next); !r)
            return r;
        const QString marks = QStringList(columns.size(), QStringLiteral("?")).join(", ");
        for (int i = 0; i < p.allocations.size(); ++i) {
            const QVariantList row{next, i, p.date.toString(kPaymentDay), p.customer, p.allocations[i].first,
                                   p.allocations[i].second.raw(), i == 0 ? p.fee.raw() : 0, p.memo};
            if (DbResult r = db.exec(QStringLiteral("INSERT INTO 入金 (%1) VALUES (%2)").arg(columns.join(", "), marks), row); !r)
                return r;
        }
        if (number)
            *number = next.toInt();
        return DbResult{};
    });
}

// Matches of the filter in 売掛残 (or, with its customer empty, in its sums by due date), as the
// status of each would say (see payStatus); binds the values in the order of the text.
QString PaymentStore::owedWhere(const ReceivablesFilter &f, const QDate &today, QVariantList &binds, bool sums) const
{
    const QString day = today.toString(kPaymentDay), paid = sums ? QStringLiteral("入金有") : QStringLiteral("入金済");
    QStringList where{f.status == PayStatus::Paid ? QStringLiteral("残額 <= 0") : QStringLiteral("残額 > 0")};
    if (f.status == PayStatus::Overdue)
        where << QStringLiteral("期限順 < ?"), binds << day;
    if (f.status == PayStatus::Unpaid || f.status == PayStatus::Partial) {
        where << QStringLiteral("期限順 >= ?") << paid + (f.status == PayStatus::Unpaid ? QStringLiteral(" = 0") : QStringLiteral(" <> 0"));
        binds << day;
    }
    if (!f.customer.trimmed().isEmpty()) {
        // instr is the file's; the server says strpos
        where << (m_db.engine() == Db::Engine::Postgres ? QStringLiteral("strpos(顧客検索, lower(?)) > 0")
                                                        : QStringLiteral("instr(顧客検索, lower(?)) > 0"));
        binds << f.customer.trimmed();
    }
    if (f.dueMonth.isValid()) { // 期限順 is the due date, or one after every month
        where << QStringLiteral("期限順 >= ? AND 期限順 <= ?");
        const QDate first(f.dueMonth.year(), f.dueMonth.month(), 1);
        binds << first.toString(kPaymentDay) << first.addMonths(1).addDays(-1).toString(kPaymentDay);
    }
    return QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
}

DbResult PaymentStore::owedRows(const ReceivablesFilter &f, const QDate &today, int limit, QVector<InvoiceBalance> &out,
                                const QStringList *customers)
{
    out.clear();
    QVariantList binds;
    QString sql = QStringLiteral("SELECT 伝票番号, 顧客名, 日付, 支払期限, 請求額, 入金済, 返還額 FROM 売掛残") + owedWhere(f, today, binds);
    if (customers) { // the customers found already: their invoices are found by name, not by reading all
        sql += QStringLiteral(" AND 顧客名 IN (%1)").arg(QStringList(customers->size(), QStringLiteral("?")).join(", "));
        for (const QString &c : *customers)
            binds << c;
    }
    sql += QStringLiteral(" ORDER BY 期限順, 日付, 伝票番号");
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT ?"), binds << limit;
    return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) {
        out << InvoiceBalance{q.value(0).toInt(), q.value(1).toString(), dayOf(q.value(2)), dayOf(q.value(3)),
                              Money::fromRaw(q.value(4).toLongLong()), Money::fromRaw(q.value(5).toLongLong()),
                              Money::fromRaw(q.value(6).toLongLong())};
    });
}

DbResult PaymentStore::receivables(const ReceivablesFilter &f, const QDate &today, QVector<InvoiceBalance> &out)
{
    return owedRows(f, today, -1, out);
}

static const QString kSums =
    QStringLiteral("coalesce(sum(%1), 0), coalesce(sum(残額), 0), coalesce(sum(CASE WHEN 期限順 < ? AND 残額 > 0 THEN 残額 ELSE 0 END), 0)");

DbResult PaymentStore::owedTotals(const ReceivablesFilter &f, const QDate &today, ReceivablesPage &out)
{
    // Without a customer, what is open is summed by due date already (売掛期日).
    const bool sums = f.customer.trimmed().isEmpty() && f.status != PayStatus::Paid;
    QVariantList binds{today.toString(kPaymentDay)};
    const QString where = owedWhere(f, today, binds, sums);
    DbRows total;
    DbResult r = m_db.select(QStringLiteral("SELECT ") + kSums.arg(sums ? QStringLiteral("件数") : QStringLiteral("1")) +
                                 (sums ? QStringLiteral(" FROM 売掛期日") : QStringLiteral(" FROM 売掛残")) + where,
                             binds, total);
    if (r && !total.isEmpty())
        out.count = total[0][0].toInt(), out.open = Money::fromRaw(total[0][1].toLongLong()),
        out.overdue = Money::fromRaw(total[0][2].toLongLong());
    return r;
}

DbResult PaymentStore::receivablesPage(const ReceivablesFilter &f, const QDate &today, int limit, ReceivablesPage &out)
{
    out = ReceivablesPage();
    QVariantList binds{today.toString(kPaymentDay)};
    const QString where = owedWhere(f, today, binds);
    // One customer more than shown: when none is left over, the customers' sums are the totals.
    DbResult r = m_db.forEachRow(QStringLiteral("SELECT 顧客名, ") + kSums.arg(QStringLiteral("1")) +
                                     QStringLiteral(", min(期限順) FROM 売掛残") + where + QStringLiteral(" GROUP BY 顧客名 ORDER BY 顧客名 LIMIT ?"),
                                 binds + QVariantList{limit + 1}, [&](const QSqlQuery &q) {
                                     out.customers << CustomerOwed{q.value(0).toString(), Money::fromRaw(q.value(2).toLongLong()),
                                                                   Money::fromRaw(q.value(3).toLongLong()), dayOf(q.value(4)),
                                                                   q.value(1).toInt()};
                                 });
    if (!r)
        return r;
    const bool every = out.customers.size() <= limit;
    if (every) {
        for (const CustomerOwed &c : std::as_const(out.customers))
            out.count += c.invoices, out.open += c.open, out.overdue += c.overdue;
    } else {
        out.customers.removeLast();
        if (r = owedTotals(f, today, out); !r)
            return r;
    }
    if (!every || f.customer.trimmed().isEmpty())
        return owedRows(f, today, limit, out.invoices);
    QStringList names;
    for (const CustomerOwed &c : std::as_const(out.customers))
        names << c.customer;
    return names.isEmpty() ? r : owedRows(f, today, limit, out.invoices, &names);
}

DbResult PaymentStore::payment(int number, Payment &out, bool &found)
{
    out = Payment();
    DbRows rows;
    DbResult r = m_db.select("SELECT 日付, 顧客名, 請求書番号, 金額, coalesce(手数料, 0), 摘要 FROM 入金 WHERE 入金番号 = ? ORDER BY 行番号",
                             {number}, rows);
    found = r && !rows.isEmpty();
    for (const DbRow &row : rows) {
        if (out.allocations.isEmpty()) {
            out.date = dayOf(row[0]);
            out.customer = row[1].toString();
            out.memo = row[5].toString();
        }
        out.fee += Money::fromRaw(row[4].toLongLong());
        out.allocations << std::pair{row[2].toInt(), Money::fromRaw(row[3].toLongLong())};
    }
    return r;
}

// A customer's sum of what (a program constant) in table on the days after..to.
static DbResult sumBetween(Db &db, const QString &what, const QString &table, const QString &customer, const QDate &after,
                           const QDate &to, Money &out)
{
    QVariant v;
    DbResult r = db.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE 顧客名 = ? AND 日付 > ? AND 日付 <= ?").arg(what, table),
                           {customer, after.toString(kPaymentDay), to.toString(kPaymentDay)}, v);
    out = Money::fromRaw(v.toLongLong());
    return r;
}

DbResult PaymentStore::receivedBetween(const QString &customer, const QDate &after, const QDate &to, Money &out)
{
    return sumBetween(m_db, "coalesce(sum(金額), 0) + coalesce(sum(手数料), 0)", "入金", customer, after, to, out);
}

DbResult PaymentStore::creditedBetween(const QString &customer, const QDate &after, const QDate &to, Money &out)
{
    return sumBetween(m_db, "coalesce(sum(合計), 0)", kindNames(DocKind::Credit).header, customer, after, to, out);
}

DbResult PaymentStore::latestPaymentFor(int invoice, int &number)
{
    QVariant v;
    DbResult r = m_db.scalar("SELECT coalesce(max(入金番号), 0) FROM 入金 WHERE 請求書番号 = ?", {invoice}, v);
    number = v.toInt();
    return r;
}

QStringList PaymentStore::questions(const Payment &p)
{
    QStringList out;
    if (p.amount().raw() <= 0)
        out << QStringLiteral("入金額が 0 円です。このまま記録しますか");
    for (const auto &[invoice, money] : p.allocations) {
        InvoiceBalance b;
        bool found = false;
        if (!balance(invoice, b, found) || !found)
            continue;
        if (money > b.open())
            out << QStringLiteral("請求書 No.%1 の残額 ¥%2 を超えています（¥%3）。このまま記録しますか")
                       .arg(invoice)
                       .arg(b.open().toGroupedString(), money.toGroupedString());
        if (p.date.isValid() && b.date.isValid() && p.date < b.date)
            out << QStringLiteral("入金日 %1 が請求書 No.%2 の請求日 %3 より前です。このまま記録しますか")
                       .arg(p.date.toString(kPaymentDay))
                       .arg(invoice)
                       .arg(b.date.toString(kPaymentDay));
    }
    return out;
}
