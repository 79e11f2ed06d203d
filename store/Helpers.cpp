#include "store/Helpers.h"
#include "values/Money.h"

#include <algorithm>
#include <cmath>

bool LookupCode(Db &main, const QString &kind, const QString &name, DbResult *error)
{
    bool stored = false;
    DbResult r = main.transaction([&]() -> DbResult {
        // A slot another desktop fills meanwhile is no longer free when written: read again.
        for (bool taken = true; taken;) {
            taken = false;
            DbRows rows;
            if (DbResult s = main.select("SELECT code, sname FROM コードマスタ WHERE kcode = ? ORDER BY code", {kind}, rows);
                !s)
                return s;
            for (const DbRow &row : rows)
                if (!row[1].isNull() && row[1].toString() == name)
                    return {};
            const auto free = std::find_if(rows.begin(), rows.end(), [](const DbRow &row) { return row[1].isNull(); });
            if (free == rows.end())
                return {};
            qlonglong changed = 0;
            if (DbResult u = main.exec("UPDATE コードマスタ SET sname = ? WHERE kcode = ? AND code = ? AND sname IS NULL",
                                       {name, kind, (*free)[0]}, &changed);
                !u)
                return u;
            stored = changed == 1;
            taken = !stored;
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

QString withoutControls(const QString &text)
{
    auto isControl = [](QChar c) { return c.unicode() < 0x20 && c != '\t' && c != '\n' && c != '\r'; };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text; // a null text stays null
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!isControl(c))
            out += c;
    return out;
}

QString textArrayLiteral(const QStringList &items)
{
    QStringList quoted;
    for (QString item : items) {
        item.replace('\\', QStringLiteral("\\\\")).replace('"', QStringLiteral("\\\""));
        quoted << '"' + item + '"';
    }
    return '{' + quoted.join(',') + '}';
}
