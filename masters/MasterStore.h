#pragma once
// A master table of the permanent file and its work copy in the work file, as SQL only.
// Table and field names are program constants; every value is bound.

#include "store/Context.h"

#include <QStringList>

struct MasterTable {
    QString master;     // table in the permanent file
    QString work;       // its work copy
    QStringList fields; // key field first; the work copy has チェック before them
    QString subject;    // text of the catalogue questions
};

class MasterStore {
public:
    MasterStore(QuoteDeskContext &ctx, MasterTable table) : m_ctx(ctx), m_table(std::move(table)) {}
    const MasterTable &table() const { return m_table; }

    DbResult read();           // work copy := master, in key order, no ticks
    DbResult registerRows();   // every named work row added to or updated in the master
    // Ticked rows leave master and work copy; *deleted counts the ticked rows.
    DbResult deleteTicked(int *deleted = nullptr);
    DbResult clear();          // empties the work copy only

private:
    QuoteDeskContext &m_ctx;
    MasterTable m_table;
};
