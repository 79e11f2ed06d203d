#include "estimate/EstimateList.h"
#include "store/Csv.h"
#include "values/RowKind.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"


namespace {
const QString kFilterDateFormat = QStringLiteral("yyyy/MM/dd");
QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }
QString plain(const std::optional<Money> &m) { return m ? m->toPlainString() : QString(); }
} // namespace

// Statement text is built from fixed pieces only; the search text and dates are bound.
QString EstimateList::query(const ListFilter &filter, const QString &columns, QVariantList &binds)
{
    const QString t = searchindex::fold(filter.text.trimmed()); // as the index holds it
    QString sql = QStringLiteral("SELECT ") + columns;
    QStringList where;
    QString order = QStringLiteral("h.伝票番号 DESC");
    if (t.isEmpty()) {
        sql += QStringLiteral(" FROM %1 h").arg(kindNames(filter.kind).header);
    } else {
        const SearchSource source = engineOf(m_db).searchSource(m_db, filter.kind, t);
        sql += QStringLiteral(" FROM ") + source.from;
        where += source.where;
        binds += source.binds;
        order = source.order;
    }
    if (filter.from.isValid()) {
        where << QStringLiteral("h.日付 >= ?");
        binds << filter.from.toString(kFilterDateFormat);
    }
    if (filter.to.isValid()) {
        where << QStringLiteral("h.日付 <= ?");
        binds << filter.to.toString(kFilterDateFormat);
    }
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    return sql + QStringLiteral(" ORDER BY ") + order;
}

static ListRow rowOf(const QSqlQuery &q)
{
    return {q.value(0).toInt(), text(q.value(1)), text(q.value(2)), text(q.value(3)), Money::fromSql(q.value(4)),
            Money::fromSql(q.value(5)), Money::fromSql(q.value(6))};
}

static const QString kColumns = QStringLiteral("h.伝票番号, h.日付, h.顧客名, h.件名, h.税抜計, h.消費税, h.合計");

DbResult EstimateList::find(const ListFilter &filter, int limit, QVector<ListRow> &rows)
{
    rows.clear();
    QVariantList binds;
    const QString sql = query(filter, kColumns, binds) + QStringLiteral(" LIMIT ?");
    binds << limit;
    return searchindex::withRepair(m_db, [&] {
        rows.clear();
        return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) { rows << rowOf(q); });
    }, &m_indexRebuilt);
}

DbResult EstimateList::forEachEstimate(const ListFilter &filter, const std::function<void(const ListRow &)> &row)
{
    QVariantList binds;
    return m_db.forEachRow(query(filter, kColumns, binds), binds, [&](const QSqlQuery &q) { row(rowOf(q)); });
}

DbResult EstimateList::forEachLine(const ListFilter &filter, const std::function<void(const QStringList &)> &line)
{
    QVariantList binds;
    const QString numbers = query(filter, QStringLiteral("h.伝票番号"), binds);
    const QString sql = QStringLiteral("SELECT l.伝票番号, l.行番号, l.品名, l.数量, l.単位, l.単価, l.金額, l.非課税, l.軽減, l.行種別 "
                                       "FROM ") + kindNames(filter.kind).lines + QStringLiteral(" l WHERE l.伝票番号 IN (") +
                        numbers + QStringLiteral(") ORDER BY l.伝票番号 DESC, l.伝票区分, l.行番号");
    return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) {
        QStringList f;
        for (int i = 0; i < 9; ++i) {
            const QVariant v = q.value(i);
            f << ((i == 5 || i == 6) ? plain(Money::fromSql(v)) : text(v));
        }
        const RowKind kind = rowKindFromCode(q.value(9).toString());
        f << (kind == RowKind::Item ? QStringLiteral("明細") : rowKindCode(kind));
        line(f);
    });
}

DbResult EstimateList::exportCsv(const ListFilter &filter, bool lines, const QString &path, int *written)
{
    if (lines)
        return writeCsvFile(path, {"伝票番号", "行番号", "品名", "数量", "単位", "単価", "金額", "非課税", "軽減", "行種別"},
                            {0, 1, 3, 5, 6, 7, 8}, [&](const CsvSink &sink) { return forEachLine(filter, sink); }, written);
    return writeCsvFile(path, {"伝票番号", "日付", "顧客名", "件名", "税抜計", "消費税", "合計"}, {0, 4, 5, 6},
                        [&](const CsvSink &sink) {
                            return forEachEstimate(filter, [&](const ListRow &e) {
                                sink({QString::number(e.number), e.date, e.customer, e.subject, plain(e.net),
                                      plain(e.tax), plain(e.total)});
                            });
                        },
                        written);
}

DbResult EstimateList::linksOf(DocKind kind, const QVector<ListRow> &rows, QHash<int, QString> &out)
{
    out.clear();
    if (rows.isEmpty())
        return {};
    const int code = kindNames(kind).code;
    QStringList numbers;
    for (const ListRow &r : rows)
        numbers << QString::number(r.number);
    const QString list = '{' + numbers.join(',') + '}';
    // The numbers as one bound array on a server, as a JSON array in the file: never in the text.
    const bool server = m_db.engine() == Db::Engine::Postgres;
    const QString in = server ? QStringLiteral("= ANY (?::bigint[])") : QStringLiteral("IN (SELECT value FROM json_each(?))");
    const QString bound = server ? list : '[' + numbers.join(',') + ']';
    const QString sql = QStringLiteral("SELECT 伝票番号, 元種別, 元番号, 0 FROM 伝票連携 WHERE 種別 = ? AND 伝票番号 %1 UNION ALL "
                                       "SELECT 元番号, 種別, 伝票番号, 1 FROM 伝票連携 WHERE 元種別 = ? AND 元番号 %1 ORDER BY 4, 1, 3")
                            .arg(in);
    return m_db.forEachRow(sql, {code, bound, code, bound}, [&](const QSqlQuery &q) {
        const auto other = kindFromCode(q.value(1).toInt());
        if (!other)
            return;
        QString &text = out[q.value(0).toInt()];
        if (!text.isEmpty())
            text += QStringLiteral("、");
        text += QStringLiteral("%1 %2 No.%3").arg(q.value(3).toInt() == 0 ? QStringLiteral("←") : QStringLiteral("→"),
                                                   kindNames(*other).label)
                    .arg(q.value(2).toInt());
    });
}
