#pragma once
// The estimate window on fresh data, shown and active, with the steps a user takes to save.

#include "TestSupport.h"
#include "estimate/EstimateTab.h"

#include <QAbstractButton>
#include <QComboBox>

struct Fixture {
    TempData data;
    std::unique_ptr<Window> w;
    DataGrid *grid = nullptr;
    QLineEdit *no = nullptr;
    Fixture()
    {
        w = std::make_unique<Window>(data.folder());
        (*w)->show();
        QApplication::setActiveWindow(w->w.get());
        grid = w->find<DataGrid>("Grid明細");
        no = w->find<QLineEdit>("txtNo");
    }
    Window &win() { return *w; }
    void line(int row, const QString &name, const QString &qty, const QString &price)
    {
        typeCell(grid, row, Col品名, name);
        if (!qty.isEmpty())
            typeCell(grid, row, Col数量, qty);
        if (!price.isEmpty())
            typeCell(grid, row, Col単価, price);
    }
    void customer(const QString &name) { w->find<QComboBox>("cmb顧客名")->setEditText(name); }
    // Answers must be in place: the save asks first.
    void save() { w->find<QAbstractButton>("cmd登録")->click(); }
    // Types a number into the box and leaves it, as a user would.
    void leaveNumber(const QString &text)
    {
        no->setFocus();
        no->setText(text);
        w->find<QLineEdit>("txt件名")->setFocus();
    }
    QString text(const char *name) { return w->find<QLineEdit>(name)->text(); }
};

// An item of quantity at a whole-yen price, its amount their product.
inline EstimateLine itemLine(const QString &name, double quantity, qint64 price, bool reduced = false, bool exempt = false)
{
    EstimateLine l{name, quantity, QStringLiteral("個"), Money::fromYen(price), Money::fromYen(qint64(quantity * price))};
    l.reduced = reduced;
    l.exempt = exempt;
    return l;
}

// A row of another kind than an item: a heading, a subtotal, a discount of amount yen, a note.
inline EstimateLine kindRow(RowKind kind, const QString &name, std::optional<qint64> amount = std::nullopt)
{
    EstimateLine l{name};
    l.kind = kind;
    if (amount)
        l.amount = Money::fromYen(*amount);
    return l;
}

// The document with the figures its page would store: the totals of its lines under its rules.
inline Estimate withTotals(Estimate e)
{
    Money total;
    TaxableSums taxable;
    sumLines(e.lines, total, taxable);
    const Totals t = computeTotals(total, taxable, {e.taxMode, e.taxRate, e.rounding});
    e.net = t.net;
    e.tax = t.tax;
    e.grand = t.grand;
    return e;
}

// A stored estimate's lines, one text each.
inline QStringList storedLines(const TempData &data, int number)
{
    QStringList out;
    for (const DbRow &r : permRows(data,
                                   "SELECT 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額, 非課税 FROM 見積書 "
                                   "WHERE 伝票番号 = ? ORDER BY 行番号",
                                   {number})) {
        QStringList f;
        for (const QVariant &v : r)
            f << (v.isNull() ? QString("∅") : v.toString());
        out << f.join('|');
    }
    return out;
}
