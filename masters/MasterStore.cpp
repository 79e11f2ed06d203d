#include "masters/MasterStore.h"
#include "store/Csv.h"
#include "store/Money.h"

#include <QFile>

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
        // Every grid row of a deleted name goes too: the grid shows no customer that is gone.
        for (const DbRow &row : ticked) {
            if (DbResult d = m_ctx.work.exec(QString("DELETE FROM perm.%1 WHERE %2 = ?").arg(m_table.master, key), {row[0]});
                !d)
                return d;
            if (DbResult d = m_ctx.work.exec(QString("DELETE FROM main.%1 WHERE %2 = ?").arg(m_table.work, key), {row[0]});
                !d)
                return d;
        }
        return m_ctx.work.exec(QString("DELETE FROM main.%1 WHERE チェック = 1").arg(m_table.work));
    });
    if (r && deleted)
        *deleted = ticked.size();
    return r;
}

DbResult MasterStore::exportCsv(const QString &path, int *written)
{
    const QString sql = QString("SELECT %1 FROM perm.%2 ORDER BY %3")
                            .arg(m_table.fields.join(", "), m_table.master, m_table.fields.first());
    QSet<int> numeric;
    for (int i = 0; i < m_table.fields.size(); ++i)
        if (m_table.moneyFields.contains(m_table.fields[i]) || m_table.flagFields.contains(m_table.fields[i]))
            numeric.insert(i);
    return writeCsvFile(path, m_table.fields, numeric, [&](const CsvSink &sink) {
        return m_ctx.work.forEachRow(sql, {}, [&](const QSqlQuery &q) {
            QStringList f;
            for (int i = 0; i < m_table.fields.size(); ++i) {
                const QVariant v = q.value(i);
                if (m_table.moneyFields.contains(m_table.fields[i]))
                    f << (v.isNull() ? QString() : Money::fromRaw(v.toLongLong()).toPlainString());
                else if (m_table.flagFields.contains(m_table.fields[i]))
                    f << QString::number(v.toLongLong() != 0 ? 1 : 0);
                else
                    f << (v.isNull() ? QString() : v.toString());
            }
            sink(f);
        });
    }, written);
}

// A CSV field as the column's value; false when it is none.
static bool csvValue(const MasterTable &t, int column, const QString &text, QVariant &out)
{
    const QString &field = t.fields[column];
    if (t.moneyFields.contains(field)) {
        if (text.trimmed().isEmpty()) {
            out = QVariant(QMetaType::fromType<qlonglong>());
            return true;
        }
        const auto m = Money::parse(text);
        out = m ? QVariant(m->raw()) : QVariant();
        return m.has_value();
    }
    if (t.flagFields.contains(field)) {
        const QString v = text.trimmed().toLower();
        out = (v == "1" || v == "true") ? 1 : 0;
        return v.isEmpty() || v == "0" || v == "1" || v == "true" || v == "false";
    }
    // A name read back from what this program wrote keeps no formula guard; nor blanks around it.
    out = column == 0 ? csvUnneutralised(text).trimmed() : csvUnneutralised(text);
    return column > 0 || !out.toString().isEmpty(); // a row needs its name
}

DbResult MasterStore::importCsv(const QString &path, CsvImport &result)
{
    result = CsvImport();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return DbResult::failure(file.errorString(), sqlitecode::CantOpen, path);
    const CsvContent csv = parseCsv(file.readAll());
    result.encoding = csv.encoding;
    result.badLines = csv.badLines;
    struct Pending { int line; QVariantList values; };
    QVector<Pending> rows;
    QHash<QString, int> byName; // name -> index in rows
    for (const CsvRow &row : csv.rows) {
        if (row.line == 1 && row.fields == m_table.fields)
            continue; // the header
        QVariantList values;
        bool ok = row.fields.size() == m_table.fields.size();
        for (int c = 0; ok && c < row.fields.size(); ++c) {
            QVariant v;
            ok = csvValue(m_table, c, row.fields[c], v);
            values << v;
        }
        if (!ok) {
            result.badLines << row.line;
            continue;
        }
        if (const auto it = byName.constFind(values[0].toString()); it != byName.constEnd()) {
            result.replacedLines << rows[*it].line;
            rows[*it] = {row.line, values};
        } else {
            byName.insert(values[0].toString(), rows.size());
            rows << Pending{row.line, values};
        }
    }
    std::sort(result.badLines.begin(), result.badLines.end());
    std::sort(result.replacedLines.begin(), result.replacedLines.end());
    return m_ctx.work.transaction([&]() -> DbResult {
        for (const Pending &p : rows) {
            DbResult r = writeWorkRow(p.values, result);
            if (!r)
                return r;
        }
        return {};
    }, Db::Lock::Deferred);
}

// A CSV row onto the grid's first row of the same name, or a new row.
DbResult MasterStore::writeWorkRow(const QVariantList &values, CsvImport &result)
{
    QStringList marks, sets;
    for (const QString &f : m_table.fields) {
        marks << "?";
        sets << f + " = ?";
    }
    qlonglong changed = 0;
    const QString update = QString("UPDATE main.%1 SET %2 WHERE id = (SELECT id FROM main.%1 WHERE %3 = ? ORDER BY id LIMIT 1)")
                               .arg(m_table.work, sets.join(", "), m_table.fields.first());
    if (DbResult r = m_ctx.work.exec(update, values + QVariantList{values.first()}, &changed); !r)
        return r;
    if (changed > 0) {
        ++result.merged;
        return {};
    }
    ++result.added;
    return m_ctx.work.exec(QString("INSERT INTO main.%1 (%2) VALUES (%3)")
                               .arg(m_table.work, m_table.fields.join(", "), marks.join(", ")),
                           values);
}
