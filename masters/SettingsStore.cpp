#include "masters/SettingsStore.h"
#include "store/Engine.h"
#include "store/Helpers.h"

#include <QRegularExpression>

namespace {
QString storedText(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }
QString settingText(const QString &s) { return s.isNull() ? QString("") : s; }
} // namespace

DbResult SettingsStore::read(std::optional<CompanySettings> &out)
{
    out.reset();
    DbRows rows;
    DbResult r = m_db.select("SELECT 自社名, 自社情報, 税区分, LineColor1, 税率, 端数処理, 登録番号, 見積番号印刷, 社印 "
                             "FROM 自社情報 ORDER BY " + engineOf(m_db).rowOrder() + " LIMIT 1",
                             {}, rows);
    if (!r || rows.isEmpty())
        return r;
    const DbRow &row = rows[0];
    out = CompanySettings{storedText(row[0]), storedText(row[1]), storedText(row[2]), row[3].isNull() ? 0 : row[3].toLongLong(),
                          row[4].isNull() ? 0 : row[4].toInt(), storedText(row[5]), storedText(row[6]),
                          row[7].toLongLong() != 0, row[8].toByteArray()};
    return r;
}

namespace {

const char *const kSettingColumns[] = {"自社名", "自社情報", "税区分", "LineColor1", "税率", "端数処理", "登録番号", "見積番号印刷", "社印"};
const char *const kSettingLabels[] = {"自社名", "自社情報", "税区分", "白紙用紙の罫線の色", "税率", "端数処理", "登録番号",
                               "見積書番号を印刷する", "社印"};

QVariantList boundValues(const CompanySettings &s)
{
    return {settingText(withoutControls(s.name)), settingText(withoutControls(s.info)),
            settingText(s.taxMode), s.lineColour,
            s.taxRate > 0 ? QVariant(s.taxRate) : QVariant(QMetaType::fromType<int>()),
            s.rounding.isEmpty() ? QVariant(QString()) : QVariant(s.rounding),
            settingText(withoutControls(s.registrationNumber)), s.printNumber ? 1 : 0,
            s.seal.isEmpty() ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(s.seal)};
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.metaType() == QMetaType::fromType<QByteArray>() || b.metaType() == QMetaType::fromType<QByteArray>()
               ? a.toByteArray() == b.toByteArray()
               : a.toString() == b.toString();
}

// A value as the question shows it.
QString shown(int index, const QVariant &v)
{
    if (v.isNull() || v.toString().isEmpty())
        return index == 8 ? QStringLiteral("なし") : QStringLiteral("（空欄）");
    if (index == 8)
        return QStringLiteral("画像");
    if (index == 7)
        return v.toInt() ? QStringLiteral("する") : QStringLiteral("しない");
    return index == 4 ? v.toString() + QStringLiteral("%") : v.toString();
}

} // namespace

qlonglong SettingsStore::changeCount()
{
    QVariant n;
    if (!m_db.scalar("SELECT 番号 FROM 変更番号 WHERE 表 = '自社情報'", {}, n) || n.isNull())
        return -1;
    return n.toLongLong();
}

DbResult SettingsStore::write(const CompanySettings &s, const CompanySettings &basis, const SettingConflictQuestion &ask)
{
    const QVariantList mine = boundValues(s), read = boundValues(basis);
    const QString key = engineOf(m_db).rowOrder();
    const QString row = QString("%1 = (SELECT %1 FROM 自社情報 ORDER BY %1 LIMIT 1)").arg(key);
    const QString same = m_db.engine() == Db::Engine::Sqlite ? QStringLiteral("IS") : QStringLiteral("IS NOT DISTINCT FROM");
    QVector<SettingConflict> conflicts;
    DbResult r = m_db.transaction([&]() -> DbResult {
        for (int i = 0; i < mine.size(); ++i) {
            if (sameValue(mine[i], read[i]))
                continue; // not changed here: whatever another desktop wrote stays
            const QString column = QString::fromUtf8(kSettingColumns[i]);
            qlonglong written = 0;
            if (DbResult w = m_db.exec(QString("UPDATE 自社情報 SET %1 = ? WHERE %2 AND %1 %3 ?").arg(column, row, same),
                                       {mine[i], read[i]}, &written);
                !w)
                return w;
            if (written > 0)
                continue;
            QVariant now;
            if (DbResult w = m_db.scalar(QString("SELECT %1 FROM 自社情報 ORDER BY %2 LIMIT 1").arg(column, key), {}, now); !w)
                return w;
            conflicts << SettingConflict{QString::fromUtf8(kSettingLabels[i]), shown(i, now), shown(i, mine[i]), i};
        }
        return {};
    });
    for (const SettingConflict &c : conflicts) {
        if (!r || !ask(c))
            continue;
        r = m_db.exec(QString("UPDATE 自社情報 SET %1 = ? WHERE %2").arg(QString::fromUtf8(kSettingColumns[c.index]), row),
                      {mine[c.index]});
    }
    return r;
}

DbResult SettingsStore::write(const CompanySettings &s)
{
    const QVariantList values = boundValues(s);
    const QString key = engineOf(m_db).rowOrder();
    return m_db.transaction([&]() -> DbResult {
        QVariant rowid;
        if (DbResult r = m_db.scalar(QString("SELECT %1 FROM 自社情報 ORDER BY %1 LIMIT 1").arg(key), {}, rowid); !r)
            return r;
        if (rowid.isNull())
            return m_db.exec("INSERT INTO 自社情報 (自社名, 自社情報, 税区分, LineColor1, 税率, 端数処理, 登録番号, "
                             "見積番号印刷, 社印) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                             values);
        return m_db.exec("UPDATE 自社情報 SET 自社名 = ?, 自社情報 = ?, 税区分 = ?, LineColor1 = ?, 税率 = ?, 端数処理 = ?, "
                         "登録番号 = ?, 見積番号印刷 = ?, 社印 = ? WHERE " + key + " = ?",
                         values + QVariantList{rowid});
    });
}

DbResult SettingsStore::reset()
{
    return m_db.exec("UPDATE 自社情報 SET 自社名 = NULL, 自社情報 = NULL, 税区分 = NULL, LineColor1 = NULL, 税率 = NULL, "
                     "端数処理 = NULL, 登録番号 = NULL, 見積番号印刷 = NULL, 社印 = NULL " +
                     QString("WHERE %1 = (SELECT %1 FROM 自社情報 ORDER BY %1 LIMIT 1)").arg(engineOf(m_db).rowOrder()));
}

DbResult SettingsStore::readKeptBackups(int &count)
{
    QVariant v;
    DbResult r = m_db.scalar("SELECT 控え保持数 FROM 自社情報 ORDER BY " + engineOf(m_db).rowOrder() + " LIMIT 1", {}, v);
    count = v.isNull() || v.toInt() < 1 ? kKeptBackups : v.toInt();
    return r;
}

DbResult SettingsStore::writeKeptBackups(int count)
{
    const QString key = engineOf(m_db).rowOrder();
    return m_db.transaction([&]() -> DbResult {
        qlonglong changed = 0;
        if (DbResult r = m_db.exec(QString("UPDATE 自社情報 SET 控え保持数 = ? WHERE %1 = (SELECT %1 FROM 自社情報 ORDER BY %1 LIMIT 1)")
                                       .arg(key),
                                   {count}, &changed);
            !r || changed > 0)
            return r;
        return m_db.exec("INSERT INTO 自社情報 (控え保持数) VALUES (?)", {count});
    });
}

bool isValidRegistrationNumber(const QString &number)
{
    static const QRegularExpression form(QStringLiteral("^T[0-9]{13}$"));
    const QString t = number.normalized(QString::NormalizationForm_KC).trimmed().toUpper();
    if (!form.match(t).hasMatch())
        return false;
    // The other twelve digits from the right: weight 1 at odd, 2 at even places.
    int sum = 0;
    for (int n = 1; n <= 12; ++n)
        sum += t.at(14 - n).digitValue() * (n % 2 ? 1 : 2);
    return t.at(1).digitValue() == 9 - sum % 9;
}

DbResult loadSettings(QuoteDeskContext &ctx, std::optional<CompanySettings> &stored)
{
    if (DbResult r = SettingsStore(ctx.main).read(stored); !r)
        return r;
    ctx.taxMode = stored && !stored->taxMode.isEmpty() ? stored->taxMode : QStringLiteral("外税");
    ctx.taxRate = stored && stored->taxRate > 0 ? stored->taxRate : 5;
    ctx.rounding = stored && !stored->rounding.isEmpty() ? stored->rounding : QStringLiteral("四捨五入");
    ctx.registrationNumber = stored ? stored->registrationNumber : QString();
    if (stored) {
        ctx.companyName = stored->name;
        ctx.companyInfo = stored->info;
    }
    return {};
}
