// Undo and redo in the item grid: the lines as they were before each change (a cell, a paste,
// a line inserted or deleted), within the estimate on screen.

#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"

#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"
#include "ui/WorkTableModel.h"

#include <QTimer>

namespace {

constexpr int kUndoSteps = 200;

std::optional<Money> moneyOf(const QVariant &v)
{
    return v.metaType() == QMetaType::fromType<Money>() ? std::optional<Money>(v.value<Money>()) : std::nullopt;
}

} // namespace

// The work rows' values as lines for the work table.
static QVector<EstimateLine> linesOf(const QVector<QVector<QVariant>> &rows)
{
    QVector<EstimateLine> lines;
    for (const QVector<QVariant> &v : rows) {
        EstimateLine l;
        l.name = v.value(Col品名).toString();
        const QVariant q = v.value(Col数量);
        l.quantity = q.isNull() ? std::nullopt : std::optional<double>(q.toDouble());
        l.unit = v.value(Col単位);
        l.price = moneyOf(v.value(Col単価));
        l.amount = moneyOf(v.value(Col金額));
        l.exempt = v.value(Col非課税).toBool();
        l.reduced = v.value(Col軽減).toBool();
        // The row's kind is the last column; the later kinds keep the 納品書 before it.
        l.kind = rowKindFromCode(v.value(v.size() - 1).toString());
        if (v.size() > Col軽減 + 2)
            l.deliveryNumber = v.value(Col軽減 + 1).toInt();
        lines << l;
    }
    return lines;
}

QVector<EstimateLine> EstimateTab::gridLines() const { return linesOf(dat明細->rowValues()); }

void EstimateTab::rememberLines()
{
    if (m_restoring)
        return;
    m_undo.push_back(dat明細->rowValues()); // shared, not copied: nothing for the typing to wait on
    if (m_undo.size() > kUndoSteps)
        m_undo.pop_front();
    m_redo.clear();
}

void EstimateTab::forgetUndo()
{
    m_undo.clear();
    m_redo.clear();
}

void EstimateTab::stepLines(bool back)
{
    QVector<GridRows> &from = back ? m_undo : m_redo, &to = back ? m_redo : m_undo;
    ui->Grid明細->flushEditor();
    const GridRows now = dat明細->rowValues();
    while (!from.isEmpty() && from.last() == now)
        from.pop_back(); // a change that changed nothing is no step
    if (from.isEmpty())
        return;
    to.push_back(now);
    const QVector<EstimateLine> lines = linesOf(from.takeLast());
    const int row = ui->Grid明細->currentRowIndex(), column = ui->Grid明細->currentColumn();
    m_restoring = true;
    reportFailure(m_store.rebuildWork(lines));
    dat明細->refresh();
    m_restoring = false;
    ui->Grid明細->setCurrentCell(std::max(row, 0), std::max(column, int(Col品名)));
    Calc明細();
    if (m_keepTimer)
        m_keepTimer->start();
}

void EstimateTab::watchUndo()
{
    DataGrid *grid = ui->Grid明細;
    grid->undoHandler = [this] { stepLines(true); };
    grid->redoHandler = [this] { stepLines(false); };
    connect(grid, &DataGrid::pasteStarted, this, [this] {
        rememberLines();
        m_inPaste = true;
    });
    connect(grid, &DataGrid::pasteFinished, this, [this] { m_inPaste = false; });
}
