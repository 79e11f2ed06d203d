#include "server/ServerImport.h"
#include "store/Tables.h"
#include "store/Schema.h"
#include "store/ArchiveFiles.h"
#include "store/BatchInsert.h"
#include "store/Schema.h"
#include "server/ServerSchema.h"

#include <QMap>
#include <QSet>
#include <functional>

namespace {

using RowFilter = std::function<bool(const DbRow &)>; // false: the row is left out

struct Copy {
    Db &file;
    Db &server;

    // Every row of select into table's columns (the same number, in order); *count counts them.
    DbResult table(const QString &select, const QString &table, const QStringList &columns, qlonglong *count = nullptr,
                   const RowFilter &keep = {})
    {
        BatchInsert out(server, table, columns);
        DbResult failed;
        qlonglong n = 0, read = 0;
        DbResult r = file.forEachRow(select, {}, [&](const QSqlQuery &q) {
            ++read;
            if (!failed.ok)
                return;
            DbRow row(columns.size());
            for (int i = 0; i < row.size(); ++i)
                row[i] = q.value(i);
            if (keep && !keep(row))
                return;
            ++n;
            failed = out.add(row);
            if (!failed.ok)
                failed.error = QStringLiteral("%1（%2 行目まで）: %3").arg(table).arg(read).arg(failed.error);
        });
        if (r && failed.ok)
            failed = out.flush();
        if (!failed.ok && !failed.error.startsWith(table))
            failed.error = table + QStringLiteral(": ") + failed.error;
        if (count)
            *count = n;
        return r ? failed : r;
    }
};

// Keeps the first row of each name and leaves out rows without one; what it left out is
// told in one sentence per name once the table is copied.
struct NameMerge {
    explicit NameMerge(const QString &name) : what(name) {}
    QString what;
    QSet<QString> seen;
    QMap<QString, int> again;
    int empty = 0;

    RowFilter filter()
    {
        return [this](const DbRow &row) {
            const QString name = row.value(0).toString();
            if (name.trimmed().isEmpty())
                return ++empty, false;
            if (seen.contains(name))
                return ++again[name], false;
            seen.insert(name);
            return true;
        };
    }
    void report(QStringList &merged) const
    {
        if (empty > 0)
            merged << QStringLiteral("%1のない行 %2 行を除きました。").arg(what).arg(empty);
        for (auto it = again.cbegin(); it != again.cend(); ++it)
            merged << QStringLiteral("%1「%2」の行が %3 行重なっていたため、最初の行を残しました。")
                          .arg(what, it.key())
                          .arg(it.value() + 1);
    }
};

DbResult copyAll(Copy &c, ImportReport &report)
{
    QStringList customers = tables::customers().names();
    const QStringList products = tables::products().names();
    QStringList company = tables::settings().names();
    for (DocKind kind : kLaterKinds)
        company << kindNames(kind).counter;
    for (const QString &c : schema::laterSettingsColumns())
        company << c.section(' ', 0, 0);
    for (const QString &c : schema::laterCustomerColumns())
        customers << c.section(' ', 0, 0);
    customers << QStringLiteral("締日");
    auto all = [](const QStringList &columns, const QString &table, const QString &order) {
        return QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(columns.join(", "), table, order);
    };
    DbResult r;
    for (DocKind kind : kAllKinds) {
        const tables::Table &header = tables::header(kind), &lines = tables::lines(kind);
        const bool estimate = kind == DocKind::Estimate;
        if (r)
            r = c.table(all(header.names(), header.name, "伝票番号"), header.name, header.names(),
                        estimate ? &report.estimates : nullptr);
        if (r)
            r = c.table(all(lines.names(), lines.name, "伝票番号, 伝票区分, 行番号"), lines.name, lines.names(),
                        estimate ? &report.lines : nullptr);
        if (r)
            r = c.table(QStringLiteral("SELECT rowid, 本文 FROM %1 ORDER BY rowid").arg(kindNames(kind).index),
                        kindNames(kind).index, {"伝票番号", "本文"});
    }
    for (const tables::Table *t : {&tables::links(), &tables::payments()})
        if (r)
            r = c.table(all(t->names(), t->name, t->key.join(", ")), t->name, t->names());
    NameMerge customerNames(QStringLiteral("顧客名")), productNames(QStringLiteral("品名"));
    if (r)
        r = c.table(all(customers, "顧客マスタ", "rowid"), "顧客マスタ", customers, &report.customers,
                    customerNames.filter());
    if (r)
        r = c.table(all(products, "商品マスタ", "rowid"), "商品マスタ", products, &report.products,
                    productNames.filter());
    customerNames.report(report.merged);
    productNames.report(report.merged);
    if (r) // the settings are one row; the first is the one the program has always read
        r = c.table(all(company, "自社情報", "rowid") + " LIMIT 1", "自社情報", company);
    if (r)
        r = c.table(all(tables::codes().names(), tables::codes().name, "kcode, code"), tables::codes().name,
                    tables::codes().names());
    return r;
}

// The file keeps its bytes under data/archive; the server keeps them beside their rows.
DbResult copyArchivedBytes(Copy &c)
{
    const QString folder = archivefiles::folderOf(c.file.path());
    BatchInsert out(c.server, QStringLiteral("発行PDF"), {QStringLiteral("版ID"), QStringLiteral("PDF")});
    DbResult failed;
    DbResult r = c.file.forEachRow("SELECT id, SHA256 FROM 発行版 ORDER BY id", {}, [&](const QSqlQuery &q) {
        QByteArray bytes;
        if (failed)
            failed = archivefiles::get(folder, q.value(1).toString(), bytes);
        if (failed)
            failed = out.add({q.value(0), bytes});
    });
    if (r && failed)
        failed = out.flush();
    return r ? failed : r;
}

DbResult copyArchive(Copy &c, ImportReport &report)
{
    const QStringList versions{"id", "種別", "伝票番号", "版", "発行日時", "顧客名", "日付", "合計", "内容", "SHA256"};
    DbResult r = c.table("SELECT " + versions.join(", ") + " FROM 発行版 ORDER BY id", "発行版", versions, &report.issued);
    if (r)
        r = copyArchivedBytes(c);
    const QStringList records{"id", "版ID", "発行日時", "方法", "連鎖"};
    if (r) // the chain as it is: the server's archive goes on from the file's head
        r = c.table("SELECT " + records.join(", ") + " FROM 発行記録 ORDER BY id", "発行記録", records);
    if (r)
        r = c.table("SELECT 名 FROM 発行取引先 ORDER BY 名", "発行取引先", {"名"});
    // Ids copied as they were: the server's own numbering goes on after the highest.
    for (const char *table : {"発行版", "発行記録"})
        if (r)
            r = c.server.exec(QString("SELECT setval(pg_get_serial_sequence('%1', 'id'), coalesce(max(id), 0) + 1, false) "
                                      "FROM %1").arg(QString::fromUtf8(table)));
    return r;
}

} // namespace

DbResult importIntoServer(const QString &path, Db &server, ImportReport &report)
{
    report = {};
    Db file(QStringLiteral("import-source"));
    if (DbResult r = file.open(path); !r)
        return r;
    if (DbResult r = schema::verify(file, schema::FileKind::Permanent); !r) {
        r.error += QStringLiteral("（この版の QuoteDesk で一度開いてから移してください）");
        return r;
    }
    Copy copy{file, server};
    return server.transaction([&]() -> DbResult {
        if (DbResult r = serverschema::create(server); !r)
            return r;
        if (DbResult r = copyAll(copy, report); !r)
            return r;
        if (DbResult r = copyArchive(copy, report); !r)
            return r;
        // Each counter never below a stored number: the next proposal is free.
        for (DocKind kind : kAllKinds)
            if (DbResult r = server.exec(QStringLiteral("INSERT INTO 自社情報 (id, %1) SELECT 1, max(伝票番号) FROM %2 "
                                                        "ON CONFLICT (id) DO UPDATE SET %1 = greatest(自社情報.%1, EXCLUDED.%1)")
                                             .arg(kindNames(kind).counter, kindNames(kind).header));
                !r)
                return r;
        return DbResult{};
    });
}
