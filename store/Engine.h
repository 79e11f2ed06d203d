#pragma once
// What differs between keeping the permanent data in the folder's file (SQLite) and on an
// office's server (PostgreSQL): numbering, locking, versions, master upserts, the search
// index, work copies, the tables' definitions and their checks. The rest of the program
// speaks to whichever engine its handle has, never to one by name.

#include "store/Db.h"
#include "values/DocKind.h"

#include <QDateTime>
#include <QStringList>
#include <QVector>

// One master row as a save or a registration writes it: values in the order of fields, the
// name (the key) first. own: the fields this desktop set; the others only fill a new row.
struct MasterRow {
    QVariantList values;
    QVector<bool> own;
};

// Where the estimate list looks for a text: what to read (h is 見積書ヘッダ), the conditions,
// their values, and the order that gives the newest first without a sort where it can.
struct SearchSource {
    QString from;
    QStringList where;
    QVariantList binds;
    QString order;
};

// A whole document as a save writes it, as bound values: the header (伝票番号 first), the
// lines as stored, each in lineColumns' order, the documents it was made from (in the links'
// columns), the masters' rows it registers, its search text.
struct EstimateRecord {
    DocKind kind = DocKind::Estimate;
    qlonglong number = 0;
    QStringList headerColumns, lineColumns;
    QVariantList header;
    QVector<QVariantList> lines, links;
    QStringList customerFields, productFields; // the key first
    QVector<MasterRow> customers, products;
    QString searchText;
};

// An issue as a server records it in one round trip: the number's and the chain's locks, the
// number's check, the version, the bytes and the chained record.
struct IssueRow {
    qlonglong number = 0, expected = -1; // expected: what the number holds for the document; -1 unchecked
    QString kind, when, customer, date, how, sha256;
    QVariant total; // raw money, or null
    QByteArray content, pdf;
};

class StoreEngine {
public:
    virtual ~StoreEngine() = default;
    // Which store is in use, as the settings page shows it.
    virtual QString description(const Db &db) const = 0;
    // The tables of the permanent data, into an empty file or database, in one transaction.
    virtual DbResult createSchema(Db &db) const = 0;
    // Ours, of this program's version, every table present.
    virtual DbResult checkSchema(Db &db) const = 0;

    // Each kind of document is numbered by a counter of its own.
    // The number the next new document is proposed under: the stored counter + 1, or 1.
    // A proposal only: another desktop may take it first.
    virtual DbResult proposedNumber(Db &db, DocKind kind, qlonglong &next) const = 0;
    // Raises the counter to saved; never lowers it. Atomic on its own.
    virtual DbResult raiseNumber(Db &db, DocKind kind, qlonglong saved) const = 0;
    // Takes the next number no stored document has and no other desktop can take meanwhile;
    // the counter ends at it. Inside a transaction.
    virtual DbResult takeNextNumber(Db &db, DocKind kind, qlonglong &number) const = 0;
    // Holds a document's number until the transaction ends: saves and deletes of one number
    // from several desktops follow one another. Inside a transaction.
    virtual DbResult lockEstimate(Db &db, DocKind kind, qlonglong number) const = 0;
    // Holds the archive's chain until the transaction ends: every issue follows the one before.
    virtual DbResult lockArchive(Db &db) const = 0;
    // Holds the payments' numbering until the transaction ends: two desktops recording payments
    // at once take one number after the other. Inside a transaction.
    virtual DbResult lockPayments(Db &db) const = 0;
    // The version of what is stored under number: 0 when nothing is.
    virtual DbResult storedVersion(Db &db, DocKind kind, qlonglong number, qlonglong &version) const = 0;
    // Writes a document's header in place of what is stored under its number (the first of
    // columns, 伝票番号), as version.
    virtual DbResult replaceHeader(Db &db, DocKind kind, const QStringList &columns, const QVariantList &values,
                                   qlonglong version) const = 0;

    // Locks the estimate's number and, unless expected is -1, writes only while what is stored
    // is still version expected (else TakenElsewhere when expected is 0, ChangedElsewhere).
    // Then raises the counter, registers the masters (in that order: every save takes its
    // locks alike) and replaces the estimate as version stored + 1. Inside a transaction.
    virtual DbResult writeEstimate(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored) const;
    // The same in a transaction of its own. When the connection went on the way, commitUnknown
    // is set and stored is what was found, or expected: whether it arrived is the caller's to
    // find out.
    virtual DbResult saveEstimate(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored) const
    {
        return db.transaction([&] { return writeEstimate(db, e, expected, stored); });
    }

    // The column that orders a table's rows as they were added: of several rows of one name,
    // the first is the one the program reads.
    virtual QString rowOrder() const = 0;
    // column, kept from being searched through its index (a condition checked on the way).
    virtual QString withoutIndex(const QString &column) const = 0;

    // Each row added to table, or its own fields written into the stored row of its name
    // where they differ; a row left as it was is not written. fields: the key first.
    virtual DbResult registerMasterRows(Db &db, const QString &table, const QStringList &fields,
                                        const QVector<MasterRow> &rows) const = 0;

    // The search index of each kind's list.
    virtual DbResult writeSearchText(Db &db, DocKind kind, qlonglong number, const QString &text) const = 0;
    virtual DbResult removeSearchText(Db &db, DocKind kind, qlonglong number) const = 0;
    // Always a way that runs: a damaged index shows itself when the search does.
    virtual SearchSource searchSource(Db &db, DocKind kind, const QString &text) const = 0;

    // Copies a master's fields into the same columns of a work table (emptied by the caller),
    // in order; the work handle is the local work file.
    virtual DbResult copyToWork(Db &main, Db &work, const QString &master, const QString &workTable,
                                const QStringList &fields, const QString &order) const = 0;
    // The handle and table prefix through which masters are written beside their work copies:
    // on a file the work handle (one transaction covers both), on a server the server's.
    virtual Db &masterWriter(Db &main, Db &work) const = 0;
    virtual QString masterPrefix() const = 0;

    // Upkeep as the window closes.
    virtual void tidyAtClose(Db &db) const = 0;
    // Whether other desktops share this data (a wipe empties theirs too).
    virtual bool shared() const = 0;
    // A copy of the permanent data before a wipe: a file in backupFolder, or a dated schema
    // on the server. *written names it as a person would look for it.
    virtual DbResult backupBeforeWipe(Db &db, const QString &backupFolder, const QDateTime &at,
                                      QString *written) const = 0;
    // Records an issue in one statement where the engine can (a server); *version is the version
    // it went under. A number no longer holding what was expected gives the mismatch.
    virtual DbResult recordIssue(Db &db, const IssueRow &issue, int *version) const;
    // The search indexes made anew from the stored documents.
    virtual DbResult rebuildSearchIndex(Db &db) const = 0;
};

const StoreEngine &engineOf(const Db &db);
// What writeEstimate answers when the version found was not the one expected.
DbResult estimateMismatch(qlonglong number, qlonglong expected, qlonglong stored);

// The file's engine; engineOf chooses it or the server's, which its own floor installs.
const StoreEngine &sqliteEngine();
void installServerEngine(const StoreEngine &engine);
