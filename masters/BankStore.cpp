#include "masters/BankStore.h"

#include "store/Engine.h"
#include "values/InvoiceRules.h"

namespace {
const QStringList kColumns{"銀行名", "支店名", "口座種別", "口座番号", "口座名義", "銀行名2", "支店名2",
                           "口座種別2", "口座番号2", "口座名義2", "振込備考"};

QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }

QString accountRefusal(const BankAccount &a, const QString &which)
{
    if (a.isEmpty())
        return {};
    if (a.bank.trimmed().isEmpty())
        return which + QStringLiteral("の銀行名を入力してください。");
    if (!invoicerules::validAccountNumber(a.number))
        return which + QStringLiteral("の口座番号は 7 桁の数字で入力してください（「%1」）。").arg(a.number);
    if (!invoicerules::validAccountName(a.holder))
        return which + QStringLiteral("の口座名義はカタカナで入力してください（「%1」）。").arg(a.holder);
    return {};
}
} // namespace

QString BankAccount::printed() const
{
    if (isEmpty())
        return {};
    QStringList parts{bank, branch, type, number.normalized(QString::NormalizationForm_KC).trimmed(), holder};
    parts.removeAll(QString());
    return parts.join(' ');
}

QString BankSettings::refusal() const
{
    if (const QString r = accountRefusal(first, QStringLiteral("振込先")); !r.isEmpty())
        return r;
    return accountRefusal(second, QStringLiteral("2 つ目の振込先"));
}

QString BankSettings::printed() const
{
    QStringList both{first.printed(), second.printed()};
    both.removeAll(QString());
    return both.join(QStringLiteral(" / "));
}

DbResult readBankSettings(Db &main, BankSettings &out)
{
    out = {};
    DbRows rows;
    if (DbResult r = main.select(QStringLiteral("SELECT %1 FROM 自社情報 ORDER BY %2 LIMIT 1")
                                     .arg(kColumns.join(", "), engineOf(main).rowOrder()),
                                 {}, rows);
        !r || rows.isEmpty())
        return r;
    const DbRow &v = rows[0];
    out.first = {text(v[0]), text(v[1]), text(v[2]), text(v[3]), text(v[4])};
    out.second = {text(v[5]), text(v[6]), text(v[7]), text(v[8]), text(v[9])};
    out.note = text(v[10]);
    return {};
}

DbResult writeBankSettings(Db &main, const BankSettings &s)
{
    const QString key = engineOf(main).rowOrder();
    QStringList sets;
    for (const QString &c : kColumns)
        sets << c + QStringLiteral(" = ?");
    const QVariantList values{s.first.bank, s.first.branch, s.first.type, s.first.number, s.first.holder,
                              s.second.bank, s.second.branch, s.second.type, s.second.number, s.second.holder, s.note};
    return main.transaction([&]() -> DbResult {
        qlonglong changed = 0;
        if (DbResult r = main.exec(QStringLiteral("UPDATE 自社情報 SET %1 WHERE %2 = (SELECT %2 FROM 自社情報 ORDER BY %2 LIMIT 1)")
                                       .arg(sets.join(", "), key),
                                   values, &changed);
            !r || changed > 0)
            return r;
        QStringList marks(kColumns.size(), QStringLiteral("?"));
        return main.exec(QStringLiteral("INSERT INTO 自社情報 (%1) VALUES (%2)").arg(kColumns.join(", "), marks.join(", ")), values);
    });
}
