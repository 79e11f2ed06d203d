#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStorageInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString &dataFolder, const QString &runtimeFolder, QObject *parent)
    : QObject(parent), m_dataFolder(dataFolder), m_runtime(runtimeFolder)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::defaultRuntimeFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return QDir(base).filePath(QStringLiteral("QuoteDesk"));
}

QString SingleInstance::socketPath(const QString &dataFolder, const QString &runtimeFolder)
{
    // Short and fixed in length: a socket path may not be longer than about 100 bytes.
    QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QFileInfo(dataFolder).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(runtimeFolder).filePath(QStringLiteral("data-") + QString::fromLatin1(hash) + QStringLiteral(".sock"));
}

// A running holder keeps its lock file locked (flock): a file nobody locks is left by a
// crash, a power loss or another computer, whatever it says inside. Removed only while we
// hold it and while it is still the file at that path, so a start that took it meanwhile keeps it.
static void removeUnheldLock(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat held, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::stat(native.constData(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev)
        ::unlink(native.constData());
    ::close(fd);
}

bool SingleInstance::claim()
{
    const QString path = QDir(m_dataFolder).filePath(QStringLiteral("QuoteDesk.lock"));
    removeUnheldLock(path);
    m_lock = std::make_unique<QLockFile>(path);
    m_lock->setStaleLockTime(0); // only a dead holder makes the lock stale
    if (m_lock->tryLock(0)) {
        listen(); // at once: a later start must never wait for this one's window
        return true;
    }
    if (m_lock->error() == QLockFile::LockFailedError) {
        m_reached = askRunningInstance();
        return false;
    }
    if (!QFileInfo(m_dataFolder).isDir())
        return true; // no data folder at all: the start-up check names what is missing
    m_failure = lockFailure(m_lock->error());
    return false;
}

QString SingleInstance::lockFailure(QLockFile::LockError error) const
{
    const QString folder = QDir::toNativeSeparators(QFileInfo(m_dataFolder).absoluteFilePath());
    QString cause;
    if (error == QLockFile::PermissionError || !QFileInfo(m_dataFolder).isWritable())
        cause = QStringLiteral("フォルダーに書き込む権限がありません。フォルダーの権限を確認してください。");
    else if (QStorageInfo(m_dataFolder).bytesAvailable() == 0)
        cause = QStringLiteral("ディスクの空き容量がありません。不要なファイルを削除して空きを作ってください。");
    else
        cause = QStringLiteral("ディスクに書き込めません。ディスクの空き容量、容量の制限、ディスクの状態を確認してください。");
    // Without the lock a second program could run on the same data: no start.
    return QStringLiteral("QuoteDesk を起動できません。\nデータフォルダー「%1」にロックファイル QuoteDesk.lock を作れません。\n%2")
        .arg(folder, cause);
}

void SingleInstance::listen()
{
    QDir().mkpath(m_runtime);
    const QString path = socketPath(m_dataFolder, m_runtime);
    QLocalServer::removeServer(path); // a socket left by a crashed holder; the lock is ours
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().startsWith("activate"))
                    emit activationRequested();
                s->disconnectFromServer();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    m_server->listen(path);
}

bool SingleInstance::askRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(socketPath(m_dataFolder, m_runtime));
    if (!socket.waitForConnected(300))
        return false;
    socket.write("activate\n");
    socket.waitForBytesWritten(300);
    socket.waitForDisconnected(300);
    return true;
}
