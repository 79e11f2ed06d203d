#pragma once
// One running program per data folder, whoever starts it: a lock file in the data folder
// decides (an flock held while the program runs, released by the system however it ends);
// a local socket of the user's carries "activate" to the running window.

#include <QObject>
#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // dataFolder holds the lock; runtimeFolder the socket (per user, named after the data folder).
    SingleInstance(const QString &dataFolder, const QString &runtimeFolder = defaultRuntimeFolder(),
                   QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process may run on the data folder; it then answers later starts at once.
    // False when another holds it (the running window has been asked to come forward), or
    // when the lock cannot be taken at all (failure() says why). A lock whose holder is not
    // running (empty, damaged, from another computer, left by a crash) is taken over.
    bool claim();
    // False when the holder could not be reached (another user's, or a login's of its own).
    bool reachedHolder() const { return m_reached; }
    // Why the lock could not be taken, naming the folder; empty when it was not that.
    QString failure() const { return m_failure; }

    static QString defaultRuntimeFolder();
    static QString socketPath(const QString &dataFolder, const QString &runtimeFolder);

signals:
    void activationRequested();

private:
    void listen();
    bool askRunningInstance();
    QString lockFailure(int error) const;
    QString m_dataFolder, m_runtime, m_failure;
    QString m_lockPath;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
    bool m_reached = false;
};
