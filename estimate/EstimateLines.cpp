// The estimate tab's item grid: what a committed cell does, the line amount and its range,
// Enter on the amount, inserting and deleting lines.

#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"

#include "ui/DataGrid.h"
#include "ui/InputMethod.h"
#include "ui/MessageCatalogue.h"
#include "store/Helpers.h"
#include "ui/WorkTableModel.h"

#include <QTimer>
#include <cmath>

namespace {
constexpr double kQuantityLimit = 999999.99;
constexpr double kPriceLimit = 99999999.99;
// A line amount beyond this cannot be rounded; it is refused where it is typed.
constexpr double kAmountLimit = 9999999999.0;

std::optional<double> numeric(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    if (v.metaType() == QMetaType::fromType<Money>())
        return v.value<Money>().toDouble();
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}
} // namespace

void EstimateTab::Seek商品()
{
    const ProductInfo p = m_store.seekProduct(seekName);
    seekUnit = p.unit;
    seekPrice = p.price;
    seekExempt = p.exempt;
    seekReduced = p.reduced;
}

bool EstimateTab::acceptEdit(int row, int column, const QVariant &value)
{
    const bool accepted = checkEdit(row, column, value);
    if (accepted && !m_inPaste)
        rememberLines(); // before the cell changes: one step to undo
    return accepted;
}

bool EstimateTab::checkEdit(int row, int column, const QVariant &value)
{
    const auto typed = numeric(value);
    if (!typed)
        return true;
    double amount = *typed;
    if (column == Col数量 || column == Col単価) {
        const bool quantity = column == Col数量;
        if (std::fabs(*typed) > (quantity ? kQuantityLimit : kPriceLimit))
            return refuseEdit(row, column, quantity ? QStringLiteral("数量") : QStringLiteral("単価"));
        const auto other = numeric(dat明細->value(row, quantity ? Col単価 : Col数量));
        if (!other)
            return true;
        amount = *typed * *other;
    } else if (column != Col金額) {
        return true;
    }
    // A larger amount would silently count as 0 in every total.
    if (std::fabs(amount) <= kAmountLimit + 0.00001)
        return true;
    return refuseEdit(row, column, QStringLiteral("金額"));
}

bool EstimateTab::refuseEdit(int row, int column, const QString &field)
{
    Msg(QStringLiteral("入力"), QStringLiteral("範囲外"), field);
    // After the editor has finished moving the cursor, put it back on the refused cell.
    DataGrid *grid = ui->Grid明細;
    QTimer::singleShot(0, grid, [grid, row, column] { grid->setCurrentCell(row, column); });
    return false;
}

void EstimateTab::cellCommitted(int row, int column)
{
    WorkTableModel &m = *dat明細;
    const RowKind kind = rowKind(row);
    switch (column) {
    case Col品名:
        if (m.value(row, Col品名).isNull())
            break;
        if (kind == RowKind::Item)
            nameCommitted(row);
        else if (const QString text = m.value(row, Col品名).toString().trimmed(); text.isEmpty())
            m.setValue(row, Col品名, QVariant()); // a heading's or a discount's text is no product to look up
        else
            m.setValue(row, Col品名, text);
        break;
    case Col数量:
    case Col単価:
        lineAmount(row);
        break;
    case Col単位:
        if (const QString unit = m.value(row, Col単位).toString(); !unit.isEmpty()) {
            DbResult r;
            LookupCode(m_ctx.main, QStringLiteral("単位"), unit, &r);
            reportFailure(r);
        }
        break;
    case Col非課税:
    case Col軽減: {
        // A line is either exempt or taxed at the reduced rate, never both.
        const int other = column == Col非課税 ? Col軽減 : Col非課税;
        if (m.value(row, column).toBool() && m.value(row, other).toBool())
            m.setValue(row, other, false);
        break;
    }
    default:
        break;
    }
    if (isDiscount(kind) && this->kind() != DocKind::Credit && m.value(row, Col金額).metaType() == QMetaType::fromType<Money>())
        if (const Money typed = m.value(row, Col金額).value<Money>(); typed.raw() > 0)
            m.setValue(row, Col金額, QVariant::fromValue(discountAmount(typed)));
    reportFailure(m.commitRow(row));
    growAfter(row);
    Calc明細();
}

// The master's unit, price and marks for the name (none for a name it does not know); on a line
// with a quantity the amount follows the new price, so no line keeps an amount that its
// quantity and price no longer give. An amount typed alone stays.
void EstimateTab::nameCommitted(int row)
{
    WorkTableModel &m = *dat明細;
    seekName = m.value(row, Col品名).toString().trimmed();
    Seek商品();
    m.setValue(row, Col品名, seekName.isEmpty() ? QVariant() : QVariant(seekName));
    m.setValue(row, Col単位, seekUnit.isEmpty() ? QVariant() : QVariant(seekUnit));
    m.setValue(row, Col単価, seekPrice.isZero() ? QVariant() : QVariant::fromValue(seekPrice));
    m.setValue(row, Col非課税, seekExempt);
    m.setValue(row, Col軽減, seekReduced && !seekExempt);
    if (numeric(m.value(row, Col数量)))
        lineAmount(row);
}

void EstimateTab::lineAmount(int row)
{
    const auto q = numeric(dat明細->value(row, Col数量));
    const auto p = numeric(dat明細->value(row, Col単価));
    if (!q || !p) {
        dat明細->setValue(row, Col金額, QVariant());
        return;
    }
    const Money amount = RoundAmount(*q * *p, m_rules.lineRounding());
    const bool discount = isDiscount(rowKind(row)) && kind() != DocKind::Credit; // a credit note's discount returns one
    dat明細->setValue(row, Col金額, QVariant::fromValue(discount ? discountAmount(amount) : amount));
}

void EstimateTab::recomputeAmounts()
{
    for (int row = 0; row < dat明細->dataRowCount(); ++row)
        if (numeric(dat明細->value(row, Col数量)) && numeric(dat明細->value(row, Col単価))) {
            lineAmount(row);
            reportFailure(dat明細->commitRow(row));
        }
}

void EstimateTab::Calc明細()
{
    ui->num合計->clearValue();
    ui->num税抜計->clearValue();
    ui->num消費税->clearValue();
    Money total;
    TaxableSums taxable;
    const QVector<EstimateLine> lines = gridLines(); // the rows the grid holds: no trip to the work file
    showSubtotals(lines);
    sumLines(lines, total, taxable);
    const Totals t = computeTotals(total, taxable, m_rules);
    m_totals = t;
    showRates();
    ui->num税抜計->setValue(t.net);
    ui->num消費税->setValue(t.tax);
    ui->num合計->setValue(t.grand);
    showTaxMode();
    ui->Grid明細->viewport()->update();
}

void EstimateTab::gridKeyDown(int &key, Qt::KeyboardModifiers)
{
    DataGrid *grid = ui->Grid明細;
    if ((key != Qt::Key_Return && key != Qt::Key_Enter) || grid->currentColumn() != Col金額)
        return;
    const int row = grid->currentRowIndex();
    if (row < 0 || row >= dat明細->dataRowCount())
        return;
    key = 0;
    grid->setCurrentCell(std::min(row + 1, dat明細->dataRowCount() - 1), Col品名);
}

void EstimateTab::switchIme()
{
    const int col = ui->Grid明細->currentColumn();
    SetImeOpen(ui->Grid明細, col == Col品名 || col == Col単位);
}

bool EstimateTab::lineIsFilled(int row) const
{
    for (int c = Col品名; c <= Col金額; ++c)
        if (!dat明細->value(row, c).isNull())
            return true;
    return false;
}

void EstimateTab::insertLine(int row)
{
    DataGrid *grid = ui->Grid明細;
    grid->flushEditor();
    if (row < 0 || !reportFailure(dat明細->commitAll()))
        return;
    // A full document cannot grow: its last row must be free to make room.
    const int last = dat明細->dataRowCount() - 1;
    if (last + 1 >= kMaxRows && (lineIsFilled(last) || rowKind(last) != RowKind::Item)) {
        Msg(QStringLiteral("行指定"), QStringLiteral("余白なし"));
        return;
    }
    rememberLines();
    reportFailure(m_store.insertWorkRow(row));
    dat明細->refresh();
    grid->setCurrentCell(row, Col品名);
    Calc明細();
}

void EstimateTab::deleteLine(int row)
{
    DataGrid *grid = ui->Grid明細;
    grid->flushEditor();
    if (row < 0 || !reportFailure(dat明細->commitAll()))
        return;
    rememberLines();
    reportFailure(m_store.deleteWorkRow(row));
    dat明細->refresh();
    grid->setCurrentCell(std::min(row, dat明細->dataRowCount() - 1), Col品名);
    Calc明細();
}
