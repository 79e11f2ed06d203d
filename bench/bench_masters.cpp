// A full reset of the estimate tab with 10,000 customers and 10,000 products, and reading
// the customer tab with 10,000 customers.

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "estimate/EstimateTab.h"
#include "masters/CustomerTab.h"
#include "masters/ProductTab.h"
#include "masters/SettingsTab.h"
#include "ui/MessageCatalogue.h"
#include "values/Money.h"
#include "store/Schema.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchData bench([](Db &perm) {
        for (int i = 0; i < 10000; ++i) {
            perm.exec("INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES (?, ?)",
                      {QString("顧客%1株式会社").arg(i, 5, 10, QChar('0')), QString("東京都千代田区%1-1").arg(i)});
            perm.exec("INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES (?, '個', ?, 0)",
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
    report("Clear見積書(true), 10,000 + 10,000 (20 runs)", clear, "SELECT of both masters", base, 3);
    // The lists' first use after a reset when a master changed meanwhile: read in full then.
    int k = 0;
    const double firstUse = timeMedian(20, [&] {
        perm.exec("UPDATE 商品マスタ SET 単価 = 単価 + 1 WHERE rowid = ?", {1 + k++ % 100});
        perm.exec("UPDATE 顧客マスタ SET 顧客情報 = ? WHERE rowid = 1", {k});
        w.estimateTab()->Clear見積書(true);
        w.estimateTab()->ensureLists();
    });
    report("reset + lists' first use, both masters changed", firstUse, "SELECT of both masters", base, 150);

    const double readTab = timeMedian(20, [&] { w.customerTab()->Read顧客マスタ(); });
    const double baseCustomers = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT 顧客名, 顧客情報 FROM 顧客マスタ ORDER BY 顧客名", {}, rows);
    });
    report("Read顧客マスタ, 10,000 customers (20 runs)", readTab, "SELECT of the customers", baseCustomers, 150);

    const double readProducts = timeMedian(20, [&] { w.productTab()->Read商品マスタ(); });
    const double baseProducts = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT 品名, 単位, 単価, 非課税 FROM 商品マスタ ORDER BY 品名", {}, rows);
    });
    report("Read商品マスタ, 10,000 products (20 runs)", readProducts, "SELECT of the products", baseProducts, 150);

    // The wipe, copy included, on 100,000 estimates of 10 lines; the data is laid again before each.
    const char *numbers = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ";
    auto refill = [&] {
        perm.transaction([&]() -> DbResult {
            perm.exec(QString("INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 件名, 合計) %1 SELECT i, "
                              "'2026/01/01', printf('顧客%05d', i % 10000), '件名', 10500000 FROM n").arg(numbers),
                      {100000});
            return perm.exec(QString("INSERT INTO 見積書 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単価, 金額) "
                                     "%1 SELECT i / 10 + 1, '顧客', '2026/01/01', i % 10, 1, printf('商品%05d', i % 10000), "
                                     "1, 1000000, 1000000 FROM n WHERE i < 1000000").arg(numbers),
                             {1000000});
        });
    };
    setMsgPresenter([](const MsgEntry &) { return true; });
    const double wipe = timeMedian(5, [&] { w.settingsTab()->Data初期化(); }, refill);
    refill();
    const QString copyPath = bench.dir.filePath("plain-copy.mdb");
    const double copy = timeMedian(
        5, [&] { perm.exec("VACUUM INTO ?", {copyPath}); }, [&] { QFile::remove(copyPath); });
    report("Data初期化, 100,000 estimates, copy included", wipe, "VACUUM INTO of the same file", copy, 2000);
    return 0;
}
