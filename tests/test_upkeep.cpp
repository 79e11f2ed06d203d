// The product tab's own behaviour, the wipe of all data, and the hint window.

#include "TestSupport.h"
#include "estimate/EstimateTab.h"
#include "hints/HintWindow.h"
#include "ui/WorkTableModel.h"
#include "ui_HintWindow.h"

#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

class UpkeepTest : public QObject {
    Q_OBJECT
private slots:
    void productTabReadEditAndLookUp();
    void wipeDeclinedOrFailedChangesNothing_data();
    void wipeDeclinedOrFailedChangesNothing();
    void wipeConfirmedWithEnter();
    void hintViewEditStoreDelete();
    void hintButtonOnlyRaisesOpenWindow();
    void hintFailedStoreShowsNoNotice();

private:
    static void seed(const TempData &data);
    static QString counts(const TempData &data);
};

void UpkeepTest::seed(const TempData &data)
{
    QVERIFY(seedPerm(data, "INSERT INTO 商品マスタ (品名, 単位, 単価, 非課税) VALUES ('ナット', '個', 0, 0), ('ボルト', '本', 12345670000, 1)"));
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('甲社', '')"));
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (自社名, 最大見積書番号) VALUES ('自社', 9)"));
    QVERIFY(seedPerm(data, "INSERT INTO 見積書ヘッダ (伝票番号) VALUES (9)"));
    QVERIFY(seedPerm(data, "INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名) VALUES (9, 0, 1, 'ボルト')"));
}

QString UpkeepTest::counts(const TempData &data)
{
    QStringList n;
    for (const char *t : {"顧客マスタ", "商品マスタ", "自社情報", "見積書", "見積書ヘッダ"})
        n << QString::number(permInt(data, QString("SELECT count(*) FROM ") + t));
    return n.join(',');
}

void UpkeepTest::productTabReadEditAndLookUp()
{
    TempData data;
    seed(data);
    Window w(data.folder());
    w->estimateTab()->ensureLists(); // the drop-down in use in this estimate
    auto *grid = w.find<DataGrid>("Grid商品マスタ");
    auto *m = grid->dataControl();
    QCOMPARE(m->dataRowCount(), 0); // empty until read
    w.find<QAbstractButton>("cmd商品読込")->click();
    QCOMPARE(m->dataRowCount(), 2);
    QCOMPARE(m->data(m->index(0, 1), Qt::DisplayRole).toString(), QString("ナット"));
    QCOMPARE(m->data(m->index(0, 3), Qt::DisplayRole).toString(), QString()); // price 0 shows empty
    QCOMPARE(m->data(m->index(1, 3), Qt::DisplayRole).toString(), QString("1,234,567"));
    QCOMPARE(m->data(m->index(1, 4), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(m->data(m->index(1, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

    // The input method opens on the name and unit only.
    for (int col : {1, 2, 3, 4, 0}) {
        grid->setCurrentCell(1, col);
        QCOMPARE(grid->imeOpen(), col == 1 || col == 2);
    }

    typeCell(grid, 1, 3, "990");
    Answers answers;
    w.find<QAbstractButton>("cmd商品登録")->click();
    QCOMPARE(permInt(data, "SELECT 単価 FROM 商品マスタ WHERE 品名 = 'ボルト'"), Money::fromYen(990).raw());
    // The look-up sees the new price at once; the drop-down only at the next new estimate.
    auto *detail = w.find<DataGrid>("Grid明細");
    typeCell(detail, 0, Col品名, "ボルト");
    QCOMPARE(detail->dataControl()->value(0, Col単価).value<Money>(), Money::fromYen(990));
    auto *list = w->findChild<WorkTableModel *>("dat商品参照");
    QCOMPARE(list->value(1, 2).value<Money>(), Money::fromYen(1234567));
    w.find<QAbstractButton>("cmdクリア")->click();
    w->estimateTab()->ensureLists(); // as the drop-down's first use after the reset does
    QCOMPARE(list->value(1, 2).value<Money>(), Money::fromYen(990));
}

void UpkeepTest::wipeDeclinedOrFailedChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("declined") << "";
    QTest::newRow("a delete fails") << "delete";
    QTest::newRow("no copy can be written") << "copy";
}

void UpkeepTest::wipeDeclinedOrFailedChangesNothing()
{
    QFETCH(QString, fault);
    TempData data;
    seed(data);
    if (fault == "delete")
        QVERIFY(refuseWrites(data, "見積書", "DELETE", "lines locked"));
    if (fault == "copy") { // a file where the backup folder would go
        QFile blocker(data.folder() + "backup");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    Window w(data.folder());
    const QString before = counts(data);
    Answers answers;
    answers.answer({!fault.isEmpty()});
    w.find<QAbstractButton>("cmd一括削除7")->click();
    QCOMPARE(counts(data), before);
    QCOMPARE(answers.shown[0].text, QString("すべてのデータを初期化します。、よろしいですか"));
    QCOMPARE(answers.shown.size(), fault.isEmpty() ? 1 : 2);
    if (!fault.isEmpty())
        QCOMPARE(answers.shown[1].key, QString("注意"));
}

void UpkeepTest::wipeConfirmedWithEnter()
{
    TempData data;
    seed(data);
    QVERIFY(seedPerm(data, "UPDATE コードマスタ SET sname = 'ロール' WHERE code = 90"));
    {
        Db work("hint-seed");
        QVERIFY(work.open(data.work()));
        QVERIFY(work.exec("INSERT INTO ClHint VALUES ('FrmQuoteDesk', 'cmdHint', 't', 'メモ')"));
    }
    Window w(data.folder());
    Answers answers;
    // The question itself, answered with Enter: Yes is its default button.
    setMsgPresenter([&](const MsgEntry &e) {
        answers.shown << e;
        if (!e.isQuestion())
            return false;
        QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
        return showMessageBox(e);
    });
    w.find<QAbstractButton>("cmd一括削除7")->click();
    QCOMPARE(counts(data), QString("0,0,0,0,0"));
    QCOMPARE(answers.shown.size(), 2);
    QCOMPARE(answers.shown[1].text, QString("すべてのデータを初期化しました"));
    QCOMPARE(permInt(data, "SELECT count(*) FROM コードマスタ WHERE sname = 'ロール'"), 1);
    Db work("hint-check");
    QVERIFY(work.open(data.work()));
    QVariant hints;
    QVERIFY(work.scalar("SELECT count(*) FROM ClHint", {}, hints));
    QCOMPARE(hints.toInt(), 1);

    // The copy holds what was wiped.
    const QStringList copies = QDir(data.folder() + "backup").entryList({"QuoteDesk-*.mdb"});
    QCOMPARE(copies.size(), 1);
    QVERIFY(copies[0].contains(QRegularExpression("^QuoteDesk-\\d{8}-\\d{6}\\.mdb$")));
    Db copy("copy");
    QVERIFY(copy.open(data.folder() + "backup/" + copies[0]));
    QVariant lines;
    QVERIFY(copy.scalar("SELECT count(*) FROM 見積書", {}, lines));
    QCOMPARE(lines.toInt(), 1);

    w.find<QAbstractButton>("cmdクリア")->click();
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("1"));
}

void UpkeepTest::hintViewEditStoreDelete()
{
    TempData data;
    Window w(data.folder());
    w.find<QAbstractButton>("cmdHint")->click();
    Hint *hint = w->hintWindow();
    QVERIFY(hint && hint->isVisible());
    QCOMPARE(hint->windowTitle(), QString("ヒント        "));
    QCOMPARE(hint->ui->lblFormName->text() + "|" + hint->ui->lblCtlName->text(), QString("FrmQuoteDesk|cmdHint"));
    QCOMPARE(hint->ui->lblFormTitle->text(), w->windowTitle());
    auto *text = hint->ui->txtContents;
    QVERIFY(text->toPlainText().isEmpty());
    QVERIFY(text->isReadOnly());
    QCOMPARE(hint->editColour(), Hint::kViewing);
    hint->ui->cmd編集->click();
    QVERIFY(!text->isReadOnly());
    QCOMPARE(hint->editColour(), Hint::kEditing);
    typeText(text, "見積は月末までに");

    Answers answers;
    answers.answer({false});
    hint->ui->cmd登録->click(); // No: nothing stored, no notice
    QCOMPARE(answers.shown.size(), 1);
    hint->ui->cmd登録->click();
    text->setPlainText("二回目");
    hint->ui->cmd登録->click();
    QCOMPARE(answers.shown.last().text, QString("ヒント を登録しました。"));
    Db work("hints");
    QVERIFY(work.open(data.work()));
    DbRows rows;
    QVERIFY(work.select("SELECT Contents, FormTitle FROM ClHint", {}, rows));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), QString("二回目"));

    // Blanking stores nothing: the next opening shows the stored text, viewing again.
    hint->ui->cmdクリア->click();
    hint->ui->cmd閉じる->click();
    QTRY_VERIFY(!w->hintWindow());
    w.find<QAbstractButton>("cmdHint")->click();
    hint = w->hintWindow();
    QCOMPARE(hint->ui->txtContents->toPlainText(), QString("二回目"));
    QCOMPARE(hint->editColour(), Hint::kViewing);

    hint->ui->cmd削除->click();
    QCOMPARE(answers.shown.last().text, QString("データ ヒント を削除しました。"));
    QVERIFY(hint->ui->txtContents->toPlainText().isEmpty());
    QVERIFY(work.select("SELECT Contents FROM ClHint", {}, rows));
    QCOMPARE(rows.size(), 0);
}

void UpkeepTest::hintButtonOnlyRaisesOpenWindow()
{
    TempData data;
    Window w(data.folder());
    w.find<QAbstractButton>("cmdHint")->click();
    Hint *first = w->hintWindow();
    first->ui->txtContents->setPlainText("未登録のメモ");
    w.find<QAbstractButton>("cmdHint")->click();
    QCOMPARE(w->hintWindow(), first);
    QCOMPARE(first->ui->txtContents->toPlainText(), QString("未登録のメモ"));
}

void UpkeepTest::hintFailedStoreShowsNoNotice()
{
    TempData data;
    {
        Db work("refuse");
        QVERIFY(work.open(data.work()));
        QVERIFY(work.exec("INSERT INTO ClHint VALUES ('FrmQuoteDesk', 'cmdHint', 't', '前のメモ')"));
        QVERIFY(work.exec("CREATE TRIGGER refuse BEFORE INSERT ON ClHint BEGIN SELECT RAISE(ABORT, 'hint refused'); END"));
    }
    Window w(data.folder());
    w.find<QAbstractButton>("cmdHint")->click();
    Answers answers;
    w->hintWindow()->ui->cmd登録->click();
    QCOMPARE(answers.shown.size(), 2);
    QCOMPARE(answers.shown[1].key, QString("注意"));
    QVERIFY(answers.shown[1].text.contains("hint refused"));
    Db work("check");
    QVERIFY(work.open(data.work()));
    QVariant kept;
    QVERIFY(work.scalar("SELECT Contents FROM ClHint", {}, kept));
    QCOMPARE(kept.toString(), QString("前のメモ")); // the delete went back with the failed insert
}

QTEST_MAIN(UpkeepTest)
#include "test_upkeep.moc"
