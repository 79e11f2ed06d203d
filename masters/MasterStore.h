#pragma once
// A master table of the permanent file and its work copy in the work file, as SQL only.
// Table and field names are program constants; every value is bound.

#include "store/Context.h"

#include <QHash>
#include <functional>
#include <QStringList>

struct MasterTable {
    QString master;     // table in the permanent file
    QString work;       // its work copy
    QStringList fields; // key field first; the work copy has チェック before them
    QString subject;    // text of the catalogue questions
    QStringList moneyFields = {}; // written and read as yen
    QStringList flagFields = {};  // yes/no, written as 1 or 0
    // Fields a CSV row must have; the later ones may be missing (a file an older version wrote).
    int csvRequired = 0; // 0: every field
};

// The largest CSV file read: far beyond any office's masters, short of what the memory holds.
constexpr qint64 kCsvLimit = 256LL * 1024 * 1024;

// Told how many rows of how many are written; false stops the reading, keeping nothing.
using CsvProgress = std::function<bool(int done, int total)>;

struct CsvImport {
    QString encoding;
    int added = 0, merged = 0;  // rows new in the grid, rows that replaced one of the same name
    QVector<int> badLines;      // could not be read
    QVector<int> replacedLines; // overtaken by a later row of the same name
};

class MasterStore {
public:
    MasterStore(QuoteDeskContext &ctx, MasterTable table) : m_ctx(ctx), m_table(std::move(table)) {}
    const MasterTable &table() const { return m_table; }

    DbResult read();           // work copy := master, in key order, no ticks
    // The named work rows this desktop added or changed since read(), written to the master;
    // a row changed (or a name added) elsewhere since is left as it is and named in *elsewhere,
    // unless overwrite. Rows as read are not written.
    DbResult registerRows(QStringList *elsewhere = nullptr, bool overwrite = false);
    // For each name registerRows left as another desktop wrote it: the fields that differ, with
    // what is stored now and what this desktop has ("「甲社」の顧客情報: 他の端末「…」／この端末「…」").
    DbResult describeConflicts(const QStringList &names, QStringList &details);
    // Ticked rows leave master and work copy; *deleted counts the ticked rows.
    DbResult deleteTicked(int *deleted = nullptr);
    DbResult clear();          // empties the work copy only
    // The master as CSV (UTF-8 with BOM, a header of the field names); *written counts rows.
    DbResult exportCsv(const QString &path, int *written = nullptr);
    // Rows of a CSV in the same form added to the work copy, unregistered. A name the grid
    // already shows, or that comes again, is one row: the last wins and the others are listed.
    DbResult importCsv(const QString &path, CsvImport &result, const CsvProgress &progress = {});

private:
    DbResult writeWorkRows(const QVector<QVariantList> &rows, CsvImport &result, const CsvProgress &progress);
    DbResult rememberRead();
    DbResult rememberRow(const QVariantList &values);
    QString readTable() const;
    DbResult changedRows(QStringList &order, QHash<QString, QVariantList> &now, QHash<QString, QVariantList> &asRead);
    // One row this desktop changed, written only while the master row is still as read.
    DbResult writeBatched(Db &db, const QStringList &order, const QHash<QString, QVariantList> &named,
                          const QHash<QString, QVariantList> &asRead, QVector<struct MasterRow> &unguarded,
                          QStringList &conflicts);
    DbResult writeGuarded(Db &db, const QVariantList &values, const QVariantList &asRead, bool &elsewhere);
    QuoteDeskContext &m_ctx;
    MasterTable m_table;
};
