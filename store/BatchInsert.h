#pragma once
// Rows written a hundred to a statement: a server answers every statement over the network.

#include "store/Db.h"

#include <QStringList>

class BatchInsert {
public:
    // table and columns are program constants; every value is bound.
    BatchInsert(Db &db, const QString &table, const QStringList &columns) : m_db(db), m_table(table), m_columns(columns) {}
    DbResult add(const DbRow &row)
    {
        for (const QVariant &v : row)
            m_values << v;
        return ++m_rows == kRows ? flush() : DbResult{};
    }
    DbResult flush()
    {
        if (m_rows == 0)
            return {};
        const QString one = '(' + QStringList(m_columns.size(), QStringLiteral("?")).join(", ") + ')';
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                .arg(m_table, m_columns.join(", "), QStringList(m_rows, one).join(", "));
        DbResult r = m_db.exec(sql, m_values);
        m_values.clear();
        m_rows = 0;
        return r;
    }

private:
    static constexpr int kRows = 100;
    Db &m_db;
    QString m_table;
    QStringList m_columns;
    QVariantList m_values;
    int m_rows = 0;
};
