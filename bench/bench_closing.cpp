// 締め請求 of a month with 200 納品書 of one customer, among 20,000 of 1,000 customers: the
// month's invoice made (the 納品書 read, grouped, the balance found); beside a plain SELECT of
// the same 200 納品書's lines.

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "documents/MonthlyInvoice.h"
#include "ui/MessageCatalogue.h"

#include <QApplication>

namespace {

const char *kCount = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ";

void seed(Db &perm)
{
    // 20 a customer, one each working day-ish over November; customer 0 has 200.
    perm.exec(QString("INSERT INTO 顧客マスタ (顧客名, 支払期限規則, 締日) %1 SELECT printf('顧客%04d', i - 1), '翌月末', '末日' FROM n")
                  .arg(kCount),
              {1000});
    perm.exec(QString("INSERT INTO 納品書ヘッダ (伝票番号, 日付, 取引日, 顧客名, 税区分, 税率, 端数処理, 税抜計, 消費税, 合計) %1 "
                      "SELECT i, printf('2026/11/%02d', 1 + i % 30), printf('2026/11/%02d', 1 + i % 30), "
                      "CASE WHEN i <= 200 THEN '顧客0000' ELSE printf('顧客%04d', 1 + i % 999) END, '外税', 10, '切捨て', "
                      "30000000, 3000000, 33000000 FROM n").arg(kCount),
              {20000});
    perm.exec(QString("INSERT INTO 納品書 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額, 軽減) %1 "
                      "SELECT (i - 1) / 2 + 1, '', '2026/11/01', (i - 1) % 2, 2, printf('品%d', i), 1, '個', 15000000, 15000000, "
                      "i % 2 FROM n").arg(kCount),
              {40000});
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("preparing 20,000 delivery notes...\n");
    std::fflush(stdout);
    BenchData bench(seed);
    FrmQuoteDesk w(bench.folder);
    if (!w.isLoaded())
        return 1;
    setMsgPresenter([](const MsgEntry &) { return true; });
    Db &db = w.context().main;
    const double floor = timeMedian(20, [&] {
        DbRows rows;
        db.select("SELECT l.品名, l.数量, l.単価, l.金額, l.軽減 FROM 納品書ヘッダ h JOIN 納品書 l ON l.伝票番号 = h.伝票番号 "
                  "WHERE h.顧客名 = '顧客0000' ORDER BY h.取引日, h.伝票番号, l.行番号", {}, rows);
        if (rows.size() != 400) {
            std::fprintf(stderr, "%d rows\n", int(rows.size()));
            std::abort();
        }
    });
    int lines = 0;
    const double closing = timeMedian(20, [&] {
        Conversion c;
        if (const DbResult r = monthlyInvoice(w.context(), QStringLiteral("顧客0000"), QDate(2026, 11, 1), c); !r) {
            std::fprintf(stderr, "%s\n", qPrintable(r.error));
            std::abort();
        }
        lines = int(c.document.lines.size());
    });
    report("締め請求 of 200 納品書 (400 lines)", closing, "SELECT of their lines", floor, 50);
    std::printf("(%d lines gathered; a document holds at most %d)\n", lines, kMaxRows);
    return 0;
}
