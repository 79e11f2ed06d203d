#pragma once
// A grid bound to a WorkTableModel: current cell, commit of the row's pending edit,
// the key-down, focus and cell-change events, tick boxes and a drop-down list per column.

#include "ui/WorkTableModel.h"

#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

class DataGrid;
class QMenu;

// A list attached to a grid column: choosing a row puts its value into the cell.
class GridDropDown : public QObject {
    Q_OBJECT
public:
    GridDropDown(WorkTableModel *source, int valueColumn, QObject *parent = nullptr);
    WorkTableModel *source() const { return m_source; }
    int valueColumn() const { return m_valueColumn; }
    // Called before the list is shown in an editor: the place to bring it up to date.
    std::function<void()> beforeUse;

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

    // The columns Tab and Enter walk through, row by row; the others are reached by arrow or mouse.
    void setTabStops(const QVector<int> &columns) { m_tabStops = columns; }
    // The next (step 1) or previous (-1) tab stop from the current cell; stays at the ends.
    void moveToStop(int step);

    // Text as the user would type it into the cell: numbers are checked (入力/数字のみ, the cell
    // keeps its value), tick boxes take 1, true, ○ or ✓. False when the cell refused it.
    bool typeInto(int row, int column, const QString &text);
    // Tab-separated rows, as a spreadsheet copies them, typed in from the current cell; the
    // grid is first asked to hold them all (rowsWanted, when set, with the rows needed).
    void pasteText(const QString &text);
    std::function<void(int rows)> rowsWanted;
    // More entries for the context menu, after the grid's own.
    std::function<void(QMenu &menu)> extendMenu;

    // Inserting and deleting rows, offered in the context menu and on Ctrl+Shift+"+" and
    // Ctrl+"-" when set; given the current row.
    std::function<void(int row)> rowInsertHandler;
    std::function<void(int row)> rowDeleteHandler;
    // Undo and redo (Ctrl+Z, Ctrl+Y or Ctrl+Shift+Z, and the context menu) when set; an open
    // editor keeps its own undo of what is being typed.
    std::function<void()> undoHandler;
    std::function<void()> redoHandler;
    // Line keys, undo and multi-cell paste; true when the key was one of them.
    bool handleGridKey(QKeyEvent *event);

signals:
    // Around a paste of several cells: one change for whoever counts changes.
    void pasteStarted();
    void pasteFinished();
    void focusReceived();
    void currentCellChanged(int previousRow, int previousColumn);
    void commitFailed(const QString &error);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    QModelIndex nextStop(const QModelIndex &from, int step) const;
    QVector<int> m_tabStops;
    WorkTableModel *m_model = nullptr;
    QMap<int, GridDropDown *> m_dropDowns;
    bool m_imeOpen = true;
};
