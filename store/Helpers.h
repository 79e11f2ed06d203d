#pragma once
#include "store/Db.h"
#include <optional>

// Records name in the code list of kind when it is not there yet, in the first free slot
// (sname Null). True only when the name was newly stored. A failed write sets *error.
bool LookupCode(Db &main, const QString &kind, const QString &name, DbResult *error = nullptr);

// Estimate number as typed: a whole number within 32 bits, with optional sign, blanks,
// thousands separators, exponent or a zero fraction ("0012", "1,200", "12.0"); else nullopt.
std::optional<int> wholeNumberFromText(const QString &text);

// Text without the control characters a user cannot see (NUL and the rest of C0 but tab and
// line breaks): they broke the server's statements and hid an estimate from the search.
QString withoutControls(const QString &text);

// A text[] literal for a server's bound parameter: every element quoted, so commas, braces and
// quotes in a name stay part of it.
QString textArrayLiteral(const QStringList &items);
