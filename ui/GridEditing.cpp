// Working in a grid as in a spreadsheet: Tab and Enter between the cells that are typed into,
// pasting rows copied from a spreadsheet, inserting and deleting rows.

#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <optional>

namespace {

bool isNumeric(const WorkColumn &c)
{
    return c.kind == ColumnKind::Integer || c.kind == ColumnKind::Real || c.kind == ColumnKind::Currency;
}

bool ticked(const QString &text)
{
    const QString t = text.normalized(QString::NormalizationForm_KC).trimmed().toLower();
    return t == "1" || t == "-1" || t == "true" || t == "yes" || t == QStringLiteral("○") ||
           t == QStringLiteral("✓") || t == QStringLiteral("はい");
}

// Rows of tab-separated cells; a cell a spreadsheet quoted may hold tabs, line breaks and "".
QList<QStringList> clipboardRows(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    int i = 0;
    const int n = text.size();
    auto endRow = [&] {
        row << cell;
        rows << row;
        row.clear();
        cell.clear();
    };
    while (i < n) {
        const QChar c = text[i];
        if (c == '"' && cell.isEmpty()) {
            const int close = text.indexOf(QRegularExpression(QStringLiteral("\"(?!\")")), i + 1);
            if (close > 0) {
                cell = text.mid(i + 1, close - i - 1).replace(QStringLiteral("\"\""), QStringLiteral("\""));
                i = close + 1;
                continue;
            }
        }
        if (c == '\t') {
            row << cell;
            cell.clear();
        } else if (c == '\n') {
            endRow();
        } else if (c != '\r') {
            cell += c;
        }
        ++i;
    }
    if (!cell.isEmpty() || !row.isEmpty())
        endRow(); // the last row, when the copy did not end with a line break
    return rows;
}

} // namespace

bool DataGrid::typeInto(int row, int column, const QString &text)
{
    if (!m_model)
        return false;
    const WorkColumn &col = m_model->columns()[column];
    const QModelIndex i = m_model->index(row, column);
    if (col.kind == ColumnKind::YesNo)
        return m_model->setData(i, ticked(text) ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    if (isNumeric(col) && !normaliseNumberText(text).isEmpty() && !parseNumber(text)) {
        QString subject = col.caption;
        subject.remove(QChar(0x3000)).remove(' ');
        Msg(QStringLiteral("入力"), QStringLiteral("数字のみ"), subject);
        return false;
    }
    return m_model->setData(i, text, Qt::EditRole);
}

void DataGrid::pasteText(const QString &text)
{
    if (!m_model)
        return;
    const QModelIndex at = currentIndex().isValid() ? currentIndex() : m_model->index(0, 0);
    // As numbers: growing the grid for the rows resets its model and every index into it.
    const int startRow = at.row(), startColumn = at.column();
    QVector<int> columns; // the visible columns from the current one on, in the order seen
    for (int c = startColumn; c < m_model->columnCount(); ++c)
        if (!isColumnHidden(c))
            columns << c;
    const QList<QStringList> rows = clipboardRows(text);
    if (rowsWanted && startRow + rows.size() > m_model->rowCount()) {
        flushEditor();
        rowsWanted(int(startRow + rows.size()));
    }
    emit pasteStarted();
    int dropped = 0;
    for (int r = 0; r < rows.size(); ++r) {
        const int row = startRow + r;
        if (row >= m_model->rowCount()) {
            ++dropped;
            continue;
        }
        for (int c = 0; c < rows[r].size() && c < columns.size(); ++c)
            typeInto(row, columns[c], rows[r][c]);
        if (DbResult res = m_model->commitRow(row); !res)
            emit commitFailed(res.error);
    }
    emit pasteFinished();
    setCurrentCell(startRow, startColumn);
    if (dropped > 0)
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("表に入りきらないため、最後の %1 行は貼り付けませんでした。").arg(dropped));
}

QModelIndex DataGrid::nextStop(const QModelIndex &from, int step) const
{
    if (!m_model || !from.isValid() || m_tabStops.isEmpty())
        return from;
    int row = from.row();
    std::optional<int> column; // in the same row
    for (int stop : m_tabStops)
        if ((step > 0 && stop > from.column() && !column) || (step < 0 && stop < from.column()))
            column = stop;
    if (!column) {
        row += step;
        column = step > 0 ? m_tabStops.first() : m_tabStops.last();
    }
    if (row < 0 || row >= m_model->rowCount())
        return from;
    return m_model->index(row, *column);
}

void DataGrid::moveToStop(int step)
{
    const QModelIndex next = nextStop(currentIndex(), step);
    if (next.isValid())
        setCurrentIndex(next);
}

QModelIndex DataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (!m_tabStops.isEmpty() && (action == MoveNext || action == MovePrevious))
        return nextStop(currentIndex(), action == MoveNext ? 1 : -1);
    return QTableView::moveCursor(action, modifiers);
}

bool DataGrid::handleGridKey(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const int key = event->key();
    const int row = currentRowIndex();
    if (ctrl && rowInsertHandler && (key == Qt::Key_Plus || (key == Qt::Key_Equal && (mods & Qt::ShiftModifier)))) {
        flushEditor();
        rowInsertHandler(row);
        return true;
    }
    if (ctrl && rowDeleteHandler && key == Qt::Key_Minus && !(mods & Qt::ShiftModifier)) {
        flushEditor();
        rowDeleteHandler(row);
        return true;
    }
    const bool undo = event->matches(QKeySequence::Undo), redo = event->matches(QKeySequence::Redo) ||
                                                                  (ctrl && key == Qt::Key_Y);
    if ((undo || redo) && !openEditor() && (undo ? bool(undoHandler) : bool(redoHandler))) {
        undo ? undoHandler() : redoHandler();
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        const QString text = QApplication::clipboard()->text();
        // One cell's text goes into an open editor as usual; rows and columns fill the grid.
        if (openEditor() && !text.contains('\t') && !text.trimmed().contains('\n'))
            return false;
        flushEditor();
        pasteText(text);
        return true;
    }
    return false;
}

void DataGrid::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (at.isValid())
        setCurrentIndex(at);
    QMenu menu(this);
    QAction *insert = menu.addAction(QStringLiteral("行挿入\tCtrl+Shift++"));
    QAction *remove = menu.addAction(QStringLiteral("行削除\tCtrl+-"));
    menu.addSeparator();
    QAction *paste = menu.addAction(QStringLiteral("貼り付け\tCtrl+V"));
    QAction *undo = nullptr, *redo = nullptr;
    if (undoHandler && redoHandler) {
        menu.addSeparator();
        undo = menu.addAction(QStringLiteral("元に戻す\tCtrl+Z"));
        redo = menu.addAction(QStringLiteral("やり直し\tCtrl+Y"));
    }
    if (extendMenu) {
        menu.addSeparator();
        extendMenu(menu);
    }
    insert->setEnabled(bool(rowInsertHandler) && currentRowIndex() >= 0);
    remove->setEnabled(bool(rowDeleteHandler) && currentRowIndex() >= 0);
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen == insert)
        rowInsertHandler(currentRowIndex());
    else if (chosen == remove)
        rowDeleteHandler(currentRowIndex());
    else if (chosen == paste)
        pasteText(QApplication::clipboard()->text());
    else if (chosen && chosen == undo)
        undoHandler();
    else if (chosen && chosen == redo)
        redoHandler();
}
