// The estimate list on 100,000 stored estimates (a million lines): opening it, a search of
// two characters typed, a date range; and the CSV of all of them.

#include "BenchSupport.h"
#include "store/SearchIndex.h"
#include "estimate/EstimateListDialog.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateListDialog.h"

#include <QApplication>
#include <QLineEdit>

namespace {

const char *kNumbers = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ";

void seed(Db &perm)
{
    // Eight family names in turn, dates over six years, ten lines each.
    perm.exec(QString("INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 件名, 税抜計, 消費税, 合計) %1 "
                      "SELECT i, printf('%04d/%02d/%02d', 2020 + i % 6, 1 + i % 12, 1 + i % 28), "
                      "printf('株式会社%s商店%d', substr('山田田中佐藤鈴木高橋伊藤渡辺小林', 1 + (i % 8) * 2, 2), i % 1000), "
                      "printf('工事%d', i), 10000000, 1000000, 11000000 FROM n").arg(kNumbers),
              {100000});
    perm.exec(QString("INSERT INTO 見積書 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単価, 金額) %1 "
                      "SELECT i / 10 + 1, '', '', i % 10, 1, printf('部材%05d', i % 10000), 1, 1000000, 1000000 "
                      "FROM n WHERE i < 1000000").arg(kNumbers),
              {1000000});
    perm.exec(searchindex::fillStatement());
    // As many delivery notes and invoices, each kind in its own tables.
    for (DocKind kind : {DocKind::Delivery, DocKind::Invoice}) {
        const KindNames &k = kindNames(kind);
        perm.exec(QString("INSERT INTO %2 (伝票番号, 日付, 顧客名, 件名, 税抜計, 消費税, 合計) %1 "
                          "SELECT i, printf('%04d/%02d/%02d', 2020 + i % 6, 1 + i % 12, 1 + i % 28), "
                          "printf('株式会社%s商店%d', substr('山田田中佐藤鈴木高橋伊藤渡辺小林', 1 + (i % 8) * 2, 2), i % 1000), "
                          "printf('工事%d', i), 10000000, 1000000, 11000000 FROM n").arg(kNumbers, k.header),
                  {100000});
        perm.exec(QString("INSERT INTO %2 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単価, 金額) %1 "
                          "SELECT i / 10 + 1, '', '', i % 10, %3, printf('部材%05d', i % 10000), 1, 1000000, 1000000 "
                          "FROM n WHERE i < 1000000").arg(kNumbers, k.lines).arg(k.code),
                  {1000000});
        perm.exec(searchindex::fillStatement(kind));
        // Every invoice billed one of the delivery notes.
        if (kind == DocKind::Invoice)
            perm.exec(QString("INSERT INTO 伝票連携 (種別, 伝票番号, 並び, 元種別, 元番号) %1 SELECT 3, i, 0, 2, i FROM n").arg(kNumbers),
                      {100000});
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("preparing 100,000 estimates...\n");
    std::fflush(stdout);
    BenchData bench(seed);
    setMsgPresenter([](const MsgEntry &) { return true; });
    Db perm("list");
    if (!perm.open(bench.folder + schema::kPermFileName))
        return 1;
    const double floor = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT 伝票番号, 日付, 顧客名, 件名, 合計 FROM 見積書ヘッダ ORDER BY 伝票番号 DESC LIMIT 500", {}, rows);
    });
    const double open = timeMedian(20, [&] {
        EstimateListDialog list(perm);
        if (list.ui->Grid一覧->rowCount() != EstimateListDialog::kShown)
            std::abort();
    });
    report("open the list (500 newest shown)", open, "SELECT of the 500 rows", floor, 16);

    EstimateListDialog list(perm);
    int k = 0;
    const double typed = timeMedian(20, [&] {
        list.ui->txt検索->setText(++k % 2 ? QStringLiteral("山") : QStringLiteral("山田"));
    });
    report("typing a search (山, 山田), each keystroke", typed, "SELECT of the 500 rows", floor, 16);
    const double trigram = timeMedian(20, [&] {
        list.ui->txt検索->setText(++k % 2 ? QStringLiteral("部材0999") : QStringLiteral("部材0998"));
    });
    report("a rarer search of 6 characters (indexed)", trigram, "SELECT of the 500 rows", floor, 16);
    list.ui->txt検索->clear();
    const double range = timeMedian(20, [&] {
        list.ui->dt開始->setDate(QDate(2023, 3, 1).addDays(++k % 2));
        list.ui->dt終了->setDate(QDate(2023, 3, 31));
    });
    report("a date-range search (one month)", range, "SELECT of the 500 rows", floor, 16);
    list.ui->dt開始->clearDate();
    list.ui->dt終了->clearDate();
    const double rare = timeMedian(20, [&] { list.ui->txt検索->setText(++k % 2 ? QStringLiteral("存在") : QStringLiteral("無")); });
    report("one or two characters that match nothing", rare, "SELECT of the 500 rows", floor, 16);
    const double few = timeMedian(20, [&] { list.ui->txt検索->setText(++k % 2 ? QStringLiteral("99") : QStringLiteral("店1")); });
    report("one or two characters, few matches", few, "SELECT of the 500 rows", floor, 16);

    list.ui->txt検索->clear();
    list.setKind(DocKind::Invoice);
    const double kindSearch = timeMedian(20, [&] {
        list.ui->txt検索->setText(++k % 2 ? QStringLiteral("山田") : QStringLiteral("部材0999"));
    });
    report("invoices only, searched (links shown)", kindSearch, "SELECT of the 500 rows", floor, 16);
    list.ui->txt検索->clear();
    const double kindOpen = timeMedian(20, [&] { list.setKind(++k % 2 ? DocKind::Delivery : DocKind::Invoice); });
    report("the list turned to another kind", kindOpen, "SELECT of the 500 rows", floor, 16);
    list.setKind(DocKind::Estimate);

    const QString csv = bench.dir.filePath("all.csv");
    const double exported = timeMedian(5, [&] { list.exportCsv(csv); });
    report("CSV of all 100,000 estimates", exported, "SELECT of the 500 rows", floor, 2000);
    return 0;
}
