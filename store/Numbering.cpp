#include "store/Numbering.h"
#include "store/Helpers.h"

#include <QRegularExpression>

QVariant Proc管理(Db &main, const QString &key, const QString &mode, const QVariant &value, DbResult *error)
{
    QVariant result = QString();
    if (error)
        *error = {};
    if (key != QStringLiteral("最大見積書番号"))
        return result;
    const bool get = mode == QStringLiteral("Get");
    // Reading the next number takes no lock: the permanent file may be busy elsewhere meanwhile.
    auto body = [&]() -> DbResult {
        DbRows rows;
        if (DbResult s = main.select("SELECT rowid, 最大見積書番号 FROM 自社情報 ORDER BY rowid LIMIT 1", {}, rows); !s)
            return s;
        if (get) {
            if (rows.isEmpty() || rows[0][1].isNull() || rows[0][1].toString().isEmpty())
                result = 1;
            else
                result = rows[0][1].toLongLong() + 1;
            return {};
        }
        // A value that is not a whole number stores nothing.
        const auto passed = wholeNumberFromText(value.toString());
        if (!passed)
            return {};
        if (rows.isEmpty())
            return main.exec("INSERT INTO 自社情報 (最大見積書番号) VALUES (?)", {*passed});
        // A Null counter takes the number saved, like a missing row; storing 1 here would later
        // propose numbers that are already in use.
        if (rows[0][1].isNull() || rows[0][1].toLongLong() < *passed)
            return main.exec("UPDATE 自社情報 SET 最大見積書番号 = ? WHERE rowid = ?", {*passed, rows[0][0]});
        return {};
    };
    DbResult r = get ? body() : main.transaction(body);
    if (!r)
        result = QString();
    if (error)
        *error = r;
    return result;
}

EstimateNumber readEstimateNumber(const QString &text)
{
    const QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    if (t.isEmpty())
        return {};
    static const QRegularExpression digits(QStringLiteral("^(?:[0-9]+|[0-9]{1,3}(?:,[0-9]{3})+)$"));
    if (!digits.match(t).hasMatch())
        return {EstimateNumber::NotNumber};
    QString plain = t;
    plain.remove(',');
    while (plain.size() > 1 && plain.startsWith('0'))
        plain.remove(0, 1);
    bool ok = false;
    const qlonglong n = plain.size() <= 10 ? plain.toLongLong(&ok) : 0;
    if (!ok || n > 2147483647LL)
        return {EstimateNumber::OutOfRange};
    return {EstimateNumber::Ok, int(n)};
}
