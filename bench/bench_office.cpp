// An office's server at 5 ms one way: every action counted in round trips, timed here on a local
// server, and given the network's cost (10 ms a round trip) on top. The connection itself is
// counted as two (the socket, then the start-up and authentication).

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "estimate/EstimateList.h"
#include "estimate/EstimateTab.h"
#include "masters/CustomerTab.h"
#include "print/PrintPreview.h"
#include "store/Engine.h"
#include "store/ServerConfig.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateTab.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QRandomGenerator>

namespace {

constexpr double kRoundTripMs = 10; // 5 ms each way

// Median local time and the round trips of one run of body.
void measure(const char *what, double targetMs, const std::function<void()> &body, int connections = 0,
             const std::function<void()> &prepare = {})
{
    if (prepare)
        prepare();
    const qlonglong before = Db::serverStatements();
    body();
    const int trips = int(Db::serverStatements() - before) + 2 * connections;
    const double local = timeMedian(5, body, prepare);
    const double atOffice = local + trips * kRoundTripMs;
    std::printf("%-40s %3d round trips\n", what, trips);
    report((std::string(what) + " at 5 ms").c_str(), atOffice, "the same on a local server", local, targetMs);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ServerConfig admin;
    if (qEnvironmentVariable("QUOTEDESK_TEST_SERVER").isEmpty() ||
        !parseConnectionString(qEnvironmentVariable("QUOTEDESK_TEST_SERVER"), admin)) {
        std::printf("no server (QUOTEDESK_TEST_SERVER): skipped\n");
        return 0;
    }
    const QString name = QStringLiteral("qd_office_%1").arg(QRandomGenerator::global()->generate());
    ServerConfig config = admin;
    config.values[QStringLiteral("dbname")] = name;
    QTemporaryDir dir;
    const QString folder = dir.path() + "/data/";
    {
        Db a(QStringLiteral("admin"));
        if (!a.openServer(admin) || !a.execUnprepared("CREATE DATABASE " + name))
            return 1;
        Db db(QStringLiteral("prepare"));
        if (!schema::createMissingFiles(folder) || !db.openServer(config) || !engineOf(db).createSchema(db))
            return 1;
        db.execUnprepared("INSERT INTO 自社情報 (id, 自社名, 税率, 端数処理) VALUES (1, '自社', 10, '切捨て')");
        QFile f(folder + kServerFileName);
        f.open(QIODevice::WriteOnly);
        f.write(qEnvironmentVariable("QUOTEDESK_TEST_SERVER").toUtf8() + " dbname=" + name.toUtf8() + "\n");
    }
    setMsgPresenter([](const MsgEntry &) { return true; });
    setFolderOpener([](const QString &) {});
    setEndOwnProcessHook([](QWidget *) {});
    measure("start-up to the window shown", 150, [&] {
        FrmQuoteDesk w(folder);
        w.show();
        QCoreApplication::processEvents();
    }, 1);
    FrmQuoteDesk w(folder);
    EstimateTab *tab = w.estimateTab();
    int n = 0;
    measure("store a new 5-line estimate", 100, [&] { tab->Entry見積書(); }, 0, [&] {
        tab->Clear見積書(true);
        tab->ui->cmb顧客名->setEditText(QStringLiteral("顧客%1").arg(++n));
        WorkTableModel *m = tab->dat明細;
        for (int r = 0; r < 5; ++r) {
            m->setData(m->index(r, Col品名), QStringLiteral("品%1").arg(r), Qt::EditRole);
            m->setData(m->index(r, Col金額), "1000", Qt::EditRole);
        }
    });
    measure("a new estimate (クリア)", 100, [&] { tab->Clear見積書(true); });
    measure("load an estimate", 100, [&] {
        tab->ui->txtNo->setText("1");
        tab->Read見積書();
    });
    measure("search the list", 100, [&] {
        QVector<ListRow> rows;
        EstimateList(w.context().main).find({.text = QStringLiteral("顧客1"), .from = {}, .to = {}}, 200, rows);
    });
    QPrinter printer;
    int k = 0;
    measure("issue as PDF", 120, [&] {
        PrintRecord record;
        w.printRecord(record);
        record.subject = QString::number(++k); // a new version each time
        PrintPreview(rpt見積書(record), &printer, "x.pdf", nullptr, &w.context().main).savePdf(dir.filePath("x.pdf"));
    });
    Db a(QStringLiteral("admin"));
    w.unload();
    if (a.openServer(admin))
        a.execUnprepared("DROP DATABASE " + name + " WITH (FORCE)");
    return 0;
}
