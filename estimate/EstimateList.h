#pragma once
// Finding stored estimates: by any part of the customer, the subject or an item name, and by
// date; newest number first, only as many rows as are shown. No widgets here.

#include "store/Db.h"
#include "values/Money.h"
#include "values/DocKind.h"

#include <QDate>
#include <QHash>
#include <QVector>
#include <functional>
#include <optional>
#include <utility>

struct ListFilter {
    QString text;     // matched literally anywhere; empty matches every estimate
    QDate from, to;   // invalid: open
    DocKind kind = DocKind::Estimate;
};

struct ListRow {
    int number = 0;
    QString date, customer, subject;
    std::optional<Money> net, tax, total;
};

class EstimateList {
public:
    explicit EstimateList(Db &main) : m_db(main) {}
    DbResult find(const ListFilter &filter, int limit, QVector<ListRow> &rows);
    // True once after a search had to make the search index anew.
    bool takeIndexRebuilt() { return std::exchange(m_indexRebuilt, false); }
    // Every match, streamed: one row per estimate, or one per line with its estimate's number.
    DbResult forEachEstimate(const ListFilter &filter, const std::function<void(const ListRow &)> &row);
    DbResult forEachLine(const ListFilter &filter, const std::function<void(const QStringList &)> &line);
    // What each listed document was made from ("← 見積書 No.2") and made into ("→ 請求書 No.5").
    DbResult linksOf(DocKind kind, const QVector<ListRow> &rows, QHash<int, QString> &out);
    // Writes the matches as CSV (UTF-8 with BOM); *written counts the records.
    DbResult exportCsv(const ListFilter &filter, bool lines, const QString &path, int *written = nullptr);

private:
    QString query(const ListFilter &filter, const QString &columns, QVariantList &binds);
    Db &m_db;
    bool m_indexRebuilt = false;
};
