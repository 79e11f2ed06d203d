// One program per data folder, across real processes: a second start ends at once with 0
// and touches no file; a lock left by a killed instance does not block the next start.

#include "TestSupport.h"
#include "TestPrograms.h"
#include "app/SingleInstance.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>
#include <sys/resource.h>

class InstanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void secondStartActivatesFirstInProcess();
    void unusableLockFolderStillStarts();
    void lockWithoutRunningHolderIsTakenOver_data();
    void lockWithoutRunningHolderIsTakenOver();
    void lockThatCannotBeWrittenRefusesTheStart();
    void oneDataFolderWhoeverStarts();
    void secondProcessEndsAtOnce();
    void killedInstanceDoesNotBlock();
    void secondStartWhileFirstShowsMessage();

private:
    QProcess *start(const QString &program = QString());
    QMap<QString, QPair<qint64, QDateTime>> snapshot() const;
    bool waitForServer(int ms) const;

    QString socket() const { return SingleInstance::socketPath(m_dir.path() + "/app/data", m_runtime + "/QuoteDesk"); }
    QTemporaryDir m_dir;
    QString m_program, m_runtime;
};

void InstanceTest::initTestCase()
{
    // The program's own folder with its data beside it, as an installation has it.
    QDir(m_dir.path()).mkpath("app");
    m_program = m_dir.path() + "/app/quotedesk";
    QVERIFY(QFile::copy(QUOTEDESK_BIN, m_program));
    QVERIFY(schema::createMissingFiles(m_dir.path() + "/app/data"));
    m_runtime = m_dir.path() + "/run";
    QDir().mkpath(m_runtime);
    QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A failed check must not leave an instance running into the next test.
void InstanceTest::cleanup()
{
    for (QProcess *p : findChildren<QProcess *>()) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
        delete p;
    }
}

QProcess *InstanceTest::start(const QString &program)
{
    auto *p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", m_runtime);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(program.isEmpty() ? m_program : program, {});
    return p;
}

bool InstanceTest::waitForServer(int ms) const
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QLocalSocket s;
        s.connectToServer(socket());
        if (s.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

QMap<QString, QPair<qint64, QDateTime>> InstanceTest::snapshot() const
{
    QMap<QString, QPair<qint64, QDateTime>> files;
    QDirIterator it(m_dir.path() + "/app/data", QDir::Files);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        files[fi.fileName()] = {fi.size(), fi.lastModified()};
    }
    return files;
}

void InstanceTest::secondStartActivatesFirstInProcess()
{
    QTemporaryDir runtime, data;
    SingleInstance first(data.path(), runtime.path());
    QVERIFY(first.claim());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);
    SingleInstance second(data.path(), runtime.path());
    QElapsedTimer t;
    t.start();
    QVERIFY(!second.claim());
    QVERIFY(t.elapsed() < 1000);
    QVERIFY(second.reachedHolder());
    QVERIFY(activated.wait(3000));
}

void InstanceTest::oneDataFolderWhoeverStarts()
{
    QTemporaryDir data, other, runtimeA, runtimeB;
    SingleInstance first(data.path(), runtimeA.path());
    QVERIFY(first.claim());
    // Another login (its own runtime folder) on the same data is refused at once, unreached.
    SingleInstance otherLogin(data.path(), runtimeB.path());
    QElapsedTimer t;
    t.start();
    QVERIFY(!otherLogin.claim());
    QVERIFY(!otherLogin.reachedHolder());
    QVERIFY(t.elapsed() < 1000);
    // Other data may run side by side.
    SingleInstance otherData(other.path(), runtimeA.path());
    QVERIFY(otherData.claim());
}

void InstanceTest::unusableLockFolderStillStarts()
{
    QTemporaryDir dir;
    QFile blocker(dir.path() + "/QuoteDesk"); // a file where the lock folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QElapsedTimer t;
    t.start();
    SingleInstance instance(dir.path() + "/QuoteDesk", dir.path());
    QVERIFY(instance.claim());
    QVERIFY(t.elapsed() < 1000);
}

void InstanceTest::lockWithoutRunningHolderIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty, after a power loss") << QByteArray();
    QTest::newRow("damaged") << QByteArray("\x00\xff garbage");
    QTest::newRow("from another computer") << QByteArray("4242\nquotedesk\nother-pc\n");
}

void InstanceTest::lockWithoutRunningHolderIsTakenOver()
{
    QFETCH(QByteArray, content);
    QTemporaryDir data, runtime;
    QFile lock(data.filePath("QuoteDesk.lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(content);
    lock.close();
    SingleInstance first(data.path(), runtime.path());
    QVERIFY(first.claim());
    QVERIFY(first.failure().isEmpty());
    // Once taken over it is held: the next start is refused as usual.
    SingleInstance second(data.path(), runtime.path());
    QVERIFY(!second.claim());
    QVERIFY(second.failure().isEmpty());
    QVERIFY(second.reachedHolder());
}

void InstanceTest::lockThatCannotBeWrittenRefusesTheStart()
{
    // A disk that takes no more bytes: the lock file cannot be written.
    QTemporaryDir data, runtime;
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit none = old;
    none.rlim_cur = 0;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &none), 0);
    SingleInstance instance(data.path(), runtime.path());
    const bool claimed = instance.claim();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    QVERIFY(!claimed);
    QVERIFY(instance.failure().contains(QDir::toNativeSeparators(data.path())));
    QVERIFY(instance.failure().contains("書き込めません"));
    QVERIFY(!QFileInfo::exists(data.filePath("QuoteDesk.lock"))); // nothing half written left behind

    // Nor one that cannot be made at all (something else stands where it belongs): no start unlocked.
    QVERIFY(QDir(data.path()).mkdir("QuoteDesk.lock"));
    SingleInstance blocked(data.path(), runtime.path());
    QVERIFY(!blocked.claim());
    QVERIFY(blocked.failure().contains(QDir::toNativeSeparators(data.path())));
}

void InstanceTest::secondProcessEndsAtOnce()
{
    QProcess *first = start();
    QVERIFY(first->waitForStarted());
    QVERIFY(waitForServer(10000));
    // It answers before its window is up; the files settle once the window has been built.
    auto before = snapshot();
    for (int quiet = 0; quiet < 3; before = snapshot()) {
        QTest::qWait(200);
        quiet = snapshot() == before ? quiet + 1 : 0;
    }

    QProcess *second = start();
    QElapsedTimer t;
    t.start();
    QVERIFY(second->waitForFinished(10000));
    QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed()))); // process start included
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(snapshot(), before);
    QCOMPARE(first->state(), QProcess::Running);

    first->terminate();
    QVERIFY(first->waitForFinished(5000));
}

void InstanceTest::killedInstanceDoesNotBlock()
{
    QProcess *first = start();
    QVERIFY(first->waitForStarted());
    QVERIFY(waitForServer(10000));
    ::kill(pid_t(first->processId()), SIGKILL);
    QVERIFY(first->waitForFinished(5000));
    QVERIFY(QFileInfo::exists(m_dir.path() + "/app/data/QuoteDesk.lock")); // left behind

    QProcess *next = start();
    QVERIFY(next->waitForStarted());
    QVERIFY(waitForServer(10000));
    QTest::qWait(300);
    QCOMPARE(next->state(), QProcess::Running);
    next->terminate();
    QVERIFY(next->waitForFinished(5000));
}

void InstanceTest::secondStartWhileFirstShowsMessage()
{
    // The first start stops at its message about a missing work file and waits for OK.
    QDir(m_dir.path()).mkpath("broken/data");
    const QString program = m_dir.path() + "/broken/quotedesk";
    QVERIFY(QFile::copy(QUOTEDESK_BIN, program));
    QVERIFY(schema::createFile(m_dir.path() + "/broken/data/" + schema::kPermFileName, schema::FileKind::Permanent));
    QProcess *first = start(program);
    QVERIFY(first->waitForStarted());
    QTest::qWait(1500);
    QCOMPARE(first->state(), QProcess::Running);
    QProcess *second = start(program);
    QElapsedTimer t;
    t.start();
    QVERIFY(second->waitForFinished(10000));
    QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(second->exitCode(), 0);
}

QTEST_MAIN(InstanceTest)
#include "test_instance.moc"
