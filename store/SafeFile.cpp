#include "store/SafeFile.h"

DbResult SafeFile::failure() const
{
    const QString e = m_file.errorString();
    const bool full = e.contains(QStringLiteral("No space"), Qt::CaseInsensitive) ||
                      e.contains(QStringLiteral("quota"), Qt::CaseInsensitive);
    return DbResult::failure(e, full ? sqlitecode::Full : sqlitecode::IoErr, m_path);
}

DbResult SafeFile::open()
{
    if (m_file.open(QIODevice::WriteOnly))
        return {};
    return DbResult::failure(m_file.errorString(), sqlitecode::CantOpen, m_path);
}

void SafeFile::write(const QByteArray &bytes)
{
    if (m_ok && m_file.write(bytes) != bytes.size())
        m_ok = false;
}

DbResult SafeFile::flush()
{
    if (m_ok && m_file.flush())
        return {};
    m_ok = false;
    const DbResult r = failure();
    m_file.cancelWriting();
    return r;
}

DbResult SafeFile::commit()
{
    if (DbResult r = flush(); !r)
        return r;
    if (!m_file.commit())
        return failure();
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
