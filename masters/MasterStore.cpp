#include "masters/MasterStore.h"

DbResult MasterStore::read()
{
    const QString fields = m_table.fields.join(", ");
    return m_ctx.work.transaction([&]() -> DbResult {
        if (DbResult d = m_ctx.work.exec("DELETE FROM main." + m_table.work); !d)
            return d;
        return m_ctx.work.exec(QString("INSERT INTO main.%1 (%2) SELECT %2 FROM perm.%3 ORDER BY %4")
                                   .arg(m_table.work, fields, m_table.master, m_table.fields.first()));
    }, Db::Lock::Deferred); // writes the work copy only
}

DbResult MasterStore::clear()
{
    // An empty copy needs no write (and no disk sync), as at every start.
    QVariant any;
    if (DbResult r = m_ctx.work.scalar(QString("SELECT EXISTS (SELECT 1 FROM main.%1)").arg(m_table.work), {}, any);
        !r || any.toInt() == 0)
        return r;
    return m_ctx.work.exec("DELETE FROM main." + m_table.work);
}

DbResult MasterStore::registerRows()
{
    const QString key = m_table.fields.first();
    QStringList sets, marks;
    for (const QString &f : m_table.fields) {
        sets << f + " = ?";
        marks << "?";
    }
    const QString update = QString("UPDATE perm.%1 SET %2 WHERE rowid = "
                                   "(SELECT rowid FROM perm.%1 WHERE %3 = ? ORDER BY rowid LIMIT 1)")
                               .arg(m_table.master, sets.join(", "), key);
    const QString insert =
        QString("INSERT INTO perm.%1 (%2) VALUES (%3)").arg(m_table.master, m_table.fields.join(", "), marks.join(", "));
    return m_ctx.work.transaction([&]() -> DbResult {
        DbRows rows;
        if (DbResult s = m_ctx.work.select(
                QString("SELECT %1 FROM main.%2 ORDER BY id").arg(m_table.fields.join(", "), m_table.work), {}, rows);
            !s)
            return s;
        for (const DbRow &row : rows) {
            // A row without a name would become a nameless master row on every registration.
            if (row[0].isNull() || row[0].toString().trimmed().isEmpty())
                continue;
            QVariantList values(row.begin(), row.end());
            qlonglong changed = 0;
            if (DbResult u = m_ctx.work.exec(update, values + QVariantList{row[0]}, &changed); !u)
                return u;
            if (changed == 0)
                if (DbResult i = m_ctx.work.exec(insert, values); !i)
                    return i;
        }
        return {};
    }, Db::Lock::Deferred); // writes the master only
}

DbResult MasterStore::deleteTicked(int *deleted)
{
    const QString key = m_table.fields.first();
    DbRows ticked;
    if (deleted)
        *deleted = 0;
    if (DbResult r = m_ctx.work.select(QString("SELECT %1 FROM main.%2 WHERE チェック = 1").arg(key, m_table.work), {},
                                       ticked);
        !r || ticked.isEmpty())
        return r;
    DbResult r = m_ctx.work.transaction([&]() -> DbResult {
        for (const DbRow &row : ticked)
            if (DbResult d = m_ctx.work.exec(QString("DELETE FROM perm.%1 WHERE %2 = ?").arg(m_table.master, key), {row[0]});
                !d)
                return d;
        return m_ctx.work.exec(QString("DELETE FROM main.%1 WHERE チェック = 1").arg(m_table.work));
    });
    if (r && deleted)
        *deleted = ticked.size();
    return r;
}
