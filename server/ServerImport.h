#pragma once
// Moving an office onto a server: one desktop's permanent file copied into an empty server
// database, all or nothing.

#include "store/Db.h"

#include <QStringList>

struct ImportReport {
    qlonglong estimates = 0, lines = 0, customers = 0, products = 0, issued = 0;
    // Master rows not copied because their name was empty or came again, one sentence each.
    QStringList merged;
};

// Copies the permanent file at path (of this program's version) into server, which must be
// empty, in one transaction: on any failure the server is left empty and the error names the
// table and row. A name that comes more than once keeps its first row (the one the program
// has always read); rows without a name are left out; both are reported.
DbResult importIntoServer(const QString &path, Db &server, ImportReport &report);
