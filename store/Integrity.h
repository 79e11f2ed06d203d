#pragma once
// Finding a damaged data file before it hurts: SQLite's page check of both files and the
// search index's own check, on a connection (and a thread) of their own.

#include <QObject>
#include <QStringList>
#include <QThread>

struct IntegrityReport {
    QStringList damagedFiles; // paths whose pages are damaged
    QString detail;           // the engine's first complaint
    bool indexDamaged = false;
    QString archiveNotice; // the archive's protections missing, files no row names
    bool ok() const { return damagedFiles.isEmpty() && !indexDamaged; }
};

// Blocking; files that cannot be opened at all count as damaged. withIndex also checks the
// search index and the archive of the permanent file (paths[0]), and tidies its backups.
IntegrityReport checkIntegrity(const QStringList &paths, bool withIndex);

// What to do about a damaged file, in Japanese, naming the newest copy to restore.
QString damagedFileAdvice(const QString &file, const QString &dataFolder);

// Runs checkIntegrity on a thread of its own, once; finished() arrives in the owner's thread.
class IntegrityWatch : public QObject {
    Q_OBJECT
public:
    explicit IntegrityWatch(QObject *parent = nullptr) : QObject(parent) {}
    ~IntegrityWatch() override; // waits for a check still running
    void start(const QStringList &paths, bool withIndex);
    bool running() const { return m_thread && m_thread->isRunning(); }

signals:
    void finished(const IntegrityReport &report);

private:
    QThread *m_thread = nullptr;
};
