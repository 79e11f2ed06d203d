// One instance per user, across real processes: a second start ends at once with 0 and
// touches no file; a lock left by a killed instance does not block the next start.

#include "TestSupport.h"
#include "app/SingleInstance.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>

class InstanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void secondStartActivatesFirstInProcess();
    void unusableLockFolderStillStarts();
    void secondProcessEndsAtOnce();
    void killedInstanceDoesNotBlock();

private:
    QProcess *start();
    QMap<QString, QPair<qint64, QDateTime>> snapshot() const;
    bool waitForServer(int ms) const;

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

QProcess *InstanceTest::start()
{
    auto *p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", m_runtime);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(m_program, {});
    return p;
}

bool InstanceTest::waitForServer(int ms) const
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QLocalSocket s;
        s.connectToServer(m_runtime + "/QuoteDesk/instance.sock");
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
    QTemporaryDir runtime;
    SingleInstance first(runtime.path());
    QVERIFY(first.claim());
    first.listen();
    QSignalSpy activated(&first, &SingleInstance::activationRequested);
    SingleInstance second(runtime.path());
    QVERIFY(!second.claim());
    QVERIFY(activated.wait(3000));
}

void InstanceTest::unusableLockFolderStillStarts()
{
    QTemporaryDir dir;
    QFile blocker(dir.path() + "/QuoteDesk"); // a file where the lock folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QElapsedTimer t;
    t.start();
    SingleInstance instance(dir.path() + "/QuoteDesk");
    QVERIFY(instance.claim());
    QVERIFY(t.elapsed() < 1000);
}

void InstanceTest::secondProcessEndsAtOnce()
{
    QProcess *first = start();
    QVERIFY(first->waitForStarted());
    QVERIFY(waitForServer(10000));
    const auto before = snapshot();

    QProcess *second = start();
    QVERIFY(second->waitForFinished(10000));
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
    QVERIFY(QFileInfo::exists(m_runtime + "/QuoteDesk/instance.lock")); // left behind

    QProcess *next = start();
    QVERIFY(next->waitForStarted());
    QVERIFY(waitForServer(10000));
    QTest::qWait(300);
    QCOMPARE(next->state(), QProcess::Running);
    next->terminate();
    QVERIFY(next->waitForFinished(5000));
}

QTEST_MAIN(InstanceTest)
#include "test_instance.moc"
