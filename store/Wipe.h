#pragma once
// Wiping every estimate, customer, product and the own-company row, after a copy.

#include "store/Backups.h"
#include "store/Db.h"

#include <QDateTime>

// Deletes the five tables' rows in one transaction: all of them, or none.
// The code master and the hints stay.
DbResult wipeAllData(Db &main);
