#pragma once
// The chain over every issue: each record's hash covers the one before it and what was
// issued, so a record changed, removed or slipped in shows as a break, and a head kept
// outside the file (printed on each sheet, at the end of each export) vouches for all before it.

#include <QString>
#include <optional>

struct ChainLink {
    QString kind; // 見積書, …
    qlonglong number = 0;
    int version = 0;
    QString issuedAt; // this time, "yyyy-MM-dd HH:mm:ss"
    QString customer;
    std::optional<qint64> total; // ten-thousandths of a yen, as stored
    QString how;
    QString sha256; // of the bytes issued
};

namespace archivechain {
// What the first record follows.
inline const QString kStart = QString(64, QLatin1Char('0'));
QString next(const QString &previous, const ChainLink &link);
// The part of a head printed and compared by a person.
inline QString shortCode(const QString &head) { return head.left(12); }
} // namespace archivechain
