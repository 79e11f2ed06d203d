#include "store/Helpers.h"
#include "store/Money.h"

#include <cmath>

bool LookupCode(Db &main, const QString &kind, const QString &name, DbResult *error)
{
    bool stored = false;
    DbResult r = main.transaction([&]() -> DbResult {
        DbRows rows;
        if (DbResult s = main.select("SELECT code, sname FROM コードマスタ WHERE kcode = ? ORDER BY code",
                                     {kind}, rows);
            !s)
            return s;
        for (const DbRow &row : rows)
            if (!row[1].isNull() && row[1].toString() == name)
                return {};
        for (const DbRow &row : rows) {
            if (row[1].isNull()) {
                if (DbResult u = main.exec("UPDATE コードマスタ SET sname = ? WHERE kcode = ? AND code = ?",
                                           {name, kind, row[0]});
                    !u)
                    return u;
                stored = true;
                return {};
            }
        }
        return {};
    });
    if (!r)
        stored = false;
    if (error)
        *error = r;
    return stored;
}

std::optional<int> wholeNumberFromText(const QString &text)
{
    const auto v = parseNumber(text);
    if (!v || std::trunc(*v) != *v || *v < -2147483648.0 || *v > 2147483647.0)
        return std::nullopt;
    return int(*v);
}
