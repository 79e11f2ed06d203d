// The line-item grid: committing a quantity cell until the three boxes show the new totals,
// on 30 filled rows; and reloading the item drop-down from 10,000 products.

#include "BenchSupport.h"
#include "ui/DataGrid.h"
#include "app/FrmQuoteDesk.h"
#include "ui/Boxes.h"
#include "estimate/EstimateTab.h"
#include "values/Money.h"
#include "store/Schema.h"
#include "ui/WorkTableModel.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchData bench([](Db &perm) {
        for (int i = 0; i < 10000; ++i)
            perm.exec("INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES (?, '個', ?, ?)",
                      {QString("商品%1").arg(i, 5, 10, QChar('0')), Money::fromYen(100 + i).raw(), i % 7 == 0});
    });
    const QString data = bench.folder;
    FrmQuoteDesk w(data);
    if (!w.isLoaded())
        return 1;
    EstimateTab *tab = w.estimateTab();
    auto *grid = w.findChild<DataGrid *>("Grid明細");
    WorkTableModel *m = grid->dataControl();
    for (int r = 0; r < 30; ++r) {
        m->setData(m->index(r, 1), QString("商品%1").arg(r * 3, 5, 10, QChar('0')), Qt::EditRole);
        m->setData(m->index(r, 2), QString::number(r + 1), Qt::EditRole);
    }
    auto *total = w.findChild<NumberBox *>("num合計");

    int k = 0;
    const double edit = timeMedian(200, [&] {
        const int row = k % 30;
        m->setData(m->index(row, 2), QString::number(1 + (++k % 50)), Qt::EditRole);
        if (total->text().isEmpty())
            std::abort();
    });
    Db work("baseline");
    work.open(data + schema::kWorkFileName);
    int j = 0;
    const double update = timeMedian(200, [&] {
        work.exec("UPDATE w明細 SET 数量 = ? WHERE 行番号 = ?", {++j % 50, 1 + j % 30});
    });
    report("quantity edit to totals shown (200 edits)", edit, "one row UPDATE (same file)", update, 0.25);

    Db perm("read");
    perm.open(data + schema::kPermFileName);
    const double dd = timeMedian(20, [&] { tab->SetDD品名(); });
    const double read = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT 品名, 単位, 単価, 非課税 FROM 商品マスタ ORDER BY 品名", {}, rows);
    });
    report("SetDD品名 with 10,000 products (20 runs)", dd, "SELECT of the 10,000 rows", read, 100);

    // Opening the item cell's drop-down editor on the 10,000 products, and closing it again.
    const double open = timeMedian(50, [&] {
        grid->setCurrentCell(5, 1);
        grid->edit(grid->currentIndex());
        grid->flushEditor();
        app.processEvents();
    });
    report("item editor open + close, 10,000 products", open, "one row UPDATE (same file)", update, 50);
    return 0;
}
