#include "store/ArchiveFiles.h"
#include "store/IssueArchive.h"
#include "store/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archivefiles {

namespace {

const QString kUnfinished = QStringLiteral(".unfinished");

DbResult systemFailure(const QString &path)
{
    const int e = errno;
    const int code = e == ENOSPC || e == EDQUOT ? sqlitecode::Full
                     : e == EACCES || e == EPERM ? sqlitecode::NoPermission
                     : e == EROFS                ? sqlitecode::ReadOnly
                                                 : sqlitecode::IoErr;
    return DbResult::failure(QString::fromLocal8Bit(std::strerror(e ? e : EIO)), code, path);
}

DbResult writeSynced(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0444);
    if (fd < 0)
        return systemFailure(path);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            DbResult r = systemFailure(path);
            ::close(fd);
            ::unlink(name.constData());
            return r;
        }
        done += n;
    }
    if (::fsync(fd) != 0) {
        DbResult r = systemFailure(path);
        ::close(fd);
        ::unlink(name.constData());
        return r;
    }
    ::close(fd);
    return {};
}

bool isHashName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{64}\\.[a-z]+$"));
    return form.match(name).hasMatch();
}

} // namespace

QString folderOf(const QString &permPath)
{
    return QDir(QFileInfo(permPath).absolutePath()).filePath(QStringLiteral("archive"));
}

QString pathOf(const QString &folder, const QString &sha256, const QString &suffix)
{
    return QDir(folder).filePath(sha256 + '.' + suffix);
}

static DbResult syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return systemFailure(path);
    const int rc = ::fsync(fd);
    DbResult r = rc == 0 ? DbResult{} : systemFailure(path);
    ::close(fd);
    return r;
}

DbResult syncFile(const QString &path) { return syncPath(path, 0); }
DbResult syncFolder(const QString &folder) { return syncPath(folder, O_DIRECTORY); }

DbResult put(const QString &folder, const QString &sha256, const QByteArray &bytes, bool *created, const QString &suffix)
{
    if (created)
        *created = false;
    const QString path = pathOf(folder, sha256, suffix);
    QByteArray there;
    if (QFileInfo::exists(path) && get(folder, sha256, there, suffix) && sha256Hex(there) == sha256)
        return {};
    if (!QDir().mkpath(folder))
        return DbResult::failure(QStringLiteral("cannot create folder"), sqlitecode::CantOpen, folder);
    // A file under the name whose bytes no longer match is replaced: the name says what belongs there.
    const QString temporary = path + kUnfinished;
    if (DbResult r = writeSynced(temporary, bytes); !r)
        return r;
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        DbResult r = systemFailure(path);
        QFile::remove(temporary);
        return r;
    }
    if (created)
        *created = true;
    return syncFolder(folder);
}

DbResult get(const QString &folder, const QString &sha256, QByteArray &bytes, const QString &suffix)
{
    const QString path = pathOf(folder, sha256, suffix);
    if (!QFileInfo::exists(path)) {
        bytes.clear();
        return DbResult::failure(QStringLiteral("archived file not found"), sqlitecode::NotFound, path);
    }
    // Ten years of documents are no reason to read a device or something enormous by mistake.
    return readRegularFile(path, qint64(1) << 31, bytes);
}

QSet<QString> present(const QString &folder)
{
    QSet<QString> out;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        if (isHashName(name))
            out.insert(name.left(64));
    return out;
}

void removeUnfinished(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &name : dir.entryList({'*' + kUnfinished}, QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(name));
}

DbResult carry(const QString &source, const QString &target, const QStringList &hashes, int *added,
               const std::function<bool(int, int)> &progress)
{
    if (added)
        *added = 0;
    if (!QDir().mkpath(target))
        return DbResult::failure(QStringLiteral("cannot create folder"), sqlitecode::CantOpen, target);
    for (int i = 0; i < hashes.size(); ++i) {
        if (progress && !progress(i, int(hashes.size())))
            return DbResult::failure(QStringLiteral("cancelled"), sqlitecode::Cancelled, target);
        const QString from = pathOf(source, hashes[i]), to = pathOf(target, hashes[i]);
        if (QFileInfo::exists(to) || !QFileInfo::exists(from))
            continue; // there already, or missing at the source: 照合 tells of that
        if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
            QByteArray bytes;
            if (DbResult r = readRegularFile(from, qint64(1) << 31, bytes); !r)
                return r;
            if (DbResult r = writeSynced(to + kUnfinished, bytes); !r)
                return r;
            if (::rename(QFile::encodeName(to + kUnfinished).constData(), QFile::encodeName(to).constData()) != 0)
                return systemFailure(to);
        }
        if (added)
            ++*added;
    }
    return added && *added == 0 ? DbResult{} : syncFolder(target);
}

} // namespace archivefiles
