// Start-up: from process start to the main window shown (offscreen), on delivered data files,
// beside a bare Qt window that opens and closes (the floor).

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "app/Startup.h"
#include "ui/Fonts.h"
#include "app/SingleInstance.h"
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
    std::unique_ptr<SingleInstance> instance;
    if (mode == "quotedesk") {
        instance = std::make_unique<SingleInstance>(QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
        if (!instance->claim())
            return 3;
        installFontSubstitutions();
        auto *w = new FrmQuoteDesk(QString::fromLocal8Bit(argv[3]));
        if (!w->isLoaded())
            return 2;
        window.reset(w);
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

static double startOnce(const QString &self, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(self, args);
    while (!p.readAllStandardOutput().contains("shown")) {
        if (!p.waitForReadyRead(10000)) {
            std::fprintf(stderr, "child did not show its window: %s\n", qPrintable(p.readAllStandardError()));
            std::exit(1);
        }
    }
    const double ms = t.nsecsElapsed() / 1e6;
    p.waitForFinished(10000);
    return ms;
}

int main(int argc, char **argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return child(argc, argv);
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    QTemporaryDir dir;
    const QString data = dir.path() + "/data/";
    if (!schema::createMissingFiles(data))
        return 1;
    const int runs = 15;
    std::vector<double> bare, label, full;
    for (int i = 0; i < runs + 1; ++i) { // interleaved, the first round warms the caches
        const double b = startOnce(self, {"--child", "bare"});
        const double l = startOnce(self, {"--child", "label"});
        const double q = startOnce(self, {"--child", "quotedesk", data, dir.path() + "/run"});
        if (i > 0) {
            bare.push_back(b);
            label.push_back(l);
            full.push_back(q);
        }
    }
    const double floor = medianMs(bare);
    report("start-up to main window shown (15 runs)", medianMs(full), "bare Qt window (floor)", floor, 1.5 * floor);
    report("start-up to main window shown (15 runs)", medianMs(full), "bare window + Japanese label", medianMs(label),
           1.5 * floor);
    std::printf("(target for start-up is 1.5 x the bare window: %.1f ms)\n", 1.5 * floor);
    return 0;
}
