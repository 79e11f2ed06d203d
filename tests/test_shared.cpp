// This desktop and another writing the same shared rows: the settings field by field, the rules
// another desktop registered taken by the next new estimate, never by the one on screen.

#include "SaveFixture.h"
#include "TestSupport.h"
#include "print/PrintPreview.h"
#include "ui/Boxes.h"
#include "ui/FileChooser.h"

#include <QTemporaryDir>

#include <QAbstractButton>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QStatusBar>

class SharedTest : public QObject {
    Q_OBJECT
private slots:
    void settingsAreWrittenFieldByField();
    void rulesRegisteredElsewhereReachTheNextEstimate();
    void anIssueChecksItsNumber();

private:
    static void chooseRate(Window &w, int rate)
    {
        auto *c = w.find<QComboBox>("cmb税率");
        c->setCurrentIndex(c->findText(QString("%1%").arg(rate)));
    }
    static DbRow settings(const TempData &data)
    {
        return permRows(data, "SELECT 自社名, 自社情報, 税率 FROM 自社情報")[0];
    }
};

void SharedTest::settingsAreWrittenFieldByField()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (自社名, 自社情報, 税率, 端数処理, 税区分) VALUES ('A社', 'A住所', 10, '切捨て', '外税')"));
    Window w(data.folder());
    w->buildAllPages();
    // The other desktop registers the company; this one changes only the rate.
    QVERIFY(seedPerm(data, "UPDATE 自社情報 SET 自社名 = 'A社新', 自社情報 = 'A新住所'"));
    chooseRate(w, 8);
    Answers answers;
    w.find<QAbstractButton>("cmd設定登録")->click();
    QCOMPARE(answers.shown.size(), 1); // the question to register, no other
    const DbRow after = settings(data);
    QCOMPARE(after[0].toString() + after[1].toString() + after[2].toString(), QString("A社新A新住所8"));
    QCOMPARE(w.find<QLineEdit>("txt自社名")->text(), QString("A社新")); // read back
    // Both change the rate: asked, naming the field and both values; No keeps the other's.
    QVERIFY(seedPerm(data, "UPDATE 自社情報 SET 税率 = 10"));
    chooseRate(w, 5);
    answers.shown.clear();
    answers.answer({true, false});
    w.find<QAbstractButton>("cmd設定登録")->click();
    QCOMPARE(answers.shown.size(), 2);
    QVERIFY(answers.sawKey("登録", "設定他端末変更"));
    const QString asked = answers.shown[1].text;
    QVERIFY2(asked.contains("税率") && asked.contains("10%") && asked.contains("5%"), qPrintable(asked));
    QVERIFY(!answers.shown[1].yesIsDefault());
    QCOMPARE(settings(data)[2].toInt(), 10);
    // Asked again and answered Yes: this desktop's value.
    QVERIFY(seedPerm(data, "UPDATE 自社情報 SET 税率 = 8"));
    chooseRate(w, 5);
    answers.answer({true, true});
    w.find<QAbstractButton>("cmd設定登録")->click();
    QCOMPARE(settings(data)[2].toInt(), 5);
}

void SharedTest::rulesRegisteredElsewhereReachTheNextEstimate()
{
    Fixture f;
    QVERIFY(seedPerm(f.data, "INSERT INTO 自社情報 (自社名, 税率, 端数処理, 税区分) VALUES ('自社', 10, '切捨て', '外税')"));
    f.win().w.reset(); // started again on those settings
    f.w = std::make_unique<Window>(f.data.folder());
    f.win()->show();
    QApplication::setActiveWindow(f.win().w.get());
    f.grid = f.win().find<DataGrid>("Grid明細");
    f.no = f.win().find<QLineEdit>("txtNo");
    f.customer("甲社");
    f.line(0, "部品", "1", "1000");
    QCOMPARE(f.win().find<NumberBox>("num消費税")->text(), QString("100"));
    Answers answers;
    f.save();
    // Registered at 8 % elsewhere: the estimate on screen keeps its rules and the print says so.
    f.leaveNumber("1");
    QVERIFY(seedPerm(f.data, "UPDATE 自社情報 SET 税率 = 8, 自社名 = '新社名'"));
    int previews = 0;
    QString company;
    auto previous = setPreviewRunner([&](PrintPreview &p) {
        ++previews;
        company = p.sheet().record().companyName;
    });
    f.win().find<QAbstractButton>("cmd印刷")->click();
    setPreviewRunner(previous);
    QVERIFY2(previews == 1, qPrintable(answers.shown.isEmpty() ? "-" : answers.shown.last().text));
    QCOMPARE(company, QString("新社名"));
    QCOMPARE(f.win().find<NumberBox>("num消費税")->text(), QString("100"));
    QVERIFY(f.win().find<QStatusBar>("statusLine")->currentMessage().contains("他の端末"));
    // The next new estimate is computed at 8 %.
    f.win().find<QAbstractButton>("cmdクリア")->click();
    f.customer("乙社");
    f.line(0, "部品", "1", "1000");
    QCOMPARE(f.win().find<NumberBox>("num消費税")->text(), QString("80"));
}

// A new estimate issued as PDF while another desktop stored another customer's under its number:
// nothing goes out and nothing is archived; a loaded one deleted elsewhere is issued when asked.
void SharedTest::anIssueChecksItsNumber()
{
    Fixture f;
    QTemporaryDir out;
    const int number = f.no->text().toInt();
    f.customer("甲社");
    f.line(0, "部品", "1", "1000");
    QVERIFY(seedPerm(f.data, "INSERT INTO 見積書ヘッダ (伝票番号, 顧客名) VALUES (?, '乙社')", {number}));
    auto issue = [&](const QString &name) {
        auto previous = setPreviewRunner([&](PrintPreview &p) { p.savePdf(out.filePath(name)); });
        f.win().find<QAbstractButton>("cmd印刷")->click();
        setPreviewRunner(previous);
        return QFileInfo::exists(out.filePath(name));
    };
    Answers answers;
    QVERIFY(!issue("taken.pdf"));
    QVERIFY(answers.sawKey("その他", "注意"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 発行版"), 0);
    // Stored under the next number, it issues as that number.
    answers.answer({true, true}); // store it, and under the next number
    f.save();
    f.leaveNumber(QString::number(number + 1));
    QVERIFY(seedPerm(f.data, "DELETE FROM 見積書 WHERE 伝票番号 = ?", {number + 1}));
    QVERIFY(seedPerm(f.data, "DELETE FROM 見積書ヘッダ WHERE 伝票番号 = ?", {number + 1}));
    answers.shown.clear();
    answers.answer({false});
    QVERIFY(!issue("deleted-no.pdf"));
    QVERIFY(answers.sawKey("印刷", "他端末変更発行"));
    QVERIFY(!answers.shown.last().yesIsDefault());
    answers.answer({true});
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    QVERIFY(issue("deleted-yes.pdf"));
    setFolderOpener(opener);
    QCOMPARE(permInt(f.data, "SELECT 伝票番号 FROM 発行版"), number + 1);
}

QTEST_MAIN(SharedTest)
#include "test_shared.moc"
