// The file and the server store a save alike: the same rows, the same masters, whatever the
// values hold. A server made by the previous version is brought up to date at the start.

#include "ServerSupport.h"
#include "TestSupport.h"
#include "estimate/EstimateList.h"
#include "estimate/EstimateStore.h"
#include "store/DataFiles.h"
#include "store/Engine.h"
#include "server/ServerSave.h"
#include "server/ServerSchema.h"

#include <cmath>

class EnginesTest : public QObject {
    Q_OBJECT
private slots:
    void savesStoreTheSameOnEitherEngine();
    void previousServerVersionIsBroughtUpToDate();
    void readAfterTheConnectionWentSucceeds();
};

namespace {

// A data folder on the file, or on a fresh database of the test server.
struct Desk {
    TempData data;
    std::unique_ptr<Window> w;
    explicit Desk(bool onServer)
    {
        if (onServer && !data.prepareServer())
            qFatal("no test server");
        w = std::make_unique<Window>(data.folder());
    }
    EstimateStore store() { return EstimateStore((*w)->context()); }
    DbRows rows(const QString &sql) { return permRows(data, sql); }
};

Estimate awkward()
{
    Estimate e;
    e.number = 7;
    e.date = QDate(2026, 12, 8);
    e.customerName = QStringLiteral("甲社 \"引用\" \\ 'と'");
    e.customerInfo = QStringLiteral("東京都\n千代田区\t1-1\x01");
    e.subject = QStringLiteral("件名 %_ [x]");
    e.honorific = QStringLiteral("御中");
    e.taxMode = QStringLiteral("外税");
    e.taxRate = 10;
    e.tax = Money::fromRaw(9007199254740993LL); // beyond a double's exact integers
    e.net = Money::fromYen(0);
    e.lines = {
        {QStringLiteral("ボルト"), 0.1, QStringLiteral("個"), Money::fromYen(100), Money::fromRaw(100000)},
        {QStringLiteral("単位なし"), 3.0, QVariant(), Money::fromYen(5), Money::fromYen(15), true, false},
        {QStringLiteral("数量のみ"), 2.0, QStringLiteral("式"), std::nullopt, std::nullopt, false, true},
        {QStringLiteral("ボルト"), 1e-7, QStringLiteral("箱"), Money::fromRaw(-12345), Money::fromYen(-1)},
        {QStringLiteral("名前だけ"), std::nullopt, QVariant(), std::nullopt, std::nullopt},
    };
    return e;
}

// Everything a save leaves, as text: header, lines, both masters, the counter.
QStringList stored(Desk &d)
{
    QStringList out;
    for (const char *sql :
         {"SELECT 伝票番号, 日付, 顧客名, 顧客情報, 件名, 支払条件, 納期, 受渡場所, 有効期限, 消費税, 税抜計, 合計, 敬称, 税区分, "
          "税率, 端数処理 FROM 見積書ヘッダ ORDER BY 伝票番号",
          "SELECT 伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額, 非課税, 軽減 FROM 見積書 ORDER BY "
          "伝票番号, 行番号",
          "SELECT 顧客名, 顧客情報, 敬称 FROM 顧客マスタ ORDER BY 顧客名",
          "SELECT 品名, 単位, 単価, 非課税, 軽減 FROM 商品マスタ ORDER BY 品名",
          "SELECT 最大見積書番号, 最大納品書番号, 最大請求書番号 FROM 自社情報",
          "SELECT 伝票番号, 取引日, 支払期限, 源泉徴収, 源泉税額, 備考 FROM 納品書ヘッダ ORDER BY 伝票番号",
          "SELECT 伝票番号, 日付, 顧客名, 取引日, 支払期限, 源泉徴収, 源泉税額, 備考, 合計 FROM 請求書ヘッダ ORDER BY 伝票番号",
          "SELECT 伝票番号, 行番号, 伝票区分, 品名, 数量, 金額, 納品書番号 FROM 請求書 ORDER BY 伝票番号, 行番号",
          "SELECT 種別, 伝票番号, 並び, 元種別, 元番号, 元日付 FROM 伝票連携 ORDER BY 種別, 伝票番号, 並び"})
        for (const DbRow &row : d.rows(QString::fromUtf8(sql))) {
            QStringList cells;
            for (const QVariant &v : row)
                cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
            out << cells.join('|');
        }
    return out;
}

} // namespace

// New, then loaded and changed in a few fields after the products tab changed one product:
// a value the estimate only carried over must not overwrite the tab's change on either engine.
void EnginesTest::savesStoreTheSameOnEitherEngine()
{
    if (TestServer::conninfo().isEmpty())
        QSKIP("no test server");
    QStringList results[2];
    for (bool onServer : {false, true}) {
        Desk d(onServer);
        EstimateStore store = d.store();
        const Estimate first = awkward();
        QVERIFY(store.save(first));
        Estimate loaded;
        bool found = false;
        QVERIFY(store.load(first.number, loaded, found) && found);
        QVERIFY(sameContent(loaded, first));
        QCOMPARE(*loaded.tax, *first.tax);
        // The later kinds through the same save: their own fields, lines that name a 納品書, links.
        Estimate note = first;
        note.kind = DocKind::Delivery;
        note.tradeDate = QStringLiteral("2026/12/07");
        note.sources = {DocLink{DocKind::Estimate, 7, QStringLiteral("2026/12/08")}};
        QVERIFY(EstimateStore((*d.w)->context(), DocKind::Delivery).save(note));
        Estimate invoice = note;
        invoice.kind = DocKind::Invoice;
        invoice.dueDate = QStringLiteral("2027/01/31");
        invoice.withholding = true;
        invoice.withheld = Money::fromYen(1021);
        invoice.note = QStringLiteral("振込手数料は貴社負担 '\\'");
        invoice.sources = {DocLink{DocKind::Delivery, 7, QStringLiteral("2026/12/07")}, DocLink{DocKind::Delivery, 9, {}}};
        for (EstimateLine &l : invoice.lines)
            l.deliveryNumber = 7;
        EstimateStore invoices((*d.w)->context(), DocKind::Invoice);
        QVERIFY(invoices.save(invoice));
        Estimate back;
        bool again = false;
        QVERIFY(invoices.load(7, back, again) && again);
        QVERIFY(sameContent(back, invoice));
        QCOMPARE(back.withheld, invoice.withheld);

        QVERIFY(seedPerm(d.data, "UPDATE 商品マスタ SET 単価 = 777 WHERE 品名 = 'ボルト'"));
        QVERIFY(seedPerm(d.data, "UPDATE 顧客マスタ SET 敬称 = '様'"));
        Estimate second = loaded;
        second.number = 8;
        second.version = 0;
        second.lines[1].unit = QStringLiteral("本");         // this desktop's change: written
        second.lines[2].price = Money::fromYen(3);          // a price now: written
        second.customerInfo = QStringLiteral("大阪府");      // written; the honorific only carried over
        QVERIFY(store.save(second, &loaded));
        results[onServer] = stored(d);
        QVERIFY(results[onServer].contains(QStringLiteral("ボルト|箱|777|0|0"))); // the tab's price kept
        QVERIFY(results[onServer].contains(QStringLiteral("単位なし|本|50000|1|0")));
        QVERIFY(results[onServer].contains(QStringLiteral("%1|大阪府|様").arg(first.customerName)));
    }
    QCOMPARE(results[1], results[0]);
}

// A server made before the save function: the first start adds it and counts master changes
// once per statement; the data stays as it was.
void EnginesTest::previousServerVersionIsBroughtUpToDate()
{
    REQUIRE_SERVER(server);
    {
        Db db(QStringLiteral("older"));
        QVERIFY(server.open(db) && engineOf(db).createSchema(db));
        for (const char *sql : {"DROP FUNCTION quotedesk_save", "DROP FUNCTION quotedesk_count_changes CASCADE",
                                "DROP FUNCTION quotedesk_grams CASCADE",
                                "ALTER TABLE 見積書索引 ALTER COLUMN 本文 SET STATISTICS -1",
                                "UPDATE quotedesk_schema SET version = 301",
                                // Before delivery notes and invoices.
                                "DROP TABLE 納品書ヘッダ, 納品書, 納品書索引, 請求書ヘッダ, 請求書, 請求書索引, 伝票連携",
                                "DROP FUNCTION quotedesk_save_delivery", "DROP FUNCTION quotedesk_save_invoice",
                                "ALTER TABLE 自社情報 DROP COLUMN 最大納品書番号, DROP COLUMN 最大請求書番号",
                                "ALTER TABLE 発行版 DROP CONSTRAINT 発行版_種別_番号_版",
                                "ALTER TABLE 発行版 ADD CONSTRAINT 発行版_伝票番号_版_key UNIQUE (伝票番号, 版)",
                                "INSERT INTO 商品マスタ (品名, 単価) VALUES ('既存', 1)"})
            QVERIFY(db.execUnprepared(QString::fromUtf8(sql)));
        for (const char *table : {"顧客マスタ", "商品マスタ"})
            QVERIFY(db.execUnprepared(QString("CREATE TRIGGER %1_変更 AFTER INSERT OR UPDATE OR DELETE ON %1 FOR EACH ROW "
                                              "EXECUTE FUNCTION quotedesk_count_change()")
                                          .arg(QString::fromUtf8(table))));
    }
    TempData data(true);
    Db main(QStringLiteral("upgraded"));
    const DbResult upgraded = openServerData(main, server.config);
    QVERIFY2(upgraded, qPrintable(upgraded.error));
    QVariant version;
    QVERIFY(main.scalar("SELECT version FROM quotedesk_schema", {}, version));
    QCOMPARE(version.toInt(), serverschema::kVersion);
    QVERIFY(openServerData(main, server.config)); // a second start finds it current

    QuoteDeskContext ctx;
    QVERIFY(ctx.main.openServer(server.config) && ctx.work.open(data.work()));
    EstimateStore store(ctx);
    auto changes = [&] {
        QVariant n;
        main.scalar("SELECT 番号 FROM 変更番号 WHERE 表 = '商品マスタ'", {}, n);
        return n.toLongLong();
    };
    const qlonglong before = changes();
    Estimate e;
    e.number = 1;
    for (int i = 0; i < 3; ++i)
        e.lines << EstimateLine{QStringLiteral("新%1").arg(i), 1.0, QStringLiteral("個"), Money::fromYen(i + 1), Money::fromYen(i + 1)};
    QVERIFY(store.save(e));
    QCOMPARE(changes(), before + 1); // three new products, one change
    e.version = 1;
    QVERIFY(store.save(e));
    QCOMPARE(changes(), before + 1); // nothing new: nothing counted
    QVariant kept;
    QVERIFY(main.scalar("SELECT 単価 FROM 商品マスタ WHERE 品名 = '既存'", {}, kept));
    QCOMPARE(kept.toLongLong(), 1LL);
    // The list's short searches use what the upgrade added.
    QVector<ListRow> found;
    ListFilter filter;
    filter.text = QStringLiteral("新");
    QVERIFY(EstimateList(ctx.main).find(filter, 10, found));
    QCOMPARE(found.size(), 1);
    filter.text = QStringLiteral("旧");
    QVERIFY(EstimateList(ctx.main).find(filter, 10, found));
    QCOMPARE(found.size(), 0);
    // The kinds the upgrade brought: an invoice under the estimate's number is its own document.
    e.kind = DocKind::Invoice;
    e.version = 0;
    QVERIFY(EstimateStore(ctx, DocKind::Invoice).save(e));
    QVERIFY(main.scalar("SELECT 最大請求書番号 FROM 自社情報", {}, kept));
    QCOMPARE(kept.toLongLong(), 1LL);
}

// A read after the server ended this desktop's session: reconnected, and its answer is the
// one it gets then, not the failure that made it reconnect.
void EnginesTest::readAfterTheConnectionWentSucceeds()
{
    REQUIRE_SERVER(server);
    Db db(QStringLiteral("dropped")), other(QStringLiteral("other"));
    QVERIFY(server.open(db) && server.open(other));
    QVariant pid, one;
    QVERIFY(db.scalar("SELECT pg_backend_pid()", {}, pid));
    QVERIFY(other.exec("SELECT pg_terminate_backend(?)", {pid}));
    DbResult r = db.scalar("SELECT 1", {}, one);
    QVERIFY2(r, qPrintable(r.error));
    QCOMPARE(one.toInt(), 1);
}

QTEST_MAIN(EnginesTest)
#include "test_engines.moc"
