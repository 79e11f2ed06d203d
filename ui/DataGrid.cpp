#include "ui/DataGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

GridDropDown::GridDropDown(WorkTableModel *source, int valueColumn, QObject *parent)
    : QObject(parent), m_source(source), m_valueColumn(valueColumn)
{
}

// ---------------------------------------------------------------------------

GridDelegate::GridDelegate(DataGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const WorkTableModel *model = m_grid->dataControl();
    const WorkColumn &col = model->columns()[index.column()];
    QWidget *editor = nullptr;
    if (GridDropDown *dd = m_grid->dropDown(index.column())) {
        if (dd->beforeUse)
            dd->beforeUse();
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(20);
        combo->setModel(dd->source());
        combo->setModelColumn(dd->valueColumn());
        // Suggest in the popup only: a typed name must stay as typed.
        combo->completer()->setCompletionMode(QCompleter::PopupCompletion);
        auto *view = new QTableView(combo);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->verticalHeader()->hide();
        view->horizontalHeader()->setStretchLastSection(true);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        combo->setView(view);
        view->verticalHeader()->setDefaultSectionSize(22);
        view->setColumnWidth(dd->valueColumn(), 240);
        view->setMinimumWidth(560);
        combo->lineEdit()->installEventFilter(const_cast<GridDelegate *>(this));
        // Choosing from the list counts as an edit of the cell.
        connect(combo, &QComboBox::activated, this, [this, combo](int) {
            // The completer may still fire after the editor was committed and closed.
            if (m_grid->openEditor() == combo)
                emit const_cast<GridDelegate *>(this)->commitData(combo);
        });
        editor = combo;
    } else {
        // Number cells take anything typed: full-width digits and separators are numbers too,
        // and text that is no number is answered with a message rather than swallowed.
        auto *line = new QLineEdit(parent);
        line->setFrame(false);
        line->setAlignment(col.alignment);
        editor = line;
    }
    editor->setAttribute(Qt::WA_InputMethodEnabled, m_grid->imeOpen());
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        combo->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, m_grid->imeOpen());
    return editor;
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
    } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        line->setText(text);
    }
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        m_grid->typeInto(index.row(), index.column(), line->text());
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid() && (index.flags() & Qt::ItemIsUserCheckable) == 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Tick boxes sit in the middle of their cell.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    opt.text.clear();
    QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    if (!check.isValid())
        return;
    QStyleOptionViewItem box = option;
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &box, opt.widget);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &box, opt.widget);
    box.rect = QRect(option.rect.center() - QPoint(w / 2, h / 2), QSize(w, h));
    box.state = option.state & ~QStyle::State_HasFocus;
    box.state |= check.toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, opt.widget);
}

bool GridDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                               const QModelIndex &index)
{
    if (!(index.flags() & Qt::ItemIsUserCheckable))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    bool toggle = false;
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        toggle = me->button() == Qt::LeftButton && option.rect.contains(me->position().toPoint());
    } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        return true;
    } else if (event->type() == QEvent::KeyPress) {
        toggle = static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space;
    }
    if (!toggle)
        return false;
    const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

bool GridDelegate::eventFilter(QObject *object, QEvent *event)
{
    // Events of a drop-down's text line count as events of the drop-down itself.
    QWidget *editor = qobject_cast<QWidget *>(object);
    if (auto *line = qobject_cast<QLineEdit *>(object))
        if (auto *combo = qobject_cast<QComboBox *>(line->parentWidget()); combo && combo->lineEdit() == line)
            editor = combo;
    if (editor && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            if (auto *combo = qobject_cast<QComboBox *>(editor); combo && combo->view()->isVisible())
                return QStyledItemDelegate::eventFilter(object, event);
            // The cell is committed first, then the grid sees the key.
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            if (!m_grid->handleKeyDown(ke->key(), ke->modifiers()))
                m_grid->moveToStop(1);
            return true;
        }
        if (m_grid->handleGridKey(ke))
            return true;
    }
    return QStyledItemDelegate::eventFilter(editor ? editor : object, event);
}

// ---------------------------------------------------------------------------

DataGrid::DataGrid(QWidget *parent) : QTableView(parent)
{
    setItemDelegate(new GridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(true);
    verticalHeader()->setDefaultSectionSize(22);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    setWordWrap(false);
    // A row number selects its line (the view's own row selection does nothing for single cells).
    connect(verticalHeader(), &QHeaderView::sectionPressed, this, [this](int row) {
        if (!m_model)
            return;
        flushEditor();
        int column = m_tabStops.isEmpty() ? 0 : m_tabStops.first();
        while (column < m_model->columnCount() - 1 && isColumnHidden(column))
            ++column;
        setCurrentCell(row, column);
        selectionModel()->select(m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    });
}

void DataGrid::setDataControl(WorkTableModel *model)
{
    m_model = model;
    setModel(model);
}

int DataGrid::currentColumn() const { return currentIndex().isValid() ? currentIndex().column() : -1; }
int DataGrid::currentRowIndex() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

void DataGrid::setCurrentColumn(int column)
{
    setCurrentCell(currentRowIndex() < 0 ? 0 : currentRowIndex(), column);
}

void DataGrid::setCurrentCell(int row, int column)
{
    if (!m_model)
        return;
    const QModelIndex i = m_model->index(row, column);
    if (i.isValid())
        setCurrentIndex(i);
}

QVariant DataGrid::columnValue(int column) const
{
    return m_model ? m_model->value(currentRowIndex(), column) : QVariant();
}

void DataGrid::setColumnValue(int column, const QVariant &v)
{
    if (m_model && currentRowIndex() >= 0)
        m_model->setValue(currentRowIndex(), column, v);
}

QWidget *DataGrid::openEditor() const
{
    if (state() != QAbstractItemView::EditingState)
        return nullptr;
    for (QWidget *w : viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!w->isHidden() && (qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w)))
            return w;
    return nullptr;
}

void DataGrid::flushEditor()
{
    if (QWidget *editor = openEditor()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

DbResult DataGrid::commitCurrentRow()
{
    flushEditor();
    if (!m_model)
        return {};
    return m_model->commitRow(currentRowIndex());
}

void DataGrid::setColumnLayout(int column, double widthTwips, bool visible)
{
    setColumnHidden(column, !visible);
    if (widthTwips > 0)
        setColumnWidth(column, int(widthTwips / 15.0 + 0.5));
}

void DataGrid::fitColumn(int column, const QString &sample)
{
    const QString caption = model() ? model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
    const int cell = sample.isEmpty() ? 0 : fontMetrics().horizontalAdvance(sample) + 14;
    const int head = horizontalHeader()->fontMetrics().horizontalAdvance(caption) + 18;
    setColumnWidth(column, std::max({columnWidth(column), cell, head}));
}

void DataGrid::stretchColumn(int column)
{
    horizontalHeader()->setMinimumSectionSize(20);
    horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
}

void DataGrid::setDropDown(int column, GridDropDown *dropDown) { m_dropDowns.insert(column, dropDown); }

void DataGrid::setImeOpen(bool open)
{
    m_imeOpen = open;
    setAttribute(Qt::WA_InputMethodEnabled, open);
    if (QWidget *editor = openEditor()) {
        editor->setAttribute(Qt::WA_InputMethodEnabled, open);
        if (auto *combo = qobject_cast<QComboBox *>(editor))
            combo->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, open);
    }
    if (hasFocus() || isAncestorOf(QApplication::focusWidget()))
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

bool DataGrid::handleKeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (keyDownHandler)
        keyDownHandler(key, shift);
    return key == 0;
}

void DataGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    // Leaving a row writes its pending edit, as a bound grid does.
    if (m_model && previous.isValid() && current.row() != previous.row()) {
        if (DbResult r = m_model->commitRow(previous.row()); !r)
            emit commitFailed(r.error);
    }
    emit currentCellChanged(previous.isValid() ? previous.row() : -1, previous.isValid() ? previous.column() : -1);
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    if (handleKeyDown(event->key(), event->modifiers()) || handleGridKey(event)) {
        event->accept();
        return;
    }
    // Enter goes on to the next cell to type into, as Tab does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !m_tabStops.isEmpty() &&
        state() != EditingState) {
        moveToStop(1);
        event->accept();
        return;
    }
    // Delete empties the selected cell, as typing nothing into it would; a tick box stays.
    const QModelIndex i = currentIndex();
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && state() != EditingState &&
        i.isValid() && (i.flags() & Qt::ItemIsEditable)) {
        model()->setData(i, QString(), Qt::EditRole);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    emit focusReceived();
}
