#include "estimate/EstimateList.h"
#include "store/Csv.h"
#include "store/SearchIndex.h"


namespace {
const QString kDateFormat = QStringLiteral("yyyy/MM/dd");
QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }
QString plain(const std::optional<Money> &m) { return m ? m->toPlainString() : QString(); }
} // namespace

static QString quoted(const QString &term) { return '"' + QString(term).replace('"', QStringLiteral("\"\"")) + '"'; }

// One or two characters: every place they stand in begins one of the index's trigrams (each
// text ends in two line breaks), so the trigrams that begin with them are the ones to match.
// None: nothing matches. Too many to ask for: the newest estimates are walked instead.
std::optional<QString> EstimateList::shortMatch(const QString &t)
{
    constexpr int kMostTerms = 300;
    const QString vocabulary = QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS temp.見積書索引語 USING "
                                              "fts5vocab(main, 見積書索引, 'row')");
    const QString folded = t.toLower();
    QStringList terms;
    auto read = [&] {
        terms.clear();
        if (DbResult r = m_db.exec(vocabulary); !r)
            return r;
        return m_db.forEachRow("SELECT term FROM temp.見積書索引語 WHERE term >= ? AND term < ? LIMIT ?",
                               {folded, folded + QChar(0xDBFF) + QChar(0xDFFF), kMostTerms + 1},
                               [&](const QSqlQuery &q) { terms << q.value(0).toString(); });
    };
    if (!read()) { // an index made anew meanwhile: its vocabulary too
        m_db.exec(QStringLiteral("DROP TABLE IF EXISTS temp.見積書索引語"));
        if (!read())
            return std::nullopt;
    }
    if (terms.size() > kMostTerms)
        return std::nullopt;
    QStringList quotedTerms;
    for (const QString &term : terms)
        quotedTerms << quoted(term);
    return quotedTerms.join(QStringLiteral(" OR "));
}

// Statement text is built from fixed pieces only; the search text and dates are bound.
QString EstimateList::query(const ListFilter &filter, const QString &columns, QVariantList &binds)
{
    const QString t = filter.text.trimmed();
    QString sql = QStringLiteral("SELECT ") + columns;
    QStringList where;
    const std::optional<QString> match = t.size() >= 3 ? std::optional<QString>(quoted(t))
                                         : t.isEmpty()   ? std::nullopt
                                                         : shortMatch(t);
    if (t.isEmpty()) {
        sql += QStringLiteral(" FROM 見積書ヘッダ h");
    } else if (match && match->isEmpty()) {
        sql += QStringLiteral(" FROM 見積書ヘッダ h");
        where << QStringLiteral("0"); // no trigram begins with it: nothing holds it
    } else if (match) {
        // The trigram index finds the text without reading every estimate.
        sql += QStringLiteral(" FROM 見積書索引 s JOIN 見積書ヘッダ h ON h.伝票番号 = s.rowid");
        where << QStringLiteral("s.本文 MATCH ?");
        binds << *match;
    } else {
        // Shorter text is common in what is stored: the newest matches come first.
        sql += QStringLiteral(" FROM 見積書索引 s JOIN 見積書ヘッダ h ON h.伝票番号 = s.rowid");
        where << QStringLiteral("instr(lower(s.本文), lower(?)) > 0");
        binds << t;
    }
    if (filter.from.isValid()) {
        where << QStringLiteral("h.日付 >= ?");
        binds << filter.from.toString(kDateFormat);
    }
    if (filter.to.isValid()) {
        where << QStringLiteral("h.日付 <= ?");
        binds << filter.to.toString(kDateFormat);
    }
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    // The index is walked newest first, so the first rows shown are found without a sort.
    const bool fromIndex = sql.contains(QStringLiteral("見積書索引 s"));
    return sql + (fromIndex ? QStringLiteral(" ORDER BY s.rowid DESC") : QStringLiteral(" ORDER BY h.伝票番号 DESC"));
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
    const QString sql = QStringLiteral("SELECT l.伝票番号, l.行番号, l.品名, l.数量, l.単位, l.単価, l.金額, l.非課税, l.軽減 "
                                       "FROM 見積書 l WHERE l.伝票番号 IN (") +
                        numbers + QStringLiteral(") ORDER BY l.伝票番号 DESC, l.伝票区分, l.行番号");
    return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) {
        QStringList f;
        for (int i = 0; i < 9; ++i) {
            const QVariant v = q.value(i);
            f << ((i == 5 || i == 6) ? plain(Money::fromSql(v)) : text(v));
        }
        line(f);
    });
}

DbResult EstimateList::exportCsv(const ListFilter &filter, bool lines, const QString &path, int *written)
{
    if (lines)
        return writeCsvFile(path, {"伝票番号", "行番号", "品名", "数量", "単位", "単価", "金額", "非課税", "軽減"},
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
