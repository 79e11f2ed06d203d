#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

SingleInstance::SingleInstance(const QString &runtimeFolder, QObject *parent)
    : QObject(parent), m_folder(runtimeFolder)
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

bool SingleInstance::claim()
{
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(QStringLiteral("instance.lock")));
    m_lock->setStaleLockTime(0); // only a dead holder makes the lock stale
    if (!m_lock->tryLock(0) && m_lock->error() == QLockFile::LockFailedError) {
        // The holder may still be starting and not listening yet: try a few times.
        for (int i = 0; i < 50; ++i) {
            if (askRunningInstance())
                break;
            QThread::msleep(100);
        }
        return false;
    }
    // Without a usable lock folder the program still starts, only unguarded.
    return true;
}

void SingleInstance::listen()
{
    if (m_server)
        return;
    const QString socketPath = QDir(m_folder).filePath(QStringLiteral("instance.sock"));
    QLocalServer::removeServer(socketPath); // a socket left by a crashed holder
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
    m_server->listen(socketPath);
}

bool SingleInstance::askRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(QDir(m_folder).filePath(QStringLiteral("instance.sock")));
    if (!socket.waitForConnected(500))
        return false;
    socket.write("activate\n");
    socket.waitForBytesWritten(500);
    socket.waitForDisconnected(500);
    return true;
}
