#pragma once
// The data control of a grid: one work table, all rows in memory, edited by primary key.
// Edits stay pending per row until commitRow() writes them; refresh() re-reads the table.

#include "store/Db.h"
#include "values/Money.h"

#include <QAbstractTableModel>
#include <QVector>
#include <functional>

enum class ColumnKind { Text, Integer, Real, Currency, YesNo };

struct WorkColumn {
    QString field;
    ColumnKind kind = ColumnKind::Text;
    QString caption;            // header text; empty shows nothing
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool grouped = false;       // "#,###": separators, 0 shows empty
};

class WorkTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    WorkTableModel(Db &db, const QString &table, const QVector<WorkColumn> &columns,
                   const QString &orderBy = QStringLiteral("id"), QObject *parent = nullptr);

    // A trailing empty line on which the user adds a row.
    void setAllowAppend(bool allow);
    bool allowAppend() const { return m_allowAppend; }

    QString table() const { return m_table; }
    const QVector<WorkColumn> &columns() const { return m_columns; }
    int columnOf(const QString &field) const;

    DbResult refresh();
    DbResult commitRow(int row);
    DbResult commitAll();
    bool isPending(int row) const;
    int dataRowCount() const { return m_rows.size(); }
    qlonglong rowId(int row) const;

    // Cell value: QString, qlonglong, double, Money or bool; a null QVariant for an empty cell.
    QVariant value(int row, int column) const;
    // Every row's values as they stand (pending edits included); cheap: the rows are shared.
    QVector<QVector<QVariant>> rowValues() const;
    // Programmatic write: pending, announced to views, but not a user edit.
    void setValue(int row, int column, const QVariant &v);
    // A blank row after the last, pending until commitRow writes it; its index.
    int appendRow();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Consulted before a user edit is applied; false refuses it and the cell keeps its value.
    std::function<bool(int row, int column, const QVariant &value)> editCheck;
    // A cell the user may not type into or tick (a computed one), and a row's own look (a
    // font for Qt::FontRole, a colour for Qt::BackgroundRole), when set.
    std::function<bool(int row, int column)> cellLocked;
    std::function<QVariant(int row, int role)> rowLook;
    // Beside a row's number in the grid's margin (the row's kind), when set and not empty.
    std::function<QString(int row)> rowCaption;

    // Converts text typed into a cell to the column's value; empty text gives Null.
    QVariant fromText(int column, const QString &text) const;
    QString displayText(int column, const QVariant &v) const;

signals:
    // The user changed a cell (typing, the drop-down, a tick box).
    void userEdited(int row, int column);

private:
    struct Row {
        qlonglong id = 0; // 0: not yet in the table
        QVector<QVariant> values;
        bool dirty = false;
    };
    QVariant fromSql(int column, const QVariant &v) const;
    QVariant toSql(int column, const QVariant &v) const;
    bool ensureRow(int row);
    Row blankRow() const; // pending, every value as an empty cell reads

    Db &m_db;
    QString m_table;
    QVector<WorkColumn> m_columns;
    QString m_orderBy;
    QVector<Row> m_rows;
    bool m_allowAppend = false;
};
