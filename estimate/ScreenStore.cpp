// The estimate on screen while it is not stored, kept in the work file as it is typed, so that
// a crash or a kill loses nothing: the header here, the lines in the work rows as always.

#include "estimate/EstimateStore.h"
#include "estimate/EstimateValues.h"

using namespace estimatevalues;

// The sources as one text: "kind:number:date" each, separated by ";".
static QString sourcesText(const QVector<DocLink> &sources)
{
    QStringList parts;
    for (const DocLink &l : sources)
        parts << QStringLiteral("%1:%2:%3").arg(kindNames(l.kind).code).arg(l.number).arg(l.date);
    return parts.join(';');
}

static QVector<DocLink> sourcesFrom(const QString &text)
{
    QVector<DocLink> out;
    for (const QString &part : text.split(';', Qt::SkipEmptyParts)) {
        const QStringList f = part.split(':');
        if (const auto kind = kindFromCode(f.value(0).toInt()); kind && f.size() >= 2)
            out << DocLink{*kind, f[1].toInt(), f.value(2)};
    }
    return out;
}

DbResult EstimateStore::writeScreen(const UnstoredScreen &s)
{
    const Estimate &e = s.estimate;
    QVariantList binds{bindText(s.number), s.version, bindDate(e.date), bindText(e.customerName),
                       bindText(e.customerInfo), bindText(e.subject), bindText(e.paymentTerms),
                       bindText(e.deliveryDate), bindText(e.deliveryPlace), bindText(e.validity),
                       bindText(e.honorific), s.at.toString(Qt::ISODate)};
    QString extra, marks;
    if (m_kind != DocKind::Estimate) {
        extra = QStringLiteral(", 取引日, 支払期限, 源泉徴収, 備考, 連携, 税区分, 税率, 端数処理");
        marks = QStringLiteral(", ?, ?, ?, ?, ?, ?, ?, ?");
        binds << bindText(e.tradeDate) << bindText(e.dueDate) << (e.withholding ? 1 : 0) << bindText(e.note)
              << sourcesText(e.sources) << bindText(e.taxMode) << e.taxRate << bindText(e.rounding);
    }
    if (m_kind == DocKind::Invoice) {
        extra += QStringLiteral(", 請求期間開始, 請求期間終了, 前回請求額, 入金額, 返還額");
        marks += QStringLiteral(", ?, ?, ?, ?, ?");
        binds << bindText(e.periodFrom) << bindText(e.periodTo) << e.previousBilled.raw() << e.received.raw()
              << e.credited.raw();
    }
    return m_ctx.work.exec(QStringLiteral("INSERT OR REPLACE INTO main.%1 (id, 伝票番号, 元版, 日付, 顧客名, 顧客情報, 件名, 支払条件, "
                                          "納期, 受渡場所, 有効期限, 敬称, 時刻%2) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?%3)")
                               .arg(names().screen, extra, marks),
                           binds);
}

DbResult EstimateStore::readScreen(std::optional<UnstoredScreen> &out)
{
    out.reset();
    DbRows rows;
    const bool later = m_kind != DocKind::Estimate;
    if (DbResult r = m_ctx.work.select(QStringLiteral("SELECT 伝票番号, 元版, 日付, 顧客名, 顧客情報, 件名, 支払条件, 納期, 受渡場所, "
                                                      "有効期限, 敬称, 時刻%1 FROM main.%2 WHERE id = 1")
                                           .arg(QString(later ? QStringLiteral(", 取引日, 支払期限, 源泉徴収, 備考, 連携, 税区分, 税率, 端数処理")
                                                              : QString()) +
                                                    (m_kind == DocKind::Invoice ? QStringLiteral(", 請求期間開始, 請求期間終了, 前回請求額, 入金額, 返還額")
                                                                                : QString()),
                                                names().screen),
                                       {}, rows);
        !r || rows.isEmpty())
        return r;
    const DbRow &row = rows[0];
    UnstoredScreen s;
    s.number = readText(row[0]);
    s.version = row[1].toLongLong();
    Estimate &e = s.estimate;
    e.kind = m_kind;
    e.date = QDate::fromString(readText(row[2]), kDateFormat);
    e.customerName = readText(row[3]);
    e.customerInfo = readText(row[4]);
    e.subject = readText(row[5]);
    e.paymentTerms = readText(row[6]);
    e.deliveryDate = readText(row[7]);
    e.deliveryPlace = readText(row[8]);
    e.validity = readText(row[9]);
    e.honorific = readText(row[10]);
    s.at = QDateTime::fromString(readText(row[11]), Qt::ISODate);
    if (later) {
        e.tradeDate = readText(row[12]);
        e.dueDate = readText(row[13]);
        e.withholding = row[14].toInt() != 0;
        e.note = readText(row[15]);
        e.sources = sourcesFrom(readText(row[16]));
        e.taxMode = readText(row[17]);
        e.taxRate = row[18].toInt();
        e.rounding = readText(row[19]);
    }
    if (m_kind == DocKind::Invoice) {
        e.periodFrom = readText(row[20]);
        e.periodTo = readText(row[21]);
        e.previousBilled = Money::fromRaw(row[22].toLongLong());
        e.received = Money::fromRaw(row[23].toLongLong());
        e.credited = Money::fromRaw(row[24].toLongLong());
    }
    if (DbResult r = readWork(e.lines); !r)
        return r;
    out = s;
    return {};
}

// With a WHERE the statement writes nothing when nothing is kept: a clean close syncs nothing.
DbResult EstimateStore::clearScreen()
{
    return m_ctx.work.exec(QStringLiteral("DELETE FROM main.%1 WHERE id = 1").arg(names().screen));
}
