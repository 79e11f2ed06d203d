// The archive of issued estimates: versions kept whatever happens to the estimate, the file
// refusing changes, the search, the check of each copy against its hash, the export for an audit.

#include "TestSupport.h"
#include "archive/ArchivedPdfView.h"
#include "archive/IssuedListDialog.h"
#include "estimate/EstimateTab.h"
#include "print/PrintPreview.h"
#include "store/IssueArchive.h"
#include "store/ArchiveChain.h"
#include "ui/FileChooser.h"
#include "ui_IssuedListDialog.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QPrinter>
#include <QTableWidget>
#include <sys/resource.h>
#include <csignal>

class ArchiveTest : public QObject {
    Q_OBJECT
private slots:
    void versionsOutliveTheEstimate();
    void issuedAgainComparedWithTheLatest();
    void theFileRefusesChanges();
    void combinedSearch_data();
    void combinedSearch();
    void exportForAnAudit();

private:
    // Issues the window's estimate as a PDF, as PDF保存 in the preview does; the bytes written.
    static QByteArray issuePdf(Window &w, const QString &path);
    static void seedIssues(Db &main);
};

QByteArray ArchiveTest::issuePdf(Window &w, const QString &path)
{
    auto previous = setPreviewRunner([&](PrintPreview &preview) { preview.savePdf(path); });
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    {
        Answers notices;
        w.find<QAbstractButton>("cmd印刷")->click();
    }
    setPreviewRunner(previous);
    setFolderOpener(opener);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ArchiveTest::versionsOutliveTheEstimate()
{
    TempData data;
    QTemporaryDir dir;
    Window w(data.folder());

    // Nothing to issue yet: no preview, nothing in the archive for good.
    bool previewed = false;
    {
        auto previous = setPreviewRunner([&](PrintPreview &) { previewed = true; });
        Answers answers;
        w.find<QAbstractButton>("cmd印刷")->click();
        setPreviewRunner(previous);
        QVERIFY(answers.sawKey("印刷", "空の見積書"));
    }
    QVERIFY(!previewed);
    QCOMPARE(permInt(data, "SELECT count(*) FROM 発行版"), 0);
    auto *grid = w.find<DataGrid>("Grid明細");
    w.find<QLineEdit>("txtNo")->setText("1");
    w.find<QComboBox>("cmb顧客名")->setEditText("甲社");
    typeCell(grid, 0, Col品名, "部品");
    typeCell(grid, 0, Col金額, "1000");
    const QByteArray first = issuePdf(w, dir.filePath("1.pdf"));
    typeCell(grid, 0, Col金額, "1200"); // changed: a second version
    const QByteArray second = issuePdf(w, dir.filePath("2.pdf"));
    const QByteArray again = issuePdf(w, dir.filePath("3.pdf")); // unchanged: sent again as it was
    QVERIFY(!first.isEmpty() && first != second);
    QCOMPARE(again, second);
    // Printed on a printer: the same sheet, recorded as printed; still no new version.
    const PrinterChooser chooser = setPrinterChooser([&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("printed.pdf"));
        return PrinterChoice::Chosen;
    });
    auto previous = setPreviewRunner([](PrintPreview &preview) { preview.printToPrinter(); });
    w.find<QAbstractButton>("cmd印刷")->click();
    // The print dialog's own "to a file": saved as PDF保存 saves, the file the archived bytes.
    setPrinterChooser([](QPrinter &, QWidget *) { return PrinterChoice::ToFile; });
    const PdfPathChooser pdfPath = setPdfPathChooser([&](QWidget *, const QString &) { return dir.filePath("tofile.pdf"); });
    {
        const FolderOpener opener = setFolderOpener([](const QString &) {});
        Answers notice;
        w.find<QAbstractButton>("cmd印刷")->click();
        QVERIFY(notice.sawKey("その他", "保存完了"));
        setFolderOpener(opener);
    }
    setPdfPathChooser(pdfPath);
    setPreviewRunner(previous);
    setPrinterChooser(chooser);
    QFile toFile(dir.filePath("tofile.pdf"));
    QVERIFY(toFile.open(QIODevice::ReadOnly));
    QCOMPARE(toFile.readAll(), second);

    const DbRows versions = permRows(data, "SELECT 版, SHA256, 合計 FROM 発行版 WHERE 伝票番号 = 1 ORDER BY 版");
    QCOMPARE(versions.size(), 2);
    QCOMPARE(versions[0][1].toString(), sha256Hex(first));
    QCOMPARE(versions[1][1].toString(), sha256Hex(second));
    QCOMPARE(Money::fromRaw(versions[1][2].toLongLong()), Money::fromYen(1260)); // 外税 5 %
    const DbRows ways = permRows(data, "SELECT 方法 FROM 発行記録 ORDER BY id");
    QCOMPARE(ways.size(), 5);
    QCOMPARE(ways[3][0].toString(), QString("印刷"));
    QCOMPARE(ways[4][0].toString(), ways[0][0].toString());

    // Deleting says the copies stay; saving over, a new estimate under the number, the wipe:
    // the versions stay and still match their hashes.
    Answers answers;
    w.find<QAbstractButton>("cmd削除")->click();
    QVERIFY(answers.shown.last().text.contains("発行済みの控え 2 版は削除されずに残ります"));
    w.find<QLineEdit>("txtNo")->setText("1");
    typeCell(grid, 0, Col品名, "別の見積");
    w.find<QAbstractButton>("cmd登録")->click();
    w.find<QAbstractButton>("cmd一括削除7")->click();
    QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書ヘッダ"), 0);
    const auto wipeQuestion = std::find_if(answers.shown.begin(), answers.shown.end(),
                                           [](const MsgEntry &e) { return e.text.contains("初期化します"); });
    QVERIFY(wipeQuestion != answers.shown.end());
    QCOMPARE(wipeQuestion->yesIsDefault(), !onTestServer()); // every desktop's data: No is the default
    // After the wipe numbers start again at 1: the next version of No.1 counts on.
    w.find<QAbstractButton>("cmdクリア")->click();
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("1"));
    typeCell(grid, 0, Col品名, "新しい見積");
    issuePdf(w, dir.filePath("4.pdf"));
    QCOMPARE(permInt(data, "SELECT max(版) FROM 発行版 WHERE 伝票番号 = 1"), 3);

    IssuedListDialog list(w->context().main);
    QCOMPARE(list.rows().size(), 6); // every issue, the file saved through the print dialog too
    QCOMPARE(list.verifyListed(), 0);
    QCOMPARE(list.ui->Grid発行履歴->item(4, 6)->text(), QString("一致"));
    // Enter shows the archived copy itself.
    int pages = 0;
    auto viewer = setArchivedViewRunner([&](ArchivedPdfView &v) { pages = v.pageCount(); });
    list.ui->Grid発行履歴->setCurrentCell(4, 0);
    QTest::keyClick(list.ui->Grid発行履歴, Qt::Key_Return);
    setArchivedViewRunner(viewer);
    QCOMPARE(pages, 1);
    // Issued before the wipe, still found by the customer's name.
    list.ui->txt取引先->setText("甲社");
    list.refresh();
    QCOMPARE(list.rows().size(), 5);
}

// Issued once more unchanged, an estimate is sent as its latest version, byte for byte, even
// when a sheet drawn now would differ (the clock has moved on); changed back to what it was
// when first issued, it is a new version.
void ArchiveTest::issuedAgainComparedWithTheLatest()
{
    TempData data;
    QTemporaryDir dir;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    w.find<QComboBox>("cmb顧客名")->setEditText("甲社");
    typeCell(grid, 0, Col品名, "部品");
    typeCell(grid, 0, Col金額, "1000");
    issuePdf(w, dir.filePath("1.pdf"));
    typeCell(grid, 0, Col金額, "1200");
    QString code, head;
    auto previous = setPreviewRunner([&](PrintPreview &preview) {
        code = preview.sheet().record().archiveCode;
        preview.savePdf(dir.filePath("2.pdf"));
    });
    {
        const FolderOpener opener = setFolderOpener([](const QString &) {});
        Answers notices;
        w.find<QAbstractButton>("cmd印刷")->click();
        setFolderOpener(opener);
    }
    setPreviewRunner(previous);
    QFile second(dir.filePath("2.pdf"));
    QVERIFY(second.open(QIODevice::ReadOnly));
    const QByteArray latest = second.readAll();
    // The sheet carries the chain's head as it stood: the first issue's record.
    QCOMPARE(code, archivechain::shortCode(permRows(data, "SELECT 連鎖 FROM 発行記録 WHERE id = (SELECT min(id) FROM 発行記録)")[0][0].toString()));
    QCOMPARE(code.size(), 12);
    // The next second: a sheet drawn anew now is not the one issued.
    const qint64 issuedAt = QDateTime::currentSecsSinceEpoch();
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() > issuedAt, 2000);
    const QByteArray again = issuePdf(w, dir.filePath("3.pdf"));
    QCOMPARE(again, latest);
    QCOMPARE(permInt(data, "SELECT count(*) FROM 発行版"), 2);
    typeCell(grid, 0, Col金額, "1000");
    issuePdf(w, dir.filePath("4.pdf"));
    QCOMPARE(permInt(data, "SELECT count(*) FROM 発行版"), 3);
}

void ArchiveTest::theFileRefusesChanges()
{
    FILE_ONLY(); // the server's own refusals: test_server
    TempData data;
    Window w(data.folder());
    IssueArchive archive(w->context().main);
    QVERIFY(archive.record({9, "甲社", "2026/12/01", Money::fromYen(500), "c"}, "%PDF-1.4 copy", issuearchive::kPdf,
                           QDateTime::currentDateTime()));
    Db other("another-program");
    QVERIFY(other.open(data.perm()));
    for (const char *sql : {"UPDATE 発行版 SET 合計 = 1", "DELETE FROM 発行版", "DELETE FROM 発行記録",
                            "UPDATE 発行記録 SET 方法 = '印刷'", "DELETE FROM 発行取引先", "UPDATE 発行取引先 SET 名 = 'x'",
                            "INSERT OR REPLACE INTO 発行記録 (id, 版ID, 発行日時, 方法, 連鎖) VALUES (1, 1, '', '', '')",
                            "INSERT INTO 発行記録 (版ID, 発行日時, 方法, 連鎖) VALUES (1, '2000-01-01 00:00:00', 'PDF', '')",
                            "INSERT INTO 発行版 (伝票番号, 版, 発行日時, 内容, SHA256) VALUES (9, 5, '', '', '')"})
        QVERIFY2(!other.exec(sql), sql);
    // A byte changed behind the program's back, in the copy beside the file, is found.
    const QString copy = data.folder() + "archive/" + sha256Hex("%PDF-1.4 copy") + ".pdf";
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QFile bytes(copy);
    QVERIFY(bytes.open(QIODevice::WriteOnly));
    bytes.write("%PDF-1.4 cOpy");
    bytes.close();
    IssuedListDialog list(w->context().main);
    Answers answers;
    QCOMPARE(list.verifyListed(), 1);
    QCOMPARE(list.ui->Grid発行履歴->item(0, 6)->text(), QString("不一致"));
    QVERIFY(answers.shown[0].text.contains("不一致 1 件"));
    QVERIFY(answers.shown[0].text.contains("No.9 第1版 の控え（PDF）が発行時と違います"));
}

void ArchiveTest::seedIssues(Db &main)
{
    IssueArchive archive(main);
    struct S {
        int number;
        const char *customer;
        qint64 total;
        const char *at;
    };
    const S issues[] = {{1, "株式会社山田商店", 10000, "2026-01-15 10:00:00"}, {2, "田中工務店", 55000, "2026-02-01 09:00:00"},
                        {3, "山田工業", 120000, "2026-02-20 15:30:00"},       {4, "100%_商会", 55000, "2026-03-31 23:59:59"},
                        {1, "株式会社山田商店", 12000, "2026-04-01 00:00:00"}};
    for (const S &s : issues)
        if (!archive.record({s.number, s.customer, "2026/01/01", Money::fromYen(s.total), s.at}, QByteArray(s.at),
                            issuearchive::kPdf, QDateTime::fromString(s.at, "yyyy-MM-dd HH:mm:ss")))
            qFatal("cannot seed the archive");
}

void ArchiveTest::combinedSearch_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QStringList>("expected"); // number-version, newest issue first
    QTest::newRow("everything") << "" << "" << "" << "" << "" << QStringList{"1-2", "4-1", "3-1", "2-1", "1-1"};
    QTest::newRow("a part of a name") << "" << "" << "" << "" << "山田" << QStringList{"1-2", "3-1", "1-1"};
    QTest::newRow("an issue-date range, both days counted") << "2026-02-01" << "2026-03-31" << "" << "" << ""
                                                             << QStringList{"4-1", "3-1", "2-1"};
    QTest::newRow("a total range") << "" << "" << "55,000" << "120000" << "" << QStringList{"4-1", "3-1", "2-1"};
    QTest::newRow("all three together") << "2026-02-01" << "" << "50000" << "" << "山田" << QStringList{"3-1"};
    QTest::newRow("% and _ are characters") << "" << "" << "" << "" << "%_" << QStringList{"4-1"};
    QTest::newRow("nothing") << "" << "" << "" << "9" << "山田" << QStringList{};
}

void ArchiveTest::combinedSearch()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, min);
    QFETCH(QString, max);
    QFETCH(QString, customer);
    QFETCH(QStringList, expected);
    TempData data;
    Window w(data.folder());
    seedIssues(w->context().main);
    IssuedListDialog list(w->context().main);
    list.ui->dt発行開始->setDate(QDate::fromString(from, Qt::ISODate));
    list.ui->dt発行終了->setDate(QDate::fromString(to, Qt::ISODate));
    list.ui->txt金額下限->setText(min);
    list.ui->txt金額上限->setText(max);
    list.ui->txt取引先->setText(customer);
    list.refresh();
    QStringList found;
    for (const IssuedRow &r : list.rows())
        found << QString("%1-%2").arg(r.number).arg(r.version);
    QCOMPARE(found, expected);
}

void ArchiveTest::exportForAnAudit()
{
    TempData data;
    QTemporaryDir out;
    Window w(data.folder());
    seedIssues(w->context().main);
    IssuedListDialog list(w->context().main);
    list.ui->txt取引先->setText("山田");
    list.refresh();
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    Answers answers;
    QVERIFY(list.exportListed(out.path()));
    QVERIFY(list.exportListed(out.path())); // again: nothing is replaced
    setFolderOpener(opener);
    QStringList files = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files, (QStringList{"20260115_株式会社山田商店_10000_No.1-v1 (2).pdf", "20260115_株式会社山田商店_10000_No.1-v1.pdf",
                                 "20260220_山田工業_120000_No.3-v1 (2).pdf", "20260220_山田工業_120000_No.3-v1.pdf",
                                 "20260401_株式会社山田商店_12000_No.1-v2 (2).pdf", "20260401_株式会社山田商店_12000_No.1-v2.pdf",
                                 "索引 (2).csv", "索引.csv"}));
    QFile pdf(out.filePath("20260220_山田工業_120000_No.3-v1.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.readAll(), QByteArray("2026-02-20 15:30:00"));
    QFile index(out.filePath("索引.csv"));
    QVERIFY(index.open(QIODevice::ReadOnly));
    const QByteArray bytes = index.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5); // the chain's head closes it
    QVERIFY(lines[4].startsWith("連鎖の先頭,5,2026-04-01 00:00:00,"));
    QCOMPARE(lines[0], QString("伝票番号,版,発行日時,見積日付,取引先,合計,発行方法,SHA-256,種別"));
    QCOMPARE(lines[2], QString("3,1,2026-02-20 15:30:00,2026/01/01,山田工業,120000,PDF,") +
                           sha256Hex("2026-02-20 15:30:00") + ",見積書");

    // A disk that fills up: the export says how far it came, which file it could not write, and why.
    QTemporaryDir full;
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = 8;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    answers.shown.clear();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool exported = list.exportListed(full.path());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    QVERIFY(!exported);
    QCOMPARE(answers.shown.size(), 1);
    const QString said = answers.shown[0].text;
    QVERIFY2(said.contains("3 件中 0 件") && said.contains(".pdf」は書き出せませんでした") && said.contains("空き容量"), qPrintable(said));
}

QTEST_MAIN(ArchiveTest)
#include "test_archive.moc"
