#pragma once

#include <functional>
// What the customer and product tabs share: the questions, the grid with its tick column
// and input method, around a MasterStore that does the reading and writing.

#include "masters/MasterStore.h"

class DataGrid;
class WorkTableModel;

class MasterWork {
public:
    MasterWork(QuoteDeskContext &ctx, MasterTable table, DataGrid *grid, WorkTableModel *model);

    void read();          // work copy := master, in key order, no ticks
    void registerRows();  // asks, then every named work row added to or updated in the master
    // Why the rows cannot be registered as typed (a message naming the row), or empty.
    std::function<QString()> refusal;
    void deleteTicked();  // asks, then ticked rows leave master and work copy
    void clear();         // empties the work copy only
    void exportCsv();     // asks for a file, writes the master
    void importCsv();     // asks for a file, adds its rows to the grid, unregistered
    // Rows read from CSV or edited in the grid that 登録 has not stored yet.
    bool hasUnregistered() const { return m_unregistered; }
    // True when nothing unregistered would be lost, or the user agrees to lose it.
    bool mayDiscard();

private:
    bool commitGrid();
    void reportImport(const CsvImport &result);
    bool m_unregistered = false;
    MasterStore m_store;
    DataGrid *m_grid;
    WorkTableModel *m_model;
};
