// Today's consumption tax through the window: rates, reduced-rate lines, rounding once per
// rate, the registration number, the honorific; and an upgraded file keeps the 5 % figures.

#include "TestSupport.h"
#include "estimate/EstimateTab.h"
#include "masters/SettingsStore.h"
#include "print/EstimateSheet.h"
#include "ui/WorkTableModel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProcess>

struct TaxLine {
    const char *name;
    const char *price;
    const char *qty;
    bool reduced;
};

class TaxTest : public QObject {
    Q_OBJECT
private slots:
    void perRateTotals_data();
    void perRateTotals();
    void upgradedFileKeepsTheSpecifiedFigures();
    void storedEstimateKeepsItsRules();
    void todaysRulesAddUp();
    void registrationNumberAndSheet();

private:
    static void setRules(Window &w, const QString &mode, const QString &rate, const QString &rounding);
    static void enter(Window &w, const QList<TaxLine> &lines);
    static QString box(Window &w, const char *name) { return w.find<QLineEdit>(name)->text(); }
};

void TaxTest::setRules(Window &w, const QString &mode, const QString &rate, const QString &rounding)
{
    for (const auto &[name, text] : {std::pair{"cmb税区分", mode}, {"cmb税率", rate}, {"cmb端数処理", rounding}}) {
        auto *c = w.find<QComboBox>(name);
        c->setCurrentIndex(c->findText(text));
    }
    Answers yes;
    w.find<QAbstractButton>("cmd設定登録")->click();
}

void TaxTest::enter(Window &w, const QList<TaxLine> &lines)
{
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    for (int r = 0; r < lines.size(); ++r) {
        typeCell(grid, r, Col品名, lines[r].name);
        typeCell(grid, r, Col数量, lines[r].qty);
        typeCell(grid, r, Col単価, lines[r].price);
        if (lines[r].reduced)
            m->setData(m->index(r, Col軽減), Qt::Checked, Qt::CheckStateRole);
    }
}

using Lines = QList<TaxLine>;
Q_DECLARE_METATYPE(Lines)

void TaxTest::perRateTotals_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("rounding");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QString>("rates"); // the per-rate lines as the tab shows them
    QTest::addColumn<QString>("grand");
    const Lines goods{{"ワイン", "800", "10", false}, {"牛肉", "2500", "20", true}, {"トマト", "50", "40", true}};
    const QString goodsRates = "10%対象 8,000 消費税 800\n8%対象※ 52,000 消費税 4,160";
    QTest::newRow("外税 10% and 8%") << "外税" << "四捨五入" << goods << goodsRates << "64,960";
    const Lines inside{{"ワイン", "880", "10", false}, {"牛肉", "2700", "20", true}, {"トマト", "54", "40", true}};
    QTest::newRow("内税 10% and 8%") << "内税" << "四捨五入" << inside
                                   << "10%対象 8,800 消費税 800\n8%対象※ 56,160 消費税 4,160" << "64,960";
    const Lines mixed{{"a", "398", "3", false}, {"b", "105", "7", false}, {"c", "12345", "1", false},
                      {"d", "138", "5", true},  {"e", "215", "3", true},  {"f", "163", "4", true}};
    QTest::newRow("切捨て once per rate") << "外税" << "切捨て" << mixed
                                      << "10%対象 14,274 消費税 1,427\n8%対象※ 1,987 消費税 158" << "17,846";
    QTest::newRow("四捨五入 once per rate") << "外税" << "四捨五入" << mixed
                                        << "10%対象 14,274 消費税 1,427\n8%対象※ 1,987 消費税 159" << "17,847";
    QTest::newRow("切上げ once per rate") << "外税" << "切上げ" << mixed
                                      << "10%対象 14,274 消費税 1,428\n8%対象※ 1,987 消費税 159" << "17,848";
    QTest::newRow("内税 one line: tax first") << "内税" << "四捨五入" << Lines{{"x", "6000", "1", false}} << ""
                                           << "6,000";
    const Lines two{{"p", "6000", "1", false}, {"q", "5000", "1", false}, {"r", "1000", "1", true},
                    {"s", "298", "2", true}};
    QTest::newRow("内税 切捨て") << "内税" << "切捨て" << two
                             << "10%対象 11,000 消費税 1,000\n8%対象※ 1,596 消費税 118" << "12,596";
    QTest::newRow("内税 切上げ") << "内税" << "切上げ" << two
                             << "10%対象 11,000 消費税 1,000\n8%対象※ 1,596 消費税 119" << "12,596";
}

void TaxTest::perRateTotals()
{
    QFETCH(QString, mode);
    QFETCH(QString, rounding);
    QFETCH(Lines, lines);
    QFETCH(QString, rates);
    QFETCH(QString, grand);
    TempData data;
    Window w(data.folder());
    setRules(w, mode, "10%", rounding);
    enter(w, lines);
    QCOMPARE(box(w, "num合計"), grand);
    QCOMPARE(w.find<QLabel>("lbl税率別")->text(), rates);
    if (lines.size() == 1) { // 6,000 taxed inside: 545 and 5,455, not 546 and 6,001
        QCOMPARE(box(w, "num消費税"), QString("545"));
        QCOMPARE(box(w, "num税抜計"), QString("5,455"));
    }
}

void TaxTest::upgradedFileKeepsTheSpecifiedFigures()
{
    TempData data;
    { // the file as the previous version wrote it
        Db perm("old-perm"), work("old-work");
        QVERIFY(data.openPerm(perm));
        QVERIFY(work.open(data.work()));
        for (const QString &sql : withoutLaterKinds(schema::FileKind::Permanent))
            QVERIFY2(perm.exec(sql), qPrintable(sql));
        for (const QString &sql : withoutLaterKinds(schema::FileKind::Work))
            QVERIFY2(work.exec(sql), qPrintable(sql));
        const std::pair<const char *, const char *> added[] = {
            {"自社情報", "税率"},   {"自社情報", "端数処理"}, {"自社情報", "登録番号"},   {"商品マスタ", "軽減"},
            {"顧客マスタ", "敬称"}, {"見積書", "軽減"},     {"見積書ヘッダ", "敬称"},   {"見積書ヘッダ", "税区分"},
            {"見積書ヘッダ", "税率"}, {"見積書ヘッダ", "端数処理"}, {"自社情報", "見積番号印刷"}, {"自社情報", "社印"},
            {"自社情報", "控え保持数"}};
        for (const auto &[table, column] : added)
            QVERIFY(perm.exec(QString("ALTER TABLE %1 DROP COLUMN %2").arg(table, column)));
        for (const char *table : {"w明細", "w商品マスタ", "w商品参照"})
            QVERIFY(work.exec(QString("ALTER TABLE %1 DROP COLUMN 軽減").arg(table)));
        QVERIFY(perm.exec("DROP TABLE 見積書索引"));
        for (const char *table : {"発行版", "発行記録", "発行取引先", "変更番号"})
            QVERIFY(perm.exec(QString("DROP TABLE %1").arg(table)));
        for (const char *table : {"顧客マスタ", "商品マスタ"})
            for (const char *event : {"INSERT", "UPDATE", "DELETE"})
                QVERIFY(perm.exec(QString("DROP TRIGGER %1_%2_変更").arg(table, event)));
        QVERIFY(perm.exec("PRAGMA user_version = 101"));
        QVERIFY(work.exec("PRAGMA user_version = 201"));
    }
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    QCOMPARE(permInt(data, "PRAGMA user_version"), qlonglong(schema::kPermVersion));
    auto *grid = w.find<DataGrid>("Grid明細");
    typeCell(grid, 0, Col品名, "A");
    typeCell(grid, 0, Col数量, "3");
    typeCell(grid, 0, Col単価, "700");
    typeCell(grid, 1, Col品名, "B");
    typeCell(grid, 1, Col金額, "1000");
    grid->dataControl()->setData(grid->dataControl()->index(1, Col非課税), Qt::Checked, Qt::CheckStateRole);
    const struct { const char *mode, *net, *tax, *grand; } figures[] = {
        {"外税", "3,100", "105", "3,205"}, {"内税", "2,000", "100", "3,100"}, {"非課税", "3,100", "", "3,100"}};
    for (const auto &f : figures) {
        auto *c = w.find<QComboBox>("cmb税区分");
        c->setCurrentIndex(c->findText(f.mode));
        Answers yes;
        w.find<QAbstractButton>("cmd設定登録")->click();
        QCOMPARE(box(w, "num税抜計") + "|" + box(w, "num消費税") + "|" + box(w, "num合計"),
                 QString("%1|%2|%3").arg(f.net, f.tax, f.grand));
        QVERIFY(w.find<QLabel>("lbl税率別")->text().isEmpty());
    }
}

void TaxTest::storedEstimateKeepsItsRules()
{
    TempData data;
    Window w(data.folder());
    setRules(w, "外税", "10%", "切上げ");
    w.find<QComboBox>("cmb顧客名")->setEditText("甲社");
    w.find<QComboBox>("cmb敬称")->setCurrentIndex(1); // 御中
    enter(w, {{"a", "105", "1", false}});
    QCOMPARE(box(w, "num消費税"), QString("11")); // 10.5 up
    Answers yes;
    w.find<QAbstractButton>("cmd登録")->click();
    setRules(w, "外税", "5%", "切捨て");
    auto *no = w.find<QLineEdit>("txtNo");
    no->setText("1");
    w->estimateTab()->Read見積書();
    QCOMPARE(box(w, "num消費税"), QString("11"));
    QCOMPARE(w.find<QComboBox>("cmb敬称")->currentText(), QString("御中"));
    QCOMPARE(permRows(data, "SELECT 敬称 FROM 顧客マスタ")[0][0].toString(), QString("御中"));
    // A number with nothing stored under it is a new estimate: the settings' rules, not No.1's.
    no->setText("9");
    w->estimateTab()->Read見積書();
    enter(w, {{"a", "105", "1", false}});
    QCOMPARE(box(w, "num消費税"), QString("5"));
    w.find<QAbstractButton>("cmdクリア")->click(); // a new estimate takes the settings
    enter(w, {{"a", "105", "1", false}});
    QCOMPARE(box(w, "num消費税"), QString("5"));
}

void TaxTest::todaysRulesAddUp()
{
    TempData data;
    Window w(data.folder());
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    // Under the first rules: the amount rounds up, and 内税 leaves the exempt line out of 税抜計.
    setRules(w, "内税", "5%", "四捨五入");
    enter(w, {{"a", "1037", "1.25", false}, {"b", "10000", "1", false}});
    m->setData(m->index(1, Col非課税), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(m->value(0, Col金額).value<Money>(), Money::fromYen(1297));
    QCOMPARE(box(w, "num税抜計") + "|" + box(w, "num消費税") + "|" + box(w, "num合計"), QString("1,235|62|11,297"));
    Answers yes;
    w.find<QAbstractButton>("cmd登録")->click();

    // Today's rules: the line follows the rounding (also on a screen typed before the change),
    // and 税抜計 + 消費税 = 合計.
    setRules(w, "内税", "10%", "切捨て");
    enter(w, {{"a", "1037", "1.25", false}, {"b", "10000", "1", false}});
    m->setData(m->index(1, Col非課税), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(m->value(0, Col金額).value<Money>(), Money::fromYen(1296));
    QCOMPARE(box(w, "num税抜計") + "|" + box(w, "num消費税") + "|" + box(w, "num合計"), QString("11,179|117|11,296"));
    setRules(w, "外税", "10%", "切上げ");
    QCOMPARE(m->value(0, Col金額).value<Money>(), Money::fromYen(1297));
    QCOMPARE(box(w, "num税抜計") + "|" + box(w, "num消費税") + "|" + box(w, "num合計"), QString("11,297|130|11,427"));
    // One rate on the tab, one on the sheet, and the sheet's lines add up to its totals box.
    PrintRecord r;
    QVERIFY(w->printRecord(r));
    QCOMPARE(r.rates.size(), 1);
    QCOMPARE(r.rates[0].base + r.rates[0].tax + *r.exempt, *r.grand);
    QCOMPARE(sheetSummary(r), (QStringList{"10%対象 ¥1,297 消費税 ¥130", "非課税 ¥10,000"}));

    // The estimate stored under the first rules shows its own figures again.
    w->estimateTab()->clearRequested();
    w.find<QLineEdit>("txtNo")->setText("1");
    w->estimateTab()->Read見積書();
    QCOMPARE(box(w, "num税抜計") + "|" + box(w, "num合計"), QString("1,235|11,297"));
    QCOMPARE(permInt(data, "SELECT 税抜計 FROM 見積書ヘッダ WHERE 伝票番号 = 1"), Money::fromYen(1235).raw());
}

void TaxTest::registrationNumberAndSheet()
{
    QVERIFY(isValidRegistrationNumber("T7000012050002"));
    QVERIFY(!isValidRegistrationNumber("T8000012050002"));
    QVERIFY(!isValidRegistrationNumber("T700001205000"));

    PrintRecord r;
    r.customerName = "乙社";
    r.companyName = "自社";
    r.lines << PrintLine{"ワイン", 1.0, "本", Money::fromYen(800), Money::fromYen(800), false};
    QTemporaryDir dir;
    auto text = [&](const PrintRecord &record) {
        const QString pdf = dir.filePath("sheet.pdf");
        if (!rpt見積書(record).writePdf(pdf))
            qFatal("no PDF");
        QProcess p;
        p.start("pdftotext", {"-layout", pdf, "-"});
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    const QString plain = text(r);
    for (const char *absent : {"登録番号", "※"})
        QVERIFY2(!plain.contains(absent), absent);
    QVERIFY(plain.contains("5%対象")); // the rate shows even where nothing is taxed yet
    r.registrationNumber = "T7000012050002";
    r.honorific = "御中";
    r.lines << PrintLine{"牛肉", 1.0, "kg", Money::fromYen(2500), Money::fromYen(2500), true};
    r.rates << PrintRate{10, false, Money::fromYen(800), Money::fromYen(80)}
            << PrintRate{8, true, Money::fromYen(2500), Money::fromYen(200)};
    const QString marked = text(r);
    for (const char *present : {"登録番号 T7000012050002", "※は軽減税率対象", "10%対象", "8%対象※", "御中"})
        QVERIFY2(marked.contains(present), present);
    QVERIFY(marked.contains(QRegularExpression("牛肉 +※")));
}

QTEST_MAIN(TaxTest)
#include "test_tax.moc"
