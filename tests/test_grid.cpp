// Working in the item grid as in a spreadsheet: pasting, line keys, typing into an item cell,
// undo and redo, row numbers.

#include "TestSupport.h"
#include "estimate/EstimateTab.h"
#include "ui/WorkTableModel.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void pasteAndLineKeys();
    void undoInTheGrid();
};

void GridTest::pasteAndLineKeys()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 商品マスタ (品名, 単位, 単価) VALUES ('ボルト', '本', ?)", {Money::fromYen(30).raw()}));
    Window w(data.folder());
    Answers answers;
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    // Rows copied from a spreadsheet: each cell as if typed, the master fills what is missing.
    grid->setCurrentCell(0, Col品名);
    QApplication::clipboard()->setText("ボルト\t10\n\"ナット\nM8\"\t2\t個\t15\nワッシャ\t三\t個\t5\n");
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m->value(0, Col単価).value<Money>(), Money::fromYen(30));
    QCOMPARE(m->value(0, Col金額).value<Money>(), Money::fromYen(300));
    QCOMPARE(m->value(1, Col品名).toString(), QString("ナット\nM8"));
    QCOMPARE(m->value(1, Col金額).value<Money>(), Money::fromYen(30));
    QVERIFY(m->value(2, Col数量).isNull()); // "三" is refused, as when typed
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].key, QString("数字のみ"));
    QCOMPARE(w.find<QLineEdit>("num税抜計")->text(), QString("330"));

    // A line deleted: the ones below move up, and there are still 30.
    grid->setCurrentCell(0, Col数量);
    QTest::keyClick(grid, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(m->dataRowCount(), 30);
    QCOMPARE(m->value(0, Col品名).toString(), QString("ナット\nM8"));
    QCOMPARE(w.find<QLineEdit>("num税抜計")->text(), QString("30"));
    // A line inserted above the second.
    grid->setCurrentCell(1, Col品名);
    QTest::keyClick(grid, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m->dataRowCount(), 30);
    QVERIFY(m->value(1, Col品名).isNull());
    QCOMPARE(m->value(2, Col品名).toString(), QString("ワッシャ"));
    // Line 30 filled: the grid grows a row to type into, and an insert above moves it down, never off.
    typeCell(grid, 29, Col品名, "最後");
    QCOMPARE(m->dataRowCount(), 31);
    answers.shown.clear();
    grid->setCurrentCell(0, Col品名);
    QTest::keyClick(grid, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(answers.shown.isEmpty());
    QCOMPARE(m->value(1, Col品名).toString(), QString("ナット\nM8"));
    QCOMPARE(m->value(30, Col品名).toString(), QString("最後"));
    QCOMPARE(m->dataRowCount(), 31);
    grid->setCurrentCell(0, Col品名);
    QTest::keyClick(grid, Qt::Key_Minus, Qt::ControlModifier);

    // Typing straight into an item cell: the key that opens its drop-down is the first letter.
    grid->setCurrentCell(5, Col品名);
    QTest::keyClick(grid, 'N');
    auto *combo = qobject_cast<QComboBox *>(grid->openEditor());
    QVERIFY(combo);
    QTest::keyClicks(combo->lineEdit(), "ut");
    grid->flushEditor();
    QCOMPARE(m->value(5, Col品名).toString(), QString("Nut"));

    // Tab skips the amount: from the price to the next line's item.
    grid->setCurrentCell(3, Col単価);
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(grid->currentRowIndex(), 4);
    QCOMPARE(grid->currentColumn(), int(Col品名));
}

// Ctrl+Z and Ctrl+Y step through cell edits, pastes (one step each) and lines inserted or
// deleted; the totals follow; a row number selects its line; a new estimate starts afresh.
void GridTest::undoInTheGrid()
{
    TempData data;
    Window w(data.folder());
    Answers answers;
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    auto net = [&] { return w.find<QLineEdit>("num税抜計")->text(); };
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = Qt::ControlModifier) { QTest::keyClick(grid, k, mods); };
    typeCell(grid, 0, Col品名, "ボルト");
    typeCell(grid, 0, Col数量, "2");
    typeCell(grid, 0, Col単価, "100");
    // Pasted from the current cell, not from the line's first column: one step.
    grid->setCurrentCell(0, Col数量);
    grid->pasteText("5\t個\n7\t箱\n");
    QCOMPARE(m->value(0, Col品名).toString(), QString("ボルト"));
    QCOMPARE(m->value(1, Col単位).toString(), QString("箱"));
    QCOMPARE(net(), QString("500"));
    grid->setCurrentCell(0, Col品名);
    key(Qt::Key_Minus); // deleted: one step too
    QCOMPARE(m->value(0, Col単位).toString(), QString("箱"));
    QCOMPARE(net(), QString("0"));

    key(Qt::Key_Z);
    QCOMPARE(m->value(0, Col品名).toString(), QString("ボルト"));
    QCOMPARE(net(), QString("500"));
    key(Qt::Key_Z);
    QCOMPARE(m->value(0, Col数量).toDouble(), 2.0);
    QVERIFY(m->value(1, Col単位).isNull());
    QCOMPARE(net(), QString("200"));
    key(Qt::Key_Y);
    QCOMPARE(m->value(0, Col数量).toDouble(), 5.0);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // the other redo key
    QCOMPARE(m->value(0, Col単位).toString(), QString("箱"));
    for (int i = 0; i < 10; ++i)
        key(Qt::Key_Z); // back to the blank grid, and no further
    QVERIFY(m->value(0, Col品名).isNull() && m->value(0, Col数量).isNull() && m->value(1, Col単位).isNull());
    QCOMPARE(net(), QString("0"));

    // More than a hundred steps are kept.
    for (int i = 1; i <= 120; ++i)
        typeCell(grid, 0, Col金額, QString::number(i));
    for (int i = 0; i < 110; ++i)
        key(Qt::Key_Z);
    QCOMPARE(m->value(0, Col金額).value<Money>(), Money::fromYen(10));

    // A row number selects the line; Ctrl+- then deletes that line.
    typeCell(grid, 3, Col品名, "四行目");
    QTest::mouseClick(grid->verticalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(5, grid->verticalHeader()->sectionViewportPosition(3) + 5));
    QCOMPARE(grid->currentRowIndex(), 3);
    QVERIFY(grid->selectionModel()->isRowSelected(3, {}));
    key(Qt::Key_Minus);
    QVERIFY(m->value(3, Col品名).isNull());

    w.find<QAbstractButton>("cmdクリア")->click(); // another estimate: nothing to undo
    key(Qt::Key_Z);
    QVERIFY(m->value(0, Col金額).isNull());
}

QTEST_MAIN(GridTest)
#include "test_grid.moc"
