// Finding and reusing estimates: the list and its search, opening and copying from it, and
// CSV out and in for estimates and masters.

#include "TestSupport.h"
#include "masters/CustomerTab.h"
#include "estimate/EstimateListDialog.h"
#include "estimate/EstimateTab.h"
#include "ui/WorkTableModel.h"
#include "masters/MasterStore.h"
#include "ui/Boxes.h"
#include "ui/DateField.h"
#include "ui/FileChooser.h"
#include "ui_EstimateListDialog.h"

#include <QAbstractButton>
#include <QCalendarWidget>
#include <QStringEncoder>
#include <QTableWidget>

class ListTest : public QObject {
    Q_OBJECT
private slots:
    void searchMatchesLiterally_data();
    void searchMatchesLiterally();
    void searchFoldsWidthAndCase();
    void openAndCopyFromTheList();
    void estimatesAsCsv();
    void customerCsvRoundTrip();
    void csvInShiftJisAndMalformed();
    void dateBoxesTakeTyping();

private:
    static void seed(Window &w);
    static QList<int> shown(EstimateListDialog &d);
    static QString answerFile(const QString &path);
};

void ListTest::seed(Window &w)
{
    struct S {
        int number;
        const char *date, *customer, *subject;
        QStringList items;
    };
    const S estimates[] = {{1, "2025-04-01", "株式会社山田商店", "棚の設置", {"ステンレスボルト", "ナット"}},
                           {2, "2026-01-10", "田中工務店", "100%_完了", {"部材"}},
                           {3, "2026-12-01", "O\"Quote, Ltd", "見積", {"特殊ボルトM8"}}};
    for (const S &s : estimates) {
        Estimate e;
        e.number = s.number;
        e.date = QDate::fromString(s.date, Qt::ISODate);
        e.customerName = s.customer;
        e.subject = s.subject;
        for (const QString &item : s.items)
            e.lines << EstimateLine{item, 1.0, QVariant(), Money::fromYen(1000), Money::fromYen(1000)};
        e.grand = Money::fromYen(1000 * s.items.size());
        QVERIFY(w->estimateTab()->store().save(e));
    }
}

QList<int> ListTest::shown(EstimateListDialog &d)
{
    QList<int> numbers;
    for (int r = 0; r < d.ui->Grid一覧->rowCount(); ++r)
        numbers << d.ui->Grid一覧->item(r, 0)->text().toInt();
    return numbers;
}

void ListTest::searchMatchesLiterally_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("everything, newest first") << "" << "" << "" << QList<int>{3, 2, 1};
    QTest::newRow("two characters of a customer") << "山田" << "" << "" << QList<int>{1};
    QTest::newRow("part of item names") << "ボルト" << "" << "" << QList<int>{3, 1};
    QTest::newRow("a subject") << "設置" << "" << "" << QList<int>{1};
    QTest::newRow("% and _ are characters") << "%_" << "" << "" << QList<int>{2};
    QTest::newRow("a single _") << "_" << "" << "" << QList<int>{2};
    QTest::newRow("one character at the very end") << "8" << "" << "" << QList<int>{3};
    QTest::newRow("two characters found nowhere") << "無い" << "" << "" << QList<int>{};
    QTest::newRow("two characters in another case") << "lT" << "" << "" << QList<int>{3};
    QTest::newRow("quote and comma") << "\"Quote," << "" << "" << QList<int>{3};
    QTest::newRow("no match") << "存在しない" << "" << "" << QList<int>{};
    QTest::newRow("date range") << "" << "2026-01-01" << "2026-06-30" << QList<int>{2};
    QTest::newRow("open end") << "ボルト" << "2026-01-01" << "" << QList<int>{3};
}

void ListTest::searchMatchesLiterally()
{
    QFETCH(QString, text);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QList<int>, expected);
    TempData data;
    Window w(data.folder());
    seed(w);
    EstimateListDialog list(w->context().main);
    if (!from.isEmpty())
        list.ui->dt開始->setDate(QDate::fromString(from, Qt::ISODate));
    if (!to.isEmpty())
        list.ui->dt終了->setDate(QDate::fromString(to, Qt::ISODate));
    typeText(list.ui->txt検索, text);
    QCOMPARE(shown(list), expected);
    // Enter in the search box opens the first row shown, never the CSV file dialog.
    setFileChooser([](QWidget *, FileDialog, const QString &, const QString &) -> QString { qFatal("file dialog"); });
    QTest::keyClick(list.ui->txt検索, Qt::Key_Return);
    QCOMPARE(list.choice(), expected.isEmpty() ? EstimateListDialog::None : EstimateListDialog::Open);
}

// Width, kana forms and case are folded on both sides; an index written before that is folded
// by the upgrade, and one made anew holds each estimate's own names only.
void ListTest::searchFoldsWidthAndCase()
{
    TempData data;
    {
        Window w(data.folder());
        for (const auto &[number, item] : {std::pair{1, "ﾉｰﾄﾊﾟｿｺﾝ"}, {2, "USBケーブル"}, {3, "ナット"}}) {
            Estimate e;
            e.number = number;
            e.customerName = "甲社";
            e.lines << EstimateLine{item, 1.0, QVariant(), Money::fromYen(10), Money::fromYen(10)};
            QVERIFY(w->estimateTab()->store().save(e));
        }
    }
    const bool server = onTestServer();
    const QString key = server ? "伝票番号" : "rowid";
    // Estimate 2 as an older version indexed it: unfolded.
    QVERIFY(seedPerm(data, QString("UPDATE 見積書索引 SET 本文 = ? WHERE %1 = 2").arg(key), {"甲社\n\nＵＳＢケーブル\n\n"}));
    if (!server)
        for (const QString &sql : withoutLaterKinds(schema::FileKind::Permanent))
            QVERIFY2(seedPerm(data, sql), qPrintable(sql));
    QVERIFY(seedPerm(data, server ? "UPDATE quotedesk_schema SET version = 302" : "PRAGMA user_version = 107"));
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    auto search = [&](const QString &text) {
        EstimateListDialog list(w->context().main);
        typeText(list.ui->txt検索, text);
        return shown(list);
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const char *usb : {"usb", "ＵＳＢ", "ｕｓｂケ", "Us"})
            QCOMPARE(search(usb), QList<int>{2});
        for (const char *note : {"ノート", "ﾉｰﾄ", "ﾊﾟ", "パソ"})
            QCOMPARE(search(note), QList<int>{1});
        QCOMPARE(search("ﾅｯﾄ"), QList<int>{3});
        QVERIFY(engineOf(w->context().main).rebuildSearchIndex(w->context().main));
    }
}

void ListTest::openAndCopyFromTheList()
{
    TempData data;
    Window w(data.folder());
    seed(w);
    QVERIFY(seedPerm(data, "UPDATE 自社情報 SET 最大見積書番号 = 3"));
    auto previous = setListRunner([](EstimateListDialog &d) {
        d.ui->Grid一覧->setCurrentCell(2, 0); // estimate 1
        QTest::keyClick(d.ui->Grid一覧, Qt::Key_Return);
    });
    w.find<QAbstractButton>("cmd一覧")->click();
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("1"));
    QCOMPARE(w.find<QComboBox>("cmb顧客名")->currentText(), QString("株式会社山田商店"));
    QVERIFY(!w->estimateTab()->hasUnstoredChanges());

    // A copy: the next number, today, the same customer and lines; nothing stored.
    w.find<QAbstractButton>("cmd複写")->click();
    setListRunner(previous);
    QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString("4"));
    QCOMPARE(w.find<DateBox>("dt日付")->date(), QDate::currentDate());
    QCOMPARE(w.find<QComboBox>("cmb顧客名")->currentText(), QString("株式会社山田商店"));
    QCOMPARE(w.find<DataGrid>("Grid明細")->dataControl()->value(1, Col品名).toString(), QString("ナット"));
    QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書ヘッダ"), 3);
    QVERIFY(w->estimateTab()->hasUnstoredChanges());
    Answers yes;
    w.find<QAbstractButton>("cmd登録")->click();
    QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書 WHERE 伝票番号 = 4"), 2);
    QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書 WHERE 伝票番号 = 1"), 2); // the original as it was
    QCOMPARE(permRows(data, "SELECT 日付 FROM 見積書ヘッダ WHERE 伝票番号 = 1")[0][0].toString(), QString("2025/04/01"));
}

QString ListTest::answerFile(const QString &path)
{
    setFileChooser([path](QWidget *, FileDialog, const QString &, const QString &) { return path; });
    return path;
}

void ListTest::estimatesAsCsv()
{
    TempData data;
    Window w(data.folder());
    seed(w);
    EstimateListDialog list(w->context().main);
    const QString path = answerFile(data.dir.filePath("list.csv"));
    Answers answers;
    list.ui->cmdCSV出力->click();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], QString("3,2026/12/01,\"O\"\"Quote, Ltd\",見積,,,1000"));
    list.ui->chk明細->setChecked(true);
    list.ui->cmdCSV出力->click();
    QFile again(path); // written anew beside the old one and put in its place
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(again.readAll()).count("\r\n"), 5); // the header and four lines
}

void ListTest::customerCsvRoundTrip()
{
    const QStringList names{"株式会社,カンマ", "引用\"符\"商店", "改行\n商店", "絵文字🍣商店"};
    TempData data;
    QString path;
    {
        Window w(data.folder());
        for (const QString &n : names)
            QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES (?, ?)", {n, n + "の住所\n2行目"}));
        path = answerFile(data.dir.filePath("customers.csv"));
        Answers answers;
        w.find<QAbstractButton>("cmd顧客CSV出力")->click();
        QVERIFY(answers.shown.last().text.startsWith("4 件"));
    }
    TempData other;
    Window w(other.folder());
    answerFile(path);
    Answers answers;
    w.find<QAbstractButton>("cmd顧客CSV読込")->click();
    QCOMPARE(answers.shown.size(), 1); // the report names what was read, and how
    QVERIFY(answers.shown[0].text.contains("UTF-8") && answers.shown[0].text.contains("4 件"));
    auto *m = w.find<DataGrid>("Grid顧客マスタ")->dataControl();
    QStringList read;
    for (int r = 0; r < m->dataRowCount(); ++r) {
        QCOMPARE(m->value(r, 2).toString(), m->value(r, 1).toString() + "の住所\n2行目");
        read << m->value(r, 1).toString();
    }
    QStringList sorted = names;
    sorted.sort();
    read.sort();
    QCOMPARE(read, sorted);
    QCOMPARE(permInt(other, "SELECT count(*) FROM 顧客マスタ"), 0); // nothing stored before 登録
    w.find<QAbstractButton>("cmd顧客登録")->click();
    QCOMPARE(permInt(other, "SELECT count(*) FROM 顧客マスタ"), 4);

    // Read again, stopped halfway: the grid keeps what it had, nothing half read.
    MasterStore store(w->context(), customerMaster());
    typeCell(w.find<DataGrid>("Grid顧客マスタ"), 0, 2, "手で直した住所");
    QVERIFY(m->commitAll());
    const QString before = m->value(0, 2).toString();
    CsvImport result;
    int asked = 0;
    const DbResult stopped = store.importCsv(path, result, [&](int, int total) { return total == 4 && ++asked < 1; });
    QCOMPARE(stopped.code, sqlitecode::Cancelled);
    QCOMPARE(result.added + result.merged, 0);
    m->refresh();
    QCOMPARE(m->dataRowCount(), 4);
    QCOMPARE(m->value(0, 2).toString(), before);
    QVERIFY(store.importCsv(path, result, [](int, int) { return true; }));
    QCOMPARE(result.merged, 4); // onto the rows of the same names
    m->refresh();
    QCOMPARE(m->dataRowCount(), 4);
}

void ListTest::csvInShiftJisAndMalformed()
{
    TempData data;
    Window w(data.folder());
    const QString path = answerFile(data.dir.filePath("old.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QStringEncoder sjis("Shift_JIS");
        f.write(sjis.encode(QString("品名,単位,単価,非課税,軽減\r\n"
                                    "山田のボルト,本,1200,0,0\r\n"
                                    "値段が文字,個,高い,0,0\r\n"
                                    "\"閉じない引用,個,1,0,0\r\n")));
    }
    Answers answers;
    w.find<QAbstractButton>("cmd商品CSV読込")->click();
    auto *m = w.find<DataGrid>("Grid商品マスタ")->dataControl();
    QCOMPARE(m->dataRowCount(), 1);
    QCOMPARE(m->value(0, 1).toString(), QString("山田のボルト"));
    QCOMPARE(m->value(0, 3).value<Money>(), Money::fromYen(1200));
    QCOMPARE(answers.shown.size(), 1);
    QVERIFY2(answers.shown[0].text.contains("3、4 行目"), qPrintable(answers.shown[0].text));
    QVERIFY(answers.shown[0].text.contains("Shift_JIS"));
}

void ListTest::dateBoxesTakeTyping()
{
    const QDate today(2026, 12, 8);
    QCOMPARE(DateField::parse("2026/11/01", today), QDate(2026, 11, 1));
    QCOMPARE(DateField::parse("20261101", today), QDate(2026, 11, 1));
    QCOMPARE(DateField::parse("１１／１", today), QDate(2026, 11, 1)); // this year, full-width as typed
    QCOMPARE(DateField::parse("2025年4月3日", today), QDate(2025, 4, 3));
    QVERIFY(!DateField::parse("2026/02/30", today).isValid());
    QVERIFY(!DateField::parse("明日", today).isValid());

    TempData data;
    Window w(data.folder());
    seed(w);
    EstimateListDialog list(w->context().main);
    QVERIFY(!list.ui->dt開始->hasDate());
    list.ui->dt開始->showCalendar(); // an empty box's calendar opens at today
    QCOMPARE(list.ui->dt開始->calendar()->monthShown(), QDate::currentDate().month());
    list.ui->dt開始->calendar()->hide();
    list.ui->dt開始->lineEdit()->setText("2026/1/1");
    emit list.ui->dt開始->lineEdit()->editingFinished();
    list.ui->dt終了->lineEdit()->setText("20260630");
    emit list.ui->dt終了->lineEdit()->editingFinished();
    QCOMPARE(shown(list), QList<int>{2});
    Answers answers;
    list.ui->dt終了->lineEdit()->setText("6月31日");
    emit list.ui->dt終了->lineEdit()->editingFinished();
    QCOMPARE(answers.shown.size(), 1); // refused; the box keeps its date
    QCOMPARE(list.ui->dt終了->date(), QDate(2026, 6, 30));
    list.ui->cmd今月->click();
    const QDate first(QDate::currentDate().year(), QDate::currentDate().month(), 1);
    QCOMPARE(list.ui->dt開始->date(), first);
    QCOMPARE(list.ui->dt終了->date(), first.addMonths(1).addDays(-1));
    list.ui->cmd先月->click();
    QCOMPARE(list.ui->dt開始->date(), first.addMonths(-1));
    QCOMPARE(list.ui->dt終了->date(), first.addDays(-1));

    // The estimate's own date box takes the same forms, typed key by key.
    auto *date = w.find<DateBox>("dt日付");
    w->show();
    QApplication::setActiveWindow(w.w.get());
    auto typeDate = [&](const char *keys) {
        date->setFocus();
        QTest::keyClicks(date, keys);
        w.find<QLineEdit>("txt件名")->setFocus();
    };
    typeDate("20251201");
    QCOMPARE(date->date(), QDate(2025, 12, 1));
    QCOMPARE(date->text(), QString("2025年12月01日"));
    typeDate("3/15");
    QCOMPARE(date->date(), QDate(QDate::currentDate().year(), 3, 15));
    typeDate("2024/2/29");
    QCOMPARE(date->date(), QDate(2024, 2, 29));
    typeDate("2024/2/30");
    QCOMPARE(answers.shown.size(), 2); // refused, said so; the box keeps its date
    QCOMPARE(date->date(), QDate(2024, 2, 29));
    date->setFocus();
    QTest::keyClicks(date, "2023/7/4"); // the calendar opens at the month typed
    QTest::mouseClick(date, Qt::LeftButton, {}, QPoint(date->width() - 6, date->height() / 2));
    QVERIFY(date->calendarWidget()->isVisible());
    QCOMPARE(date->calendarWidget()->monthShown(), 7);
    QCOMPARE(date->calendarWidget()->yearShown(), 2023);
    date->calendarWidget()->window()->hide();
}

QTEST_MAIN(ListTest)
#include "test_list.moc"
