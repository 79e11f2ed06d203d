// The permanent data on a PostgreSQL server (QUOTEDESK_TEST_SERVER names one; scripts/
// pg-throwaway.sh starts one): the connection a start makes, and a 30-line save among 100,000
// stored estimates beside the same rows written in one transaction over the same connection.

#include "BenchSupport.h"
#include "SameRows.h"
#include "estimate/EstimateList.h"
#include "estimate/EstimateStore.h"
#include "store/DataFiles.h"
#include "store/Engine.h"
#include "store/ServerConfig.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace {

DbResult seed(Db &db)
{
    if (DbResult r = engineOf(db).createSchema(db); !r)
        return r;
    const char *statements[] = {
        "INSERT INTO 顧客マスタ (顧客名, 顧客情報) SELECT '顧客' || lpad(i::text, 5, '0'), '東京都' FROM generate_series(1, 10000) i",
        "INSERT INTO 商品マスタ (品名, 単位, 単価) SELECT '商品' || lpad(i::text, 5, '0'), '個', (100 + i) * 10000 "
        "FROM generate_series(1, 10000) i",
        "INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 件名, 税抜計, 消費税, 合計) SELECT i, '2026/01/01', "
        "'顧客' || lpad((i % 10000)::text, 5, '0'), '件名', 10000000, 500000, 10500000 FROM generate_series(1, 100000) i",
        "INSERT INTO 見積書 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額) SELECT i / 10 + 1, '顧客', "
        "'2026/01/01', i % 10, 1, '商品' || lpad((i % 10000)::text, 5, '0'), 1, '個', 1000000, 1000000 "
        "FROM generate_series(0, 999999) i",
        "INSERT INTO 自社情報 (id, 最大見積書番号) VALUES (1, 100000) ON CONFLICT (id) DO UPDATE SET 最大見積書番号 = 100000",
    };
    for (const char *sql : statements)
        if (DbResult r = db.execUnprepared(QString::fromUtf8(sql)); !r)
            return r;
    if (DbResult r = engineOf(db).rebuildSearchIndex(db); !r)
        return r;
    return db.execUnprepared("VACUUM ANALYZE"); // autovacuum then has nothing to do while timed
}

// The floor of any save over this connection.
double insertFloor(Db &db)
{
    int number = 300000;
    return timeMedian(50, [&] {
        ++number;
        writeSameRows(db, thirtyLines(number, number));
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ServerConfig admin;
    if (qEnvironmentVariable("QUOTEDESK_TEST_SERVER").isEmpty() ||
        !parseConnectionString(qEnvironmentVariable("QUOTEDESK_TEST_SERVER"), admin)) {
        std::printf("no server (QUOTEDESK_TEST_SERVER): skipped\n");
        return 0;
    }
    const QString name = QStringLiteral("qd_bench_%1").arg(QRandomGenerator::global()->generate());
    ServerConfig config = admin;
    config.values[QStringLiteral("dbname")] = name;
    {
        Db a(QStringLiteral("admin"));
        if (!a.openServer(admin) || !a.execUnprepared("CREATE DATABASE " + name))
            return 1;
    }
    QTemporaryDir dir;
    QuoteDeskContext ctx;
    if (!schema::createMissingFiles(dir.path()) || !ctx.work.open(dir.filePath(schema::kWorkFileName)) ||
        !ctx.main.openServer(config) || !seed(ctx.main))
        return 1;

    Db probe(QStringLiteral("probe"));
    const double connect = timeMedian(15, [&] { openServerData(probe, config); }, [&] { probe.close(); });
    report("connection at start (socket, schema check)", connect, "target", 10, 10);

    const double floor = insertFloor(ctx.main);
    EstimateStore store(ctx);
    int number = 200000;
    const double save = timeMedian(50, [&] {
        ++number;
        store.save(thirtyLines(number, number));
    });
    report("save of 30 lines on the server", save, "the same rows in one transaction", floor, 2 * floor);

    // The list's search as typed, among 100,000 estimates: one character found nowhere, one in
    // every estimate, two in a few, and a longer text.
    EstimateList list(ctx.main);
    if (qEnvironmentVariableIsSet("QUOTEDESK_BENCH_WAITING")) // as the window sends them: without blocking
        Db::setWaitTicker([](qint64, bool) { return true; });
    for (const char *text : {"ぬ", "商", "99", "商品0001"}) {
        QVector<ListRow> rows;
        ListFilter filter;
        filter.text = QString::fromUtf8(text);
        const double ms = timeMedian(15, [&] { list.find(filter, 200, rows); });
        const QString what = QStringLiteral("search \"%1\" on the server (%2 shown)").arg(QString::fromUtf8(text)).arg(rows.size());
        report(what.toUtf8().constData(), ms, "target", 16, 16);
    }

    probe.close();
    ctx.main.close();
    ctx.work.close();
    Db a(QStringLiteral("admin"));
    if (a.openServer(admin))
        a.execUnprepared("DROP DATABASE " + name + " WITH (FORCE)");
    return 0;
}
