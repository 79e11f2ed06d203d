#include "store/Owed.h"

#include "store/Tables.h"

namespace owed {
namespace {

const QString kColumns = QStringLiteral("伝票番号, 顧客名, 日付, 支払期限, 期限順, 請求額, 入金済, 返還額, 残額, 顧客検索");

// The rows of the invoices whose numbers match numbers (an SQL condition on h.伝票番号). What
// the customer is to pay: the total less what is withheld, less the credit notes (negative).
QString rowsOf(const QString &numbers)
{
    // Flat, with no table in FROM but the invoices: a file's trigger may name NEW only there.
    const QString credit = QString::number(kindNames(DocKind::Credit).code);
    const QString invoice = QString::number(kindNames(DocKind::Invoice).code);
    const QString billed = QStringLiteral("(coalesce(h.合計, 0) - coalesce(h.源泉税額, 0))");
    const QString settled = QStringLiteral("(SELECT coalesce(sum(p.金額), 0) + coalesce(sum(p.手数料), 0) FROM 入金 p "
                                           "WHERE p.請求書番号 = h.伝票番号)");
    const QString credited = QStringLiteral("(SELECT coalesce(sum(r.合計), 0) FROM 伝票連携 l JOIN 返還請求書ヘッダ r ON r.伝票番号 = l.伝票番号 "
                                            "WHERE l.種別 = %1 AND l.元種別 = %2 AND l.元番号 = h.伝票番号)")
                                 .arg(credit, invoice);
    return QStringLiteral("SELECT h.伝票番号, h.顧客名, h.日付, h.支払期限, coalesce(nullif(h.支払期限, ''), '9999/99/99'), %2, %3, %4, "
                          "%2 + %4 - %3, lower(h.顧客名) FROM 請求書ヘッダ h WHERE h.伝票番号 %1")
        .arg(numbers, billed, settled, credited);
}

QStringList indexStatements(bool server)
{
    const QString ifMissing = server ? QStringLiteral("IF NOT EXISTS ") : QString();
    // Only what is open is listed, oldest due first or by customer; each holds what the view's
    // filters and sums read, so that neither visits the rows.
    return {QStringLiteral("CREATE INDEX %1売掛残_期限 ON 売掛残 (期限順, 日付, 伝票番号, 顧客検索, 入金済, 残額) WHERE 残額 > 0").arg(ifMissing),
            QStringLiteral("CREATE INDEX %1売掛残_顧客 ON 売掛残 (顧客名, 顧客検索, 期限順, 入金済, 残額) WHERE 残額 > 0").arg(ifMissing)};
}

// Where each table's change lands: the invoices a changed row (row: NEW or OLD) concerns.
struct Source {
    QString table, event, columns, numbers;
};

QString fileNumbers(const QString &table, const QString &row)
{
    const QString credit = QString::number(kindNames(DocKind::Credit).code);
    const QString invoice = QString::number(kindNames(DocKind::Invoice).code);
    if (table == QStringLiteral("請求書ヘッダ"))
        return "= " + row + ".伝票番号";
    if (table == QStringLiteral("入金"))
        return "= " + row + ".請求書番号";
    if (table == QStringLiteral("伝票連携"))
        return QStringLiteral("= (CASE WHEN %1.種別 = %2 AND %1.元種別 = %3 THEN %1.元番号 END)").arg(row, credit, invoice);
    return QStringLiteral("IN (SELECT 元番号 FROM 伝票連携 WHERE 種別 = %2 AND 元種別 = %3 AND 伝票番号 = %1.伝票番号)")
        .arg(row, credit, invoice);
}

QString fileRefresh(const QString &numbers)
{
    return QStringLiteral("DELETE FROM 売掛残 WHERE 伝票番号 %1; INSERT INTO 売掛残 (%2) %3; ").arg(numbers, kColumns, rowsOf(numbers));
}

// The columns whose change moves what an invoice asks.
const std::pair<const char *, const char *> kWatched[] = {
    {"請求書ヘッダ", "伝票番号, 顧客名, 日付, 支払期限, 合計, 源泉税額"},
    {"入金", "請求書番号, 金額, 手数料"},
    {"伝票連携", "種別, 伝票番号, 元種別, 元番号"},
    {"返還請求書ヘッダ", "伝票番号, 合計"}};

QStringList fileTriggers()
{
    QStringList s;
    for (const auto &[t, columns] : kWatched) {
        const QString table = QString::fromUtf8(t);
        s << QStringLiteral("CREATE TRIGGER 売掛残_%1_追加 AFTER INSERT ON %1 BEGIN %2END").arg(table, fileRefresh(fileNumbers(table, "NEW")))
          << QStringLiteral("CREATE TRIGGER 売掛残_%1_変更 AFTER UPDATE OF %2 ON %1 BEGIN %3%4END")
                 .arg(table, QString::fromUtf8(columns), fileRefresh(fileNumbers(table, "OLD")), fileRefresh(fileNumbers(table, "NEW")))
          << QStringLiteral("CREATE TRIGGER 売掛残_%1_削除 AFTER DELETE ON %1 BEGIN %2END").arg(table, fileRefresh(fileNumbers(table, "OLD")));
    }
    return s;
}

// On a server each statement's changed rows come at once (a transition table named changed).
// Whoever changes what is owed waits for whoever does so already, to its commit: two desktops
// changing one invoice at once (a payment and a save) then compute its row one after the other,
// each from what the other stored, and the sums by due date change in one order.
QStringList serverTriggers(int lockSpace)
{
    const QString credit = QString::number(kindNames(DocKind::Credit).code);
    const QString invoice = QString::number(kindNames(DocKind::Invoice).code);
    QStringList s{QStringLiteral("CREATE OR REPLACE FUNCTION quotedesk_owed_refresh(numbers bigint[]) RETURNS void LANGUAGE plpgsql AS "
                                 "$body$ BEGIN IF cardinality(numbers) = 0 THEN RETURN; END IF; PERFORM pg_advisory_xact_lock(%3, 0); "
                                 "DELETE FROM 売掛残 WHERE 伝票番号 = ANY(numbers); INSERT INTO 売掛残 (%1) %2; END $body$")
                      .arg(kColumns, rowsOf(QStringLiteral("= ANY(numbers)")))
                      .arg(lockSpace)};
    const std::pair<const char *, QString> numbers[] = {
        {"請求書ヘッダ", QStringLiteral("SELECT 伝票番号 FROM changed")},
        {"入金", QStringLiteral("SELECT 請求書番号 FROM changed")},
        {"伝票連携", QStringLiteral("SELECT 元番号 FROM changed WHERE 種別 = %1 AND 元種別 = %2").arg(credit, invoice)},
        {"返還請求書ヘッダ", QStringLiteral("SELECT l.元番号 FROM changed c JOIN 伝票連携 l ON l.伝票番号 = c.伝票番号 "
                                            "WHERE l.種別 = %1 AND l.元種別 = %2").arg(credit, invoice)}};
    int n = 0;
    for (const auto &[t, select] : numbers) {
        const QString table = QString::fromUtf8(t), function = QStringLiteral("quotedesk_owed_%1").arg(++n);
        s << QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN "
                            "PERFORM quotedesk_owed_refresh(ARRAY(SELECT DISTINCT x FROM (%2) AS n(x) WHERE x IS NOT NULL)); "
                            "RETURN NULL; END $body$")
                 .arg(function, select);
        const std::pair<const char *, const char *> events[] = {
            {"追加", "INSERT ON %1 REFERENCING NEW"}, {"変更前", "UPDATE ON %1 REFERENCING OLD"},
            {"変更後", "UPDATE ON %1 REFERENCING NEW"}, {"削除", "DELETE ON %1 REFERENCING OLD"}};
        for (const auto &[name, event] : events)
            s << QStringLiteral("CREATE OR REPLACE TRIGGER 売掛残_%1_%2 AFTER %3 TABLE AS changed FOR EACH STATEMENT EXECUTE FUNCTION %4()")
                     .arg(table, QString::fromUtf8(name), QString::fromUtf8(event).arg(table), function);
    }
    return s;
}

// 売掛期日: what is open summed by due date and by whether anything was paid, kept from each
// row of 売掛残 that comes and goes, so that the totals of the view read a few hundred rows.
const QString kAddOpen = QStringLiteral("INSERT INTO 売掛期日 (期限順, 入金有, 件数, 残額) %1 ON CONFLICT (期限順, 入金有) DO UPDATE SET "
                                        "件数 = 売掛期日.件数 + excluded.件数, 残額 = 売掛期日.残額 + excluded.残額");
const QString kTakeOpen = QStringLiteral("UPDATE 売掛期日 SET 件数 = 売掛期日.件数 - x.件数, 残額 = 売掛期日.残額 - x.残額 FROM (%1) x "
                                         "WHERE 売掛期日.期限順 = x.期限順 AND 売掛期日.入金有 = x.入金有");
const QString kDropEmpty = QStringLiteral("DELETE FROM 売掛期日 WHERE 件数 = 0");

QStringList bucketStatements(bool server)
{
    const QString table = server ? QStringLiteral("CREATE TABLE IF NOT EXISTS 売掛期日 (期限順 text NOT NULL, 入金有 bigint NOT NULL, "
                                                  "件数 bigint NOT NULL, 残額 bigint NOT NULL, PRIMARY KEY (期限順, 入金有))")
                                 : QStringLiteral("CREATE TABLE 売掛期日 (期限順 TEXT NOT NULL, 入金有 INTEGER NOT NULL, 件数 INTEGER NOT NULL, "
                                                  "残額 INTEGER NOT NULL, PRIMARY KEY (期限順, 入金有)) WITHOUT ROWID");
    if (!server) // one row at a time; a file's trigger may not name OLD or NEW inside a FROM
        return {table,
                QStringLiteral("CREATE TRIGGER 売掛期日_追加 AFTER INSERT ON 売掛残 WHEN NEW.残額 > 0 BEGIN %1; END")
                    .arg(kAddOpen.arg(QStringLiteral("VALUES (NEW.期限順, NEW.入金済 <> 0, 1, NEW.残額)"))),
                QStringLiteral("CREATE TRIGGER 売掛期日_削除 AFTER DELETE ON 売掛残 WHEN OLD.残額 > 0 BEGIN UPDATE 売掛期日 SET 件数 = 件数 - 1, "
                               "残額 = 残額 - OLD.残額 WHERE 期限順 = OLD.期限順 AND 入金有 = (OLD.入金済 <> 0); %1; END")
                    .arg(kDropEmpty)};
    const QString sums = QStringLiteral("SELECT 期限順, CASE WHEN 入金済 <> 0 THEN 1 ELSE 0 END AS 入金有, count(*) AS 件数, sum(残額) AS 残額 FROM changed "
                                        "WHERE 残額 > 0 GROUP BY 1, 2 ORDER BY 1, 2");
    return {table,
            QStringLiteral("CREATE OR REPLACE FUNCTION quotedesk_owed_added() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN %1; "
                           "RETURN NULL; END $body$").arg(kAddOpen.arg(sums)),
            QStringLiteral("CREATE OR REPLACE FUNCTION quotedesk_owed_taken() RETURNS trigger LANGUAGE plpgsql AS $body$ BEGIN %1; %2; "
                           "RETURN NULL; END $body$").arg(kTakeOpen.arg(sums), kDropEmpty),
            QStringLiteral("CREATE OR REPLACE TRIGGER 売掛期日_追加 AFTER INSERT ON 売掛残 REFERENCING NEW TABLE AS changed "
                           "FOR EACH STATEMENT EXECUTE FUNCTION quotedesk_owed_added()"),
            QStringLiteral("CREATE OR REPLACE TRIGGER 売掛期日_削除 AFTER DELETE ON 売掛残 REFERENCING OLD TABLE AS changed "
                           "FOR EACH STATEMENT EXECUTE FUNCTION quotedesk_owed_taken()")};
}

} // namespace

QStringList statements(Db::Engine engine, int lockSpace)
{
    const bool server = engine == Db::Engine::Postgres;
    return QStringList{tables::owed().createStatement(engine, server)} + indexStatements(server) + bucketStatements(server) +
           (server ? serverTriggers(lockSpace) : fileTriggers());
}

QStringList fillStatements()
{
    return {QStringLiteral("DELETE FROM 売掛残"), QStringLiteral("DELETE FROM 売掛期日"),
            QStringLiteral("INSERT INTO 売掛残 (%1) %2").arg(kColumns, rowsOf("IS NOT NULL"))};
}

QString mismatchStatement()
{
    const QString computed = rowsOf(QStringLiteral("IS NOT NULL")), stored = QStringLiteral("SELECT %1 FROM 売掛残").arg(kColumns);
    const QString sums = QStringLiteral("SELECT 期限順, CASE WHEN 入金済 <> 0 THEN 1 ELSE 0 END, count(*), sum(残額) FROM 売掛残 WHERE 残額 > 0 "
                                        "GROUP BY 期限順, CASE WHEN 入金済 <> 0 THEN 1 ELSE 0 END");
    const QString buckets = QStringLiteral("SELECT 期限順, 入金有, 件数, 残額 FROM 売掛期日");
    auto differ = [](const QString &a, const QString &b) {
        return QStringLiteral("(SELECT count(*) FROM (%1 EXCEPT %2) a) + (SELECT count(*) FROM (%2 EXCEPT %1) b)").arg(a, b);
    };
    return QStringLiteral("SELECT %1 + %2").arg(differ(computed, stored), differ(sums, buckets));
}

} // namespace owed
