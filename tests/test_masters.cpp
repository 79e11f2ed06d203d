// Customer and product tabs, and the customer box of the estimate.

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

class MastersTest : public QObject {
    Q_OBJECT
private slots:
    void registrationKeepsOtherDesktopsChanges();
    void customerTabReadsInNameOrder();
    void registerCustomers();
    void registerAnsweredNoOrEmptyGrid();
    void gridRowsReachTheWorkTableOnce();
    void deleteTickedCustomers();
    void deleteWithNothingTicked();
    void clearEmptiesGridOnly();
    void productTabSharesTheMasterRoutines();
    void customerComboList();
    void lookupOnLeavingCustomerBox();
    void aSaveWritesBackOnlyWhatWasTyped();
    void aThousandRowsInAFewStatements();

private:
    static void seedCustomers(const TempData &data, const QList<QPair<QVariant, QVariant>> &rows);
    static QStringList masterNames(const TempData &data);
    static QStringList gridNames(Window &w);
    static int count(const TempData &data, const QString &sql, const QVariantList &binds = {});
};

void MastersTest::seedCustomers(const TempData &data, const QList<QPair<QVariant, QVariant>> &rows)
{
    Db perm("seed");
    QVERIFY(data.openPerm(perm));
    for (const auto &r : rows)
        QVERIFY(perm.exec("INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES (?, ?)", {r.first, r.second}));
}

QStringList MastersTest::masterNames(const TempData &data)
{
    QStringList out;
    for (const DbRow &r : permRows(data, "SELECT 顧客名, 顧客情報 FROM 顧客マスタ ORDER BY 顧客名"))
        out << r[0].toString() + "=" + r[1].toString();
    return out;
}

QStringList MastersTest::gridNames(Window &w)
{
    auto *m = w.find<DataGrid>("Grid顧客マスタ")->dataControl();
    QStringList out;
    for (int r = 0; r < m->dataRowCount(); ++r)
        out << m->value(r, 1).toString();
    return out;
}

int MastersTest::count(const TempData &data, const QString &sql, const QVariantList &binds)
{
    return int(permInt(data, sql, binds));
}

void MastersTest::customerTabReadsInNameOrder()
{
    TempData data;
    seedCustomers(data, {{"山田's商店", "大阪"}, {"O'Brien", "Dublin"}, {"あいう", QVariant(QString())}});
    Window w(data.folder());
    QCOMPARE(gridNames(w), QStringList()); // the tab starts empty
    w.find<QAbstractButton>("cmd顧客読込")->click();
    QCOMPARE(gridNames(w), (QStringList{"O'Brien", "あいう", "山田's商店"}));
    auto *m = w.find<DataGrid>("Grid顧客マスタ")->dataControl();
    for (int r = 0; r < 3; ++r)
        QCOMPARE(m->value(r, 0).toBool(), false);
    QCOMPARE(m->value(0, 2).toString(), QString("Dublin"));
    QCOMPARE(m->rowCount(), 4); // and the new-row line
}

void MastersTest::registerCustomers()
{
    TempData data;
    seedCustomers(data, {{"甲社", "旧住所"}, {"乙社", "x"}, {"O'Brien", "Dublin"}});
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    auto *grid = w.find<DataGrid>("Grid顧客マスタ");
    // Rows in name order: O'Brien, 乙社, 甲社.
    typeCell(grid, 2, 2, "新住所");          // changed details
    typeCell(grid, 1, 1, "丙社");            // renamed: a new customer beside the old one
    typeCell(grid, 3, 1, "丁社");            // typed on the new-row line
    typeCell(grid, 3, 2, "名古屋");
    typeCell(grid, 4, 2, "名前のない行");     // a row without a name
    typeCell(grid, 0, 2, "Cork");            // quote in the name, matched exactly
    Answers answers;
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].text, QString("顧客情報 を登録します。よろしいですか"));
    QCOMPARE(masterNames(data),
             (QStringList{"O'Brien=Cork", "丁社=名古屋", "丙社=x", "乙社=x", "甲社=新住所"}));
    QCOMPARE(count(data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客名 IS NULL OR 顧客名 = ''"), 0);
    QCOMPARE(gridNames(w), (QStringList{"O'Brien", "丙社", "甲社", "丁社", ""})); // same rows again

    // Registering twice adds nothing new.
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QCOMPARE(count(data, "SELECT count(*) FROM 顧客マスタ"), 5);
}

// Between reading the tab and 登録, another desktop (or a save on this one) changed rows.
void MastersTest::registrationKeepsOtherDesktopsChanges()
{
    TempData data;
    seedCustomers(data, {{"甲社", "a"}, {"乙社", "b"}, {"丙社", "c"}});
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    auto *grid = w.find<DataGrid>("Grid顧客マスタ");
    QVERIFY(seedPerm(data, "UPDATE 顧客マスタ SET 顧客情報 = 'よそ' WHERE 顧客名 IN ('甲社', '丙社')"));
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('丁社', 'よその新顧客')"));
    // Rows in name order: 丁社 is not in the grid, so: 丙社, 乙社, 甲社, new line.
    typeCell(grid, 2, 2, "こちら"); // 甲社: changed here and elsewhere
    typeCell(grid, 1, 2, "b2");     // 乙社: changed here only
    typeCell(grid, 3, 1, "丁社");   // typed as new here, added elsewhere meanwhile
    typeCell(grid, 3, 2, "こちらの新顧客");
    Answers answers;
    answers.answer({true, false});
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QVERIFY(answers.sawKey("登録", "他端末変更"));
    QVERIFY(answers.shown.last().text.contains("甲社") && answers.shown.last().text.contains("丁社"));
    QVERIFY(!answers.shown.last().text.contains("丙社")); // untouched here: not written, not asked
    QVERIFY2(answers.shown.last().text.contains("「甲社」の顧客情報: 他の端末「よそ」／この端末「こちら」"),
             qPrintable(answers.shown.last().text)); // the field and both values
    QCOMPARE(masterNames(data), (QStringList{"丁社=よその新顧客", "丙社=よそ", "乙社=b2", "甲社=よそ"}));
    QVERIFY(w->customerTab()->hasUnregistered()); // what was declined is still on the grid only

    answers.answer({true, true});
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QCOMPARE(masterNames(data), (QStringList{"丁社=こちらの新顧客", "丙社=よそ", "乙社=b2", "甲社=こちら"}));
    QVERIFY(!w->customerTab()->hasUnregistered());

    // A row read with an empty field is still the row as read: registered without a question.
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('戊社', NULL)"));
    w.find<QAbstractButton>("cmd顧客読込")->click();
    QCOMPARE(grid->dataControl()->value(3, 1).toString(), QString("戊社")); // in name order
    typeCell(grid, 3, 2, "戊社の住所");
    answers.shown.clear();
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QVERIFY(!answers.sawKey("登録", "他端末変更"));
    QVERIFY(masterNames(data).contains("戊社=戊社の住所"));
}

void MastersTest::registerAnsweredNoOrEmptyGrid()
{
    TempData data;
    seedCustomers(data, {{"甲社", "a"}});
    Window w(data.folder());
    Answers answers;
    w.find<QAbstractButton>("cmd顧客登録")->click(); // empty grid
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(masterNames(data), QStringList{"甲社=a"});

    w.find<QAbstractButton>("cmd顧客読込")->click();
    typeCell(w.find<DataGrid>("Grid顧客マスタ"), 0, 2, "b");
    answers.answer({false});
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QCOMPARE(masterNames(data), QStringList{"甲社=a"});
}

void MastersTest::gridRowsReachTheWorkTableOnce()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid顧客マスタ");
    typeCell(grid, 0, 1, "戊社");  // the new-row line
    typeCell(grid, 1, 1, "   "); // leaving row 0 writes it to the work table
    typeCell(grid, 0, 2, "再編集"); // the same row again: an update, not a second row
    grid->setCurrentCell(1, 2);
    Db work("work-rows");
    QVERIFY(work.open(data.work()));
    DbRows rows;
    QVERIFY(work.select("SELECT 顧客名, 顧客情報 FROM w顧客マスタ ORDER BY id", {}, rows));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0][0].toString() + rows[0][1].toString(), QString("戊社再編集"));
    Answers answers;
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QCOMPARE(masterNames(data), QStringList{"戊社=再編集"}); // the row of blanks is no customer
}

void MastersTest::deleteTickedCustomers()
{
    FILE_ONLY(); // a name twice: only a file holds that
    TempData data;
    seedCustomers(data, {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"x' OR '1'='1", "4"}, {"B", "dup"}});
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    auto *grid = w.find<DataGrid>("Grid顧客マスタ");
    auto *m = grid->dataControl();
    // Rows: A, B, B, C, x' OR …
    typeCell(grid, 3, 2, "未登録の変更");
    m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    grid->setCurrentCell(4, 1);
    m->setData(m->index(4, 0), Qt::Checked, Qt::CheckStateRole); // ticked just before the button
    QVERIFY(m->isPending(4));
    Answers answers;
    w.find<QAbstractButton>("cmd顧客削除")->click();
    QCOMPARE(answers.shown[0].text, QString("指定された 顧客情報 を削除します。よろしいですか"));
    QCOMPARE(masterNames(data), (QStringList{"A=1", "C=3"})); // every row of a ticked name goes
    QCOMPARE(gridNames(w), (QStringList{"A", "C"})); // the grid shows what is stored, no second B
    QCOMPARE(m->value(1, 2).toString(), QString("未登録の変更"));
    for (int r = 0; r < m->dataRowCount(); ++r)
        QCOMPARE(m->value(r, 0).toBool(), false);
}

void MastersTest::deleteWithNothingTicked()
{
    TempData data;
    seedCustomers(data, {{"A", "1"}, {"B", "2"}});
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    Answers answers;
    w.find<QAbstractButton>("cmd顧客削除")->click();
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(masterNames(data).size(), 2);
    QCOMPARE(gridNames(w).size(), 2);
    // Declined with ticks: nothing goes.
    auto *m = w.find<DataGrid>("Grid顧客マスタ")->dataControl();
    m->setData(m->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    answers.answer({false});
    w.find<QAbstractButton>("cmd顧客削除")->click();
    QCOMPARE(masterNames(data).size(), 2);
}

void MastersTest::clearEmptiesGridOnly()
{
    TempData data;
    seedCustomers(data, {{"A", "1"}});
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    QCOMPARE(gridNames(w).size(), 1);
    w.find<QAbstractButton>("cmd顧客クリア")->click();
    QCOMPARE(gridNames(w).size(), 0);
    QCOMPARE(masterNames(data).size(), 1);

    // What is typed and not registered is asked about first, on both tabs; No keeps it.
    typeCell(w.find<DataGrid>("Grid顧客マスタ"), 0, 1, "B");
    typeCell(w.find<DataGrid>("Grid商品マスタ"), 0, 1, "ボルト");
    Answers answers;
    answers.answer({false, false, false, true});
    for (const char *button : {"cmd顧客読込", "cmd顧客クリア", "cmd商品クリア"})
        w.find<QAbstractButton>(button)->click();
    QCOMPARE(answers.shown.size(), 3);
    QCOMPARE(gridNames(w), QStringList{"B"});
    QVERIFY(w->productTab()->hasUnregistered());
    w.find<QAbstractButton>("cmd商品読込")->click();
    QVERIFY(!w->productTab()->hasUnregistered());
    QCOMPARE(w.find<DataGrid>("Grid商品マスタ")->dataControl()->dataRowCount(), 0);
    answers.shown.clear();
    w.find<QAbstractButton>("cmd商品クリア")->click(); // nothing to lose: no question
    QVERIFY(answers.shown.isEmpty());
}

// The product tab works like the customer tab; its price and exempt flag travel exactly.
void MastersTest::productTabSharesTheMasterRoutines()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid商品マスタ");
    auto *m = grid->dataControl();
    typeCell(grid, 0, 1, "ボールペン");
    typeCell(grid, 0, 2, "本");
    typeCell(grid, 0, 3, "1,234.56");
    m->setData(m->index(0, 4), Qt::Checked, Qt::CheckStateRole);
    Answers answers;
    w.find<QAbstractButton>("cmd商品登録")->click();
    QCOMPARE(answers.shown[0].text, QString("商品情報 を登録します。よろしいですか"));
    Db perm("products");
    QVERIFY(data.openPerm(perm));
    DbRows rows;
    QVERIFY(perm.select("SELECT 品名, 単位, 単価, 非課税 FROM 商品マスタ", {}, rows));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][2].toLongLong(), Money::parse("1234.56")->raw());
    QCOMPARE(rows[0][3].toInt(), 1);
    // The estimate looks the product up in the master at once.
    typeCell(w.find<DataGrid>("Grid明細"), 0, 1, "ボールペン");
    QCOMPARE(w.find<DataGrid>("Grid明細")->dataControl()->value(0, 4).value<Money>(), *Money::parse("1234.56"));
    // Its drop-down offers the price as the tab last registered it.
    auto *list = w.find<WorkTableModel>("dat商品参照");
    w->estimateTab()->ensureProductList();
    QCOMPARE(list->value(0, 2).value<Money>(), *Money::parse("1234.56"));
    typeCell(grid, 0, 3, "1,500");
    w.find<QAbstractButton>("cmd商品登録")->click();
    answers.answer({true});
    w.find<QAbstractButton>("cmdクリア")->click();
    w->estimateTab()->ensureProductList();
    QCOMPARE(list->value(0, 2).value<Money>(), Money::fromYen(1500));
    m->setData(m->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    w.find<QAbstractButton>("cmd商品削除")->click();
    QVERIFY(perm.select("SELECT 品名 FROM 商品マスタ", {}, rows));
    QCOMPARE(rows.size(), 0);
    QCOMPARE(m->dataRowCount(), 0);
}

void MastersTest::customerComboList()
{
    FILE_ONLY(); // a row without a name: only a file holds that
    TempData data;
    seedCustomers(data, {{"丙", "x"}, {QVariant(), "名無し"}, {"甲", "y"}, {"O'Brien", "z"}});
    Window w(data.folder());
    auto *combo = w.find<QComboBox>("cmb顧客名");
    auto use = [&] { w->estimateTab()->ensureLists(); }; // as the box's first use after a reset does
    use();
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, (QStringList{"O'Brien", "丙", "甲"}));
    QVERIFY(combo->currentText().isEmpty());

    // An emptied master leaves the list as it was at the next reset.
    Db perm("wipe");
    QVERIFY(data.openPerm(perm));
    QVERIFY(perm.exec("DELETE FROM 顧客マスタ"));
    w.find<QAbstractButton>("cmdクリア")->click();
    use();
    QCOMPARE(combo->count(), 3);
    // A customer added meanwhile appears at the next reset, not before.
    QVERIFY(perm.exec("INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('新顧客', NULL)"));
    use();
    QCOMPARE(combo->count(), 3);
    w.find<QAbstractButton>("cmdクリア")->click();
    use();
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->itemText(0), QString("新顧客"));
}

void MastersTest::lookupOnLeavingCustomerBox()
{
    TempData data;
    seedCustomers(data, {{"山田's商店", "大阪市北区1-2"}, {"詳細なし", QVariant(QString())}});
    Window w(data.folder());
    w->show();
    QApplication::setActiveWindow(w.w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.w.get()));
    auto *combo = w.find<QComboBox>("cmb顧客名");
    auto *details = w.find<QPlainTextEdit>("txt顧客情報");
    auto *subject = w.find<QLineEdit>("txt件名");
    auto leave = [&](const QString &name) {
        combo->setFocus();
        QTRY_VERIFY(combo->lineEdit()->hasFocus());
        combo->setEditText(name);
        subject->setFocus();
        QTRY_VERIFY(subject->hasFocus());
    };
    leave("山田's商店");
    QCOMPARE(details->toPlainText(), QString("大阪市北区1-2"));
    details->setPlainText("新しい顧客の住所");
    leave("未登録の顧客");
    QCOMPARE(details->toPlainText(), QString("新しい顧客の住所"));
    leave("詳細なし"); // a known customer without details keeps what is shown
    QCOMPARE(details->toPlainText(), QString("新しい顧客の住所"));
    leave("");
    QCOMPARE(details->toPlainText(), QString());
}






// Desktop B picks a customer and a product from the lists; desktop A registers a new address and
// price for them; B stores its estimate. What B only took from the masters is not B's change.
void MastersTest::aSaveWritesBackOnlyWhatWasTyped()
{
    TempData data;
    seedCustomers(data, {{"株式会社テスト", "旧住所"}});
    QVERIFY(seedPerm(data, "INSERT INTO 商品マスタ (品名, 単位, 単価) VALUES ('プリンター', '台', ?)", {Money::fromYen(30000).raw()}));
    Window w(data.folder());
    w->show();
    QApplication::setActiveWindow(w.w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.w.get()));
    auto *combo = w.find<QComboBox>("cmb顧客名");
    combo->setFocus();
    QTRY_VERIFY(combo->lineEdit()->hasFocus());
    combo->setEditText("株式会社テスト");
    w.find<QLineEdit>("txt件名")->setFocus();
    QTRY_COMPARE(w.find<QPlainTextEdit>("txt顧客情報")->toPlainText(), QString("旧住所"));
    auto *grid = w.find<DataGrid>("Grid明細");
    typeCell(grid, 0, Col品名, "プリンター");
    typeCell(grid, 0, Col数量, "2");
    QVERIFY(seedPerm(data, "UPDATE 顧客マスタ SET 顧客情報 = '新住所'"));
    QVERIFY(seedPerm(data, "UPDATE 商品マスタ SET 単価 = ?", {Money::fromYen(35000).raw()}));
    Answers answers;
    w.find<QAbstractButton>("cmd登録")->click();
    QCOMPARE(masterNames(data), QStringList{"株式会社テスト=新住所"});
    QCOMPARE(permInt(data, "SELECT 単価 FROM 商品マスタ"), Money::fromYen(35000).raw());
    QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書ヘッダ"), 1);
    // What B types is B's change, and is written.
    combo->setEditText("株式会社テスト");
    typeCell(grid, 0, Col品名, "プリンター");
    typeCell(grid, 0, Col数量, "1");
    typeCell(grid, 0, Col単価, "32000");
    w.find<QPlainTextEdit>("txt顧客情報")->setPlainText("B の住所");
    w.find<QAbstractButton>("cmd登録")->click();
    QCOMPARE(masterNames(data), QStringList{"株式会社テスト=B の住所"});
    QCOMPARE(permInt(data, "SELECT 単価 FROM 商品マスタ"), Money::fromYen(32000).raw());
}

// On a server every statement is a round trip: a thousand rows registered, half of them read
// before and changed here (three of those changed elsewhere too), cost a handful of statements.
void MastersTest::aThousandRowsInAFewStatements()
{
    if (!onTestServer())
        QSKIP("round trips to a server");
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) SELECT '顧客' || i, '旧' FROM generate_series(1, 500) AS i"));
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    Db &work = w->context().work;
    QVERIFY(work.exec("UPDATE w顧客マスタ SET 顧客情報 = '新'"));
    QVERIFY(work.exec("WITH RECURSIVE n(i) AS (SELECT 501 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                      "INSERT INTO w顧客マスタ (顧客名, 顧客情報) SELECT '顧客' || i, '新規' FROM n"));
    QVERIFY(seedPerm(data, "UPDATE 顧客マスタ SET 顧客情報 = 'よそ' WHERE 顧客名 IN ('顧客1', '顧客2', '顧客3')"));
    Answers answers;
    answers.answer({true, false});
    const qlonglong before = Db::serverStatements();
    w.find<QAbstractButton>("cmd顧客登録")->click();
    const qlonglong statements = Db::serverStatements() - before;
    QVERIFY2(statements <= 8, qPrintable(QString::number(statements)));
    QCOMPARE(count(data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客情報 = '新'"), 497);
    QCOMPARE(count(data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客情報 = '新規'"), 500);
    QCOMPARE(count(data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客情報 = 'よそ'"), 3);
    QVERIFY(answers.sawKey("登録", "他端末変更"));
}

QTEST_MAIN(MastersTest)
#include "test_masters.moc"
