#include "server/ServerSave.h"
#include "server/ServerSchema.h"
#include "store/Tables.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace serversave {

namespace {

// The order in which the function reads each row's values: the arrays carry no names, so
// that thirty lines are a few kilobytes, not ten.
QStringList lineOrder(DocKind kind) { return tables::lines(kind).names(); }
const QStringList &customerOrder()
{
    static const QStringList order{"顧客名", "顧客情報", "敬称"};
    return order;
}
const QStringList &productOrder()
{
    static const QStringList order{"品名", "単位", "単価", "非課税", "軽減"};
    return order;
}

// A master row read from its array: the fields, then "every field is this desktop's" and
// each field's own flag (the key's aside).
QString masterRowsFrom(const QString &parameter, const QStringList &order, const QStringList &types)
{
    QStringList columns;
    for (int i = 0; i < order.size(); ++i)
        columns << QStringLiteral("(r->>%1)::%2 AS %3").arg(i).arg(types[i], order[i]);
    columns << QStringLiteral("(r->>%1)::int = 1 AS every").arg(order.size());
    for (int i = 1; i < order.size(); ++i)
        columns << QStringLiteral("(r->>%1)::int = 1 AS own%2").arg(order.size() + i).arg(i);
    return QStringLiteral("(SELECT %1 FROM jsonb_array_elements(%2) r)").arg(columns.join(", "), parameter);
}

// Rows whose every field is this desktop's: one upsert. The others fill a new row and write
// their own fields only, each where it differs.
QString registration(const QString &table, const QString &parameter, const QString &names, const QStringList &order,
                     const QStringList &types)
{
    const QString rows = masterRowsFrom(parameter, order, types);
    const QString key = order.first();
    const QString fields = order.join(", ");
    QStringList sets, differs, ownSets, ownDiffers;
    for (int i = 1; i < order.size(); ++i) {
        sets << QStringLiteral("%1 = EXCLUDED.%1").arg(order[i]);
        differs << QStringLiteral("m.%1 IS DISTINCT FROM EXCLUDED.%1").arg(order[i]);
        ownSets << QStringLiteral("%1 = CASE WHEN v.own%2 THEN v.%1 ELSE m.%1 END").arg(order[i]).arg(i);
        ownDiffers << QStringLiteral("(v.own%2 AND m.%1 IS DISTINCT FROM v.%1)").arg(order[i]).arg(i);
    }
    return QStringLiteral(
               "    INSERT INTO %1 AS m (%2) SELECT %2 FROM %3 v WHERE v.every\n"
               "        ON CONFLICT (%4) DO UPDATE SET %5 WHERE %6;\n"
               "    INSERT INTO %1 (%2) SELECT %2 FROM %3 v WHERE NOT v.every ON CONFLICT (%4) DO NOTHING;\n"
               "    UPDATE %1 AS m SET %7 FROM %3 v\n"
               "        WHERE m.%4 = ANY (%9) AND m.%4 = v.%4 AND NOT v.every AND (%8);\n")
        .arg(table, fields, rows, key, sets.join(", "), differs.join(" OR "), ownSets.join(", "),
             ownDiffers.join(" OR "), names);
}

} // namespace

// Rows of table read from a JSON array of arrays, each value cast to its column's type.
static QString rowsFrom(const tables::Table &t, const QString &parameter)
{
    QStringList values;
    const QStringList types = t.serverTypes();
    for (int i = 0; i < types.size(); ++i)
        values << QStringLiteral("(r->>%1)::%2").arg(i).arg(types[i]);
    return QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM jsonb_array_elements(%4) r;")
        .arg(t.name, t.names().join(", "), values.join(", "), parameter);
}

// The header's upsert: every column but the key replaced, and the version.
static QString headerUpsert(const tables::Table &t)
{
    QStringList columns = t.names().mid(1), excluded;
    columns << QStringLiteral("更新番号");
    for (const QString &c : columns)
        excluded << QStringLiteral("EXCLUDED.") + c;
    return QStringLiteral("INSERT INTO %1\n        SELECT * FROM jsonb_populate_record(NULL::%1, p_header || "
                          "jsonb_build_object('更新番号', stored + 1))\n        ON CONFLICT (伝票番号) DO UPDATE SET (%2) = (%3);")
        .arg(t.name, columns.join(", "), excluded.join(", "));
}

QString functionStatement(DocKind kind)
{
    // Each statement in a function sees what others committed before it (READ COMMITTED):
    // the version is read after the lock, as the statement-by-statement save reads it. Its
    // plans are made once and kept, whatever the session says.
    const KindNames &k = kindNames(kind);
    const bool linked = kind != DocKind::Estimate;
    const QString links = linked ? QStringLiteral("\n    DELETE FROM 伝票連携 WHERE 種別 = %1 AND 伝票番号 = p_number;\n    %2")
                                       .arg(k.code)
                                       .arg(rowsFrom(tables::links(), QStringLiteral("p_links")))
                                 : QString();
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION %6(p_number bigint, p_expected bigint, p_header jsonb, p_lines jsonb,
    p_customers jsonb, p_products jsonb, p_text text%7, OUT stored bigint, OUT written boolean)
LANGUAGE plpgsql SET plan_cache_mode = auto AS $body$
DECLARE
    -- The rows written field by field, looked up by name: the others need no lookup.
    customer_names text[] := ARRAY(SELECT r->>0 FROM jsonb_array_elements(p_customers) r WHERE (r->>3)::int = 0);
    product_names text[] := ARRAY(SELECT r->>0 FROM jsonb_array_elements(p_products) r WHERE (r->>5)::int = 0);
BEGIN
    PERFORM pg_advisory_xact_lock(%1, p_number::integer);
    SELECT h.更新番号 INTO stored FROM %8 h WHERE h.伝票番号 = p_number;
    stored := coalesce(stored, 0);
    written := p_expected < 0 OR stored = p_expected;
    IF NOT written THEN
        RETURN;
    END IF;
    INSERT INTO 自社情報 (id, %9) VALUES (1, p_number) ON CONFLICT (id) DO UPDATE
        SET %9 = greatest(自社情報.%9, EXCLUDED.%9);
%2%3
    DELETE FROM %10 WHERE 伝票番号 = p_number;
    %4%5
    %11
    INSERT INTO %12 (伝票番号, 本文) VALUES (p_number, p_text)
        ON CONFLICT (伝票番号) DO UPDATE SET 本文 = EXCLUDED.本文;
END
$body$)SQL")
        .arg(serverschema::lockSpace(kind))
        .arg(registration("顧客マスタ", "p_customers", "customer_names", customerOrder(), {"text", "text", "text"}),
             registration("商品マスタ", "p_products", "product_names", productOrder(),
                          {"text", "text", "bigint", "bigint", "bigint"}),
             rowsFrom(tables::lines(kind), QStringLiteral("p_lines")), links, k.saveFunction,
             linked ? QStringLiteral(", p_links jsonb") : QString(), k.header, k.counter)
        .arg(k.lines, headerUpsert(tables::header(kind)), k.index);
}

namespace {

// JSON written by hand: QJsonDocument took a quarter of a millisecond for thirty lines,
// as much as a statement.
void appendText(QString &out, const QString &s)
{
    out += '"';
    for (const QChar c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        else
            out += c;
    }
    out += '"';
}

// A bound value as JSON: Null stays null (a null text too), whole numbers stay exact, a
// quantity that is no number arrives as the text the server reads it from.
void appendValue(QString &out, const QVariant &v)
{
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull())) {
        out += QLatin1String("null");
    } else if (v.typeId() == QMetaType::QString) {
        appendText(out, v.toString());
    } else if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        if (std::isfinite(d))
            out += QString::number(d, 'g', QLocale::FloatingPointShortest);
        else
            appendText(out, std::isnan(d) ? QStringLiteral("NaN") : d > 0 ? QStringLiteral("Infinity")
                                                                          : QStringLiteral("-Infinity"));
    } else if (v.typeId() == QMetaType::Bool) {
        out += v.toBool() ? '1' : '0';
    } else {
        out += QString::number(v.toLongLong());
    }
}

// values (named by columns) in the order given; a column not among them is null.
void appendArray(QString &out, const QStringList &order, const QStringList &columns, const QVariantList &values)
{
    out += '[';
    for (int i = 0; i < order.size(); ++i) {
        if (i)
            out += ',';
        const int at = columns.indexOf(order[i]);
        appendValue(out, at < 0 ? QVariant() : values.value(at));
    }
}

QString lineRows(const EstimateRecord &e)
{
    const QStringList order = lineOrder(e.kind);
    QString out = QStringLiteral("[");
    out.reserve(e.lines.size() * 96);
    for (const QVariantList &line : e.lines) {
        if (out.size() > 1)
            out += ',';
        appendArray(out, order, e.lineColumns, line);
        out += ']';
    }
    return out + ']';
}

QString masterRows(const QStringList &order, const QStringList &fields, const QVector<MasterRow> &rows)
{
    QString out = QStringLiteral("[");
    for (const MasterRow &row : rows) {
        if (out.size() > 1)
            out += ',';
        appendArray(out, order, fields, row.values);
        QString own;
        bool every = true;
        for (int i = 1; i < order.size(); ++i) {
            const bool mine = row.own.value(fields.indexOf(order[i]), false);
            every = every && mine;
            own += mine ? QLatin1String(",1") : QLatin1String(",0");
        }
        out += (every ? QLatin1String(",1") : QLatin1String(",0")) + own + ']';
    }
    return out + ']';
}

QString headerObject(const EstimateRecord &e)
{
    QString out = QStringLiteral("{");
    for (int i = 0; i < e.headerColumns.size(); ++i) {
        if (i)
            out += ',';
        appendText(out, e.headerColumns[i]);
        out += ':';
        appendValue(out, e.header.value(i));
    }
    return out + '}';
}

} // namespace

// The documents a document was made from, in the links' columns.
QString linkRows(const EstimateRecord &e)
{
    const QStringList columns = tables::links().names();
    QString out = QStringLiteral("[");
    for (const QVariantList &link : e.links) {
        if (out.size() > 1)
            out += ',';
        appendArray(out, columns, columns, link);
        out += ']';
    }
    return out + ']';
}

DbResult write(Db &db, const EstimateRecord &e, qlonglong expected, qlonglong &stored, bool &written)
{
    DbRows rows;
    const bool linked = e.kind != DocKind::Estimate;
    QVariantList binds{e.number, expected, headerObject(e), lineRows(e), masterRows(customerOrder(), e.customerFields, e.customers),
                       masterRows(productOrder(), e.productFields, e.products), e.searchText};
    if (linked)
        binds << linkRows(e);
    const QString call = QStringLiteral("SELECT stored, written FROM %1(?, ?, ?::jsonb, ?::jsonb, ?::jsonb, ?::jsonb, ?%2)")
                             .arg(kindNames(e.kind).saveFunction, linked ? QStringLiteral(", ?::jsonb") : QString());
    DbResult r = db.select(call, binds, rows, Db::OnLoss::Report); // it stores: whether it did is checked, never guessed
    if (!r)
        return r;
    if (rows.isEmpty())
        return DbResult::failure(QStringLiteral("quotedesk_save returned nothing"));
    stored = rows[0].value(0).toLongLong();
    written = rows[0].value(1).toBool();
    return {};
}

} // namespace serversave
