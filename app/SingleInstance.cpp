#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QSysInfo>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>
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
    if (m_lockFd >= 0) { // removed while still held: a start that opened it meanwhile sees it is gone
        ::unlink(QFile::encodeName(m_lockPath).constData());
        ::close(m_lockFd);
    }
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

// What the file says of its holder, in the form earlier versions (and Qt's own lock files)
// read: they then see a live holder and leave it alone.
static QByteArray holderText()
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
           QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n' +
           QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n' +
           QSysInfo::bootUniqueId() + '\n';
}

bool SingleInstance::claim()
{
    m_lockPath = QDir(m_dataFolder).filePath(QStringLiteral("QuoteDesk.lock"));
    const QByteArray native = QFile::encodeName(m_lockPath);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            const int error = errno;
            if (!QFileInfo(m_dataFolder).isDir())
                return true; // no data folder at all: the start-up check names what is missing
            m_failure = lockFailure(error);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) { // a running program holds it
                m_reached = askRunningInstance();
                return false;
            }
            m_failure = lockFailure(error);
            return false;
        }
        // Still the file at that path: one removed meanwhile by its last holder is no lock.
        struct stat held, named;
        if (::fstat(fd, &held) != 0 || ::stat(native.constData(), &named) != 0 || held.st_ino != named.st_ino ||
            held.st_dev != named.st_dev) {
            ::close(fd);
            continue;
        }
        // Whatever the file held (nothing after a power loss, another computer's name) is ours now.
        // Not synced: the lock is the flock; the text only names the holder.
        const QByteArray text = holderText();
        if (::ftruncate(fd, 0) != 0 || ::write(fd, text.constData(), size_t(text.size())) != text.size()) {
            const int error = errno;
            ::close(fd);
            ::unlink(native.constData()); // nothing half written left behind
            m_failure = lockFailure(error);
            return false;
        }
        m_lockFd = fd;
        listen(); // at once: a later start must never wait for this one's window
        return true;
    }
    m_failure = lockFailure(EAGAIN);
    return false;
}

QString SingleInstance::lockFailure(int error) const
{
    const QString folder = QDir::toNativeSeparators(QFileInfo(m_dataFolder).absoluteFilePath());
    QString cause;
    if (error == EACCES || error == EPERM || error == EROFS || !QFileInfo(m_dataFolder).isWritable())
        cause = QStringLiteral("フォルダーに書き込む権限がありません。フォルダーの権限を確認してください。");
    else if (error == ENOSPC || error == EDQUOT || QStorageInfo(m_dataFolder).bytesAvailable() == 0)
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
