#pragma once
// What the customer and product tabs share: a master table in the permanent file edited
// through its work copy in the work file, shown in a grid with a tick column.

#include "store/Context.h"

#include <QStringList>

class DataGrid;
class WorkTableModel;

struct MasterTable {
    QString master;     // table in the permanent file
    QString work;       // its work copy
    QStringList fields; // key field first; the work copy has チェック before them
    QString subject;    // text of the catalogue questions
};

class MasterWork {
public:
    MasterWork(QuoteDeskContext &ctx, MasterTable table, DataGrid *grid, WorkTableModel *model);

    void read();          // work copy := master, in key order, no ticks
    void registerRows();  // every named work row added to or updated in the master
    void deleteTicked();  // ticked rows leave master and work copy
    void clear();         // empties the work copy only

private:
    bool commitGrid();
    QuoteDeskContext &m_ctx;
    MasterTable m_table;
    DataGrid *m_grid;
    WorkTableModel *m_model;
};
