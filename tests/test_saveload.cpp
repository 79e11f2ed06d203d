// Saving and loading an estimate through the window, with the masters it registers.

#include "SaveFixture.h"
#include <thread>
#include <atomic>
#include <QElapsedTimer>
#include "server/ServerSchema.h"
#include "estimate/EstimateList.h"
#include "estimate/EstimateTab.h"
#include "ui/WorkTableModel.h"
#include "ui/Boxes.h"

#include <QAbstractButton>
#include <QDate>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>

class SaveLoadTest : public QObject {
    Q_OBJECT
private slots:
    void roundTripOfEveryField();
    void resaveReplacesAndCounterRises();
    void mastersFollowTheSave();
    void refusedSavesStoreNothing_data();
    void refusedSavesStoreNothing();
    void emptyRefusedAndReplaceNamed();
    void controlCharactersAreDropped();
    void failedSaveKeepsEverything();
    void failedDeleteLeavesEverything();
    void loadingByNumber();
    void numberBoxRefusesText_data();
    void numberBoxRefusesText();
    void resetShowsFirstRow();
    void typedItemNameStaysAsTyped();
    void savesMeetAnotherDesktop();

private:

};

// What another desktop does to the stored data while this window shows an estimate: a new
// number stored elsewhere, a loaded estimate deleted (or, on a server, changed) elsewhere.
void SaveLoadTest::savesMeetAnotherDesktop()
{
    Fixture f;
    Answers answers;
    const QString proposed = f.no->text();
    f.customer("甲社");
    f.line(0, "ボルト", "2", "100");
    QVERIFY(seedPerm(f.data, "INSERT INTO 見積書ヘッダ (伝票番号, 顧客名) VALUES (?, '他で登録')", {proposed.toInt()}));
    answers.answer({true, false}); // store it, then No to storing it elsewhere
    f.save();
    QVERIFY(answers.sawKey("登録", "他端末登録"));
    QCOMPARE(permRows(f.data, "SELECT 顧客名 FROM 見積書ヘッダ WHERE 伝票番号 = ?", {proposed.toInt()})[0][0].toString(),
             QString("他で登録")); // No: nothing written, the screen kept
    QCOMPARE(f.win().find<QComboBox>("cmb顧客名")->currentText(), QString("甲社"));
    answers.answer({true, true});
    f.save();
    const int moved = proposed.toInt() + 1;
    QCOMPARE(storedLines(f.data, moved).size(), 1);
    QVERIFY(f.win().find<QStatusBar>("statusLine")->currentMessage().contains(QString("No.%1").arg(moved)));

    // A loaded estimate gone meanwhile: asked before it is written back.
    f.leaveNumber(QString::number(moved));
    QCOMPARE(f.win().find<QComboBox>("cmb顧客名")->currentText(), QString("甲社"));
    QVERIFY(seedPerm(f.data, "DELETE FROM 見積書ヘッダ WHERE 伝票番号 = ?", {moved}));
    const int shownBefore = answers.shown.size();
    answers.answer({true, false});
    f.save();
    QVERIFY(answers.shown.size() > shownBefore && answers.sawKey("登録", "他端末削除"));
    QVERIFY(!answers.shown.last().yesIsDefault()); // bringing it back is never the default
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ WHERE 伝票番号 = ?", {moved}), 0);
    answers.answer({true, true});
    f.save();
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ WHERE 伝票番号 = ?", {moved}), 1);
    if (!onTestServer())
        return;
    // On a server: changed elsewhere, and deleting it asks too.
    f.leaveNumber(QString::number(moved));
    QVERIFY(seedPerm(f.data, "UPDATE 見積書ヘッダ SET 件名 = '他で変更', 更新番号 = 更新番号 + 1 WHERE 伝票番号 = ?", {moved}));
    answers.answer({true, false});
    f.win().find<QAbstractButton>("cmd削除")->click();
    QVERIFY(answers.sawKey("削除", "他端末変更"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ WHERE 伝票番号 = ?", {moved}), 1);
}



void SaveLoadTest::failedDeleteLeavesEverything()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名) VALUES (5, '2026/12/01', '甲社')"));
    QVERIFY(seedPerm(data, "INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名) VALUES (5, 0, 1, '品0'), (5, 1, 1, '品1')"));
    QVERIFY(refuseWrites(data, "見積書ヘッダ", "DELETE", "header locked"));
    Window w(data.folder());
    w.find<QLineEdit>("txtNo")->setText("5");
    w.find<QLineEdit>("txt件名")->setText("消さない");
    Answers answers;
    w.find<QAbstractButton>("cmd削除")->click();
    QVERIFY(answers.sawKey("その他", "注意"));
    QVERIFY(answers.shown.last().text.contains("header locked"));
    QCOMPARE(storedLines(data, 5).size(), 2); // lines kept: one transaction
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("5"));
    QCOMPARE(w.find<QLineEdit>("txt件名")->text(), QString("消さない"));
}


void SaveLoadTest::roundTripOfEveryField()
{
    Fixture f;
    const QString name = "O'Brien & \"山田\"商店 🍣";
    const QString info = "〒100-0001\n東京都千代田区1-1\nTEL 03-0000-0000";
    f.customer(name);
    f.win().find<QPlainTextEdit>("txt顧客情報")->setPlainText(info);
    const QStringList boxes{"txt件名", "txt納期", "txt支払条件", "txt受渡場所", "txt有効期限"};
    for (const QString &b : boxes)
        f.win().find<QLineEdit>(b)->setText(b.mid(3) + "'の値");
    f.win().find<DateBox>("dt日付")->setDateText("20260315");
    f.line(0, "  ネジ'M3  ", "2.5", "101"); // trimmed; 253
    typeCell(f.grid, 0, Col単位, "箱");
    f.line(1, "値引き", "", "");
    typeCell(f.grid, 1, Col金額, "-53");
    f.grid->setCurrentCell(1, Col非課税);
    f.grid->dataControl()->setData(f.grid->currentIndex(), Qt::Checked, Qt::CheckStateRole);
    f.line(2, "見出しのみ", "", "");
    QCOMPARE(f.text("num合計"), QString("213")); // 200 + 5 % of the taxable 253
    Answers answers;
    f.save();
    QCOMPARE(answers.shown.size(), 1); // the question only: no message after a save
    QCOMPARE(answers.shown[0].text, name + "様の見積書 No.1 を登録します。よろしいですか");
    QCOMPARE(f.no->text(), QString("2"));
    QTRY_VERIFY(f.win().find<QComboBox>("cmb顧客名")->hasFocus());
    QVERIFY(f.win().find<QComboBox>("cmb顧客名")->currentText().isEmpty());

    const DbRows head = permRows(f.data, "SELECT 日付, 顧客名, 顧客情報, 消費税, 税抜計, 合計 FROM 見積書ヘッダ");
    QCOMPARE(head.size(), 1);
    QCOMPARE(head[0][0].toString(), QString("2026/03/15"));
    QCOMPARE(head[0][1].toString(), name);
    QCOMPARE(head[0][2].toString(), info);
    QCOMPARE(storedLines(f.data, 1), (QStringList{"0|1|ネジ'M3|2.5|箱|1010000|2530000|0",
                                                  "1|1|値引き|∅|∅|∅|-530000|1", "2|1|見出しのみ|∅|∅|∅|∅|0"}));

    f.leaveNumber("0001");
    QCOMPARE(f.no->text(), QString("0001"));
    QCOMPARE(f.win().find<QComboBox>("cmb顧客名")->currentText(), name);
    QCOMPARE(f.win().find<QPlainTextEdit>("txt顧客情報")->toPlainText(), info);
    for (const QString &b : boxes)
        QCOMPARE(f.text(qPrintable(b)), b.mid(3) + "'の値");
    QCOMPARE(f.win().find<DateBox>("dt日付")->dateText(), QString("20260315"));
    auto *m = f.grid->dataControl();
    QCOMPARE(m->value(0, Col品名).toString(), QString("ネジ'M3"));
    QCOMPARE(m->value(0, Col数量).toDouble(), 2.5);
    QCOMPARE(m->value(1, Col金額).value<Money>(), Money::fromYen(-53));
    QVERIFY(m->value(1, Col数量).isNull());
    QCOMPARE(m->value(1, Col非課税).toBool(), true);
    QVERIFY(m->value(3, Col品名).isNull());
    QCOMPARE(f.text("num税抜計"), QString("200"));
    QCOMPARE(f.text("num消費税"), QString("13"));
    QCOMPARE(f.text("num合計"), QString("213"));
}

void SaveLoadTest::resaveReplacesAndCounterRises()
{
    Fixture f;
    f.no->setText("50");
    for (int i = 0; i < 4; ++i)
        f.line(i, QString("品%1").arg(i), "1", "100");
    Answers answers;
    f.save();
    QCOMPARE(f.no->text(), QString("51"));
    f.leaveNumber("50");
    typeCell(f.grid, 3, Col品名, "");
    typeCell(f.grid, 2, Col品名, "");
    f.save();
    QCOMPARE(storedLines(f.data, 50).size(), 2);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 1);
    // A lower number keeps the counter; answering No changes nothing.
    f.no->setText("3");
    f.line(0, "別件", "1", "1");
    f.save();
    QCOMPARE(permInt(f.data, "SELECT 最大見積書番号 FROM 自社情報"), 50);
    f.line(0, "断る", "1", "1");
    answers.answer({false});
    f.save();
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 2);
    QCOMPARE(f.grid->dataControl()->value(0, Col品名).toString(), QString("断る"));
}

void SaveLoadTest::mastersFollowTheSave()
{
    Fixture f;
    QVERIFY(seedPerm(f.data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('甲社', '旧住所')"));
    QVERIFY(seedPerm(f.data, "INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES ('ボルト', '本', 1000000, 1)"));
    f.customer("甲社");
    f.win().find<QPlainTextEdit>("txt顧客情報")->setPlainText("新住所");
    f.line(0, "ボルト", "1", "120");   // updated in place
    f.line(1, "名前だけ", "", "");      // registers nothing
    f.line(2, "数量だけ", "3", "");     // registered with a Null price
    f.line(3, "重複", "1", "100");
    f.line(4, "重複", "1", "90");       // the last line wins
    Answers answers;
    f.save();
    QCOMPARE(permRows(f.data, "SELECT 顧客情報 FROM 顧客マスタ WHERE 顧客名 = '甲社'").size(), 1);
    QCOMPARE(permRows(f.data, "SELECT 顧客情報 FROM 顧客マスタ")[0][0].toString(), QString("新住所"));
    const DbRows p = permRows(f.data, "SELECT 品名, 単位, 単価, 非課税 FROM 商品マスタ ORDER BY 品名");
    QStringList products;
    for (const DbRow &r : p)
        products << r[0].toString() + "|" + r[1].toString() + "|" + (r[2].isNull() ? "∅" : r[2].toString()) + "|" +
                        r[3].toString();
    QCOMPARE(products, (QStringList{"ボルト|本|1200000|1", "数量だけ||∅|0", "重複||900000|0"}));
    // The new names are offered at once in the next estimate.
    f.win()->estimateTab()->ensureLists();
    QCOMPARE(f.win().find<QComboBox>("cmb顧客名")->count(), 1);
    QCOMPARE(f.w->w->findChild<WorkTableModel *>("dat商品参照")->dataRowCount(), 3);

    // A blank customer is not registered; the estimate is still stored.
    f.customer("   ");
    f.line(0, "ボルト", "1", "120");
    f.save();
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 顧客マスタ"), 1);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 2);
}

void SaveLoadTest::refusedSavesStoreNothing_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<QString>("key");
    QTest::newRow("empty number") << "" << false << "必須入力なし";
    QTest::newRow("not a number") << "1,5" << false << "数字のみ";
    QTest::newRow("beyond 32 bits") << "2147483648" << false << "範囲外";
    QTest::newRow("line below an empty one") << "7" << true << "上行空白";
}

void SaveLoadTest::refusedSavesStoreNothing()
{
    QFETCH(QString, number);
    QFETCH(bool, gap);
    QFETCH(QString, key);
    Fixture f;
    f.customer("乙社");
    f.no->setText(number);
    f.line(0, "一行目", "1", "10");
    f.line(gap ? 2 : 1, "  ", "1", "10");  // blank counts as empty
    if (gap)
        f.line(3, "離れた行", "1", "10");
    Answers answers;
    f.save();
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].category + answers.shown[0].key, "入力" + key);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 顧客マスタ"), 0);
    QCOMPARE(f.no->text(), number);
    QCOMPARE(f.win().find<QComboBox>("cmb顧客名")->currentText(), QString("乙社"));
}

// Nothing on screen is not an estimate; storing over a stored one says so.
void SaveLoadTest::emptyRefusedAndReplaceNamed()
{
    Fixture f;
    Answers answers;
    f.save();
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].key, QString("空の見積書"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 0);
    f.line(0, "部品", "1", "10"); // a line alone is enough
    f.save();
    QCOMPARE(answers.shown.last().text, QString("見積書 No.1 を登録します。よろしいですか"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 1);

    f.leaveNumber("1");
    f.customer("甲社");
    f.save();
    QCOMPARE(answers.shown.last().key, QString("上書き確認"));
    QVERIFY(answers.shown.last().text.contains("No.1 を上書きします"));
    // Typed and never read: what the number holds is asked about all the same.
    f.customer("乙社");
    f.no->setText("1");
    answers.answer({false});
    f.save();
    QCOMPARE(answers.shown.last().key, QString("上書き確認"));
    QCOMPARE(permRows(f.data, "SELECT 顧客名 FROM 見積書ヘッダ")[0][0].toString(), QString("甲社"));
}

// A NUL or another invisible control character, typed or pasted, never reaches the store:
// on the server it broke every save, on the file it hid the estimate from the search.
void SaveLoadTest::controlCharactersAreDropped()
{
    Fixture f;
    f.customer(QString("甲") + QChar(0) + "社");
    f.win().find<QLineEdit>("txt件名")->setText(QString("件\x1b名"));
    f.line(0, QString("ネジ") + QChar(1) + "M3", "1", "10");
    f.grid->setCurrentCell(1, Col品名);
    f.grid->pasteText(QString("ナ") + QChar(0) + "ット\t2\t\t5\n");
    Answers answers;
    f.save();
    QCOMPARE(answers.shown.size(), 1); // the question only
    QCOMPARE(permRows(f.data, "SELECT 顧客名, 件名 FROM 見積書ヘッダ")[0], (DbRow{"甲社", "件名"}));
    QCOMPARE(storedLines(f.data, 1).size(), 2);
    QCOMPARE(permRows(f.data, "SELECT 品名 FROM 見積書 ORDER BY 行番号")[1][0].toString(), QString("ナット"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客名 = ?", {"甲社"}), 1);
    EstimateList list(f.win()->context().main);
    QVector<ListRow> rows;
    QVERIFY(list.find({.text = QStringLiteral("ネジM3"), .from = {}, .to = {}}, 10, rows));
    QCOMPARE(rows.size(), 1);
}

void SaveLoadTest::failedSaveKeepsEverything()
{
    Fixture f;
    QVERIFY(seedPerm(f.data, "INSERT INTO 見積書ヘッダ (伝票番号, 顧客名) VALUES (4, '前の')"));
    QVERIFY(refuseWrites(f.data, "見積書ヘッダ", "INSERT", "disk refused"));
    f.no->setText("4");
    f.customer("丙社");
    f.line(0, "新商品", "1", "10");
    Answers answers;
    f.save();
    QVERIFY(answers.sawKey("その他", "注意"));
    QVERIFY(answers.shown.last().text.contains("disk refused"));
    QCOMPARE(permRows(f.data, "SELECT 顧客名 FROM 見積書ヘッダ")[0][0].toString(), QString("前の"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 顧客マスタ"), 0); // rolled back with the rest
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 商品マスタ"), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 自社情報"), 0);
    QCOMPARE(f.no->text(), QString("4"));
    QCOMPARE(f.grid->dataControl()->value(0, Col品名).toString(), QString("新商品"));
}

void SaveLoadTest::loadingByNumber()
{
    Fixture f;
    QVERIFY(seedPerm(f.data, "INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 件名, 消費税) "
                             "VALUES (12, '2025/01/02', '丁社', NULL, NULL)"));
    for (int n : {9, 0, 5})
        QVERIFY(seedPerm(f.data, "INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名, 金額) VALUES (12, ?, 1, ?, ?)",
                         {n, QString("行%1").arg(n), Money::fromYen(100).raw()}));
    // What is on screen is not stored: another number asks first, and No keeps all of it,
    // the number on screen included.
    f.win().find<QLineEdit>("txt件名")->setText("捨てられる");
    const QString proposed = f.no->text();
    Answers answers;
    answers.answer({false});
    f.leaveNumber("0012");
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].key, QString("読込確認"));
    QVERIFY(answers.shown[0].text.contains("No.12") && !answers.shown[0].yesIsDefault());
    QCOMPARE(f.no->text(), proposed);
    QCOMPARE(f.text("txt件名"), QString("捨てられる"));
    f.leaveNumber("0012");
    auto *m = f.grid->dataControl();
    QCOMPARE(m->value(0, Col品名).toString() + m->value(1, Col品名).toString() + m->value(2, Col品名).toString(),
             QString("行0行5行9"));
    QVERIFY(m->value(3, Col品名).isNull());
    QCOMPARE(f.text("txt件名"), QString());
    QCOMPARE(f.text("num合計"), QString("315"));

    // Leaving the box unchanged keeps what is on screen.
    typeCell(f.grid, 3, Col品名, "追加");
    f.leaveNumber("0012");
    QCOMPARE(m->value(3, Col品名).toString(), QString("追加"));

    // A number with nothing stored: a blank estimate under it, today's date, and the status
    // line says so; no dialog but the question for the unstored line.
    answers.shown.clear();
    f.leaveNumber("77");
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(f.no->text(), QString("77"));
    QVERIFY(m->value(0, Col品名).isNull());
    QCOMPARE(f.win().find<DateBox>("dt日付")->date(), QDate::currentDate());
    QCOMPARE(f.text("num合計"), QString());
    QCOMPARE(f.win().find<QStatusBar>("statusLine")->currentMessage(),
             QString("No.77 は未登録です。新しい見積書として入力できます"));
    // Nothing unstored: the next number loads without a question.
    f.leaveNumber("12");
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(m->value(0, Col品名).toString(), QString("行0"));
}

void SaveLoadTest::numberBoxRefusesText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("key");
    QTest::newRow("letters") << "12a" << "数字のみ";
    QTest::newRow("exponent") << "1e1" << "数字のみ";
    QTest::newRow("too large") << "3000000000" << "範囲外";
}

void SaveLoadTest::numberBoxRefusesText()
{
    QFETCH(QString, typed);
    QFETCH(QString, key);
    Fixture f;
    f.win().find<QLineEdit>("txt件名")->setText("残る");
    Answers answers;
    f.leaveNumber(typed);
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].key, key);
    QVERIFY(f.no->text().isEmpty());
    QTRY_VERIFY(f.no->hasFocus());
    QCOMPARE(f.text("txt件名"), QString("残る"));
}

void SaveLoadTest::resetShowsFirstRow()
{
    Fixture f;
    f.grid->resize(400, 200);
    f.grid->setCurrentCell(25, Col数量);
    f.grid->scrollTo(f.grid->currentIndex());
    QVERIFY(f.grid->verticalScrollBar()->value() > 0);
    f.win().find<QAbstractButton>("cmdクリア")->click();
    QCOMPARE(f.grid->verticalScrollBar()->value(), 0);
    QCOMPARE(f.grid->currentRowIndex(), 0);
    QCOMPARE(f.grid->currentColumn(), int(Col品名));
}

void SaveLoadTest::typedItemNameStaysAsTyped()
{
    Fixture f;
    QVERIFY(seedPerm(f.data, "INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES ('Apple Pie', '個', 5000000, 0)"));
    f.win().find<QAbstractButton>("cmdクリア")->click(); // reloads the drop-down list
    f.grid->setFocus();
    f.grid->setCurrentCell(0, Col品名);
    f.grid->edit(f.grid->currentIndex());
    auto *combo = qobject_cast<QComboBox *>(f.grid->openEditor());
    QVERIFY(combo);
    QTest::keyClicks(combo->lineEdit(), "Appl");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    auto *m = f.grid->dataControl();
    QCOMPARE(m->value(0, Col品名).toString(), QString("Appl"));
    QVERIFY(m->value(0, Col単価).isNull());
}

QTEST_MAIN(SaveLoadTest)
#include "test_saveload.moc"
