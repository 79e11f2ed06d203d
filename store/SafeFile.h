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
    QString m_path;
    QSaveFile m_file;
    bool m_ok = true;
};

// path := bytes, all of them or nothing.
DbResult writeWholeFile(const QString &path, const QByteArray &bytes);
