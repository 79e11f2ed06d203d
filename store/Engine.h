#pragma once
// What differs between keeping the permanent data in the folder's file (SQLite) and on an
// office's server (PostgreSQL): numbering, locking, the tables' definitions and their checks.
// The rest of the program speaks to whichever engine the handle has, never to one by name.

#include "store/Db.h"

class StoreEngine {
public:
    virtual ~StoreEngine() = default;
    // Which store is in use, as the settings page shows it.
    virtual QString description(const Db &db) const = 0;
    // The tables of the permanent data, into an empty file or database, in one transaction.
    virtual DbResult createSchema(Db &db) const = 0;
    // Ours, of this program's version, every table present.
    virtual DbResult checkSchema(Db &db) const = 0;

    // The number the next new estimate is proposed under: the stored counter + 1, or 1.
    // A proposal only: another desktop may take it first.
    virtual DbResult proposedNumber(Db &db, qlonglong &next) const = 0;
    // Raises the counter to saved; never lowers it. Atomic on its own.
    virtual DbResult raiseNumber(Db &db, qlonglong saved) const = 0;
    // Takes the next number no stored estimate has and no other desktop can take meanwhile;
    // the counter ends at it. Inside a transaction.
    virtual DbResult takeNextNumber(Db &db, qlonglong &number) const = 0;
    // Holds estimate number until the transaction ends: saves and deletes of one number
    // from several desktops follow one another. Inside a transaction.
    virtual DbResult lockEstimate(Db &db, qlonglong number) const = 0;
};

const StoreEngine &engineOf(const Db &db);
