// The line-item grid and the totals, driven through the real window.

#include "TestSupport.h"
#include "ui/Boxes.h"
#include "estimate/EstimateTab.h"
#include "ui/WorkTableModel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>

class EstimateTest : public QObject {
    Q_OBJECT
private slots:
    void fillFromProductMaster();
    void dropDownListsProductsAndFillsCell();
    void rangeRefused();
    void lineAmounts_data();
    void lineAmounts();
    void renamedLineStaysConsistent();
    void enterOnAmountColumn();
    void unitRecordedInCodeMaster();
    void totals_data();
    void totals();
    void tickingExemptRecomputes();
    void modeCountsOnlyAfterStored();

private:
    static void addProducts(const TempData &data);
    static void storeMode(Window &w, const QString &mode);
    static QString box(Window &w, const char *name) { return w.find<NumberBox>(name)->text(); }
};

void EstimateTest::addProducts(const TempData &data)
{
    Db perm("products");
    QVERIFY(data.openPerm(perm));
    const QVariant null;
    auto add = [&](const QString &name, const QVariant &unit, const QVariant &price, int exempt) {
        QVERIFY(perm.exec("INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES (?, ?, ?, ?)", {name, unit, price, exempt}));
    };
    add("りんご", "個", Money::fromYen(120).raw(), 0);
    add("O'Neil", "本", Money::fromYen(1000).raw(), 1);
    add("5'インチ", QVariant(QString()), Money::fromYen(300).raw(), 0);
    add("見本", "式", 0, 0);
    add("ばら", "本", Money::parse("99.5")->raw(), 0);
}

void EstimateTest::storeMode(Window &w, const QString &mode)
{
    auto *combo = w.find<QComboBox>("cmb税区分");
    combo->setCurrentIndex(combo->findText(mode));
    Answers yes;
    w.find<QAbstractButton>("cmd設定登録")->click();
}

void EstimateTest::fillFromProductMaster()
{
    TempData data;
    addProducts(data);
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    typeCell(grid, 0, 1, "  りんご  ");
    QCOMPARE(m->value(0, 1).toString(), QString("りんご"));
    QCOMPARE(m->value(0, 3).toString(), QString("個"));
    QCOMPARE(m->value(0, 4).value<Money>(), Money::fromYen(120));
    QCOMPARE(m->value(0, 6).toBool(), false);
    QVERIFY(m->value(0, 5).isNull()); // the amount is not computed from the name

    typeCell(grid, 1, 1, "O'Neil"); // a quote is matched exactly
    QCOMPARE(m->value(1, 3).toString(), QString("本"));
    QCOMPARE(m->value(1, 4).value<Money>(), Money::fromYen(1000));
    QCOMPARE(m->value(1, 6).toBool(), true);

    typeCell(grid, 1, 1, "5'インチ"); // no unit: empty, never the previous one
    QVERIFY(m->value(1, 3).isNull());
    QCOMPARE(m->value(1, 4).value<Money>(), Money::fromYen(300));
    QCOMPARE(m->value(1, 6).toBool(), false);

    typeCell(grid, 2, 1, "見本"); // price 0 leaves the cell blank
    QVERIFY(m->value(2, 4).isNull());
    QCOMPARE(m->value(2, 3).toString(), QString("式"));

    typeCell(grid, 2, 1, "' OR '1'='1"); // unknown: unit cleared, price blank, not exempt
    QVERIFY(m->value(2, 3).isNull());
    QVERIFY(m->value(2, 4).isNull());
    QCOMPARE(m->value(2, 6).toBool(), false);

    // What the grid shows is what the table holds.
    Db work("peek");
    QVERIFY(work.open(data.work()));
    DbRows rows;
    QVERIFY(work.select("SELECT 品名, 単位, 単価 FROM w明細 WHERE 行番号 = 1", {}, rows));
    QCOMPARE(rows[0][0].toString(), QString("りんご"));
    QCOMPARE(rows[0][1].toString(), QString("個"));
    QCOMPARE(rows[0][2].toLongLong(), Money::fromYen(120).raw());
    QCOMPARE(grid->model()->index(0, 4).data().toString(), QString("120"));
}

void EstimateTest::dropDownListsProductsAndFillsCell()
{
    TempData data;
    addProducts(data);
    Window w(data.folder());
    w->estimateTab()->ensureLists(); // as the first opening of the drop-down does
    auto *dd = w->findChild<QObject *>("dat商品参照");
    auto *list = qobject_cast<WorkTableModel *>(dd);
    QVERIFY(list);
    QCOMPARE(list->rowCount(), 5);
    QCOMPARE(list->columnCount(), 6);
    QStringList names;
    for (int r = 0; r < list->rowCount(); ++r)
        names << list->value(r, 0).toString();
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(names, sorted);
    QCOMPARE(list->headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), QString("ふりがな"));

    auto *grid = w.find<DataGrid>("Grid明細");
    grid->setCurrentCell(3, 1);
    grid->edit(grid->currentIndex());
    auto *combo = qobject_cast<QComboBox *>(grid->openEditor());
    QVERIFY(combo);
    QCOMPARE(combo->count(), 5);
    const int i = names.indexOf("ばら");
    combo->setCurrentIndex(i);
    emit combo->activated(i);
    auto *m = grid->dataControl();
    QCOMPARE(m->value(3, 1).toString(), QString("ばら"));
    QCOMPARE(m->value(3, 4).value<Money>(), *Money::parse("99.5"));
    grid->flushEditor();
}

void EstimateTest::rangeRefused()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    Answers answers;
    typeCell(grid, 0, 4, "100");
    typeCell(grid, 0, 2, "3");
    typeCell(grid, 0, 2, "1000000"); // refused: the cell and the amount keep what they had
    QCOMPARE(m->value(0, 2).toDouble(), 3.0);
    QCOMPARE(m->value(0, 5).value<Money>(), Money::fromYen(300));
    QCOMPARE(answers.shown.size(), 1);
    QVERIFY(answers.shown.last().text.startsWith("数量"));
    grid->setCurrentCell(5, 5);
    QTRY_COMPARE(grid->currentColumn(), 2); // the cursor goes back to the refused cell
    QCOMPARE(grid->currentRowIndex(), 0);
    typeCell(grid, 0, 2, "999999.99");
    QCOMPARE(m->value(0, 5).value<Money>(), Money::fromYen(99999999));
    typeCell(grid, 0, 2, "-1,000,000");
    QCOMPARE(m->value(0, 2).toDouble(), 999999.99);

    // The unit price's edge, typed and pasted; the totals never lose the line.
    typeCell(grid, 1, 2, "1");
    typeCell(grid, 1, 4, "99999999");
    typeCell(grid, 1, 4, "100000000");
    QCOMPARE(m->value(1, 4).value<Money>(), Money::fromYen(99999999));
    QVERIFY(answers.shown.last().text.startsWith("単価"));
    QTRY_COMPARE(grid->currentColumn(), 4);
    grid->setCurrentCell(1, 4);
    grid->pasteText("１００，０００，０００");
    QCOMPARE(m->value(1, 4).value<Money>(), Money::fromYen(99999999));
    QCOMPARE(box(w, "num税抜計"), QStringLiteral("199,999,998"));
    grid->setCurrentCell(2, 1);
    grid->pasteText("x\t1\t\t-99999999.99\ny\t1000000\t\t1");
    QCOMPARE(m->value(2, 5).value<Money>(), Money::fromYen(-100000000));
    QVERIFY(m->value(3, 2).isNull());
    QCOMPARE(answers.shown.size(), 5);

    // An amount beyond the range is refused with a message, and the cell keeps what it held.
    typeCell(grid, 4, 5, "10000000000");
    QVERIFY(m->value(4, 5).isNull());
    QTRY_COMPARE(grid->currentColumn(), 5);
    typeCell(grid, 4, 5, "9999999999"); // a typed amount stands as typed
    QCOMPARE(m->value(4, 5).value<Money>(), Money::fromYen(9999999999LL));
    typeCell(grid, 4, 5, "1e30");
    QCOMPARE(m->value(4, 5).value<Money>(), Money::fromYen(9999999999LL));
    QCOMPARE(answers.shown.size(), 7);
    for (const MsgEntry &e : answers.shown)
        QVERIFY(e.category == "入力" && e.key == "範囲外");
}

void EstimateTest::lineAmounts_data()
{
    QTest::addColumn<QString>("qty");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("amount"); // empty: Null
    QTest::newRow("3 x 100") << "3" << "100" << "300";
    QTest::newRow("2.5 x 101 rounds up") << "2.5" << "101" << "253";
    QTest::newRow("1.2 x 101") << "1.2" << "101" << "122";
    QTest::newRow("-2.5 x 101") << "-2.5" << "101" << "-253";
    QTest::newRow("within tolerance") << "100.000001" << "1" << "100";
    QTest::newRow("beyond tolerance") << "100.00002" << "1" << "101";
    QTest::newRow("beyond the rounding range: the price is refused") << "999999" << "99999999" << "";
    QTest::newRow("price with thousands separator") << "2" << "1,500" << "3000";
    QTest::newRow("no price") << "2" << "" << "";
}

void EstimateTest::lineAmounts()
{
    QFETCH(QString, qty);
    QFETCH(QString, price);
    QFETCH(QString, amount);
    TempData data;
    Window w(data.folder());
    Answers answers;
    auto *grid = w.find<DataGrid>("Grid明細");
    typeCell(grid, 4, 2, qty);
    typeCell(grid, 4, 4, price);
    const QVariant v = grid->dataControl()->value(4, 5);
    // No line silently counts as 0: what the amount cannot hold is refused where it is typed.
    QCOMPARE(answers.sawKey("入力", "範囲外"), QString(QTest::currentDataTag()).contains("refused"));
    if (answers.sawKey("入力", "範囲外"))
        QVERIFY(grid->dataControl()->value(4, 4).isNull());
    if (amount.isEmpty())
        QVERIFY(v.isNull());
    else
        QCOMPARE(v.value<Money>(), Money::fromYen(amount.toLongLong()));
    // The cell shows the quantity as typed: its sign and its fraction.
    auto *m = grid->dataControl();
    if (qty.contains(QRegularExpression("^-?\\d+\\.\\d{1,2}$")))
        QCOMPARE(m->data(m->index(4, 2), Qt::DisplayRole).toString(), qty);
}

void EstimateTest::renamedLineStaysConsistent()
{
    TempData data;
    addProducts(data);
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    typeCell(grid, 0, 1, "りんご");
    typeCell(grid, 0, 2, "3");
    QCOMPARE(m->value(0, 5).value<Money>(), Money::fromYen(360));
    // Another product: its price, and the amount that quantity and price give.
    typeCell(grid, 0, 1, "O'Neil");
    QCOMPARE(m->value(0, 4).value<Money>(), Money::fromYen(1000));
    QCOMPARE(m->value(0, 5).value<Money>(), Money::fromYen(3000));
    // A name the master does not know: no price, so no amount from one.
    typeCell(grid, 0, 1, "特注品");
    QVERIFY(m->value(0, 4).isNull());
    QVERIFY(m->value(0, 5).isNull());
    // An amount typed on a line without quantity stays as typed when the name changes.
    typeCell(grid, 1, 1, "値引");
    typeCell(grid, 1, 5, "-500");
    typeCell(grid, 1, 1, "りんご");
    QCOMPARE(m->value(1, 5).value<Money>(), Money::fromYen(-500));
}

void EstimateTest::enterOnAmountColumn()
{
    TempData data;
    Window w(data.folder());
    w->show();
    auto *grid = w.find<DataGrid>("Grid明細");
    grid->setFocus();
    grid->setCurrentCell(0, 5);
    QTest::keyClick(grid, Qt::Key_Return);
    QCOMPARE(grid->currentRowIndex(), 1);
    QCOMPARE(grid->currentColumn(), 1);

    grid->setCurrentCell(29, 5);
    QTest::keyClick(grid, Qt::Key_Enter);
    QCOMPARE(grid->currentRowIndex(), 29);
    QCOMPARE(grid->currentColumn(), 1);

    // Enter while typing an amount commits it first, then moves on.
    grid->setCurrentCell(3, 5);
    grid->edit(grid->currentIndex());
    auto *editor = qobject_cast<QLineEdit *>(grid->openEditor());
    QVERIFY(editor);
    QTest::keyClicks(editor, "777");
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(grid->dataControl()->value(3, 5).value<Money>(), Money::fromYen(777));
    QCOMPARE(grid->currentRowIndex(), 4);
    QCOMPARE(grid->currentColumn(), 1);
    QCOMPARE(box(w, "num合計"), QString("816"));

    // Elsewhere Enter goes on to the next cell that is typed into, as Tab does.
    grid->setCurrentCell(6, 2);
    QTest::keyClick(grid, Qt::Key_Return);
    QCOMPARE(grid->currentRowIndex(), 6);
    QCOMPARE(grid->currentColumn(), 3);
}

void EstimateTest::unitRecordedInCodeMaster()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    typeCell(grid, 0, 3, "ロール");
    typeCell(grid, 1, 3, "個"); // known: not stored twice
    Db perm("codes");
    QVERIFY(data.openPerm(perm));
    QVariant n;
    QVERIFY(perm.scalar("SELECT count(*) FROM コードマスタ WHERE kcode = '単位' AND sname = ?", {"ロール"}, n));
    QCOMPARE(n.toInt(), 1);
    QVERIFY(perm.scalar("SELECT count(*) FROM コードマスタ WHERE kcode = '単位' AND sname = ?", {"個"}, n));
    QCOMPARE(n.toInt(), 1);

    // A write that fails is reported with the engine's text.
    QVERIFY(refuseWrites(data, "コードマスタ", "UPDATE", "codes locked"));
    Answers answers;
    typeCell(grid, 2, 3, "巻き");
    QVERIFY(answers.sawKey("その他", "注意"));
    QVERIFY(answers.shown.last().text.contains("codes locked"));
}

void EstimateTest::totals_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("rows"); // "amount" or "amount!" for an exempt row
    QTest::addColumn<QString>("net");
    QTest::addColumn<QString>("tax");
    QTest::addColumn<QString>("grand");
    const QStringList example{"2100", "1000!"};
    QTest::newRow("example 外税") << "外税" << example << "3,100" << "105" << "3,205";
    QTest::newRow("example 内税") << "内税" << example << "2,000" << "100" << "3,100";
    QTest::newRow("example 非課税") << "非課税" << example << "3,100" << "" << "3,100";
    QTest::newRow("外税 half up") << "外税" << QStringList{"1010"} << "1,010" << "51" << "1,061";
    QTest::newRow("内税 1000") << "内税" << QStringList{"1000"} << "952" << "48" << "1,000";
    QTest::newRow("内税 1050") << "内税" << QStringList{"1050"} << "1,000" << "50" << "1,050";
    for (const QString mode : {"外税", "内税", "非課税"}) {
        QTest::addRow("empty %s", qPrintable(mode)) << mode << QStringList{} << "0" << "" << "";
        QTest::addRow("zero sum %s", qPrintable(mode)) << mode << QStringList{"1000", "-1000"} << "0" << "" << "";
    }
    QTest::newRow("only exempt 外税") << "外税" << QStringList{"500!", "700!"} << "1,200" << "0" << "1,200";
    QTest::newRow("negative 外税") << "外税" << QStringList{"-1010"} << "-1,010" << "-51" << "-1,061";
    QTest::newRow("negative 内税") << "内税" << QStringList{"-1050"} << "-1,000" << "-50" << "-1,050";
}

void EstimateTest::totals()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, rows);
    QFETCH(QString, net);
    QFETCH(QString, tax);
    QFETCH(QString, grand);
    TempData data;
    Window w(data.folder());
    storeMode(w, mode);
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    int r = 0;
    for (QString amount : rows) {
        if (amount.endsWith('!')) {
            amount.chop(1);
            m->setData(m->index(r, 6), Qt::Checked, Qt::CheckStateRole);
        }
        typeCell(grid, r++, 5, amount);
    }
    if (rows.isEmpty())
        typeCell(grid, 0, 1, "空の行");
    QCOMPARE(box(w, "num税抜計"), net);
    QCOMPARE(box(w, "num消費税"), tax);
    QCOMPARE(box(w, "num合計"), grand);
}

void EstimateTest::tickingExemptRecomputes()
{
    TempData data;
    Window w(data.folder());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
    auto *grid = w.find<DataGrid>("Grid明細");
    typeCell(grid, 0, 5, "2100");
    typeCell(grid, 1, 5, "1000");
    QCOMPARE(box(w, "num消費税"), QString("155"));
    const QRect cell = grid->visualRect(grid->model()->index(1, 6));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid->dataControl()->value(1, 6).toBool(), true);
    QCOMPARE(box(w, "num消費税"), QString("105"));
    QCOMPARE(box(w, "num合計"), QString("3,205"));
}

void EstimateTest::modeCountsOnlyAfterStored()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    typeCell(grid, 0, 5, "1000");
    QCOMPARE(box(w, "num合計"), QString("1,050"));
    auto *combo = w.find<QComboBox>("cmb税区分");
    combo->setCurrentIndex(combo->findText("内税"));
    typeCell(grid, 1, 5, "50");
    QCOMPARE(box(w, "num消費税"), QString("53")); // still 外税
    {
        Answers yes;
        w.find<QAbstractButton>("cmd設定登録")->click();
    }
    // Storing another mode recomputes at once: a save or print must not carry the old figures.
    QCOMPARE(box(w, "num消費税"), QString("50"));
    QCOMPARE(box(w, "num合計"), QString("1,050"));
    typeCell(grid, 1, 5, "0");
    QCOMPARE(box(w, "num消費税"), QString("48"));
    QCOMPARE(box(w, "num税抜計"), QString("952"));
    QCOMPARE(box(w, "num合計"), QString("1,000"));
}

QTEST_MAIN(EstimateTest)
#include "test_estimate.moc"
