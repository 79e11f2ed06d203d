#include "store/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kChunk = 64 * 1024;

// What the system said, as this program tells it; Qt's own text may be "Unknown error".
int codeOfErrno(int e)
{
    switch (e) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return sqlitecode::Full;
    case EACCES:
    case EPERM: return sqlitecode::NoPermission;
    case EROFS: return sqlitecode::ReadOnly;
    default: return sqlitecode::IoErr;
    }
}

DbResult errnoFailure(int e, int fallback, const QString &path, const QString &qtText)
{
    const QString text = e ? QString::fromLocal8Bit(std::strerror(e)) : qtText;
    return DbResult::failure(text, e ? codeOfErrno(e) : fallback, path);
}

} // namespace

DbResult SafeFile::failure() const { return errnoFailure(m_errno, sqlitecode::IoErr, m_path, m_file.errorString()); }

DbResult SafeFile::open()
{
    errno = 0;
    // Unbuffered: each write reaches the system at once, so its errno is the one reported.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {};
    return errnoFailure(errno, sqlitecode::CantOpen, m_path, m_file.errorString());
}

void SafeFile::drain()
{
    if (!m_ok || m_buffer.isEmpty())
        return;
    errno = 0;
    if (m_file.write(m_buffer) != m_buffer.size()) {
        m_ok = false;
        m_errno = errno ? errno : EIO;
    }
    m_buffer.clear();
}

void SafeFile::write(const QByteArray &bytes)
{
    if (!m_ok)
        return;
    m_buffer += bytes;
    if (m_buffer.size() >= kChunk)
        drain();
}

DbResult SafeFile::flush()
{
    drain();
    if (m_ok)
        return {};
    const DbResult r = failure();
    m_file.cancelWriting();
    return r;
}

DbResult SafeFile::commit()
{
    if (DbResult r = flush(); !r)
        return r;
    errno = 0;
    if (!m_file.commit()) {
        m_errno = errno;
        return failure();
    }
    return {};
}

DbResult writeWholeFile(const QString &path, const QByteArray &bytes)
{
    SafeFile out(path);
    if (DbResult r = out.open(); !r)
        return r;
    out.write(bytes);
    return out.commit();
}

DbResult readRegularFile(const QString &path, qint64 limit, QByteArray &out)
{
    out.clear();
    // Non-blocking: a pipe opened for reading would wait for a writer that never comes.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errnoFailure(errno, sqlitecode::CantOpen, path, QString());
    struct stat st {};
    DbResult r;
    if (::fstat(fd, &st) != 0)
        r = errnoFailure(errno, sqlitecode::IoErr, path, QString());
    else if (!S_ISREG(st.st_mode))
        r = DbResult::failure(QStringLiteral("not a regular file"), sqlitecode::NotRegular, path);
    else if (st.st_size > limit)
        r = DbResult::failure(QStringLiteral("%1 bytes, more than %2").arg(st.st_size).arg(limit), sqlitecode::TooLarge, path);
    // Read at most one byte past the limit: a file that grows meanwhile is still refused.
    while (r && out.size() <= limit) {
        char chunk[kChunk];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            r = errnoFailure(errno, sqlitecode::IoErr, path, QString());
        if (n <= 0)
            break;
        out.append(chunk, n);
    }
    if (r && out.size() > limit)
        r = DbResult::failure(QStringLiteral("more than %1 bytes").arg(limit), sqlitecode::TooLarge, path);
    ::close(fd);
    if (!r)
        out.clear();
    return r;
}
