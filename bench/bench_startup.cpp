// Start-up: from process start to the main window shown (offscreen), on delivered data files,
// beside a bare Qt window that opens and closes (the floor).

#include "BenchSupport.h"
#include "app/Startup.h"
#include "app/SingleInstance.h"
#include "ui/Fonts.h"
#include "store/Schema.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QLabel>
#include <QWidget>

static int child(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<QWidget> window;
    if (mode == "quotedesk") { // as main() starts the program
        prepareApplication();
        SingleInstance instance(QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
        if (!instance.claim())
            return 3;
        QTimer::singleShot(0, [] { // after the window is shown, as below
            std::printf("shown\n");
            std::fflush(stdout);
            QCoreApplication::quit();
        });
        return runQuoteDesk(QString::fromLocal8Bit(argv[3]), &instance);
    } else {
        window = std::make_unique<QWidget>();
        window->resize(900, 680);
        if (mode == "label") { // the same, with one line of Japanese text in the window's font
            installFontSubstitutions();
            window->setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
            new QLabel(QStringLiteral("見積書 KALMIR"), window.get());
        }
    }
    window->show();
    QTimer::singleShot(0, [] {
        std::printf("shown\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}

int main(int argc, char **argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return child(argc, argv);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString data = dir.path() + "/data/";
    if (!schema::createMissingFiles(data))
        return 1;
    // The same start on a permanent file holding 100,000 estimates (a million lines).
    const QString big = dir.path() + "/big/";
    if (!schema::createMissingFiles(big))
        return 1;
    {
        Db perm("seed");
        perm.open(big + schema::kPermFileName);
        const char *numbers = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ";
        perm.transaction([&]() -> DbResult {
            perm.exec(QString("INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 合計) %1 SELECT i, '2026/01/01', "
                              "printf('顧客%05d', i % 10000), 10500000 FROM n").arg(numbers), {100000});
            perm.exec(QString("INSERT INTO 見積書 (伝票番号, 行番号, 伝票区分, 品名, 金額) %1 SELECT i / 10 + 1, i % 10, 1, "
                              "printf('商品%05d', i % 10000), 1000000 FROM n WHERE i < 1000000").arg(numbers), {1000000});
            return perm.exec("INSERT INTO 自社情報 (最大見積書番号) VALUES (100000)");
        });
    }
    const int runs = 15;
    std::vector<double> bare, label, full, large;
    for (int i = 0; i < runs + 1; ++i) { // interleaved, the first round warms the caches
        const double b = timeChildStart({"--child", "bare"});
        const double l = timeChildStart({"--child", "label"});
        const double q = timeChildStart({"--child", "quotedesk", data, dir.path() + "/run"});
        const double g = timeChildStart({"--child", "quotedesk", big, dir.path() + "/run"});
        if (i > 0) {
            bare.push_back(b);
            label.push_back(l);
            full.push_back(q);
            large.push_back(g);
        }
    }
    const double floor = medianMs(bare);
    std::printf("%-44s median %8.2f ms\n", "bare Qt window (for scale)", floor);
    report("start-up to main window shown (15 runs)", medianMs(full), "bare window + Japanese label", medianMs(label),
           1.5 * medianMs(label));
    report("start-up, 100,000 stored estimates (15 runs)", medianMs(large), "start-up on a fresh file", medianMs(full),
           1.2 * medianMs(full));
    return 0;
}
