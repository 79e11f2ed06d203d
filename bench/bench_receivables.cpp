// 売掛 on 10,000 customers, 100,000 invoices and 150,000 payments: the view opened, a customer
// typed, a status chosen; beside a plain SELECT of the invoices it shows.

#include "BenchSupport.h"
#include "documents/ReceivablesDialog.h"
#include "ui/MessageCatalogue.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

namespace {

const char *kCount = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ";

void seed(Db &perm)
{
    // Ten invoices a customer, due over a year; half of them paid in full, a quarter in part.
    perm.exec(QString("INSERT INTO 請求書ヘッダ (伝票番号, 日付, 顧客名, 支払期限, 合計) %1 SELECT i, "
                      "printf('2026/%02d/01', 1 + i % 12), printf('顧客%05d', i % 10000), printf('2026/%02d/28', 1 + i % 12), "
                      "110000000 FROM n").arg(kCount),
              {100000});
    perm.exec(QString("INSERT INTO 入金 (入金番号, 行番号, 日付, 顧客名, 請求書番号, 金額) %1 SELECT i, 0, '2026/12/01', "
                      "printf('顧客%05d', (i * 2) % 10000), CASE WHEN i <= 50000 THEN i * 2 ELSE (i - 50000) * 2 + 1 END, "
                      "CASE WHEN i <= 100000 THEN 55000000 ELSE 10000000 END FROM n").arg(kCount),
              {150000});
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("preparing 100,000 invoices and 150,000 payments...\n");
    std::fflush(stdout);
    BenchData bench(seed);
    setMsgPresenter([](const MsgEntry &) { return true; });
    Db perm("owed");
    if (!perm.open(bench.folder + schema::kPermFileName))
        return 1;
    const QDate today(2026, 12, 9);
    int shown = 0;
    const double floor = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT 伝票番号, 顧客名, 日付, 支払期限, 合計 FROM 請求書ヘッダ ORDER BY 日付, 伝票番号", {}, rows);
        shown = rows.size();
    });
    const double open = timeMedian(10, [&] {
        ReceivablesDialog d(perm, nullptr, today);
        if (d.shown().isEmpty())
            std::abort();
    });
    report("open 売掛 (100,000 invoices)", open, "SELECT of the invoices", floor, 16);
    PaymentStore store(perm);
    ReceivablesPage page;
    const double read = timeMedian(20, [&] { store.receivablesPage({}, today, 500, page); });
    report("its figures read (the store alone)", read, "SELECT of the invoices", floor, 16);
    ReceivablesDialog d(perm, nullptr, today);
    int k = 0;
    const double typed = timeMedian(20, [&] { d.customer->setText(++k % 2 ? QStringLiteral("顧客0012") : QStringLiteral("顧客0013")); });
    report("a customer typed", typed, "SELECT of the invoices", floor, 16);
    d.customer->clear();
    const double status = timeMedian(10, [&] { d.status->setCurrentIndex(++k % 2 ? 3 : 1); });
    report("a status chosen", status, "SELECT of the invoices", floor, 16);
    std::printf("(%d invoices listed by the plain SELECT)\n", shown);
    return 0;
}
