// Saves on an office's server: a connection that broke meanwhile, a commit cut off, another
// desktop holding the number's lock.

#include "SaveFixture.h"
#include "ReplyDropper.h"
#include "server/ServerSchema.h"

#include "ui_EstimateTab.h"
#include "store/ServerConfig.h"
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <atomic>
#include <thread>

class ServerSavesTest : public QObject {
    Q_OBJECT
private slots:
    void serverConnectionLostAndFound();
    void serverSaveWaitsForTheNumbersLock();
    void committedSaveWhoseReplyWasLost_data();
    void committedSaveWhoseReplyWasLost();
    void serverFaultsAreSaidPlainly_data();
    void serverFaultsAreSaidPlainly();
    void aLongWaitShowsAndCanBeStopped();
};

// Another desktop holding the number's lock for ms (its save of that number under way); returns
// once the lock is held.
static std::thread holdNumberLock(const TempData &data, int number, int ms)
{
    auto held = std::make_shared<std::atomic<bool>>(false);
    std::thread other([&data, number, ms, held] {
        Db db(QStringLiteral("other-desktop"));
        if (data.openPerm(db))
            db.transaction([&]() -> DbResult {
                DbResult r = db.exec("SELECT pg_advisory_xact_lock(?, ?)", {serverschema::kLockSpace, number});
                *held = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                return r;
            });
        *held = true; // also when it could not connect: the wait ends and the test fails on its own
    });
    while (!*held)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return other;
}

static void byLanguage()
{
    QTest::addColumn<QByteArray>("language");
    QTest::newRow("Japanese") << QByteArray("ja");
    QTest::newRow("C") << QByteArray("C");
}

// The server restarted, or the connection broke during a COMMIT: the next save reconnects,
// and a save whose COMMIT never arrived is made again before the user hears of anything.
void ServerSavesTest::serverConnectionLostAndFound()
{
    if (!onTestServer())
        QSKIP("a server's connection");
    Fixture f;
    Answers answers;
    auto dropConnections = [&] {
        QVERIFY(seedPerm(f.data, "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                 "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    };
    auto saveOne = [&](const QString &customer) {
        const int number = f.no->text().toInt();
        f.customer(customer);
        f.line(0, "ボルト", "2", "100");
        f.save();
        return number;
    };
    dropConnections();
    const int first = saveOne("再接続");
    QCOMPARE(permRows(f.data, "SELECT 顧客名 FROM 見積書ヘッダ WHERE 伝票番号 = ?", {first})[0][0].toString(),
             QString("再接続"));
    // The connection dies with the COMMIT, once: nothing arrived, so it is saved again.
    Db perm(QStringLiteral("kill"));
    QVERIFY(f.data.openPerm(perm));
    QVERIFY(perm.execUnprepared("CREATE SEQUENCE kill_once"));
    QVERIFY(perm.execUnprepared("CREATE FUNCTION kill_at_commit() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN "
                                "IF nextval('kill_once') = 1 THEN PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); "
                                "END IF; RETURN NULL; END $f$"));
    QVERIFY(perm.execUnprepared("CREATE CONSTRAINT TRIGGER kill_at_commit AFTER INSERT ON 見積書ヘッダ DEFERRABLE "
                                "INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION kill_at_commit()"));
    const int second = saveOne("二度目");
    QCOMPARE(permInt(f.data, "SELECT nextval('kill_once')"), 3); // it did kill the first COMMIT
    QCOMPARE(permRows(f.data, "SELECT 顧客名 FROM 見積書ヘッダ WHERE 伝票番号 = ?", {second})[0][0].toString(),
             QString("二度目"));
    QCOMPARE(storedLines(f.data, second).size(), 1);
    QVERIFY(!answers.sawKey("その他", "注意")); // no failure was shown
    QVERIFY(f.win().find<QStatusBar>("statusLine")->currentMessage().contains(QString("No.%1").arg(second)));
}

// Another desktop holds the number's lock (its save of the same number is under way): this
// save waits for it rather than writing in between.
void ServerSavesTest::serverSaveWaitsForTheNumbersLock()
{
    if (!onTestServer())
        QSKIP("a server's locks");
    Fixture f;
    const int number = f.no->text().toInt();
    std::thread other = holdNumberLock(f.data, number, 700);
    QElapsedTimer t;
    t.start();
    Answers answers;
    f.customer("待つ");
    f.line(0, "ボルト", "1", "10");
    f.save();
    const qint64 waited = t.elapsed();
    other.join();
    QVERIFY2(waited >= 400, qPrintable(QString::number(waited)));
    QCOMPARE(permRows(f.data, "SELECT 顧客名 FROM 見積書ヘッダ WHERE 伝票番号 = ?", {number})[0][0].toString(), QString("待つ"));
}

// The save reached the server and was committed, but its reply was lost with the connection:
// the re-check finds it stored as written (its lines, not the grid's empty rows) and says it
// was stored; nothing is asked and nothing stored twice.
void ServerSavesTest::committedSaveWhoseReplyWasLost_data() { byLanguage(); }

void ServerSavesTest::committedSaveWhoseReplyWasLost()
{
    if (!onTestServer())
        QSKIP("a server's connection");
    QFETCH(QByteArray, language);
    ClientLanguage speaking(language.constData());
    TempData data;
    ServerConfig server;
    QVERIFY(parseConnectionString(TestServer::conninfo(), server));
    const QString port = server.port().isEmpty() ? QStringLiteral("5432") : server.port();
    QTemporaryDir proxy;
    ReplyDropper dropper(server.host() + "/.s.PGSQL." + port, proxy.path());
    {
        QFile f(data.folder() + kServerFileName);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral("host=%1 user=%2 dbname=%3\n").arg(proxy.path(), server.user(), data.server->name).toUtf8());
    }
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    Answers answers;
    auto *tab = w->estimateTab();
    const int number = tab->ui->txtNo->text().toInt();
    tab->ui->cmb顧客名->setEditText("返事なし");
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col品名, "ボルト");
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col金額, "100");
    QVERIFY(tab->Entry見積書());
    QVERIFY(dropper.dropped());
    QVERIFY2(answers.shown.size() == 1, qPrintable(answers.shown.last().text)); // the question before the save, and nothing after
    QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書ヘッダ"), 1);
    QCOMPARE(permInt(data, "SELECT 伝票番号 FROM 見積書ヘッダ"), number);
    QCOMPARE(storedLines(data, number).size(), 1);
    QCOMPARE(tab->ui->txtNo->text(), QString::number(number + 1));
}

void ServerSavesTest::serverFaultsAreSaidPlainly_data() { byLanguage(); }

// A full disk on the server and a statement that runs past its limit: each said as what it is,
// nothing stored, the screen as it was.
void ServerSavesTest::serverFaultsAreSaidPlainly()
{
    if (!onTestServer())
        QSKIP("a server's faults");
    QFETCH(QByteArray, language);
    ClientLanguage speaking(language.constData());
    TempData data;
    QFile file(data.folder() + kServerFileName);
    QVERIFY(file.open(QIODevice::Append));
    file.write("statement_timeout=1\n");
    file.close();
    {
        Db perm(QStringLiteral("faults"));
        QVERIFY(data.openPerm(perm));
        QVERIFY(perm.execUnprepared("CREATE FUNCTION fault() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN "
                                    "IF NEW.顧客名 = 'ディスク' THEN RAISE EXCEPTION 'could not extend file' USING ERRCODE = '53100'; "
                                    "END IF; IF NEW.顧客名 = '遅い' THEN PERFORM pg_sleep(3); END IF; RETURN NEW; END $f$"));
        QVERIFY(perm.execUnprepared("CREATE TRIGGER fault BEFORE INSERT ON 見積書ヘッダ FOR EACH ROW EXECUTE FUNCTION fault()"));
    }
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    auto *tab = w->estimateTab();
    for (const char *customer : {"ディスク", "遅い"}) {
        Answers answers;
        tab->ui->cmb顧客名->setEditText(QString::fromUtf8(customer));
        typeCell(w.find<DataGrid>("Grid明細"), 0, Col金額, "100");
        QElapsedTimer t;
        t.start();
        QVERIFY(!tab->Entry見積書());
        QVERIFY(t.elapsed() < 2500); // ended by the limit, not by the sleep
        const QString said = answers.shown.last().text;
        QVERIFY2(said.contains(QString::fromUtf8(customer) == "ディスク" ? "空き容量" : "制限時間"), qPrintable(said));
        QVERIFY2(said.contains("画面の内容はそのまま"), qPrintable(said));
        QCOMPARE(tab->ui->cmb顧客名->currentText(), QString::fromUtf8(customer));
        QCOMPARE(permInt(data, "SELECT count(*) FROM 見積書ヘッダ"), 0);
    }
}

// Another desktop's lock held for seconds: the window is drawn all along, a dialog says that the
// server is awaited after a second, and キャンセル stops the save with nothing stored.
void ServerSavesTest::aLongWaitShowsAndCanBeStopped()
{
    if (!onTestServer())
        QSKIP("a server that keeps the window waiting");
    Fixture f;
    const int number = f.no->text().toInt();
    std::thread other = holdNumberLock(f.data, number, 2500);
    qint64 shownAt = -1;
    QElapsedTimer t;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->objectName() == "dlgサーバー待ち" && d->isVisible()) {
                if (shownAt < 0)
                    shownAt = t.elapsed();
                d->cancel();
            }
    });
    Answers answers;
    f.customer("待つ");
    f.line(0, "ボルト", "1", "10");
    t.start();
    watch.start(50);
    f.save();
    const qint64 stopped = t.elapsed();
    watch.stop();
    other.join();
    QVERIFY2(shownAt >= 900 && stopped < 2000, qPrintable(QString("%1 %2").arg(shownAt).arg(stopped)));
    QVERIFY2(answers.shown.last().text.contains("取りやめ"), qPrintable(answers.shown.last().text));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 0);
    QCOMPARE(f.win().find<QComboBox>("cmb顧客名")->currentText(), QString("待つ")); // the screen kept
    // Not stopped: stored once the lock is free.
    f.save();
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ"), 1);
}

QTEST_MAIN(ServerSavesTest)
#include "test_serversaves.moc"
