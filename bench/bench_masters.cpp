// A full reset of the estimate tab with 10,000 customers and 10,000 products, and reading
// the customer tab with 10,000 customers.

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "estimate/EstimateTab.h"
#include "masters/CustomerTab.h"
#include "store/Money.h"
#include "store/Schema.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchData bench([](Db &perm) {
        for (int i = 0; i < 10000; ++i) {
            perm.exec("INSERT INTO 顧客マスタ VALUES (?, ?)",
                      {QString("顧客%1株式会社").arg(i, 5, 10, QChar('0')), QString("東京都千代田区%1-1").arg(i)});
            perm.exec("INSERT INTO 商品マスタ VALUES (?, '個', ?, 0)",
                      {QString("商品%1").arg(i, 5, 10, QChar('0')), Money::fromYen(100 + i).raw()});
        }
    });
    const QString data = bench.folder;
    FrmQuoteDesk w(data);
    if (!w.isLoaded())
        return 1;
    w.show();
    Db perm("read");
    perm.open(data + schema::kPermFileName);
    auto readBoth = [&] {
        DbRows rows;
        perm.select("SELECT 顧客名 FROM 顧客マスタ ORDER BY 顧客名", {}, rows);
        perm.select("SELECT 品名, 単位, 単価, 非課税 FROM 商品マスタ ORDER BY 品名", {}, rows);
    };
    const double clear = timeMedian(20, [&] { w.estimateTab()->Clear見積書(true); });
    const double base = timeMedian(20, readBoth);
    report("Clear見積書(true), 10,000 + 10,000 (20 runs)", clear, "SELECT of both masters", base, 150);

    const double readTab = timeMedian(20, [&] { w.customerTab()->Read顧客マスタ(); });
    const double baseCustomers = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT 顧客名, 顧客情報 FROM 顧客マスタ ORDER BY 顧客名", {}, rows);
    });
    report("Read顧客マスタ, 10,000 customers (20 runs)", readTab, "SELECT of the customers", baseCustomers, 150);
    return 0;
}
