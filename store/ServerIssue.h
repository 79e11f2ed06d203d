#pragma once
// Issuing on a server in one round trip: the number's and the chain's locks, the number's check,
// the version, the bytes, the customer index and the chained record, in a function of its own.

#include "store/Db.h"

#include <QStringList>

struct ChainLink;

namespace serverissue {

// The function, for a new database and for the upgrade that brings it.
QString functionStatement();

struct Issue {
    qlonglong number = 0, expected = -1; // expected: what the number holds for the document; -1 unchecked
    QString kind, when, customer, date, how, sha256;
    QVariant total; // raw money, or null
    QByteArray content, pdf;
};

// Records the issue; *version is the version it went under. A number that no longer holds what
// was expected gives the mismatch (TakenElsewhere, ChangedElsewhere, DeletedElsewhere).
DbResult record(Db &db, const Issue &issue, int *version);

} // namespace serverissue
