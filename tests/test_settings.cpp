// The settings tab: own company, tax mode and line colour stored, read back and reset.

#include "TestSupport.h"
#include "ui/Boxes.h"
#include "masters/SetupDialog.h"
#include <QLabel>

#include <QAbstractButton>
#include <QComboBox>
#include <QPlainTextEdit>

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void settingsRoundTripAndStartOrder();
    void settingsClearReadAndNullColour();
    void settingsDeleteResetsButKeepsCounter();
    void taxModeBoxIgnoresTyping();
    void settingsWriteFailureIsReported();
    void newOfficeIsOfferedTodaysRules();

private:
    static QString box(Window &w, const char *name) { return w.find<NumberBox>(name)->text(); }
};

void SettingsTest::settingsRoundTripAndStartOrder()
{
    TempData data;
    {
        Window w(data.folder());
        QCOMPARE(w->context().taxMode, QString("外税")); // no row yet
        QVERIFY(w->context().companyName.isEmpty());
        auto *name = w.find<QLineEdit>("txt自社名");
        typeText(name, "株式会社テスト");
        typeText(w.find<QPlainTextEdit>("txt自社情報"), "東京都千代田区1-1\nTEL 03-0000-0000");
        w.find<IntegerBox>("num白紙罫線色")->setValue(255);
        auto *combo = w.find<QComboBox>("cmb税区分");
        combo->setCurrentIndex(combo->findText("内税"));

        Answers no;
        no.answer({false});
        w.find<QAbstractButton>("cmd設定登録")->click();
        QCOMPARE(no.shown.size(), 1);
        QCOMPARE(no.shown[0].text, QString("設定 を登録します。よろしいですか"));
        QCOMPARE(w->context().taxMode, QString("外税")); // No stores nothing
        Db perm("peek");
        QVERIFY(data.openPerm(perm));
        QVariant rows;
        QVERIFY(perm.scalar("SELECT count(*) FROM 自社情報", {}, rows));
        QCOMPARE(rows.toInt(), 0);

        // A No keeps what was typed on the tab.
        QCOMPARE(combo->currentText(), QString("内税"));
        QCOMPARE(name->text(), QString("株式会社テスト"));
        Answers yes;
        w.find<QAbstractButton>("cmd設定登録")->click();
        QCOMPARE(w->context().taxMode, QString("内税"));
        QCOMPARE(w->context().companyName, QString("株式会社テスト"));
        // The estimate tab shows the new name only at the next new estimate.
        QCOMPARE(w.find<QLabel>("lbl自社名")->text(), QString());
        w.find<QAbstractButton>("cmdクリア")->click();
        QCOMPARE(w.find<QLabel>("lbl自社名")->text(), QString("株式会社テスト"));
    }
    Window again(data.folder());
    QCOMPARE(again.find<QLineEdit>("txt自社名")->text(), QString("株式会社テスト"));
    QCOMPARE(again.find<QPlainTextEdit>("txt自社情報")->toPlainText(), QString("東京都千代田区1-1\nTEL 03-0000-0000"));
    QCOMPARE(again.find<IntegerBox>("num白紙罫線色")->value(), 255);
    QCOMPARE(again.find<ColourSwatch>("Pic罫線色")->colourValue(), 255);
    QCOMPARE(again.find<QLabel>("lbl自社名")->text(), QString("株式会社テスト"));
    QCOMPARE(again.find<QLabel>("lbl自社情報")->text(), QString("東京都千代田区1-1\nTEL 03-0000-0000"));
    // The box shows the stored mode after start, so storing the tab again keeps it.
    auto *combo = again.find<QComboBox>("cmb税区分");
    QCOMPARE(combo->currentText(), QString("内税"));
    QCOMPARE(combo->itemText(0), QString("内税"));
    QCOMPARE(again->context().taxMode, QString("内税"));
    typeCell(again.find<DataGrid>("Grid明細"), 0, 5, "1050");
    QCOMPARE(box(again, "num消費税"), QString("50"));
    QCOMPARE(box(again, "num合計"), QString("1,050"));
}

void SettingsTest::settingsClearReadAndNullColour()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (自社名, 税区分, LineColor1) VALUES ('甲社', '非課税', NULL)"));
    Window w(data.folder());
    auto *number = w.find<IntegerBox>("num白紙罫線色");
    auto *swatch = w.find<ColourSwatch>("Pic罫線色");
    QCOMPARE(number->value(), 0); // Null colour reads as 0, black
    QCOMPARE(swatch->colourValue(), 0);

    number->setValue(4242);
    swatch->setColourValue(4242);
    w.find<QAbstractButton>("cmd設定読込")->click(); // brings back what is stored
    QCOMPARE(number->value(), 0);
    QCOMPARE(w.find<QComboBox>("cmb税区分")->currentText(), QString("非課税"));

    w.find<QLineEdit>("txt自社名")->setText("乙社");
    w.find<QAbstractButton>("cmd設定クリア")->click();
    auto *combo = w.find<QComboBox>("cmb税区分");
    QCOMPARE(combo->currentText(), QString("外税"));
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QString("外税"));
    QCOMPARE(number->value(), 1);
    QCOMPARE(swatch->colourValue(), 0);
    QCOMPARE(w.find<QLineEdit>("txt自社名")->text(), QString("乙社")); // kept
    QCOMPARE(w->context().taxMode, QString("非課税"));                 // nothing read

    Answers yes;
    w.find<QAbstractButton>("cmd設定登録")->click();
    Db perm("check");
    QVERIFY(data.openPerm(perm));
    DbRows rows;
    QVERIFY(perm.select("SELECT LineColor1, 自社名, 税区分 FROM 自社情報", {}, rows));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toInt(), 1);
    QCOMPARE(rows[0][1].toString(), QString("乙社"));
    QCOMPARE(rows[0][2].toString(), QString("外税"));
}

void SettingsTest::settingsDeleteResetsButKeepsCounter()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (自社名, 自社情報, 税区分, LineColor1, 最大見積書番号) VALUES ('甲社', '住所', '内税', 255, 7)"));
    Window w(data.folder());
    Answers answers;
    answers.answer({false});
    w.find<QAbstractButton>("cmd設定削除")->click();
    QCOMPARE(answers.shown.last().category + answers.shown.last().key, QString("削除データ確認"));
    QCOMPARE(answers.shown.last().text, QString("データ 設定 を削除します。よろしいですか"));
    QCOMPARE(w->context().taxMode, QString("内税"));

    w.find<QAbstractButton>("cmd設定削除")->click(); // Yes
    QCOMPARE(w->context().taxMode, QString("外税"));
    QVERIFY(w->context().companyName.isEmpty());
    QVERIFY(w.find<QLineEdit>("txt自社名")->text().isEmpty());
    QCOMPARE(w.find<IntegerBox>("num白紙罫線色")->value(), 0);
    Db perm("check");
    QVERIFY(data.openPerm(perm));
    DbRows rows;
    QVERIFY(perm.select("SELECT 自社名, 自社情報, 税区分, LineColor1, 最大見積書番号 FROM 自社情報", {}, rows));
    QCOMPARE(rows.size(), 1);
    for (int i = 0; i < 4; ++i)
        QVERIFY(rows[0][i].isNull());
    QCOMPARE(rows[0][4].toInt(), 7);
    w.find<QAbstractButton>("cmdクリア")->click();
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("8"));
}

void SettingsTest::taxModeBoxIgnoresTyping()
{
    TempData data;
    Window w(data.folder());
    auto *combo = w.find<QComboBox>("cmb税区分");
    const QString before = combo->currentText();
    QTest::keyClicks(combo, "n");
    typeText(combo, "非"); // an input method's commit would pick 非課税
    QTest::keyClick(combo, Qt::Key_Delete);
    QTest::keyClick(combo, Qt::Key_Space);
    QCOMPARE(combo->currentText(), before);
    QVERIFY(!combo->isEditable());
}

void SettingsTest::settingsWriteFailureIsReported()
{
    TempData data;
    QVERIFY(refuseWrites(data, "自社情報", "INSERT", "disk refused"));
    Window w(data.folder());
    Answers answers;
    w.find<QAbstractButton>("cmd設定登録")->click();
    QVERIFY(answers.sawKey("その他", "注意"));
    QVERIFY(answers.shown.last().text.contains("disk refused"));
}

// A folder nobody set up: the first start offers the company and today's rules; skipped, the
// first rules stay and the start does not ask again.
void SettingsTest::newOfficeIsOfferedTodaysRules()
{
    TempData filled, skipped;
    int offered = 0;
    const SetupRunner previous = setSetupRunner([&](SetupDialog &d) {
        ++offered;
        if (offered > 1)
            return int(QDialog::Rejected);
        d.nameBox()->setText("有限会社見積工房");
        d.numberBox()->setText("T8000012050002"); // a check digit off by one
        const QString warned = d.numberCheck()->text();
        d.numberBox()->setText("Ｔ７０００ ０１２０５０００２"); // as an input method may give it
        if (warned.isEmpty() || !d.numberCheck()->text().startsWith("正しい"))
            return int(QDialog::Rejected);
        return int(QDialog::Accepted);
    });
    auto start = [](TempData &data) {
        auto w = std::make_unique<Window>(data.folder());
        (*w)->offerSetupWhenShown();
        (*w)->show();
        QTest::qWait(20);
        return w;
    };
    {
        auto w = start(filled);
        QCOMPARE(offered, 1);
        QCOMPARE(permRows(filled, "SELECT 自社名 FROM 自社情報")[0][0].toString(), QString("有限会社見積工房"));
        QCOMPARE(w->find<QLabel>("lbl自社名")->text(), QString("有限会社見積工房"));
        QCOMPARE((*w)->context().taxRate, 10);
        QCOMPARE((*w)->context().registrationNumber, QString("T7000012050002"));
        auto *grid = w->find<DataGrid>("Grid明細");
        typeCell(grid, 0, 1, "ペン");
        typeCell(grid, 0, 5, "1009");
        QCOMPARE(box(*w, "num消費税"), QString("100")); // 10 %, rounded down
        // The settings tab says when the rates look like a leftover.
        auto *rate = w->find<QComboBox>("cmb税率");
        auto *warning = w->find<QLabel>("lbl税率注意");
        QVERIFY(warning->text().isEmpty());
        rate->setCurrentText("5%");
        QVERIFY(warning->text().contains("2014"));
        rate->setCurrentText("8%");
        QVERIFY(warning->text().contains("軽減税率"));
    }
    start(filled); // set up already: not offered again
    QCOMPARE(offered, 1);
    {
        auto w = start(skipped);
        QCOMPARE(offered, 2);
        QCOMPARE((*w)->context().taxRate, 5); // the first rules, as before
    }
    start(skipped);
    QCOMPARE(offered, 2);
    setSetupRunner(previous);
}

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
