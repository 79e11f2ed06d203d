// The folder's own file. One writer at a time holds the whole file (BEGIN IMMEDIATE), so a read
// followed by a write in one transaction is already safe, and only this desktop writes to it.
#include "store/Engine.h"
#include "store/Schema.h"
#include "store/Tables.h"
#include "store/SearchIndex.h"
#include "store/Wipe.h"

#include <QDir>

namespace {

QString quoted(const QString &term) { return '"' + QString(term).replace('"', QStringLiteral("\"\"")) + '"'; }

// One or two characters: every place they stand in begins one of the index's trigrams (each
// text ends in two line breaks), so the trigrams that begin with them are the ones to match.
// None: nothing matches. Too many to ask for: nullopt, and the newest estimates are walked.
std::optional<QString> shortMatch(Db &db, DocKind kind, const QString &t)
{
    constexpr int kMostTerms = 300;
    const QString index = kindNames(kind).index, words = QStringLiteral("temp.") + index + QStringLiteral("語");
    const QString vocabulary = QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5vocab(main, %2, 'row')").arg(words, index);
    const QString folded = t.toLower();
    QStringList terms;
    auto read = [&] {
        terms.clear();
        if (DbResult r = db.exec(vocabulary); !r)
            return r;
        return db.forEachRow(QStringLiteral("SELECT term FROM %1 WHERE term >= ? AND term < ? LIMIT ?").arg(words),
                             {folded, folded + QChar(0xDBFF) + QChar(0xDFFF), kMostTerms + 1},
                             [&](const QSqlQuery &q) { terms << q.value(0).toString(); });
    };
    if (!read()) { // an index made anew meanwhile: its vocabulary too
        db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(words));
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

// The stored row of the name first added, its own fields written where they differ.
DbResult registerRow(Db &db, const QString &table, const QStringList &fields, const MasterRow &row)
{
    const QVariantList &values = row.values;
    DbRows stored;
    if (DbResult r = db.select(QString("SELECT rowid, %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                                   .arg(fields.join(", "), table, fields.first()),
                               {values.first()}, stored);
        !r)
        return r;
    if (stored.isEmpty()) {
        const QString marks = QStringList(fields.size(), QStringLiteral("?")).join(", ");
        return db.exec(QString("INSERT INTO %1 (%2) VALUES (%3)").arg(table, fields.join(", "), marks), values);
    }
    QStringList sets;
    QVariantList setValues;
    for (int i = 1; i < fields.size(); ++i) {
        const QVariant &was = stored[0][i + 1];
        if (row.own[i] && (was.isNull() != values[i].isNull() || was.toString() != values[i].toString())) {
            sets << fields[i] + " = ?";
            setValues << values[i];
        }
    }
    if (sets.isEmpty())
        return {};
    return db.exec(QString("UPDATE %1 SET %2 WHERE rowid = ?").arg(table, sets.join(", ")), setValues << stored[0][0]);
}

class SqliteEngine final : public StoreEngine {
public:
    QString description(const Db &db) const override
    {
        return QStringLiteral("このコンピューターのファイル（%1）").arg(QDir::toNativeSeparators(db.path()));
    }
    DbResult createSchema(Db &db) const override
    {
        return db.transaction([&]() -> DbResult {
            for (const QString &sql : schema::createStatements(schema::FileKind::Permanent))
                if (DbResult r = db.exec(sql); !r)
                    return r;
            return schema::insertUnitCodes(db);
        });
    }
    DbResult checkSchema(Db &db) const override { return schema::verify(db, schema::FileKind::Permanent); }

    DbResult proposedNumber(Db &db, DocKind kind, qlonglong &next) const override
    {
        QVariant stored;
        DbResult r = db.scalar(QStringLiteral("SELECT %1 FROM 自社情報 ORDER BY rowid LIMIT 1").arg(kindNames(kind).counter), {},
                               stored);
        next = stored.isNull() || stored.toString().isEmpty() ? 1 : stored.toLongLong() + 1;
        return r;
    }
    DbResult raiseNumber(Db &db, DocKind kind, qlonglong saved) const override
    {
        const QString counter = kindNames(kind).counter;
        return db.transaction([&]() -> DbResult {
            DbRows rows;
            if (DbResult s = db.select(QStringLiteral("SELECT rowid, %1 FROM 自社情報 ORDER BY rowid LIMIT 1").arg(counter), {}, rows);
                !s)
                return s;
            if (rows.isEmpty())
                return db.exec(QStringLiteral("INSERT INTO 自社情報 (%1) VALUES (?)").arg(counter), {saved});
            // A Null counter takes the number saved, like a missing row; storing 1 here would later
            // propose numbers that are already in use.
            if (rows[0][1].isNull() || rows[0][1].toLongLong() < saved)
                return db.exec(QStringLiteral("UPDATE 自社情報 SET %1 = ? WHERE rowid = ?").arg(counter), {saved, rows[0][0]});
            return {};
        });
    }
    DbResult takeNextNumber(Db &db, DocKind kind, qlonglong &number) const override
    {
        if (DbResult r = proposedNumber(db, kind, number); !r)
            return r;
        while (true) {
            QVariant taken;
            if (DbResult r = db.scalar(QStringLiteral("SELECT 1 FROM %1 WHERE 伝票番号 = ?").arg(kindNames(kind).header), {number},
                                       taken);
                !r)
                return r;
            if (taken.isNull())
                return raiseNumber(db, kind, number);
            ++number;
        }
    }
    DbResult lockEstimate(Db &, DocKind, qlonglong) const override { return {}; }
    DbResult lockArchive(Db &) const override { return {}; } // the write lock is held already
    DbResult lockPayments(Db &) const override { return {}; }
    // The file keeps no versions: only this desktop writes to it, so stored is version 1.
    DbResult storedVersion(Db &db, DocKind kind, qlonglong number, qlonglong &version) const override
    {
        QVariant stored;
        DbResult r = db.scalar(QStringLiteral("SELECT 1 FROM %1 WHERE 伝票番号 = ?").arg(kindNames(kind).header), {number}, stored);
        version = stored.isNull() ? 0 : 1;
        return r;
    }
    DbResult replaceHeader(Db &db, DocKind kind, const QStringList &columns, const QVariantList &values, qlonglong) const override
    {
        const QString table = kindNames(kind).header;
        if (DbResult r = db.exec(QStringLiteral("DELETE FROM %1 WHERE 伝票番号 = ?").arg(table), {values.first()}); !r)
            return r;
        return db.exec(QString("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(table, columns.join(", "), QStringList(columns.size(), QStringLiteral("?")).join(", ")),
                       values);
    }

    QString rowOrder() const override { return QStringLiteral("rowid"); }
    QString withoutIndex(const QString &column) const override { return '+' + column; }

    DbResult registerMasterRows(Db &db, const QString &table, const QStringList &fields,
                                const QVector<MasterRow> &rows) const override
    {
        for (const MasterRow &row : rows)
            if (DbResult r = registerRow(db, table, fields, row); !r)
                return r;
        return {};
    }

    DbResult writeSearchText(Db &db, DocKind kind, qlonglong number, const QString &text) const override
    {
        if (DbResult r = removeSearchText(db, kind, number); !r)
            return r;
        return db.exec(QStringLiteral("INSERT INTO %1 (rowid, 本文) VALUES (?, ?)").arg(kindNames(kind).index), {number, text});
    }
    DbResult removeSearchText(Db &db, DocKind kind, qlonglong number) const override
    {
        return db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(kindNames(kind).index), {number});
    }
    SearchSource searchSource(Db &db, DocKind kind, const QString &t) const override
    {
        const KindNames &k = kindNames(kind);
        const std::optional<QString> match = t.size() >= 3 ? std::optional<QString>(quoted(t)) : shortMatch(db, kind, t);
        SearchSource out;
        if (match && match->isEmpty()) // no trigram begins with it: nothing holds it
            return {k.header + QStringLiteral(" h"), {QStringLiteral("0")}, {}, QStringLiteral("h.伝票番号 DESC")};
        // The index is walked newest first, so the first rows shown are found without a sort.
        out.from = QStringLiteral("%1 s JOIN %2 h ON h.伝票番号 = s.rowid").arg(k.index, k.header);
        out.order = QStringLiteral("s.rowid DESC");
        if (match) { // the trigram index finds the text without reading every document
            out.where << QStringLiteral("s.本文 MATCH ?");
            out.binds << *match;
        } else { // shorter text is common in what is stored: the newest matches come first
            out.where << QStringLiteral("instr(lower(s.本文), lower(?)) > 0");
            out.binds << t;
        }
        return out;
    }

    DbResult copyToWork(Db &, Db &work, const QString &master, const QString &workTable, const QStringList &fields,
                        const QString &order) const override
    {
        // Within SQLite: the work handle reads the permanent file attached to it.
        return work.exec(QString("INSERT INTO main.%1 (%2) SELECT %2 FROM %3.%4 ORDER BY %5")
                             .arg(workTable, fields.join(", "), schema::kPermAlias, master, order));
    }
    Db &masterWriter(Db &, Db &work) const override { return work; }
    QString masterPrefix() const override { return schema::kPermAlias + '.'; }

    // Statistics for the planner where the data grew (a no-op when nothing changed much).
    void tidyAtClose(Db &db) const override { db.exec(QStringLiteral("PRAGMA optimize")); }
    bool shared() const override { return false; }
    DbResult backupBeforeWipe(Db &db, const QString &backupFolder, const QDateTime &at, QString *written) const override
    {
        return backupPermanent(db, backupFolder, at, written);
    }
    DbResult rebuildSearchIndex(Db &db) const override { return searchindex::rebuild(db); }
};

} // namespace

const StoreEngine &sqliteEngine()
{
    static const SqliteEngine engine;
    return engine;
}
