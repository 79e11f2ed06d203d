// The archive of issued estimates at 100,000 versions: opening 発行履歴, searching by issue date,
// total and customer (alone and together); and what issuing adds to a PDF save.

#include "ArchiveSeed.h"
#include "BenchSupport.h"
#include "archive/IssuedListDialog.h"
#include "print/PrintPreview.h"
#include "store/IssueArchive.h"
#include "store/SafeFile.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui_IssuedListDialog.h"

#include <QApplication>
#include <QPrinter>

namespace {
void seed(Db &perm) { seedArchive(perm, 100000, false); }
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("preparing 100,000 archived versions...\n");
    std::fflush(stdout);
    BenchData bench(seed);
    setMsgPresenter([](const MsgEntry &) { return false; });
    Db perm("archive");
    if (!perm.open(bench.folder + schema::kPermFileName))
        return 1;
    const double floor = timeMedian(20, [&] {
        DbRows rows;
        perm.select("SELECT v.伝票番号, v.版, r.発行日時, v.顧客名, v.合計, r.方法 FROM 発行記録 r JOIN 発行版 v "
                    "ON v.id = r.版ID ORDER BY r.発行日時 DESC LIMIT 500",
                    {}, rows);
    });
    const double open = timeMedian(20, [&] {
        IssuedListDialog list(perm);
        if (list.rows().size() != IssuedListDialog::kShown)
            std::abort();
    });
    report("open 発行履歴 (500 newest shown)", open, "SELECT of the 500 rows", floor, 16);

    IssuedListDialog list(perm);
    int k = 0;
    auto search = [&](const char *what, const std::function<void()> &set) {
        report(what, timeMedian(20, [&] { set(); list.refresh(); ++k; }), "SELECT of the 500 rows", floor, 16);
        list.ui->dt発行開始->clearDate();
        list.ui->dt発行終了->clearDate();
        list.ui->txt金額下限->clear();
        list.ui->txt金額上限->clear();
        list.ui->txt取引先->clear();
    };
    search("an issue-date range (one month)", [&] {
        list.ui->dt発行開始->setDate(QDate(2023, 3, 1).addDays(k % 2));
        list.ui->dt発行終了->setDate(QDate(2023, 3, 31));
    });
    search("a total range", [&] {
        list.ui->txt金額下限->setText(k % 2 ? "2000" : "2001");
        list.ui->txt金額上限->setText("2100");
    });
    search("a customer part (山田)", [&] { list.ui->txt取引先->setText(k % 2 ? "山田" : "山田商店1"); });
    search("a customer that matches nothing", [&] { list.ui->txt取引先->setText(k % 2 ? "存在しない" : "無い社"); });
    search("all three together", [&] {
        list.ui->dt発行開始->setDate(QDate(2022, 1, 1));
        list.ui->dt発行終了->setDate(QDate(2024, 12, 31).addDays(-(k % 2)));
        list.ui->txt金額下限->setText("3000");
        list.ui->txt取引先->setText("田中");
    });
    search("all three, matching nothing", [&] {
        list.ui->dt発行開始->setDate(QDate(2021, 1, 1));
        list.ui->dt発行終了->setDate(QDate(2025, 12, 31).addDays(-(k % 2)));
        list.ui->txt金額下限->setText("3000000");
        list.ui->txt取引先->setText("田中");
    });

    // A PDF save of one sheet, as it was without an archive, and as issued now.
    PrintRecord record;
    record.number = "70001";
    record.customerName = "株式会社山田商店";
    for (int i = 0; i < 30; ++i)
        record.lines << PrintLine{QString("部材%1").arg(i), 1.0, "個", Money::fromYen(1000), Money::fromYen(1000)};
    QPrinter printer;
    setFolderOpener([](const QString &) {});
    const QString path = bench.dir.filePath("sheet.pdf");
    const double plain = timeMedian(10, [&] {
        record.subject = QString::number(++k);
        writeWholeFile(path, rpt見積書(record).pdf());
    });
    const double issued = timeMedian(10, [&] {
        record.subject = QString::number(++k); // a new version each time
        const rpt見積書 sheet(record);
        PrintPreview(sheet, &printer, "x.pdf", nullptr, &perm).savePdf(path);
    });
    report("PDF save, issued into the archive", issued, "PDF save without it", plain, plain + 20);
    return 0;
}
