// The archive at 100,000 issued versions with their PDFs beside the file: the data file's size,
// the start beside a start with no archive, 照合 of everything, a backup beside a plain copy of
// the data file, and the wipe.

#include "ArchiveSeed.h"
#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "app/Startup.h"
#include "masters/SettingsTab.h"
#include "store/ArchiveAudit.h"
#include "store/Backups.h"
#include "store/Wipe.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <unistd.h>

namespace {

int child(int argc, char **argv)
{
    QApplication app(argc, argv);
    prepareApplication();
    QTimer::singleShot(0, [] { // once the window is shown
        std::printf("shown\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return runQuoteDesk(QString::fromLocal8Bit(argv[2]));
}

// Every copy read and hashed: what 照合 cannot do without.
double hashEverything(const QString &folder)
{
    QElapsedTimer t;
    t.start();
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        QFile f(QDir(folder).filePath(name));
        f.open(QIODevice::ReadOnly);
        sha256Hex(f.readAll());
    }
    return t.nsecsElapsed() / 1e6;
}

double plainCopy(const QString &from, const QString &to)
{
    QFile::remove(to);
    QElapsedTimer t;
    t.start();
    QFile::copy(from, to);
    archivefiles::syncFile(to);
    return t.nsecsElapsed() / 1e6;
}

void seedMasters(Db &perm)
{
    perm.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
              "INSERT INTO 顧客マスタ (顧客名, 顧客情報) SELECT printf('顧客%d', i), '住所' FROM n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return child(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("preparing 100,000 archived versions with their PDFs...\n");
    std::fflush(stdout);
    BenchData none([](Db &) {});
    BenchData bench([](Db &perm) { seedArchive(perm, 100000, true); });
    const QString perm = bench.folder + schema::kPermFileName;
    const double mb = QFileInfo(perm).size() / 1048576.0;
    std::printf("%-44s %8.1f MB   target < 100 MB  %s\n", "QuoteDesk.mdb at 100,000 versions", mb, mb < 100 ? "ok" : "MISSED");

    std::vector<double> empty, full;
    for (int i = 0; i < 11; ++i) { // interleaved; the first round warms the caches
        const double e = timeChildStart({"--child", none.folder}), f = timeChildStart({"--child", bench.folder});
        if (i > 0) {
            empty.push_back(e);
            full.push_back(f);
        }
    }
    report("start-up, 100,000 archived (10 runs)", medianMs(full), "start-up with no archive", medianMs(empty),
           1.05 * medianMs(empty));

    setMsgPresenter([](const MsgEntry &) { return true; });
    setFolderOpener([](const QString &) {});
    Db db("chain");
    db.open(perm);
    const double hashing = hashEverything(archivefiles::folderOf(perm));
    const double audit = timeMedian(3, [&] {
        ArchiveAudit a;
        const DbResult r = auditArchive(db, a);
        if (!r || !a.sound() || a.versions != 100000) {
            std::fprintf(stderr, "%s\n%s\n", qPrintable(r.error), qPrintable(a.summary().left(2000)));
            std::exit(1);
        }
    });
    report("照合 of all 100,000 versions", audit, "reading and hashing the PDFs", hashing, 30000);

    // The baseline: the same checked copy of QuoteDesk.mdb where no archive lies beside it.
    const QString backup = bench.folder + "backup", alone = bench.dir.filePath("alone");
    QDir().mkpath(alone);
    QFile::copy(perm, alone + "/" + schema::kPermFileName);
    const double plain = timeMedian(3, [&] { plainCopy(perm, bench.dir.filePath("plain.mdb")); });
    std::printf("%-44s median %8.2f ms\n", "plain file copy of QuoteDesk.mdb (for scale)", plain);
    int n = 0;
    const double copy = timeMedian(3, [&] {
        BackupJob(alone + "/" + schema::kPermFileName, alone + "/backup", QString("alone%1").arg(++n)).run();
    });
    QElapsedTimer first;
    first.start();
    writeBackup(db, backup, "first");
    report("first backup (links 100,000 files)", first.nsecsElapsed() / 1e6, "checked copy of the .mdb alone", copy, 2 * copy);
    const double again = timeMedian(3, [&] { writeBackup(db, backup, QString("again%1").arg(++n)); });
    report("backup, archive linked before", again, "checked copy of the .mdb alone", copy, 2 * copy);

    FrmQuoteDesk w(bench.folder);
    const double wipeOnly = timeMedian(3, [&] { wipeAllData(db); }, [&] { seedMasters(db); });
    const double wipe = timeMedian(3, [&] { w.settingsTab()->Data初期化(); }, [&] { seedMasters(db); });
    report("the wipe (check, checked copy, delete)", wipe, "the deletes alone", wipeOnly, 3000);
    return 0;
}
