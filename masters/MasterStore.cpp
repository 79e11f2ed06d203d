#include "masters/MasterStore.h"
#include "store/SafeFile.h"
#include <QSqlQuery>
#include "store/BatchInsert.h"
#include "store/Csv.h"
#include "store/Engine.h"
#include "store/Helpers.h"
#include "values/Money.h"

#include <QFile>

DbResult MasterStore::read()
{
    DbResult r = m_ctx.work.transaction([&]() -> DbResult {
        if (DbResult d = m_ctx.work.exec("DELETE FROM main." + m_table.work); !d)
            return d;
        return engineOf(m_ctx.main).copyToWork(m_ctx.main, m_ctx.work, m_table.master, m_table.work, m_table.fields,
                                               m_table.fields.first());
    }, Db::Lock::Deferred); // writes the work copy only
    return r ? rememberRead() : r;
}

// The values as read, in a table of the work connection's own (never in the file): 登録 then
// writes only what this desktop changed, guarded by these.
QString MasterStore::readTable() const { return QStringLiteral("temp.") + m_table.work + QStringLiteral("_読込時"); }

DbResult MasterStore::rememberRead()
{
    const QString fields = m_table.fields.join(", "), key = m_table.fields.first();
    if (DbResult r = m_ctx.work.exec(QString("CREATE TABLE IF NOT EXISTS %1 AS SELECT %2 FROM main.%3 WHERE 0")
                                         .arg(readTable(), fields, m_table.work));
        !r)
        return r;
    // One row a name, the first: the one a registration guards.
    if (DbResult r = m_ctx.work.exec(QString("CREATE UNIQUE INDEX IF NOT EXISTS %1_名 ON %2 (%3)")
                                         .arg(readTable(), QString(readTable()).remove(QStringLiteral("temp.")), key));
        !r)
        return r;
    if (DbResult r = m_ctx.work.exec("DELETE FROM " + readTable()); !r)
        return r;
    return m_ctx.work.exec(QString("INSERT OR IGNORE INTO %1 SELECT %2 FROM main.%3 ORDER BY id")
                               .arg(readTable(), fields, m_table.work));
}

DbResult MasterStore::clear()
{
    // An empty copy needs no write (and no disk sync), as at every start.
    QVariant any;
    if (DbResult r = m_ctx.work.scalar(QString("SELECT EXISTS (SELECT 1 FROM main.%1)").arg(m_table.work), {}, any);
        !r || any.toInt() == 0)
        return r ? rememberRead() : r;
    if (DbResult d = m_ctx.work.exec("DELETE FROM main." + m_table.work); !d)
        return d;
    return rememberRead(); // nothing read: whatever is typed now is new to this desktop
}

DbResult MasterStore::writeGuarded(Db &db, const QVariantList &values, const QVariantList &asRead, bool &elsewhere)
{
    const StoreEngine &engine = engineOf(m_ctx.main);
    const QString table = engine.masterPrefix() + m_table.master, key = m_table.fields.first(), order = engine.rowOrder();
    QStringList sets, guards;
    for (const QString &f : m_table.fields) {
        sets << f + " = ?";
        guards << f + " IS NOT DISTINCT FROM ?";
    }
    qlonglong changed = 0;
    DbResult r = db.exec(QString("UPDATE %1 SET %2 WHERE %3 = (SELECT %3 FROM %1 WHERE %4 = ? ORDER BY %3 LIMIT 1) AND %5")
                             .arg(table, sets.join(", "), order, key, guards.join(" AND ")),
                         values + QVariantList{values.first()} + asRead, &changed);
    elsewhere = r && changed == 0;
    return r;
}

// The server's way: a round trip per row would make a thousand rows take seconds. Every row read
// before is written in one statement, each only while it is as read; those it did not write are
// the ones changed elsewhere. Then the new names another desktop added meanwhile, in one more.
DbResult MasterStore::writeBatched(Db &db, const QStringList &order, const QHash<QString, QVariantList> &named,
                                   const QHash<QString, QVariantList> &asRead, QVector<MasterRow> &unguarded,
                                   QStringList &conflicts)
{
    const QStringList &fields = m_table.fields;
    auto typed = [&](const QString &f) {
        return m_table.moneyFields.contains(f) || m_table.flagFields.contains(f) ? QStringLiteral("?::bigint")
                                                                                : QStringLiteral("?::text");
    };
    QStringList marks, columns, sets, guards, fresh;
    for (const QString &f : fields) {
        marks << typed(f);
        columns << "n_" + f;
        sets << QStringLiteral("%1 = v.n_%1").arg(f);
        guards << QStringLiteral("m.%1 IS NOT DISTINCT FROM v.r_%1").arg(f);
    }
    for (const QString &f : fields)
        columns << "r_" + f;
    const QString tuple = '(' + (marks + marks).join(", ") + ')';
    QStringList tuples;
    QVariantList binds;
    QSet<QString> written;
    for (const QString &name : order) {
        if (!asRead.contains(name)) {
            fresh << name;
            continue;
        }
        tuples << tuple;
        binds += named[name] + asRead[name];
    }
    const QString key = fields.first();
    if (!tuples.isEmpty())
        if (DbResult r = db.forEachRow(QString("UPDATE %1 AS m SET %2 FROM (VALUES %3) AS v(%4) WHERE m.%5 = v.n_%5 AND %6 "
                                               "RETURNING m.%5")
                                           .arg(m_table.master, sets.join(", "), tuples.join(", "), columns.join(", "), key,
                                                guards.join(" AND ")),
                                       binds, [&](const QSqlQuery &q) { written.insert(q.value(0).toString()); },
                                       Db::OnLoss::Report);
            !r)
            return r;
    QSet<QString> there;
    if (!fresh.isEmpty())
        if (DbResult r = db.forEachRow(QString("SELECT %2 FROM %1 WHERE %2 = ANY(?::text[])").arg(m_table.master, key),
                                       {textArrayLiteral(fresh)}, [&](const QSqlQuery &q) { there.insert(q.value(0).toString()); });
            !r)
            return r;
    for (const QString &name : order) {
        if (asRead.contains(name) ? !written.contains(name) : there.contains(name))
            conflicts << name;
        else if (!asRead.contains(name))
            unguarded << MasterRow{named[name], QVector<bool>(named[name].size(), true)};
    }
    return {};
}

// The named work rows that differ from what was read (or were not read at all), each with its
// values as read; the last row of a name is the one that counts.
DbResult MasterStore::changedRows(QStringList &order, QHash<QString, QVariantList> &now,
                                  QHash<QString, QVariantList> &asRead)
{
    QStringList w, r, differs;
    for (const QString &f : m_table.fields) {
        w << "w." + f;
        r << "r." + f;
        differs << QStringLiteral("w.%1 IS NOT r.%1").arg(f);
    }
    const QString key = m_table.fields.first();
    const int n = m_table.fields.size();
    return m_ctx.work.forEachRow(
        QString("SELECT %1, %2, r.%3 IS NOT NULL FROM main.%4 w LEFT JOIN %5 r ON r.%3 = w.%3 WHERE trim(w.%3) <> '' "
                "AND (r.%3 IS NULL OR %6) ORDER BY w.id")
            .arg(w.join(", "), r.join(", "), key, m_table.work, readTable(), differs.join(" OR ")),
        {}, [&](const QSqlQuery &q) {
            QVariantList values, read;
            for (int i = 0; i < n; ++i) {
                values << q.value(i);
                read << q.value(n + i);
            }
            const QString name = values.first().toString();
            if (!now.contains(name))
                order << name;
            now.insert(name, values);
            if (q.value(2 * n).toBool())
                asRead.insert(name, read);
        });
}

DbResult MasterStore::registerRows(QStringList *elsewhere, bool overwrite)
{
    if (DbResult t = m_ctx.work.exec(QString("CREATE TABLE IF NOT EXISTS %1 AS SELECT %2 FROM main.%3 WHERE 0")
                                         .arg(readTable(), m_table.fields.join(", "), m_table.work));
        !t)
        return t; // nothing read yet: every row is new
    QStringList order;
    QHash<QString, QVariantList> named, asRead;
    if (DbResult s = changedRows(order, named, asRead); !s)
        return s;
    const StoreEngine &engine = engineOf(m_ctx.main);
    Db &db = engine.masterWriter(m_ctx.main, m_ctx.work);
    QStringList conflicts;
    DbResult r = db.transaction([&]() -> DbResult {
        QVector<MasterRow> unguarded;
        if (engine.shared() && !overwrite) {
            if (DbResult b = writeBatched(db, order, named, asRead, unguarded, conflicts); !b)
                return b;
            return engine.registerMasterRows(db, m_table.master, m_table.fields, unguarded);
        }
        for (const QString &name : order) {
            const QVariantList &values = named[name];
            bool changed = false;
            if (asRead.contains(name) && !overwrite) {
                if (DbResult w = writeGuarded(db, values, asRead[name], changed); !w)
                    return w;
            } else if (!overwrite) { // new here: a name another desktop added meanwhile is theirs
                QVariant there;
                if (DbResult e = db.scalar(QString("SELECT 1 FROM %1%2 WHERE %3 = ?")
                                               .arg(engine.masterPrefix(), m_table.master, m_table.fields.first()),
                                           {name}, there);
                    !e)
                    return e;
                if (there.isNull())
                    unguarded << MasterRow{values, QVector<bool>(values.size(), true)};
                changed = !there.isNull();
            } else {
                unguarded << MasterRow{values, QVector<bool>(values.size(), true)};
            }
            if (changed)
                conflicts << name;
        }
        return engine.registerMasterRows(db, engine.masterPrefix() + m_table.master, m_table.fields, unguarded);
    }, Db::Lock::Deferred); // writes the master only
    if (r) // what is stored now is what a later registration guards against
        for (const QString &name : order)
            if (!conflicts.contains(name) && r)
                r = rememberRow(named[name]);
    if (elsewhere)
        *elsewhere = conflicts;
    return r;
}

DbResult MasterStore::describeConflicts(const QStringList &names, QStringList &details)
{
    details.clear();
    const QStringList &fields = m_table.fields;
    auto shown = [&](const QString &field, const QVariant &v) {
        if (m_table.moneyFields.contains(field))
            return v.isNull() ? QStringLiteral("（空欄）") : Money::fromSql(v).value_or(Money()).toGroupedString();
        if (m_table.flagFields.contains(field))
            return v.toLongLong() ? QStringLiteral("あり") : QStringLiteral("なし");
        return v.toString().isEmpty() ? QStringLiteral("（空欄）") : v.toString();
    };
    if (names.isEmpty())
        return {};
    // What is stored now, in one query: on a server each is a round trip.
    QHash<QString, DbRow> stored;
    QVariantList binds;
    for (const QString &name : names)
        binds << name;
    if (DbResult r = m_ctx.main.forEachRow(QString("SELECT %1 FROM %2 WHERE %3 IN (%4) ORDER BY %5 DESC")
                                               .arg(fields.join(", "), m_table.master, fields.first(),
                                                    QStringList(names.size(), QStringLiteral("?")).join(", "),
                                                    engineOf(m_ctx.main).rowOrder()),
                                           binds, [&](const QSqlQuery &q) {
                                               DbRow row;
                                               for (int i = 0; i < fields.size(); ++i)
                                                   row << q.value(i);
                                               stored.insert(row[0].toString(), row); // the first of a name last
                                           });
        !r)
        return r;
    for (const QString &name : names) {
        DbRows mine;
        if (DbResult r = m_ctx.work.select(QString("SELECT %1 FROM main.%2 WHERE %3 = ? ORDER BY id DESC LIMIT 1")
                                               .arg(fields.join(", "), m_table.work, fields.first()),
                                           {name}, mine);
            !r)
            return r;
        const auto now = stored.constFind(name);
        for (int i = 1; i < fields.size() && now != stored.cend() && !mine.isEmpty(); ++i)
            if (shown(fields[i], (*now)[i]) != shown(fields[i], mine[0][i]))
                details << QStringLiteral("「%1」の%2: 他の端末「%3」／この端末「%4」")
                               .arg(name, fields[i], shown(fields[i], (*now)[i]), shown(fields[i], mine[0][i]));
    }
    return {};
}

DbResult MasterStore::rememberRow(const QVariantList &values)
{
    const QString key = m_table.fields.first();
    if (DbResult r = m_ctx.work.exec(QString("DELETE FROM %1 WHERE %2 = ?").arg(readTable(), key), {values.first()}); !r)
        return r;
    return m_ctx.work.exec(QString("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(readTable(), m_table.fields.join(", "),
                                    QStringList(values.size(), QStringLiteral("?")).join(", ")),
                           values);
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
    // Every grid row of a deleted name goes too: the grid shows no customer that is gone.
    auto fromGrid = [&]() -> DbResult {
        for (const DbRow &row : ticked)
            if (DbResult d = m_ctx.work.exec(QString("DELETE FROM main.%1 WHERE %2 = ?").arg(m_table.work, key), {row[0]});
                !d)
                return d;
        return m_ctx.work.exec(QString("DELETE FROM main.%1 WHERE チェック = 1").arg(m_table.work));
    };
    const StoreEngine &engine = engineOf(m_ctx.main);
    Db &db = engine.masterWriter(m_ctx.main, m_ctx.work);
    const bool oneFile = &db == &m_ctx.work; // master and grid in one transaction
    DbResult r = db.transaction([&]() -> DbResult {
        for (const DbRow &row : ticked)
            if (DbResult d = db.exec(QString("DELETE FROM %1%2 WHERE %3 = ?").arg(engine.masterPrefix(), m_table.master, key),
                                     {row[0]});
                !d)
                return d;
        return oneFile ? fromGrid() : DbResult{};
    });
    if (r && !oneFile)
        r = m_ctx.work.transaction(fromGrid, Db::Lock::Deferred);
    if (r && deleted)
        *deleted = ticked.size();
    return r;
}

DbResult MasterStore::exportCsv(const QString &path, int *written)
{
    const StoreEngine &engine = engineOf(m_ctx.main);
    Db &db = engine.masterWriter(m_ctx.main, m_ctx.work);
    const QString sql = QString("SELECT %1 FROM %2%3 ORDER BY %4")
                            .arg(m_table.fields.join(", "), engine.masterPrefix(), m_table.master, m_table.fields.first());
    QSet<int> numeric;
    for (int i = 0; i < m_table.fields.size(); ++i)
        if (m_table.moneyFields.contains(m_table.fields[i]) || m_table.flagFields.contains(m_table.fields[i]))
            numeric.insert(i);
    return writeCsvFile(path, m_table.fields, numeric, [&](const CsvSink &sink) {
        return db.forEachRow(sql, {}, [&](const QSqlQuery &q) {
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

DbResult MasterStore::importCsv(const QString &path, CsvImport &result, const CsvProgress &progress)
{
    result = CsvImport();
    QByteArray bytes;
    if (DbResult r = readRegularFile(path, kCsvLimit, bytes); !r)
        return r;
    const CsvContent csv = parseCsv(bytes);
    result.encoding = csv.encoding;
    result.badLines = csv.badLines;
    struct Pending { int line; QVariantList values; };
    QVector<Pending> rows;
    QHash<QString, int> byName; // name -> index in rows
    const int total = m_table.fields.size(), required = m_table.csvRequired > 0 ? m_table.csvRequired : total;
    for (const CsvRow &row : csv.rows) {
        if (row.line == 1 && row.fields.size() >= required && row.fields == m_table.fields.mid(0, row.fields.size()))
            continue; // the header
        QVariantList values;
        bool ok = row.fields.size() >= required && row.fields.size() <= total;
        for (int c = 0; ok && c < total; ++c) {
            QVariant v;
            ok = csvValue(m_table, c, c < row.fields.size() ? row.fields[c] : QString(), v);
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
    QVector<QVariantList> values;
    values.reserve(rows.size());
    for (const Pending &p : rows)
        values << p.values;
    return writeWorkRows(values, result, progress);
}

// The rows onto the grid's first rows of the same names, or as new rows: the grid's names are
// read once, so each row costs the same however many there are. All of it, or (cancelled,
// failed) nothing.
DbResult MasterStore::writeWorkRows(const QVector<QVariantList> &rows, CsvImport &result, const CsvProgress &progress)
{
    Db &db = m_ctx.work;
    const QString key = m_table.fields.first();
    QStringList sets;
    for (const QString &f : m_table.fields)
        sets << f + " = ?";
    const QString update = QString("UPDATE main.%1 SET %2 WHERE id = ?").arg(m_table.work, sets.join(", "));
    DbResult r = db.transaction([&]() -> DbResult {
        QHash<QString, qlonglong> present; // the first row of each name
        if (DbResult q = db.forEachRow(QString("SELECT id, %1 FROM main.%2 ORDER BY id DESC").arg(key, m_table.work), {},
                                       [&](const QSqlQuery &q) { present.insert(q.value(1).toString(), q.value(0).toLongLong()); });
            !q)
            return q;
        BatchInsert added(db, QStringLiteral("main.") + m_table.work, m_table.fields);
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (progress && i % 1000 == 0 && !progress(int(i), int(rows.size())))
                return DbResult::failure(QStringLiteral("cancelled"), sqlitecode::Cancelled);
            const auto it = present.constFind(rows[i].first().toString());
            const DbResult w = it != present.constEnd() ? db.exec(update, rows[i] + QVariantList{*it}) : added.add(rows[i]);
            if (!w)
                return w;
            ++(it != present.constEnd() ? result.merged : result.added);
        }
        return added.flush();
    }, Db::Lock::Deferred);
    if (!r)
        result.added = result.merged = 0;
    return r;
}

