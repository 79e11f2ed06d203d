#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

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

bool SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(QDir(m_dataFolder).filePath(QStringLiteral("QuoteDesk.lock")));
    m_lock->setStaleLockTime(0); // only a dead holder makes the lock stale
    if (m_lock->tryLock(0)) {
        listen(); // at once: a later start must never wait for this one's window
        return true;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return true; // without a usable data folder the start-up check says why
    m_reached = askRunningInstance();
    return false;
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
