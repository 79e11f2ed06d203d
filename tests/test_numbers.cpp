// Numbering through the window, clearing to a new estimate and deleting one.

#include "TestSupport.h"
#include "masters/CustomerTab.h"
#include "masters/ProductTab.h"
#include "estimate/EstimateTab.h"
#include "ui/Boxes.h"
#include "ui/WorkTableModel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDate>
#include <QPlainTextEdit>

class NumbersTest : public QObject {
    Q_OBJECT
private slots:
    void numberingThroughTheWindow();
    void clearResetsToNewEstimate();
    void deleteEstimate();
    void deleteRefusesWhatIsNotANumber_data();
    void deleteRefusesWhatIsNotANumber();

private:
    static void seedEstimate(const TempData &data, int number, int lines);
};

void NumbersTest::seedEstimate(const TempData &data, int number, int lines)
{
    Db perm("estimate");
    QVERIFY(data.openPerm(perm));
    QVERIFY(perm.exec("INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名) VALUES (?, '2026/12/01', '甲社')", {number}));
    for (int i = 0; i < lines; ++i)
        QVERIFY(perm.exec("INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名) VALUES (?, ?, 1, ?)",
                          {number, i, QString("品%1").arg(i)}));
}

void NumbersTest::numberingThroughTheWindow()
{
    TempData data;
    {
        Window w(data.folder());
        QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("1"));
        w.find<QAbstractButton>("cmdクリア")->click();
        QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("1")); // clearing consumes no number
    }
    Db perm("counter");
    QVERIFY(data.openPerm(perm));
    QVERIFY(perm.exec("INSERT INTO 自社情報 (最大見積書番号) VALUES (50)"));
    Window w(data.folder());
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("51"));
}

void NumbersTest::clearResetsToNewEstimate()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (自社名, 自社情報, 税区分, LineColor1, 最大見積書番号) VALUES ('自社', '本社住所', '外税', 0, 9)"));
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    w.find<QComboBox>("cmb顧客名")->setEditText("甲社");
    w.find<QPlainTextEdit>("txt顧客情報")->setPlainText("住所");
    for (const char *name : {"txt件名", "txt納期", "txt支払条件", "txt受渡場所", "txt有効期限"})
        w.find<QLineEdit>(name)->setText("何か");
    w.find<DateBox>("dt日付")->setDate(QDate(2020, 1, 2));
    typeCell(grid, 0, 1, "品物");
    typeCell(grid, 0, 5, "1000");
    w.find<QLineEdit>("txtNo")->setText("123");
    {
        Db perm("more");
        QVERIFY(data.openPerm(perm));
        QVERIFY(perm.exec("INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES ('新商品', '個', 10000, 0)"));
        QVERIFY(perm.exec("UPDATE 自社情報 SET 自社名 = '変更後'")); // registered on another desktop
    }
    // What is on screen is not stored: the clear asks first, and No keeps all of it.
    Answers answers;
    answers.answer({false});
    w.find<QAbstractButton>("cmdクリア")->click();
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].text, QString("画面をクリアします。よろしいですか"));
    QVERIFY(!answers.shown[0].yesIsDefault());
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("123"));
    QCOMPARE(grid->dataControl()->value(0, 1).toString(), QString("品物"));
    w.find<QAbstractButton>("cmdクリア")->click();
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("10"));
    QCOMPARE(w.find<DateBox>("dt日付")->date(), QDate::currentDate());
    QCOMPARE(w.find<QComboBox>("cmb顧客名")->currentText(), QString());
    QCOMPARE(w.find<QPlainTextEdit>("txt顧客情報")->toPlainText(), QString());
    for (const char *name : {"txt件名", "txt納期", "txt支払条件", "txt受渡場所", "txt有効期限"})
        QCOMPARE(w.find<QLineEdit>(name)->text(), QString());
    for (const char *name : {"num税抜計", "num消費税", "num合計"})
        QVERIFY(!w.find<NumberBox>(name)->value());
    QCOMPARE(w.find<QLabel>("lbl自社名")->text(), QString("変更後")); // the new estimate takes it
    QCOMPARE(w.find<QLabel>("lbl自社情報")->text(), QString("本社住所"));
    auto *m = grid->dataControl();
    QCOMPARE(m->dataRowCount(), 30);
    for (int r = 0; r < 30; ++r) {
        QCOMPARE(m->value(r, 0).toInt(), r + 1);
        for (int c = 1; c <= 5; ++c)
            QVERIFY(m->value(r, c).isNull());
        QCOMPARE(m->value(r, 6).toBool(), false);
    }
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 自社情報 WHERE 最大見積書番号 = 9")), 1);
    w->estimateTab()->ensureLists();
    auto *dd = qobject_cast<WorkTableModel *>(w->findChild<QObject *>("dat商品参照"));
    QCOMPARE(dd->dataRowCount(), 1);
    QCOMPARE(dd->value(0, 0).toString(), QString("新商品"));
}

void NumbersTest::deleteEstimate()
{
    TempData data;
    seedEstimate(data, 15, 3);
    seedEstimate(data, 14, 2);
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (最大見積書番号) VALUES (15)"));
    Window w(data.folder());
    w->show();
    QApplication::setActiveWindow(w.w.get());
    auto *no = w.find<QLineEdit>("txtNo");
    QCOMPARE(no->text(), QString("16"));

    // Declined: nothing changes.
    no->setText("15");
    w.find<QLineEdit>("txt件名")->setText("残す");
    Answers answers;
    answers.answer({false});
    w.find<QAbstractButton>("cmd削除")->click();
    QCOMPARE(answers.shown.last().text, QString("見積書 No.15 を削除します。よろしいですか"));
    QCOMPARE(answers.shown.last().yesIsDefault(), false);
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 見積書 WHERE 伝票番号 = 15")), 3);
    QCOMPARE(w.find<QLineEdit>("txt件名")->text(), QString("残す"));
    QCOMPARE(no->text(), QString("15"));

    // Confirmed: header and lines of 15 go, 14 stays, a new estimate starts at 16.
    w.find<QAbstractButton>("cmd削除")->click();
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 見積書 WHERE 伝票番号 = 15")), 0);
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 見積書ヘッダ WHERE 伝票番号 = 15")), 0);
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 見積書 WHERE 伝票番号 = 14")), 2);
    QCOMPARE(no->text(), QString("16"));
    QCOMPARE(w.find<QLineEdit>("txt件名")->text(), QString());
    QCOMPARE(int(permInt(data, "SELECT 最大見積書番号 FROM 自社情報")), 15);
    QTRY_VERIFY(w.find<QComboBox>("cmb顧客名")->hasFocus());
    QCOMPARE(answers.shown.size(), 2); // no message after the deletion

    // "0014" is estimate 14; nothing stored under a number just starts anew.
    no->setText("0014");
    w.find<QAbstractButton>("cmd削除")->click();
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 見積書ヘッダ")), 0);
    no->setText("99");
    w.find<QAbstractButton>("cmd削除")->click();
    QCOMPARE(no->text(), QString("16"));

    // An empty number asks nothing.
    const int shown = answers.shown.size();
    no->clear();
    w.find<QAbstractButton>("cmd削除")->click();
    QCOMPARE(answers.shown.size(), shown);
}

void NumbersTest::deleteRefusesWhatIsNotANumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("key");
    QTest::newRow("letters") << "12a" << "数字のみ";
    QTest::newRow("statement") << "1 OR 1=1" << "数字のみ";
    QTest::newRow("fraction") << "12.5" << "数字のみ";
    QTest::newRow("misplaced separator") << "1,2" << "数字のみ"; // once read as 12
    QTest::newRow("inner blank") << "1 2" << "数字のみ";
    QTest::newRow("exponent") << "1e1" << "数字のみ";
    QTest::newRow("sign") << "-12" << "数字のみ";
    QTest::newRow("blanks only") << "   " << "必須入力なし";
    QTest::newRow("too large") << "99999999999" << "範囲外";
}

void NumbersTest::deleteRefusesWhatIsNotANumber()
{
    QFETCH(QString, typed);
    TempData data;
    seedEstimate(data, 12, 2);
    seedEstimate(data, 1, 1);
    Window w(data.folder());
    auto *no = w.find<QLineEdit>("txtNo");
    no->setText(typed);
    w.find<QLineEdit>("txt件名")->setText("そのまま");
    Answers answers;
    w.find<QAbstractButton>("cmd削除")->click();
    QFETCH(QString, key);
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].category + answers.shown[0].key, "入力" + key);
    QCOMPARE(int(permInt(data, "SELECT count(*) FROM 見積書")), 3);
    QCOMPARE(no->text(), typed);
    QCOMPARE(w.find<QLineEdit>("txt件名")->text(), QString("そのまま"));
}

QTEST_MAIN(NumbersTest)
#include "test_numbers.moc"
