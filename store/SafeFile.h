#pragma once
// Writing a file the user relies on: the old file stays whole until every byte of the new one
// is written and flushed, and a failure is never reported as success.

#include "store/Db.h"

#include <QSaveFile>

class SafeFile {
public:
    explicit SafeFile(const QString &path) : m_path(path), m_file(path) {}
    DbResult open();
    // Failures are remembered; commit() reports the first.
    void write(const QByteArray &bytes);
    // Every byte so far handed to the system; a failure (a full disk) says so. Cancels on failure.
    DbResult flush();
    // Flushes Qt's buffer before the commit: a write that failed inside it (a full disk) would
    // otherwise let a small file count as written.
    DbResult commit();
    void cancel() { m_file.cancelWriting(); }

private:
    DbResult failure() const;
    void drain(); // hands the buffer to the system
    QString m_path;
    QSaveFile m_file;
    QByteArray m_buffer;
    bool m_ok = true;
    int m_errno = 0; // the system's reason for the first failed write
};

// path := bytes, all of them or nothing.
DbResult writeWholeFile(const QString &path, const QByteArray &bytes);

// All of a regular file of at most limit bytes. A device, a pipe or a directory is refused
// (NotRegular) before anything is read, a larger file too (TooLarge); nothing waits on a pipe.
DbResult readRegularFile(const QString &path, qint64 limit, QByteArray &out);
