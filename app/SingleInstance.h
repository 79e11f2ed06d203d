#pragma once
// One running instance per user: a lock file decides, a local socket carries "activate".

#include <QLockFile>
#include <QObject>
#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // runtimeFolder holds the lock and the socket (per user).
    explicit SingleInstance(const QString &runtimeFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first; otherwise the running one has been asked to come forward.
    bool claim();
    // Starts answering later starts; called once the window is up, so they find it complete.
    void listen();
    static QString defaultRuntimeFolder();

signals:
    void activationRequested();

private:
    bool askRunningInstance();
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
