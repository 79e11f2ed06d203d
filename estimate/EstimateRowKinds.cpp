// The kinds of the grid's rows (headings, subtotals, discounts, notes) and a grid that grows
// with the document: chosen from the context menu or Ctrl+1 to Ctrl+6.

#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"

#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"
#include "ui/WorkTableModel.h"

#include <QColor>
#include <QFont>
#include <QMenu>
#include <QShortcut>

namespace {

constexpr RowKind kChoices[] = {RowKind::Item,     RowKind::Heading,       RowKind::Subtotal,
                                RowKind::Discount, RowKind::SplitDiscount, RowKind::Note};

QString marginCaption(RowKind kind)
{
    switch (kind) {
    case RowKind::Heading: return QStringLiteral("見出");
    case RowKind::Subtotal: return QStringLiteral("小計");
    case RowKind::Discount: return QStringLiteral("値引");
    case RowKind::SplitDiscount: return QStringLiteral("按分");
    case RowKind::Note: return QStringLiteral("備考");
    default: return {};
    }
}

} // namespace

int EstimateTab::kindColumn() const { return int(dat明細->columns().size()) - 1; }

RowKind EstimateTab::rowKind(int row) const
{
    return row < 0 || row >= dat明細->dataRowCount() ? RowKind::Item
                                                     : rowKindFromCode(dat明細->value(row, kindColumn()).toString());
}

void EstimateTab::setupRowKinds()
{
    dat明細->rowCaption = [this](int row) { return marginCaption(rowKind(row)); };
    dat明細->cellLocked = [this](int row, int column) {
        const RowKind k = rowKind(row);
        if (k == RowKind::Item || column == Col品名)
            return false;
        if (k == RowKind::Discount)
            return false;
        // A split discount takes the rates of the items; the others hold no figures of their own.
        return k != RowKind::SplitDiscount || column == Col非課税 || column == Col軽減;
    };
    dat明細->rowLook = [this](int row, int role) -> QVariant {
        const RowKind k = rowKind(row);
        if (role == Qt::FontRole && (k == RowKind::Heading || k == RowKind::Subtotal)) {
            QFont f = ui->Grid明細->font();
            f.setBold(true);
            return f;
        }
        if (role == Qt::BackgroundRole && k != RowKind::Item)
            return QColor(k == RowKind::Heading ? 0xE8EEF7 : isDiscount(k) ? 0xFBEFEF : 0xF2F2F2);
        return {};
    };
    DataGrid *grid = ui->Grid明細;
    grid->rowsWanted = [this](int rows) { growTo(rows); };
    grid->extendMenu = [this](QMenu &menu) {
        QMenu *kinds = menu.addMenu(QStringLiteral("行の種類"));
        const int row = ui->Grid明細->currentRowIndex();
        for (int i = 0; i < int(std::size(kChoices)); ++i) {
            QAction *a = kinds->addAction(rowKindCaption(kChoices[i]) + QStringLiteral("\tCtrl+%1").arg(i + 1));
            a->setCheckable(true);
            a->setChecked(rowKind(row) == kChoices[i]);
            connect(a, &QAction::triggered, this, [this, row, i] { setRowKind(row, kChoices[i]); });
        }
        kinds->setEnabled(row >= 0);
    };
    for (int i = 0; i < int(std::size(kChoices)); ++i) {
        auto *key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), grid, grid, [this, i] {
            setRowKind(ui->Grid明細->currentRowIndex(), kChoices[i]);
        }, Qt::WidgetWithChildrenShortcut);
        key->setObjectName(QStringLiteral("key行種別%1").arg(i + 1));
    }
}

void EstimateTab::setRowKind(int row, RowKind kind)
{
    DataGrid *grid = ui->Grid明細;
    grid->flushEditor();
    if (row < 0 || row >= dat明細->dataRowCount() || rowKind(row) == kind || !reportFailure(dat明細->commitAll()))
        return;
    rememberLines();
    const int column = std::max(grid->currentColumn(), int(Col品名));
    reportFailure(m_store.setWorkRowKind(row, kind));
    reportFailure(dat明細->refresh());
    if (isDiscount(kind) && !dat明細->value(row, Col金額).isNull())
        cellCommitted(row, Col金額); // shown negative at once
    grid->setCurrentCell(row, column);
    growAfter(row);
    Calc明細();
}

void EstimateTab::growAfter(int row)
{
    WorkTableModel &m = *dat明細;
    const int last = m.dataRowCount() - 1;
    if (row != last || last + 1 >= kMaxRows || (!lineIsFilled(last) && rowKind(last) == RowKind::Item))
        return;
    const int added = m.appendRow();
    m.setValue(added, Col行番号, qlonglong(added + 1));
    m.setValue(added, Col非課税, false);
    m.setValue(added, Col軽減, false);
    reportFailure(m.commitRow(added));
}

void EstimateTab::growTo(int rows)
{
    if (rows <= dat明細->dataRowCount() || !reportFailure(dat明細->commitAll()))
        return;
    reportFailure(m_store.growWork(std::min(rows + 1, kMaxRows))); // and one to type into after them
    reportFailure(dat明細->refresh());
}

void EstimateTab::showSubtotals(const QVector<EstimateLine> &lines)
{
    const QVector<std::optional<Money>> subtotals = subtotalsOf(lines);
    for (int row = 0; row < subtotals.size(); ++row) {
        if (!subtotals[row] || lines[row].amount == subtotals[row])
            continue;
        dat明細->setValue(row, Col金額, QVariant::fromValue(*subtotals[row]));
        reportFailure(dat明細->commitRow(row));
    }
}
