#pragma once
// The hint texts of table ClHint (work file), one per form and control; no widgets here.

#include "store/Db.h"

class HintStore {
public:
    explicit HintStore(Db &work) : m_db(work) {}
    // found is false when nothing is stored for the pair.
    DbResult read(const QString &form, const QString &control, QString &contents, bool &found);
    // Replaces whatever was stored for the pair, in one transaction.
    DbResult store(const QString &form, const QString &control, const QString &title, const QString &contents);
    DbResult remove(const QString &form, const QString &control);

private:
    Db &m_db;
};
