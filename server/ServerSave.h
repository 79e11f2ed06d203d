#pragma once
// A whole estimate saved on the server in one call of a function kept there: one round trip
// where writing it statement by statement took eleven.

#include "store/Engine.h"

namespace serversave {

// Creates or replaces the function (part of the server's tables since version 302).
QString functionStatement(DocKind kind = DocKind::Estimate);
// As StoreEngine::writeEstimate: written is false when the version found was not expected.
DbResult write(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored, bool &written);

} // namespace serversave
