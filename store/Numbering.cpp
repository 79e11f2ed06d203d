#include "store/Numbering.h"
#include "store/Engine.h"
#include "store/Helpers.h"

#include <QRegularExpression>

QVariant Proc管理(Db &main, const QString &key, const QString &mode, const QVariant &value, DbResult *error)
{
    QVariant result = QString();
    if (error)
        *error = {};
    // Each kind's counter under its own key; any other key stores and reads nothing.
    std::optional<DocKind> kind;
    for (DocKind k : kAllKinds)
        if (kindNames(k).counter == key)
            kind = k;
    if (!kind)
        return result;
    DbResult r;
    if (mode == QStringLiteral("Get")) {
        // Reading the next number takes no lock: the permanent data may be busy elsewhere meanwhile.
        qlonglong next = 0;
        r = engineOf(main).proposedNumber(main, *kind, next);
        if (r)
            result = next;
    } else if (const auto passed = wholeNumberFromText(value.toString())) { // anything else stores nothing
        r = engineOf(main).raiseNumber(main, *kind, *passed);
    }
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
