#include "hints/HintStore.h"

namespace {
QString hintText(const QString &s) { return s.isNull() ? QString("") : s; }
} // namespace

DbResult HintStore::read(const QString &form, const QString &control, QString &contents, bool &found)
{
    DbRows rows;
    DbResult r = m_db.select("SELECT Contents FROM main.ClHint WHERE FormName = ? AND CtlName = ?", {form, control}, rows);
    found = r && !rows.isEmpty();
    if (found)
        contents = rows[0][0].isNull() ? QString() : rows[0][0].toString();
    return r;
}

DbResult HintStore::store(const QString &form, const QString &control, const QString &title, const QString &contents)
{
    // The work file's other tables need no sync; a hint is the user's and does.
    return m_db.durably([&]() -> DbResult {
        if (DbResult d = remove(form, control); !d)
            return d;
        return m_db.exec("INSERT INTO main.ClHint (FormName, CtlName, FormTitle, Contents) VALUES (?, ?, ?, ?)",
                         {form, control, hintText(title), hintText(contents)});
    });
}

DbResult HintStore::remove(const QString &form, const QString &control)
{
    return m_db.durably(
        [&] { return m_db.exec("DELETE FROM main.ClHint WHERE FormName = ? AND CtlName = ?", {form, control}); });
}
