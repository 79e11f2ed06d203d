#include "masters/SettingsStore.h"

namespace {
QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }
QString notNull(const QString &s) { return s.isNull() ? QString("") : s; }
} // namespace

DbResult SettingsStore::read(std::optional<CompanySettings> &out)
{
    out.reset();
    DbRows rows;
    DbResult r = m_db.select("SELECT 自社名, 自社情報, 税区分, LineColor1 FROM 自社情報 ORDER BY rowid LIMIT 1", {}, rows);
    if (!r || rows.isEmpty())
        return r;
    const DbRow &row = rows[0];
    out = CompanySettings{text(row[0]), text(row[1]), text(row[2]), row[3].isNull() ? 0 : row[3].toLongLong()};
    return r;
}

DbResult SettingsStore::write(const CompanySettings &s)
{
    const QVariantList values{notNull(s.name), notNull(s.info), notNull(s.taxMode), s.lineColour};
    return m_db.transaction([&]() -> DbResult {
        QVariant rowid;
        if (DbResult r = m_db.scalar("SELECT rowid FROM 自社情報 ORDER BY rowid LIMIT 1", {}, rowid); !r)
            return r;
        if (rowid.isNull())
            return m_db.exec("INSERT INTO 自社情報 (自社名, 自社情報, 税区分, LineColor1) VALUES (?, ?, ?, ?)", values);
        return m_db.exec("UPDATE 自社情報 SET 自社名 = ?, 自社情報 = ?, 税区分 = ?, LineColor1 = ? WHERE rowid = ?",
                         values + QVariantList{rowid});
    });
}

DbResult SettingsStore::reset()
{
    return m_db.exec("UPDATE 自社情報 SET 自社名 = NULL, 自社情報 = NULL, 税区分 = NULL, LineColor1 = NULL "
                     "WHERE rowid = (SELECT rowid FROM 自社情報 ORDER BY rowid LIMIT 1)");
}
