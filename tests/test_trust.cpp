// Where features meet: copies and tax rules, saves and later master edits, CSV and the master
// grids, exports on a disk that takes no more, the search index and damaged pages, pasting.

#include "TestSupport.h"
#include <QHeaderView>
#include <sys/stat.h>
#include <QElapsedTimer>
#include <QBuffer>
#include "values/SealSize.h"
#include "store/SafeFile.h"
#include "estimate/EstimateListDialog.h"
#include "estimate/EstimateTab.h"
#include "masters/CustomerTab.h"
#include "store/Csv.h"
#include "store/Wipe.h"
#include "ui/WorkTableModel.h"
#include "ui/FileChooser.h"
#include "ui_EstimateListDialog.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTableWidget>
#include <csignal>
#include <sys/resource.h>

class TrustTest : public QObject {
    Q_OBJECT
private slots:
    void copiesAndStoredRules();
    void savesKeepLaterMasterEdits();
    void openingFromTheListAsksFirst();
    void masterGridShowsWhatIsStored();
    void failedWritesLeaveTheOldFile();
    void hostileFilesAreRefused();
    void csvIn_data();
    void csvIn();
    void csvOutNeutralisesFormulas();
    void searchIndexIsRebuilt_data();
    void searchIndexIsRebuilt();
    void damagedPageIsFoundOnceTheWindowIsUp();

private:
    static void setRate(Window &w, const QString &rate);
    static QString tax(Window &w) { return w.find<QLineEdit>("num消費税")->text(); }
    static Estimate estimate(int number, const QString &customer, const QList<std::pair<QString, qint64>> &lines);
    static QString answerFile(const QString &path);
};

void TrustTest::setRate(Window &w, const QString &rate)
{
    auto *c = w.find<QComboBox>("cmb税率");
    c->setCurrentIndex(c->findText(rate));
    Answers yes;
    w.find<QAbstractButton>("cmd設定登録")->click();
}

Estimate TrustTest::estimate(int number, const QString &customer, const QList<std::pair<QString, qint64>> &lines)
{
    Estimate e;
    e.number = number;
    e.date = QDate(2026, 11, 2);
    e.customerName = customer;
    e.honorific = "様";
    for (const auto &[name, price] : lines)
        e.lines << EstimateLine{name, 1.0, QVariant("個"), Money::fromYen(price), Money::fromYen(price)};
    return e;
}

QString TrustTest::answerFile(const QString &path)
{
    setFileChooser([path](QWidget *, FileDialog, const QString &, const QString &) { return path; });
    return path;
}

void TrustTest::copiesAndStoredRules()
{
    TempData data;
    // Stored before rules were kept with an estimate: Null, the rules as first specified.
    QVERIFY(seedPerm(data, "INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名) VALUES (7, '2020/04/01', '旧社')"));
    QVERIFY(seedPerm(data, "INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名, 数量, 単価, 金額) VALUES (7, 0, 1, '旧品', 1, ?, ?)",
                     {Money::fromYen(1000).raw(), Money::fromYen(1000).raw()}));
    Window w(data.folder());
    auto *no = w.find<QLineEdit>("txtNo");
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col品名, "部品");
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col金額, "1000");
    QCOMPARE(tax(w), QString("50")); // a fresh install: 5 %
    no->setText("1");
    {
        Answers yes;
        w.find<QAbstractButton>("cmd登録")->click();
    }
    setRate(w, "10%");
    no->setText("7");
    w->estimateTab()->Read見積書();
    QCOMPARE(tax(w), QString("50")); // Null rules load as first specified, whatever the settings say

    no->setText("1");
    w->estimateTab()->Read見積書();
    QCOMPARE(tax(w), QString("50"));
    setRate(w, "8%"); // new settings stored while a stored estimate is on screen
    QCOMPARE(tax(w), QString("50"));
    w.find<QAbstractButton>("cmd複写")->click(); // a copy is a new estimate: today's rules
    QCOMPARE(tax(w), QString("80"));
    QCOMPARE(no->text(), QString("2"));

    // The honorific alone counts as a change for the closing question.
    no->setText("1");
    {
        Answers yes; // the copy on screen is thrown away
        w->estimateTab()->Read見積書();
    }
    w.find<QComboBox>("cmb敬称")->setCurrentIndex(1);
    Answers answers;
    answers.answer({false});
    w->close();
    QVERIFY(answers.sawKey("その他", "終了確認"));
    QCOMPARE(w.endCalls, 0);
}

void TrustTest::savesKeepLaterMasterEdits()
{
    TempData data;
    Window w(data.folder());
    Answers yes;
    QVERIFY(w->estimateTab()->store().save(estimate(1, "甲社", {{"ボルト", 680}, {"ナット", 50}})));
    // Later edits on the master tabs.
    QVERIFY(seedPerm(data, "UPDATE 商品マスタ SET 単価 = ? WHERE 品名 = 'ボルト'", {Money::fromYen(750).raw()}));
    QVERIFY(seedPerm(data, "UPDATE 顧客マスタ SET 顧客情報 = '新しい住所' WHERE 顧客名 = '甲社'"));
    QVERIFY(seedPerm(data, "DELETE FROM 商品マスタ WHERE 品名 = 'ナット'"));
    auto *no = w.find<QLineEdit>("txtNo");
    auto price = [&](const char *name) {
        return Money::fromRaw(permInt(data, "SELECT 単価 FROM 商品マスタ WHERE 品名 = ?", {QString(name)})).toPlainString();
    };
    auto address = [&] { return permRows(data, "SELECT 顧客情報 FROM 顧客マスタ WHERE 顧客名 = '甲社'")[0][0].toString(); };

    // Saved again as loaded, and as a copy: the masters keep their later values; a product
    // that is gone comes back with what the estimate says.
    no->setText("1");
    w->estimateTab()->Read見積書();
    w.find<QAbstractButton>("cmd登録")->click();
    QCOMPARE(price("ボルト"), QString("750"));
    QCOMPARE(address(), QString("新しい住所"));
    QCOMPARE(price("ナット"), QString("50"));
    no->setText("1");
    w->estimateTab()->Read見積書();
    w.find<QAbstractButton>("cmd複写")->click();
    w.find<QAbstractButton>("cmd登録")->click();
    QCOMPARE(price("ボルト"), QString("750"));
    QCOMPARE(address(), QString("新しい住所"));

    // What is typed or changed on the estimate still reaches the masters.
    no->setText("1");
    w->estimateTab()->Read見積書();
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col単価, "700");
    w.find<QPlainTextEdit>("txt顧客情報")->setPlainText("書き直した住所");
    w.find<QAbstractButton>("cmd登録")->click();
    QCOMPARE(price("ボルト"), QString("700"));
    QCOMPARE(address(), QString("書き直した住所"));
    QCOMPARE(permInt(data, "SELECT count(*) FROM 商品マスタ WHERE 品名 = 'ボルト'"), 1);
}

void TrustTest::openingFromTheListAsksFirst()
{
    TempData data;
    Window w(data.folder());
    QVERIFY(w->estimateTab()->store().save(estimate(5, "乙社", {{"机", 9000}})));
    auto *m = w.find<DataGrid>("Grid明細")->dataControl();
    Answers answers;
    // Opening and copying from the list both ask; No keeps the screen as typed.
    for (const auto choice : {EstimateListDialog::Open, EstimateListDialog::Duplicate}) {
        typeCell(w.find<DataGrid>("Grid明細"), 1, Col品名, "打ちかけ");
        const ListRunner previous = setListRunner([choice](EstimateListDialog &d) { d.choose(choice); });
        answers.shown.clear();
        answers.answer({false});
        w.find<QAbstractButton>("cmd一覧")->click();
        QVERIFY(answers.sawKey("その他", "読込確認"));
        QCOMPARE(m->value(1, Col品名).toString(), QString("打ちかけ"));
        w.find<QAbstractButton>("cmd一覧")->click(); // Yes
        setListRunner(previous);
        QCOMPARE(m->value(0, Col品名).toString(), QString("机"));
        QVERIFY(m->value(1, Col品名).isNull());
        QCOMPARE(w.find<QLineEdit>("txtNo")->text(), QString(choice == EstimateListDialog::Open ? "5" : "6"));
    }
    // The copy is not stored: closing asks.
    answers.answer({false});
    QVERIFY(!w->close());
    QVERIFY(answers.sawKey("その他", "終了確認"));
}

void TrustTest::masterGridShowsWhatIsStored()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('甲社', '登録済み')"));
    Window w(data.folder());
    w.find<QAbstractButton>("cmd顧客読込")->click();
    const QString path = answerFile(data.dir.filePath("in.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("顧客名,顧客情報\r\n乙社,一回目\r\n甲社,CSVの住所\r\n乙社,二回目\r\n 丙社 ,前後に空白\r\n");
    }
    Answers answers;
    w.find<QAbstractButton>("cmd顧客CSV読込")->click();
    auto *m = w.find<DataGrid>("Grid顧客マスタ")->dataControl();
    QStringList shown;
    for (int r = 0; r < m->dataRowCount(); ++r)
        shown << m->value(r, 1).toString() + "=" + m->value(r, 2).toString();
    QCOMPARE(shown, (QStringList{"甲社=CSVの住所", "乙社=二回目", "丙社=前後に空白"}));
    QVERIFY2(answers.shown.last().text.contains("2 行目"), qPrintable(answers.shown.last().text)); // overtaken by line 4

    // Unregistered rows from the CSV: closing asks.
    answers.shown.clear();
    answers.answer({false});
    w->close();
    QVERIFY(answers.sawKey("その他", "終了確認"));
    QCOMPARE(w.endCalls, 0);

    // Registered, then one name ticked and deleted: gone from master and grid alike.
    w.find<QAbstractButton>("cmd顧客登録")->click();
    m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    w.find<QAbstractButton>("cmd顧客削除")->click();
    QCOMPARE(permInt(data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客名 = '乙社'"), 0);
    for (int r = 0; r < m->dataRowCount(); ++r)
        QVERIFY(m->value(r, 1).toString() != "乙社");
    answers.shown.clear();
    w->close(); // nothing left unregistered
    QVERIFY(!answers.sawKey("その他", "終了確認"));
}

void TrustTest::failedWritesLeaveTheOldFile()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES ('甲社', '住所')"));
    Window w(data.folder());
    QVERIFY(w->estimateTab()->store().save(estimate(1, "甲社", {{"ボルト", 680}})));
    const QString csv = answerFile(data.dir.filePath("old.csv"));
    const QByteArray old = "the file as it was\n";
    {
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    // A disk that takes no more than a few bytes of any file.
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = 8;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    Answers answers;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    w.find<QAbstractButton>("cmd顧客CSV出力")->click();
    EstimateListDialog list(w->context().main);
    list.exportCsv(csv);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
    QCOMPARE(answers.shown.size(), 2);
    for (const MsgEntry &e : answers.shown) {
        QCOMPARE(e.key, QString("注意"));
        QVERIFY(e.text.startsWith("CSVファイルを書き出できませんでした"));
        QVERIFY2(e.text.contains("空き容量が足りません"), qPrintable(e.text)); // said as what it is
        QVERIFY(!e.text.contains("書き出しました"));
    }
    QCOMPARE(QDir(data.dir.path()).entryList(QDir::Files), QStringList{"old.csv"}); // no half file left
}

// Files a user may pick by mistake: a device, a pipe, a link to a device, a file too large.
void TrustTest::hostileFilesAreRefused()
{
    QTemporaryDir dir;
    QByteArray bytes;
    QCOMPARE(readRegularFile("/dev/zero", 1024, bytes).code, sqlitecode::NotRegular);
    QVERIFY(QFile::link("/dev/zero", dir.filePath("seal.png")));
    QCOMPARE(readRegularFile(dir.filePath("seal.png"), 1024, bytes).code, sqlitecode::NotRegular);
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe.csv")).constData(), 0600), 0);
    QElapsedTimer t;
    t.start();
    QCOMPARE(readRegularFile(dir.filePath("pipe.csv"), 1024, bytes).code, sqlitecode::NotRegular); // no writer awaited
    QVERIFY(t.elapsed() < 1000);
    QVERIFY(writeWholeFile(dir.filePath("big.csv"), QByteArray(2048, 'x')));
    QCOMPARE(readRegularFile(dir.filePath("big.csv"), 1024, bytes).code, sqlitecode::TooLarge);
    QVERIFY(bytes.isEmpty());
    QVERIFY(readRegularFile(dir.filePath("big.csv"), 2048, bytes));
    QCOMPARE(bytes.size(), 2048);

    // A seal that states 1 dot a metre would fill the page: printed 21 mm wide, as one stating none.
    QImage seal(100, 50, QImage::Format_ARGB32);
    seal.fill(Qt::red);
    auto png = [&](int dotsPerMetre) {
        seal.setDotsPerMeterX(dotsPerMetre);
        seal.setDotsPerMeterY(dotsPerMetre);
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        seal.save(&b, "PNG");
        return b.data();
    };
    for (int dpm : {1, 2000, 50000}) {
        const SealSize s = sealSize(png(dpm), seal.size());
        QVERIFY(!s.stated);
        QCOMPARE(s.millimetres, QSizeF(21, 10.5));
    }
    const SealSize s = sealSize(png(qRound(100 / 0.0254 / 1.0)), seal.size()); // 100 dots an inch
    QVERIFY(s.stated);
    QCOMPARE(qRound(s.millimetres.width() * 10), 254);
}

void TrustTest::csvIn_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("bad");
    QTest::newRow("an unclosed quote in the middle")
        << QByteArray("甲,1\n\"乙,2\n丙,3\n丁,4\n") << "UTF-8" << QStringList{"甲", "丙", "丁"} << QList<int>{2};
    QTest::newRow("lines after an unclosed quote keep their numbers")
        << QByteArray("甲,1\n\"乙,2\n丙,3\n丁\xff,4\n戊,5\n") << "UTF-8" << QStringList{"甲", "丙", "戊"} << QList<int>{2, 4};
    QTest::newRow("control characters are dropped")
        << QByteArray("甲\0社,1\n乙\x01\x1b社,2\n", 21) << "UTF-8" << QStringList{"甲社", "乙社"} << QList<int>{};
    QTest::newRow("a stray byte in UTF-8")
        << QByteArray("甲,1\n乙\xff,2\n丙,3\n") << "UTF-8" << QStringList{"甲", "丙"} << QList<int>{2};
    QTest::newRow("text after a closing quote")
        << QByteArray("\"ab\"c,1\n甲,2\n") << "UTF-8" << QStringList{"甲"} << QList<int>{1};
    QTest::newRow("a quoted line break")
        << QByteArray("\"甲\n社\",1\n乙,2\n") << "UTF-8" << QStringList{"甲\n社", "乙"} << QList<int>{};
    QStringEncoder sjis("Shift_JIS");
    QTest::newRow("Shift_JIS") << QByteArray(sjis.encode(QString("山田,1\nﾊﾟｰﾂ,2\n"))) << "Shift_JIS"
                               << QStringList{"山田", "ﾊﾟｰﾂ"} << QList<int>{};
    QStringEncoder utf16(QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 by its mark") << QByteArray("\xff\xfe") + QByteArray(utf16.encode(QString("甲,1\r\n乙,2\r\n")))
                                        << "UTF-16" << QStringList{"甲", "乙"} << QList<int>{};
    QStringEncoder utf16be(QStringConverter::Utf16BE);
    QTest::newRow("UTF-16 big-endian by its mark")
        << QByteArray("\xfe\xff") + QByteArray(utf16be.encode(QString("丙,1\r\n丁,2\r\n"))) << "UTF-16"
        << QStringList{"丙", "丁"} << QList<int>{};
}

void TrustTest::csvIn()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, bad);
    const CsvContent csv = parseCsv(bytes);
    QCOMPARE(csv.encoding, encoding);
    QStringList read;
    for (const CsvRow &r : csv.rows)
        read << r.fields.value(0);
    QCOMPARE(read, names);
    QCOMPARE(QList<int>(csv.badLines.begin(), csv.badLines.end()), bad);
}

void TrustTest::csvOutNeutralisesFormulas()
{
    const QStringList fields{"=1+2", "+81", "-割引", "@SUM(A1)", "\tタブ", "-1500", "普通"};
    const QString line = QString::fromUtf8(csvRecord(fields, {5}));
    QCOMPARE(line, QString("'=1+2,'+81,'-割引,'@SUM(A1),'\tタブ,-1500,普通\r\n"));
    // Read back, a name is what it was.
    const CsvContent back = parseCsv(line.toUtf8());
    QStringList names;
    for (const QString &f : back.rows[0].fields)
        names << csvUnneutralised(f);
    QCOMPARE(names, fields);
}

void TrustTest::searchIndexIsRebuilt_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("metBy"); // what meets it before the check after start-up does
    QTest::newRow("dropped") << "DROP TABLE 見積書索引" << "";
    QTest::newRow("blocks zeroed: searches find nothing") << "UPDATE 見積書索引_data SET block = zeroblob(length(block)) WHERE id > 1"
                                                          << "";
    QTest::newRow("its structure gone: searches fail") << "DELETE FROM 見積書索引_data WHERE id = 10" << "search";
    QTest::newRow("a part gone: saves fail") << "DROP TABLE 見積書索引_data" << "save";
}

void TrustTest::searchIndexIsRebuilt()
{
    QFETCH(QString, damage);
    QFETCH(QString, metBy);
    TempData data;
    {
        Window w(data.folder());
        for (int n = 1; n <= 40; ++n)
            QVERIFY(w->estimateTab()->store().save(estimate(n, QString("顧客%1").arg(n), {{"ステンレスボルト", 100}})));
    }
    QVERIFY(seedPerm(data, damage));
    Window w(data.folder());
    Answers answers;
    if (metBy == "save") {
        auto *no = w.find<QLineEdit>("txtNo");
        no->setText("3");
        w->estimateTab()->Read見積書();
        w.find<QAbstractButton>("cmd登録")->click();
        QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書ヘッダ WHERE 伝票番号 = 3"), 1);
        QVERIFY(answers.sawKey("その他", "メッセージ"));
    } else if (metBy == "search") {
        EstimateListDialog list(w->context().main);
        list.ui->txt検索->setText("ステンレス");
        QCOMPARE(list.ui->Grid一覧->rowCount(), 40);
        QVERIFY(answers.sawKey("その他", "メッセージ"));
    }
    w->show();
    // Told once, whichever way it was found.
    QTRY_VERIFY2(answers.sawKey("その他", "メッセージ"), qPrintable(answers.shown.isEmpty() ? "-" : answers.shown.last().text.replace("\n", " ")));
    QTest::qWait(100);
    int told = 0;
    for (const MsgEntry &e : answers.shown)
        told += e.text.contains("索引") ? 1 : 0;
    QCOMPARE(told, 1);
    QVector<ListRow> rows;
    EstimateList list(w->context().main);
    QVERIFY(list.find({"ステンレス", {}, {}}, 100, rows));
    QCOMPARE(rows.size(), 40);
    QVERIFY(list.find({"顧客3", {}, {}}, 100, rows));
    QCOMPARE(rows.size(), 11); // 3 and 30 to 39
}

void TrustTest::damagedPageIsFoundOnceTheWindowIsUp()
{
    TempData data;
    QVERIFY(seedPerm(data, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                           "INSERT INTO 見積書ヘッダ (伝票番号, 顧客名, 件名) SELECT i, printf('顧客%d', i), 'x' FROM n"));
    {
        Window earlier(data.folder()); // a copy in backup/, as a wipe or an upgrade leaves one
        QVERIFY(backupPermanent(earlier->context().main, data.folder() + "backup", QDateTime(QDate(2026, 12, 1), QTime(9, 0))));
    }
    const qint64 root = permInt(data, "SELECT rootpage FROM sqlite_master WHERE name = '見積書ヘッダ'");
    QFile f(data.perm());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek((root - 1) * 4096));
    f.write("\xff\xff\xff\xff\xff"); // a page of no known kind
    f.close();
    Window w(data.folder());
    QVERIFY(w->isLoaded()); // the start itself reads none of it
    Answers answers;
    w->show();
    QTRY_VERIFY2(answers.sawKey("その他", "注意"), qPrintable(answers.shown.isEmpty() ? "-" : answers.shown.last().text));
    const QString text = answers.shown.last().text;
    QVERIFY(text.contains(QDir::toNativeSeparators(data.perm())));
    QVERIFY2(text.contains("QuoteDesk-20261201-090000.mdb"), qPrintable(text));

    // Met again by an operation, and before a wipe: the same advice, and nothing is wiped.
    answers.shown.clear();
    w.find<QLineEdit>("txtNo")->setText("5");
    w->estimateTab()->Read見積書();
    QCOMPARE(answers.shown.size(), 1);
    QVERIFY(answers.shown[0].text.contains("QuoteDesk-20261201-090000.mdb"));
    answers.shown.clear();
    w.find<QAbstractButton>("cmd一括削除7")->click();
    QVERIFY(answers.shown.last().text.startsWith("データを初期化しませんでした"));
    QCOMPARE(QDir(data.folder() + "backup").entryList({"*.mdb"}, QDir::Files).size(), 1);
}



QTEST_MAIN(TrustTest)
#include "test_trust.moc"
