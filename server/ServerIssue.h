#pragma once
// Issuing on a server in one round trip: the number's and the chain's locks, the number's check,
// the version, the bytes, the customer index and the chained record, in a function of its own.

#include "store/Engine.h"

#include <QStringList>

struct ChainLink;

namespace serverissue {

// The function, for a new database and for the upgrade that brings it.
QString functionStatement();

using Issue = IssueRow;

// Records the issue; *version is the version it went under. A number that no longer holds what
// was expected gives the mismatch (TakenElsewhere, ChangedElsewhere, DeletedElsewhere).
DbResult record(Db &db, const Issue &issue, int *version);

} // namespace serverissue
