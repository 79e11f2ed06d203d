// Daily use beyond the letter of the window: Japanese dialogs, forgiving number input,
// finding customers, and no estimate lost by closing.

#include "TestSupport.h"
#include "estimate/EstimateTab.h"
#include "ui/WorkTableModel.h"
#include "ui/Boxes.h"
#include "ui/Language.h"

#include <QAbstractButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QAbstractItemView>
#include <QCompleter>
#include <QMessageBox>

class DailyUseTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installJapanese(); }
    void dialogsSpeakJapanese();
    void numbersAsTyped();
    void customerBoxFindsAnyPart();
    void closingAsksOnlyWhenSomethingIsUnstored();
    void guideOpensInsideTheProgram();
};

void DailyUseTest::dialogsSpeakJapanese()
{
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    QVERIFY(box.button(QMessageBox::Yes)->text().startsWith("はい"));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith("いいえ"));
}

void DailyUseTest::numbersAsTyped()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    Answers answers;
    typeCell(grid, 0, Col数量, "１，２００．５");
    typeCell(grid, 0, Col単価, "－１０");
    QCOMPARE(m->value(0, Col数量).toDouble(), 1200.5);
    QCOMPARE(m->value(0, Col金額).value<Money>(), Money::fromYen(-12005));
    QVERIFY(answers.shown.isEmpty());

    typeCell(grid, 0, Col単価, "十円"); // no number: said, and the cell keeps its value
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].text, QString("単価には数字以外使用できません"));
    QCOMPARE(m->value(0, Col単価).value<Money>(), Money::fromYen(-10));

    // Delete on a selected cell empties it, and the line follows.
    grid->setFocus();
    grid->setCurrentCell(0, Col単価);
    QTest::keyClick(grid, Qt::Key_Delete);
    QVERIFY(m->value(0, Col単価).isNull());
    QVERIFY(m->value(0, Col金額).isNull());

    auto *colour = w.find<IntegerBox>("num白紙罫線色");
    colour->setText("２５５");
    emit colour->editingFinished();
    QCOMPARE(colour->value(), 255);
    colour->setText("赤");
    emit colour->editingFinished();
    QCOMPARE(colour->value(), 255);
    QCOMPARE(answers.shown.last().key, QString("数字のみ"));
}

void DailyUseTest::customerBoxFindsAnyPart()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('株式会社山田商店', '大阪'), ('田中工務店', ''), "
                           "('山田工業', '')"));
    Window w(data.folder());
    w->show();
    QApplication::setActiveWindow(w.w.get());
    auto *box = w.find<QComboBox>("cmb顧客名");
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    typeText(box->lineEdit(), "山田");
    QAbstractItemView *popup = box->completer()->popup();
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(box->completer()->completionCount(), 2); // both, wherever the name holds it
    QTest::keyClick(popup, Qt::Key_Down); // 山田工業
    QTest::keyClick(popup, Qt::Key_Down); // 株式会社山田商店: found by the middle of its name
    QTest::keyClick(popup, Qt::Key_Tab);
    QCOMPARE(box->currentText(), QString("株式会社山田商店"));

    // A customer registered on the customer tab is offered at once.
    typeCell(w.find<DataGrid>("Grid顧客マスタ"), 0, 1, "新顧客");
    Answers answers;
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QVERIFY(box->findText("新顧客") >= 0);
}

void DailyUseTest::closingAsksOnlyWhenSomethingIsUnstored()
{
    TempData data;
    Window w(data.folder());
    Answers answers;
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col品名, "未登録の行");
    answers.answer({false});
    w->close();
    QCOMPARE(answers.shown.size(), 1);
    QCOMPARE(answers.shown[0].text, QString("保存されていない変更があります。終了してよろしいですか"));
    QCOMPARE(answers.shown[0].yesIsDefault(), false);
    QCOMPARE(w.endCalls, 0); // No keeps everything
    QCOMPARE(w.find<DataGrid>("Grid明細")->dataControl()->value(0, Col品名).toString(), QString("未登録の行"));

    w.find<QAbstractButton>("cmd登録")->click(); // stored: nothing left to ask about
    QCOMPARE(w.find<QStatusBar>("statusLine")->currentMessage(), QString("No.1 を登録しました"));
    answers.shown.clear();
    w->close();
    QVERIFY(answers.shown.isEmpty());
    QCOMPARE(w.endCalls, 1);
}

void DailyUseTest::guideOpensInsideTheProgram()
{
    TempData data;
    Window w(data.folder());
    w->show();
    QApplication::setActiveWindow(w.w.get());
    QTest::keyClick(w.w.get(), Qt::Key_F1);
    auto *guide = w->findChild<QWidget *>("FrmGuide");
    QVERIFY(guide && guide->isVisible());
    const QString text = guide->findChild<QTextBrowser *>()->toPlainText();
    // What the README tells, the guide tells too.
    for (const char *topic : {"Ctrl+S", "F3", "一覧", "CSV", "軽減", "data/backup", "QuoteDesk.lock", "Ctrl+V"})
        QVERIFY2(text.contains(topic), topic);
}

QTEST_MAIN(DailyUseTest)
#include "test_dailyuse.moc"
