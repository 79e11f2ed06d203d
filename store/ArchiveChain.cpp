#include "store/ArchiveChain.h"

#include <QCryptographicHash>
#include <QStringList>

namespace archivechain {

QString next(const QString &previous, const ChainLink &l)
{
    // A separator no field holds keeps ("ab", "c") from hashing as ("a", "bc").
    const QStringList fields{previous,
                             l.kind,
                             QString::number(l.number),
                             QString::number(l.version),
                             l.issuedAt,
                             l.customer,
                             l.total ? QString::number(*l.total) : QString(),
                             l.how,
                             l.sha256};
    const QByteArray text = fields.join(QChar(0x1f)).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
}

} // namespace archivechain
