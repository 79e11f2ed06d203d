// The permanent data on a PostgreSQL server: where it is named, how it is prepared, moved
// there, searched, wiped and restored.

#include "ServerSupport.h"
#include "TestSupport.h"
#include "store/Engine.h"
#include "ui/MessageCatalogue.h"
#include "store/IssueArchive.h"
#include "store/ArchiveAudit.h"
#include "store/Numbering.h"
#include "server/ServerImport.h"
#include "server/ServerSchema.h"
#include "store/Wipe.h"

#include <QFile>
#include <clocale>
#include <QScopeGuard>
#include <QProcess>
#include <QAbstractButton>
#include "ui_EstimateTab.h"
#include "estimate/EstimateTab.h"
#include "estimate/EstimateList.h"
#include "TestPrograms.h"

class ServerTest : public QObject {
    Q_OBJECT
private slots:
    void connectionStringIsReadStrictly();
    void serverFileBesideTheData();
    void createOnlyIntoAnEmptyDatabase();
    void importKeepsEveryValueAndSaysWhatItMerged();
    void importIsAllOrNothing();
    void counterOnlyRises();
    void wipeOnServerKeepsACopyThatRestores();
    void archiveSearchOnServer();
    void restartBetweenActions();
};

void ServerTest::connectionStringIsReadStrictly()
{
    ServerConfig c;
    QVERIFY(parseConnectionString("host=db.office port = 5433 dbname='見積 書' user=kei sslmode=require", c));
    QCOMPARE(c.host(), QStringLiteral("db.office"));
    QCOMPARE(c.database(), QStringLiteral("見積 書"));
    QCOMPARE(c.displayName(), QStringLiteral("db.office:5433/見積 書"));
    QVERIFY(c.driverOptions().contains("sslmode='require'"));
    QVERIFY(c.driverOptions().contains("connect_timeout=")); // never the driver's endless default
    QVERIFY(parseConnectionString(R"(dbname='it\'s' user=a\ b)", c));
    QCOMPARE(c.database(), QStringLiteral("it's"));
    QCOMPARE(c.user(), QStringLiteral("a b"));
    QVERIFY(parseConnectionString("postgresql://kei@db.office:5433/qd?sslmode=verify-full", c));
    QCOMPARE(c.port(), QStringLiteral("5433"));
    QCOMPARE(c.values.value("sslmode"), QStringLiteral("verify-full"));

    // A password in the file, a misspelt keyword, an unclosed quote, no database: refused, saying why.
    for (const char *bad : {"dbname=qd password=secret", "postgresql://kei:secret@db/qd", "dbname=qd sslmod=require",
                            "dbname='qd", "host=db", "dbname=qd application_name=a;b"}) {
        DbResult r = parseConnectionString(QString::fromUtf8(bad), c);
        QVERIFY2(!r && !r.error.isEmpty(), bad);
    }
    QVERIFY(parseConnectionString("dbname=qd password=x", c).error.contains(".pgpass"));
}

void ServerTest::serverFileBesideTheData()
{
    TempData data;
    std::optional<ServerConfig> config;
    QVERIFY(readServerFile(data.folder(), config));
    QVERIFY(!config); // no file: the folder's own files, as always

    QFile f(data.folder() + kServerFileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("# the office server\nhost=srv\n  dbname=qd   # not a comment mid-line\n");
    f.close();
    DbResult r = readServerFile(data.folder(), config);
    QVERIFY(!r); // "#" mid-line is no comment in a connection string: a keyword error, named with the file
    QCOMPARE(r.file, f.fileName());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("# the office server\nhost=srv\ndbname=qd\n");
    f.close();
    QVERIFY(readServerFile(data.folder(), config));
    QVERIFY(config);
    QCOMPARE(config->displayName(), QStringLiteral("srv/qd"));
}

void ServerTest::createOnlyIntoAnEmptyDatabase()
{
    REQUIRE_SERVER(server);
    Db db(QStringLiteral("create"));
    QVERIFY(server.open(db));
    DbResult unprepared = engineOf(db).checkSchema(db);
    QVERIFY(!unprepared);
    QVERIFY(unprepared.error.contains("--create"));
    QVERIFY(engineOf(db).createSchema(db));
    QVERIFY(engineOf(db).checkSchema(db));
    // A user without rights on the tables is told so, by table, not that the database is empty.
    const QString clerk = server.name + "_clerk";
    QVERIFY(db.execUnprepared("CREATE ROLE " + clerk + " LOGIN"));
    ServerConfig asClerk = server.config;
    asClerk.values["user"] = clerk;
    Db other(QStringLiteral("clerk"));
    QVERIFY(other.openServer(asClerk));
    DbResult refused = engineOf(other).checkSchema(other);
    QCOMPARE(refused.code, sqlitecode::NoPermission);
    QVERIFY2(refused.error.contains(clerk) && refused.error.contains("quotedesk_schema"), qPrintable(refused.error));
    QVERIFY(explainFailure(refused).contains("権限がありません"));
    QVERIFY(db.execUnprepared("GRANT SELECT ON quotedesk_schema TO " + clerk));
    refused = engineOf(other).checkSchema(other);
    QVERIFY2(refused.error.contains("見積書ヘッダ"), qPrintable(refused.error));
    QVERIFY(db.execUnprepared("GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO " + clerk));
    refused = engineOf(other).checkSchema(other);
    QVERIFY2(refused.error.contains("UPDATE"), qPrintable(refused.error)); // the right missing is named
    QVERIFY(db.execUnprepared("GRANT UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO " + clerk));
    QVERIFY(engineOf(other).checkSchema(other));
    other.close();
    QVariant units;
    QVERIFY(db.scalar("SELECT count(*) FROM コードマスタ WHERE kcode = ?", {QStringLiteral("単位")}, units));
    QCOMPARE(units.toInt(), 100);
    // A second run, or a database another program uses, is left exactly as it was.
    QVERIFY(!engineOf(db).createSchema(db));
    QVERIFY(db.execUnprepared("DROP TABLE 見積書索引"));
    QVERIFY(!engineOf(db).checkSchema(db));
    QVERIFY(db.execUnprepared("SET client_min_messages = warning"));
    QVERIFY(db.execUnprepared("DROP SCHEMA public CASCADE"));
    QVERIFY(db.execUnprepared("CREATE SCHEMA public"));
    QVERIFY(db.execUnprepared("CREATE TABLE accounts (id int)"));
    QVERIFY(!engineOf(db).createSchema(db));
    int tables = 0;
    QVERIFY(serverschema::tableCount(db, tables));
    QCOMPARE(tables, 1);
}

// A desktop's file with what an office has after some years: repeated and empty master names,
// a company seal, an issued estimate, money to the ten-thousandth of a yen.
static void fillDesktopFile(const QString &path)
{
    Db f(QStringLiteral("desktop"));
    QVERIFY(f.open(path));
    const QByteArray seal("\x89PNG\r\n\x1a\n\0\x01", 10);
    QVERIFY(f.exec("INSERT INTO 自社情報 (自社名, LineColor1, 最大見積書番号, 社印) VALUES (?, ?, ?, ?)",
                   {QStringLiteral("㈱見積"), 255, 7, seal}));
    for (int n : {3, 12}) {
        QVERIFY(f.exec("INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 合計) VALUES (?, '2026/11/30', ?, ?)",
                       {n, QStringLiteral("山田商店"), Money::parse("110000.5").value().raw()}));
        QVERIFY(f.exec("INSERT INTO 見積書索引 (rowid, 本文) VALUES (?, ?)", {n, QStringLiteral("山田商店\n\n")}));
        for (int line = 0; line < 30; ++line)
            QVERIFY(f.exec("INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名, 数量, 単価, 金額, 軽減) "
                           "VALUES (?, ?, 1, ?, 1.5, ?, ?, ?)",
                           {n, line, QStringLiteral("品%1").arg(line), 3333, 4999, line % 2}));
    }
    for (const char *name : {"山田商店", "", "佐藤工務店", "山田商店", "山田商店"})
        QVERIFY(f.exec("INSERT INTO 顧客マスタ (顧客名, 顧客情報) VALUES (?, ?)",
                       {QString::fromUtf8(name), QStringLiteral("住所%1").arg(QString::fromUtf8(name))}));
    QVERIFY(f.exec("INSERT INTO 顧客マスタ (顧客名) VALUES (NULL)"));
    QVERIFY(f.exec("INSERT INTO 商品マスタ (品名, 単価) VALUES ('ボルト', 10000), ('ボルト', 20000)"));
    // An invoice No.3 beside estimate No.3, made from a delivery note, with its own counter.
    QVERIFY(f.exec("INSERT INTO 請求書ヘッダ (伝票番号, 顧客名, 支払期限, 源泉徴収, 源泉税額) VALUES (3, '山田商店', '2026/12/31', 1, ?)",
                   {Money::fromYen(1021).raw()}));
    QVERIFY(f.exec("INSERT INTO 請求書 (伝票番号, 行番号, 伝票区分, 品名, 金額, 納品書番号) VALUES (3, 0, 3, '請求の品', 10000, 5)"));
    QVERIFY(f.exec("INSERT INTO 伝票連携 (種別, 伝票番号, 並び, 元種別, 元番号, 元日付) VALUES (3, 3, 0, 2, 5, '2026/11/20')"));
    QVERIFY(f.exec("INSERT INTO 請求書索引 (rowid, 本文) VALUES (3, '山田商店\n\n請求の品\n\n')"));
    IssueArchive archive(f);
    IssueMeta meta{12, QStringLiteral("山田商店"), QStringLiteral("2026/11/30"), Money::parse("110000.5"), "c"};
    QVERIFY(archive.record(meta, QByteArray("%PDF-1.4 bytes"), issuearchive::kPdf, QDateTime::currentDateTime()));
}

// That file imported into the server's fresh database.
static DbResult importFilled(const TestServer &server, const TempData &data, Db &db, ImportReport &report)
{
    fillDesktopFile(data.perm());
    if (DbResult r = server.open(db); !r)
        return r;
    return importIntoServer(data.perm(), db, report);
}

void ServerTest::importKeepsEveryValueAndSaysWhatItMerged()
{
    REQUIRE_SERVER(server);
    TempData data;
    Db db(QStringLiteral("import"));
    ImportReport report;
    DbResult r = importFilled(server, data, db, report);
    QVERIFY2(r, qPrintable(r.error));
    QVERIFY(engineOf(db).checkSchema(db));
    QCOMPARE(report.estimates, 2);
    QCOMPARE(report.lines, 60);
    QCOMPARE(report.customers, 2);
    QCOMPARE(report.products, 1);
    QCOMPARE(report.issued, 1);
    QCOMPARE(report.merged.size(), 3); // the empty names once, 山田商店 (3 rows), ボルト (2 rows)
    QVERIFY(report.merged.filter(QStringLiteral("山田商店")).first().contains("3"));

    // The first row of a repeated name is the one the program always showed.
    QVariant v;
    QVERIFY(db.scalar("SELECT 顧客情報 FROM 顧客マスタ WHERE 顧客名 = ?", {QStringLiteral("山田商店")}, v));
    QCOMPARE(v.toString(), QStringLiteral("住所山田商店"));
    QVERIFY(db.scalar("SELECT 単価 FROM 商品マスタ WHERE 品名 = ?", {QStringLiteral("ボルト")}, v));
    QCOMPARE(Money::fromSql(v), Money::fromSql(10000));
    // Money sums stay exact integers on the server too.
    QVERIFY(db.scalar("SELECT sum(金額)::bigint FROM 見積書", {}, v));
    QCOMPARE(v.toLongLong(), 60LL * 4999);
    QVERIFY(db.scalar("SELECT 社印 FROM 自社情報", {}, v));
    QCOMPARE(v.toByteArray(), QByteArray("\x89PNG\r\n\x1a\n\0\x01", 10));
    // The counter is never below a stored number (the file said 7, No.12 is stored).
    qlonglong next = 0;
    QVERIFY(engineOf(db).proposedNumber(db, DocKind::Estimate, next));
    QCOMPARE(next, 13);
    // The invoice came along whole, under its own counter, and is found by its own search.
    QVERIFY(engineOf(db).proposedNumber(db, DocKind::Invoice, next));
    QCOMPARE(next, 4);
    QVERIFY(db.scalar("SELECT 源泉税額 FROM 請求書ヘッダ WHERE 伝票番号 = 3", {}, v));
    QCOMPARE(Money::fromSql(v), Money::fromYen(1021));
    QVERIFY(db.scalar("SELECT 元番号 FROM 伝票連携 WHERE 種別 = 3 AND 伝票番号 = 3", {}, v));
    QCOMPARE(v.toInt(), 5);
    QVERIFY(db.scalar("SELECT 納品書番号 FROM 請求書 WHERE 伝票番号 = 3", {}, v));
    QCOMPARE(v.toInt(), 5);
    QVector<ListRow> invoices;
    QVERIFY(EstimateList(db).find({QStringLiteral("請求の品"), {}, {}, DocKind::Invoice}, 10, invoices));
    QCOMPARE(invoices.size(), 1);
    QVERIFY(EstimateList(db).find({QStringLiteral("請求の品"), {}, {}, DocKind::Estimate}, 10, invoices));
    QCOMPARE(invoices.size(), 0);
    // The archive keeps its bytes, and stays append-only on the server.
    QVERIFY(db.scalar("SELECT p.PDF FROM 発行PDF p JOIN 発行版 v ON v.id = p.版ID WHERE v.伝票番号 = 12", {}, v));
    QCOMPARE(v.toByteArray(), QByteArray("%PDF-1.4 bytes"));
    ArchiveAudit audit; // the file's chain goes on on the server
    QVERIFY(auditArchive(db, audit));
    QVERIFY2(audit.sound() && audit.records == 1, qPrintable(audit.summary()));
    QVERIFY(!db.exec("DELETE FROM 発行記録"));
    QVERIFY(!db.exec("UPDATE 発行版 SET 合計 = 0"));
    QVERIFY(!db.execUnprepared("TRUNCATE 発行PDF"));
}

void ServerTest::importIsAllOrNothing()
{
    REQUIRE_SERVER(server);
    TempData data;
    fillDesktopFile(data.perm());
    { // a character the server cannot store, in the last table copied before the archive
        Db f(QStringLiteral("desktop"));
        QVERIFY(f.open(data.perm()));
        QVERIFY(f.exec("UPDATE 見積書索引 SET 本文 = ? WHERE rowid = 12", {QString(QChar(0)) + "x"}));
    }
    Db db(QStringLiteral("import"));
    QVERIFY(server.open(db));
    ImportReport report;
    DbResult r = importIntoServer(data.perm(), db, report);
    QVERIFY(!r);
    QVERIFY2(r.error.contains(QStringLiteral("見積書索引")), qPrintable(r.error));
    int tables = -1;
    QVERIFY(serverschema::tableCount(db, tables));
    QCOMPARE(tables, 0); // nothing half-copied: the import can simply be run again

    // Into a database that is not empty: refused, what is there untouched.
    QVERIFY(engineOf(db).createSchema(db));
    QVERIFY(db.exec("INSERT INTO 見積書ヘッダ (伝票番号) VALUES (1)"));
    QVERIFY(!importIntoServer(data.perm(), db, report));
    QVariant count;
    QVERIFY(db.scalar("SELECT count(*) FROM 見積書ヘッダ", {}, count));
    QCOMPARE(count.toInt(), 1);
}

void ServerTest::counterOnlyRises()
{
    REQUIRE_SERVER(server);
    Db db(QStringLiteral("counter"));
    QVERIFY(server.open(db) && engineOf(db).createSchema(db));
    QCOMPARE(Proc管理(db, "最大見積書番号", "Get", {}).toLongLong(), 1);
    Proc管理(db, "最大見積書番号", "Set", "40");
    Proc管理(db, "最大見積書番号", "Set", "12"); // a lower save never lowers it
    Proc管理(db, "最大見積書番号", "Set", "abc");
    QCOMPARE(Proc管理(db, "最大見積書番号", "Get", {}).toLongLong(), 41);
    // A number stored elsewhere without raising the counter is skipped when one is taken.
    QVERIFY(db.exec("INSERT INTO 見積書ヘッダ (伝票番号) VALUES (41), (42)"));
    qlonglong n = 0;
    QVERIFY(db.transaction([&] { return engineOf(db).takeNextNumber(db, DocKind::Estimate, n); }));
    QCOMPARE(n, 43);
}

// The wipe on a server copies the tables into a dated schema first; the README's statements
// bring them back, and the office goes on registering afterwards.
void ServerTest::wipeOnServerKeepsACopyThatRestores()
{
    REQUIRE_SERVER(server);
    TempData data;
    Db db(QStringLiteral("wipe"));
    ImportReport report;
    QVERIFY(importFilled(server, data, db, report));
    QString written;
    QVERIFY(engineOf(db).backupBeforeWipe(db, QString(), QDateTime(QDate(2026, 12, 8), QTime(10, 15)), &written));
    QVERIFY(written.contains("quotedesk_backup_20261208_101500"));
    QVERIFY(wipeAllData(db));
    QVariant v;
    QVERIFY(db.scalar("SELECT (SELECT count(*) FROM 見積書ヘッダ) + (SELECT count(*) FROM 顧客マスタ) + "
                      "(SELECT count(*) FROM 見積書索引)", {}, v));
    QCOMPARE(v.toInt(), 0);
    QVERIFY(db.scalar("SELECT count(*) FROM 発行版", {}, v));
    QCOMPARE(v.toInt(), 1); // the archive stays
    // The README's way back, table by table, in one transaction.
    const QString b = QStringLiteral("quotedesk_backup_20261208_101500");
    QVERIFY(db.transaction([&]() -> DbResult {
        for (const char *t : {"見積書ヘッダ", "見積書", "見積書索引", "顧客マスタ", "商品マスタ", "自社情報"}) {
            const QString table = QString::fromUtf8(t);
            if (DbResult r = db.execUnprepared(QString("DELETE FROM %1").arg(table)); !r)
                return r;
            if (DbResult r = db.execUnprepared(QString("INSERT INTO %1 SELECT * FROM %2.%1").arg(table, b)); !r)
                return r;
        }
        return {};
    }));
    QVERIFY(db.scalar("SELECT count(*) FROM 見積書", {}, v));
    QCOMPARE(v.toInt(), 60);
    QVERIFY(db.scalar("SELECT 顧客情報 FROM 顧客マスタ WHERE 顧客名 = ?", {QStringLiteral("山田商店")}, v));
    QCOMPARE(v.toString(), QStringLiteral("住所山田商店"));
    // Registering goes on: the restored rows' ids do not stand in the way of new ones.
    QVERIFY(engineOf(db).registerMasterRows(db, "顧客マスタ", {"顧客名", "顧客情報", "敬称"},
                                            {MasterRow{{QStringLiteral("新顧客"), QStringLiteral("x"), QString()},
                                                       {true, true, true}}}));
}

// The archive's searches, each condition and all three, on the server's planner.
void ServerTest::archiveSearchOnServer()
{
    REQUIRE_SERVER(server);
    Db db(QStringLiteral("archive"));
    QVERIFY(server.open(db) && engineOf(db).createSchema(db));
    IssueArchive archive(db);
    const QDateTime at(QDate(2026, 3, 1), QTime(9, 0));
    QVERIFY(archive.record({1, "株式会社山田商店", "2026/01/01", Money::fromYen(10000), "a"}, "a", issuearchive::kPdf, at));
    QVERIFY(archive.record({2, "100%_商会", "2026/01/01", Money::fromYen(55000), "b"}, "b", issuearchive::kPdf, at.addDays(1)));
    QVERIFY(archive.record({1, "株式会社山田商店", "2026/01/01", Money::fromYen(12000), "c"}, "c", issuearchive::kPdf, at.addDays(2)));
    QVector<IssuedRow> rows;
    DbResult r = archive.find({QDate(2026, 3, 1), QDate(2026, 3, 31), Money::fromYen(1), Money::fromYen(60000), "山田"}, 50, rows);
    QVERIFY2(r, qPrintable(r.error));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].version, 2); // newest issue first
    QVERIFY(archive.find({{}, {}, {}, {}, "%_"}, 50, rows)); // wildcards stand for themselves
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].number, 2);
}

// The office's server restarts while the window waits: the first action after it came back
// succeeds, whatever it is (a save, a read, a search, a transaction of its own).
void ServerTest::restartBetweenActions()
{
    if (TestServer::conninfo().isEmpty())
        QSKIP("no test server (QUOTEDESK_TEST_SERVER); scripts/test.sh starts one");
    // A server of its own: restarting the shared one would break the tests running beside.
    const QString pg = QDir::tempPath() + QStringLiteral("/qd-restart-%1").arg(QCoreApplication::applicationPid());
    auto script = [&](const QString &action) {
        QProcess p;
        p.start(QUOTEDESK_SCRIPTS "/pg-throwaway.sh", {action, pg});
        p.waitForFinished(60000);
        return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString();
    };
    const QString conninfo = script("start");
    QVERIFY(!conninfo.isEmpty());
    auto stop = qScopeGuard([&] { script("stop"); });
    TempData data;
    {
        ServerConfig config;
        QVERIFY(parseConnectionString(conninfo, config));
        Db db(QStringLiteral("restart-prepare"));
        QVERIFY(db.openServer(config));
        QVERIFY(engineOf(db).createSchema(db));
        QFile f(data.folder() + kServerFileName);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(conninfo.toUtf8() + "\n");
    }
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    Answers answers;
    auto *tab = w->estimateTab();
    // The client library speaks Japanese, as on an office's desktop: nothing may hang on its words.
    ClientLanguage japanese("ja");
    for (int trial = 0; trial < 2; ++trial) {
        tab->Clear見積書(true);
        QVERIFY(!script("restart").isNull());
        tab->ui->cmb顧客名->setEditText(QStringLiteral("再起動%1").arg(trial));
        typeCell(w.find<DataGrid>("Grid明細"), 0, Col金額, "1000");
        QVERIFY2(tab->Entry見積書(), qPrintable(answers.shown.isEmpty() ? QString() : answers.shown.last().text)); // a save
        QVERIFY(!script("restart").isNull());
        tab->ui->txtNo->setText(QString::number(trial + 1));
        tab->Read見積書(); // a read
        QCOMPARE(tab->ui->cmb顧客名->currentText(), QStringLiteral("再起動%1").arg(trial));
        QVERIFY(!script("restart").isNull());
        EstimateList list(w->context().main); // a search
        QVector<ListRow> rows;
        QVERIFY(list.find({.text = QStringLiteral("再起動%1").arg(trial), .from = {}, .to = {}}, 10, rows));
        QCOMPARE(rows.size(), 1);
        QVERIFY(!script("restart").isNull());
        w.find<QLineEdit>("txt自社名")->setText(QStringLiteral("自社%1").arg(trial));
        w.find<QAbstractButton>("cmd設定登録")->click(); // a transaction of its own
        QCOMPARE(w->context().companyName, QStringLiteral("自社%1").arg(trial));
    }
    QVERIFY2(!answers.sawKey("その他", "注意"), qPrintable(answers.shown.isEmpty() ? QString() : answers.shown.last().text));
}

QTEST_MAIN(ServerTest)
#include "test_server.moc"
