#pragma once
// A grid bound to a WorkTableModel: current cell, commit of the row's pending edit,
// the key-down, focus and cell-change events, tick boxes and a drop-down list per column.

#include "store/WorkTableModel.h"

#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

class DataGrid;

// A list attached to a grid column: choosing a row puts its value into the cell.
class GridDropDown : public QObject {
    Q_OBJECT
public:
    GridDropDown(WorkTableModel *source, int valueColumn, QObject *parent = nullptr);
    WorkTableModel *source() const { return m_source; }
    int valueColumn() const { return m_valueColumn; }

private:
    WorkTableModel *m_source;
    int m_valueColumn;
};

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GridDelegate(DataGrid *grid);
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    DataGrid *m_grid;
};

class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);

    void setDataControl(WorkTableModel *model);
    WorkTableModel *dataControl() const { return m_model; }

    int currentColumn() const;
    void setCurrentColumn(int column);
    int currentRowIndex() const;
    void setCurrentCell(int row, int column);
    QVariant columnValue(int column) const;            // of the current row
    void setColumnValue(int column, const QVariant &v); // of the current row

    // Writes the open editor's text into the model, then the current row into its table.
    DbResult commitCurrentRow();
    void flushEditor();
    QWidget *openEditor() const;

    // Width in twips (15 to a pixel), as the window's column layout gives it.
    void setColumnLayout(int column, double widthTwips, bool visible = true);
    // Widens a column (never narrows it) so that sample and its header show whole.
    void fitColumn(int column, const QString &sample = QString());
    // The column takes the grid's spare width.
    void stretchColumn(int column);
    void setDropDown(int column, GridDropDown *dropDown);
    GridDropDown *dropDown(int column) const { return m_dropDowns.value(column); }

    void setImeOpen(bool open);
    bool imeOpen() const { return m_imeOpen; }

    // Key-down hook: set key to 0 to cancel it. Called for keys on the grid and in its editors.
    std::function<void(int &key, Qt::KeyboardModifiers shift)> keyDownHandler;
    bool handleKeyDown(int key, Qt::KeyboardModifiers shift);

signals:
    void focusReceived();
    void currentCellChanged(int previousRow, int previousColumn);
    void commitFailed(const QString &error);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    WorkTableModel *m_model = nullptr;
    QMap<int, GridDropDown *> m_dropDowns;
    bool m_imeOpen = true;
};
