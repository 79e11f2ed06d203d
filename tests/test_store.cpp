// Store layer: money rounding, number reading, data folder rule, schema files, opening checks,
// the code list and the estimate counter.

#include "TestSupport.h"
#include "store/DataFiles.h"
#include "store/DataFolder.h"
#include "store/Helpers.h"
#include "values/Money.h"
#include "store/Numbering.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>

class StoreTest : public QObject {
    Q_OBJECT
private slots:
    void roundAmountBounds();
    void roundAmountModes_data();
    void roundAmountModes();
    void moneyParseAndFormat();
    void wholeNumbers();
    void dataFolderRule();
    void schemaCreatesEveryTableAndColumn();
    void schemaKeepsExistingFiles();
    void openRefusesMissingForeignAndDamagedFiles();
    void crossFileInsertSelectAndRollback();
    void lookupCode();
    void numbering();
};

void StoreTest::roundAmountBounds()
{
    for (const QString &mode : {QString("切り捨て"), QString("四捨五入"), QString()}) {
        QCOMPARE(RoundAmount(9999999999.991, mode), Money());
        QCOMPARE(RoundAmount(-9999999999.991, mode), Money());
        QCOMPARE(RoundAmount(1e300, mode), Money());
    }
    QCOMPARE(RoundAmount(9999999999.99, "切り捨て"), Money::fromYen(9999999999LL));
    QCOMPARE(RoundAmount(9999999999.99, "四捨五入"), Money::fromYen(10000000000LL));
    QCOMPARE(RoundAmount(-9999999999.99, ""), Money::fromYen(-10000000000LL));
}

void StoreTest::roundAmountModes_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<qint64>("yen");
    QTest::newRow("half up 2.5") << 2.5 << "四捨五入" << 3LL;
    QTest::newRow("half 2.49") << 2.49 << "四捨五入" << 2LL;
    QTest::newRow("half -2.5") << -2.5 << "四捨五入" << -3LL;
    QTest::newRow("half -2.49") << -2.49 << "四捨五入" << -2LL;
    QTest::newRow("half 0") << 0.0 << "四捨五入" << 0LL;
    QTest::newRow("half -0.4") << -0.4 << "四捨五入" << 0LL;
    QTest::newRow("trunc -2.7") << -2.7 << "切り捨て" << -2LL;
    QTest::newRow("trunc -0.4") << -0.4 << "切り捨て" << 0LL;
    QTest::newRow("trunc 2.999999995") << 2.999999995 << "切り捨て" << 3LL;
    QTest::newRow("trunc 2.99999998") << 2.99999998 << "切り捨て" << 2LL;
    QTest::newRow("up 2.1") << 2.1 << "" << 3LL;
    QTest::newRow("up 2.000001 within tolerance") << 2.000001 << "" << 2LL;
    QTest::newRow("up -2.1") << -2.1 << "" << -3LL;
    QTest::newRow("up -0.4") << -0.4 << "" << -1LL;
    QTest::newRow("up 0") << 0.0 << "" << 0LL;
    QTest::newRow("unknown mode rounds up") << 2.1 << "端数" << 3LL;
}

void StoreTest::roundAmountModes()
{
    QFETCH(double, amount);
    QFETCH(QString, mode);
    QFETCH(qint64, yen);
    QCOMPARE(RoundAmount(amount, mode), Money::fromYen(yen));
}

void StoreTest::moneyParseAndFormat()
{
    QCOMPARE(Money::parse("1,234.5")->raw(), 12345000LL);
    QCOMPARE(Money::parse(" -3 ")->raw(), -30000LL);
    QCOMPARE(Money::parse("１２３")->raw(), 1230000LL); // full-width digits
    QCOMPARE(Money::parse("0.12345")->raw(), 1234LL);   // half to even
    QCOMPARE(Money::parse("0.12355")->raw(), 1236LL);
    QCOMPARE(Money::parse("1e3")->raw(), 10000000LL);
    QVERIFY(!Money::parse("12a"));
    QVERIFY(!Money::parse(""));
    QVERIFY(!Money::parse("1e20"));
    QVERIFY(!Money::parse("999999999999999")); // would overflow once scaled
    QCOMPARE(Money::parse("899999999999999")->raw(), 8999999999999990000LL);
    QCOMPARE(Money::fromYen(1234567).toGroupedString(), QString("1,234,567"));
    QCOMPARE(Money::fromYen(-1000).toGroupedString(), QString("-1,000"));
    QCOMPARE(Money().toGroupedString(), QString()); // "#,###" shows 0 as nothing
    QCOMPARE(Money::parse("2.5")->toGroupedString(), QString("2.5"));
    QCOMPARE(formatGrouped(2.5, 4), QString("2.5"));
    QCOMPARE(formatGrouped(1000000, 4), QString("1,000,000"));
    QCOMPARE(formatGrouped(0, 4), QString());
}

void StoreTest::wholeNumbers()
{
    QCOMPARE(wholeNumberFromText("0012"), 12);
    QCOMPARE(wholeNumberFromText(" 1,200 "), 1200);
    QCOMPARE(wholeNumberFromText("12.0"), 12);
    QCOMPARE(wholeNumberFromText("-5"), -5);
    QCOMPARE(wholeNumberFromText("2147483647"), 2147483647);
    QVERIFY(!wholeNumberFromText("2147483648"));
    QVERIFY(!wholeNumberFromText("12.5"));
    QVERIFY(!wholeNumberFromText("12a"));
    QVERIFY(!wholeNumberFromText("1; DELETE FROM 見積書"));
    QVERIFY(!wholeNumberFromText(""));
}

void StoreTest::dataFolderRule()
{
    QCOMPARE(datafolder::choose("/opt/QuoteDesk", false), QString("/opt/QuoteDesk/data/"));
    QCOMPARE(datafolder::choose("/opt/QuoteDesk/", false), QString("/opt/QuoteDesk/data/"));
    QCOMPARE(datafolder::choose("/opt/QuoteDesk", true), QString("c:/develop4/QuoteDesk/data/"));
    QVERIFY(!datafolder::markerPresent());
}

void StoreTest::schemaCreatesEveryTableAndColumn()
{
    TempData data;
    const QMap<QString, QStringList> expected{
        {"見積書ヘッダ", {"伝票番号", "日付", "顧客名", "顧客情報", "件名", "支払条件", "納期", "受渡場所", "有効期限",
                    "消費税", "税抜計", "合計"}},
        {"見積書", {"伝票番号", "顧客名", "日付", "行番号", "伝票区分", "品名", "数量", "単位", "単価", "金額", "非課税"}},
        {"顧客マスタ", {"顧客名", "顧客情報"}},
        {"商品マスタ", {"品名", "単位", "単価", "非課税"}},
        {"自社情報", {"自社名", "自社情報", "税区分", "LineColor1", "最大見積書番号"}},
        {"コードマスタ", {"kcode", "code", "sname"}},
        {"w明細", {"id", "行番号", "品名", "数量", "単位", "単価", "金額", "非課税"}},
        {"w顧客マスタ", {"id", "チェック", "顧客名", "顧客情報"}},
        {"w商品マスタ", {"id", "チェック", "品名", "単位", "単価", "非課税"}},
        {"w商品参照", {"id", "品名", "単位", "単価", "非課税", "ふりがな"}},
        {"ClHint", {"FormName", "CtlName", "FormTitle", "Contents"}},
    };
    Db perm("t-perm"), work("t-work");
    QVERIFY(data.openPerm(perm));
    QVERIFY(work.open(data.work()));
    QVERIFY(schema::verify(perm, schema::FileKind::Permanent));
    QVERIFY(schema::verify(work, schema::FileKind::Work));
    QVERIFY(!schema::verify(perm, schema::FileKind::Work)); // the files cannot be swapped
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        Db &db = it.key().startsWith('w') || it.key() == "ClHint" ? work : perm;
        DbRows cols;
        QVERIFY(db.select("SELECT name FROM pragma_table_info(?)", {it.key()}, cols));
        QStringList names;
        for (const DbRow &c : cols)
            names << c[0].toString();
        QCOMPARE(names.mid(0, it.value().size()), it.value()); // later versions add columns after these
    }
    // Yes/no columns default to 0; the work rows are keyed.
    QVERIFY(work.exec("INSERT INTO w顧客マスタ (顧客名) VALUES ('x')"));
    QVariant tick;
    QVERIFY(work.scalar("SELECT チェック FROM w顧客マスタ", {}, tick));
    QCOMPARE(tick.toInt(), 0);
    // Units are prepared with free slots left for new ones.
    QVariant units, free;
    QVERIFY(perm.scalar("SELECT count(*) FROM コードマスタ WHERE kcode = '単位' AND sname IS NOT NULL", {}, units));
    QVERIFY(perm.scalar("SELECT count(*) FROM コードマスタ WHERE kcode = '単位' AND sname IS NULL", {}, free));
    QVERIFY(units.toInt() >= 10);
    QVERIFY(free.toInt() >= 50);
    QVariant mode;
    QVERIFY(perm.scalar("PRAGMA journal_mode", {}, mode));
    QCOMPARE(mode.toString(), QString("delete"));
}

void StoreTest::schemaKeepsExistingFiles()
{
    TempData data;
    {
        Db perm("t-keep");
        QVERIFY(data.openPerm(perm));
        QVERIFY(perm.exec("INSERT INTO 顧客マスタ (顧客名) VALUES (?)", {"残る顧客"}));
    }
    QFile::remove(data.work());
    QStringList created;
    QVERIFY(schema::createMissingFiles(data.folder(), &created));
    QCOMPARE(created, QStringList{data.work()});
    Db perm("t-keep2");
    QVERIFY(data.openPerm(perm));
    QVariant n;
    QVERIFY(perm.scalar("SELECT count(*) FROM 顧客マスタ", {}, n));
    QCOMPARE(n.toInt(), 1);
}

void StoreTest::openRefusesMissingForeignAndDamagedFiles()
{
    TempData data(false);
    QDir().mkpath(data.folder());
    Db db("t-open");
    DbResult missing = db.open(data.folder() + "nothing.mdb");
    QVERIFY(!missing);
    QVERIFY(!missing.error.isEmpty());
    QVERIFY(!QFileInfo::exists(data.folder() + "nothing.mdb")); // never created

    QFile text(data.folder() + "text.mdb");
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("this is not a database at all, just some text\n");
    text.close();
    DbResult notDb = db.open(text.fileName());
    QVERIFY(!notDb);
    QVERIFY2(notDb.error.contains("not a database"), qPrintable(notDb.error));

    // An SQLite file of someone else's opens but is refused as not ours.
    {
        Db other("t-other");
        QVERIFY(other.create(data.folder() + "other.mdb"));
        QVERIFY(other.exec("CREATE TABLE t (x)"));
    }
    QVERIFY(db.open(data.folder() + "other.mdb"));
    QVERIFY(!schema::verify(db, schema::FileKind::Permanent));
    db.close();

    // Put where the work file belongs, none of them is changed before it is refused: no log
    // switched on, nothing grown.
    QVERIFY(schema::createMissingFiles(data.folder()));
    QFile empty(data.folder() + "empty.mdb");
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    for (const char *name : {"empty.mdb", "text.mdb", "other.mdb", "QuoteDesk.mdb"}) {
        const QString work = data.folder() + schema::kWorkFileName;
        QFile::remove(work);
        QVERIFY(QFile::copy(data.folder() + name, work));
        QFile f(work);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        const DbResult r = openDataFile(db, work, schema::FileKind::Work);
        QVERIFY2(!r && r.code == sqlitecode::NotADb, name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QVERIFY2(!QFileInfo::exists(work + "-wal") && !QFileInfo::exists(work + "-shm"), name);
    }
}

void StoreTest::crossFileInsertSelectAndRollback()
{
    TempData data;
    Db perm("t-p"), work("t-w");
    QVERIFY(data.openPerm(perm));
    QVERIFY(work.open(data.work()));
    QVERIFY(work.attach(data.perm(), "perm"));
    QVERIFY(perm.exec("INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES (?, ?), (?, ?)", {"B社", "b", "A社", "a"}));
    QVERIFY(work.exec("INSERT INTO w顧客マスタ (顧客名, 顧客情報) SELECT 顧客名, 顧客情報 FROM perm.顧客マスタ ORDER BY 顧客名"));
    DbRows rows;
    QVERIFY(work.select("SELECT 顧客名 FROM w顧客マスタ ORDER BY id", {}, rows));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0][0].toString(), QString("A社"));

    // A failure inside a transaction undoes both files.
    DbResult r = work.transaction([&]() -> DbResult {
        if (DbResult d = work.exec("DELETE FROM perm.顧客マスタ"); !d)
            return d;
        if (DbResult d = work.exec("DELETE FROM w顧客マスタ"); !d)
            return d;
        return work.exec("INSERT INTO no_such_table VALUES (1)");
    });
    QVERIFY(!r);
    QVERIFY(r.error.contains("no_such_table"));
    QVariant n;
    QVERIFY(perm.scalar("SELECT count(*) FROM 顧客マスタ", {}, n));
    QCOMPARE(n.toInt(), 2);
    QVERIFY(work.scalar("SELECT count(*) FROM w顧客マスタ", {}, n));
    QCOMPARE(n.toInt(), 2);
}

void StoreTest::lookupCode()
{
    TempData data;
    Db perm("t-code");
    QVERIFY(data.openPerm(perm));
    QVERIFY(!LookupCode(perm, "単位", "個")); // known
    QVERIFY(LookupCode(perm, "単位", "ロール")); // new, into the first free slot
    QVERIFY(!LookupCode(perm, "単位", "ロール"));
    QVariant code;
    QVERIFY(perm.scalar("SELECT min(code) FROM コードマスタ WHERE sname = ?", {"ロール"}, code));
    QVariant firstFree;
    QVERIFY(perm.scalar("SELECT min(code) FROM コードマスタ WHERE kcode = '単位' AND sname IS NULL", {}, firstFree));
    QVERIFY(code.toInt() < firstFree.toInt());
    // A name with a quote is stored and matched exactly.
    QVERIFY(LookupCode(perm, "単位", "5'インチ"));
    QVERIFY(!LookupCode(perm, "単位", "5'インチ"));
    // No free slot: nothing stored.
    QVERIFY(perm.exec("UPDATE コードマスタ SET sname = 'u' || code WHERE sname IS NULL"));
    QVERIFY(!LookupCode(perm, "単位", "満杯"));
    QVariant n;
    QVERIFY(perm.scalar("SELECT count(*) FROM コードマスタ WHERE sname = ?", {"満杯"}, n));
    QCOMPARE(n.toInt(), 0);
    // An unknown kind has no list at all.
    QVERIFY(!LookupCode(perm, "色", "赤"));
}

void StoreTest::numbering()
{
    TempData data;
    Db perm("t-num");
    QVERIFY(data.openPerm(perm));
    const QString key = "最大見積書番号";
    auto get = [&] { return Proc管理(perm, key, "Get", 0).toInt(); };
    auto stored = [&] {
        QVariant v;
        perm.scalar("SELECT 最大見積書番号 FROM 自社情報", {}, v);
        return v;
    };
    QCOMPARE(get(), 1); // no row
    Proc管理(perm, key, "Set", "1");
    QCOMPARE(stored().toInt(), 1);
    QCOMPARE(get(), 2);

    // A Null counter takes the number saved (not 1, which would propose 2 after estimate 50).
    QVERIFY(perm.exec("UPDATE 自社情報 SET 最大見積書番号 = NULL"));
    QCOMPARE(get(), 1);
    Proc管理(perm, key, "Set", "50");
    QCOMPARE(get(), 51);
    Proc管理(perm, key, "Set", "3"); // never decreases
    QCOMPARE(get(), 51);
    Proc管理(perm, key, "Set", "50"); // re-saving the same number
    QCOMPARE(get(), 51);
    Proc管理(perm, key, "Set", "abc"); // not a number: nothing stored
    Proc管理(perm, key, "Set", "");
    QCOMPARE(get(), 51);
    Proc管理(perm, key, "Set", "007"); // as typed, converted
    QCOMPARE(get(), 51);
    Proc管理(perm, key, "Set", "0060");
    QCOMPARE(get(), 61);
    QCOMPARE(Proc管理(perm, "他のキー", "Get", 0), QVariant(QString()));

    // No row and a number that is not whole: no row is added.
    QVERIFY(perm.exec("DELETE FROM 自社情報"));
    Proc管理(perm, key, "Set", "x");
    QVariant rows;
    perm.scalar("SELECT count(*) FROM 自社情報", {}, rows);
    QCOMPARE(rows.toInt(), 0);

    // A failed read reports the engine's text and proposes nothing.
    QVERIFY(perm.exec("ALTER TABLE 自社情報 RENAME TO 自社情報_old"));
    DbResult err;
    QCOMPARE(Proc管理(perm, key, "Get", 0, &err), QVariant(QString()));
    QVERIFY(!err);
    QVERIFY(err.error.contains("自社情報"));
}

QTEST_MAIN(StoreTest)
#include "test_store.moc"
