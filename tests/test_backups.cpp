// Copies that restore and an archive that lives beside the data file: what a kill leaves of a
// copy is never offered, the archive's files are linked rather than copied again, old copies go
// only when asked, and an older file's archive moves out whole.

#include "TestSupport.h"
#include "masters/BackupPanel.h"
#include "masters/SettingsTab.h"
#include "store/ArchiveAudit.h"
#include "store/ArchiveFiles.h"
#include "OlderArchive.h"
#include "store/Backups.h"
#include "store/Integrity.h"
#include "store/IssueArchive.h"
#include "ui/FileChooser.h"

#include <QSpinBox>
#include <QTableWidget>
#include <sys/stat.h>

class BackupsTest : public QObject {
    Q_OBJECT
private slots:
    void onlyCheckedCopiesAreOffered();
    void copiesCarryTheArchiveAndOldOnesGoWhenAsked();
    void anOlderArchiveMovesOutWhole();

private:
    static void writeGarbage(const QString &path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
};

void BackupsTest::onlyCheckedCopiesAreOffered()
{
    TempData data;
    const QString backup = data.folder() + "backup/";
    QDir().mkpath(backup);
    // What kills left: an unfinished copy with its journal, an older version's half copy with
    // its journal, and a newest copy whose pages are gone.
    writeGarbage(backup + "QuoteDesk-20261201-090000.mdb.unfinished");
    writeGarbage(backup + "QuoteDesk-20261201-090000.mdb.unfinished-journal");
    writeGarbage(backup + "QuoteDesk-20261130-090000.mdb");
    writeGarbage(backup + "QuoteDesk-20261130-090000.mdb-journal");
    writeGarbage(backup + "QuoteDesk-20261202-090000.mdb");
    QVERIFY(latestBackup(data.folder()).isEmpty());
    QVERIFY(!damagedFileAdvice(data.perm(), data.folder()).contains("QuoteDesk-2026"));
    tidyBackupFolder(backup);
    QCOMPARE(QDir(backup).entryList(QDir::Files), QStringList{"QuoteDesk-20261202-090000.mdb"});

    // A copy made now is checked before it has its name, and is the one offered.
    Window w(data.folder());
    Answers answers;
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    QVERIFY(w->settingsTab()->backups()->backupNow());
    setFolderOpener(opener);
    const QString copy = latestBackup(data.folder());
    QVERIFY(copy.startsWith(backup + "QuoteDesk-") && copy != backup + "QuoteDesk-20261202-090000.mdb");
    QVERIFY(damagedFileAdvice(data.perm(), data.folder()).contains(QFileInfo(copy).fileName()));
    auto *list = w.find<QTableWidget>("lstバックアップ");
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->item(0, 2)->text(), QString("確認済み"));
    QCOMPARE(list->item(1, 2)->text(), QString("未確認"));
}

void BackupsTest::copiesCarryTheArchiveAndOldOnesGoWhenAsked()
{
    TempData data;
    Window w(data.folder());
    IssueArchive archive(w->context().main);
    for (int i = 1; i <= 3; ++i)
        QVERIFY(archive.record({i, "甲社", "", Money::fromYen(i), QByteArray::number(i)}, "%PDF-1.4 " + QByteArray::number(i),
                               issuearchive::kPdf, QDateTime::currentDateTime()));
    const QString pool = data.folder() + "backup/archive/";
    const QString one = sha256Hex("%PDF-1.4 1") + ".pdf";
    auto *keep = w.find<QSpinBox>("num控え保持数");
    keep->setValue(2);
    emit keep->editingFinished();
    BackupPanel *panel = w->settingsTab()->backups();
    Answers answers;
    answers.answer({false}); // the third copy: keep the oldest after all
    for (int i = 0; i < 3; ++i)
        QVERIFY(panel->makeCopy());
    QVERIFY(answers.sawKey("その他", "控え削除確認"));
    QCOMPARE(answers.shown.last().yesIsDefault(), false);
    QCOMPARE(listBackups(panel->folder()).size(), 3);
    // The archive's files are in the copy once, linked to the data folder's own.
    struct stat original {}, carried {};
    QCOMPARE(::stat(QFile::encodeName(archivefiles::folderOf(data.perm()) + "/" + one).constData(), &original), 0);
    QCOMPARE(::stat(QFile::encodeName(pool + one).constData(), &carried), 0);
    QCOMPARE(carried.st_ino, original.st_ino);
    QCOMPARE(QDir(pool).entryList(QDir::Files).size(), 3);
    // Asked again with the next copy, and agreed: only the newest two stay.
    answers.shown.clear();
    QVERIFY(panel->makeCopy());
    QCOMPARE(listBackups(panel->folder()).size(), 2);
    QCOMPARE(permInt(data, "SELECT 控え保持数 FROM 自社情報"), 2);

    // The wipe makes its copy the same way, and empties nothing of the archive.
    QVERIFY(seedPerm(data, "INSERT INTO 顧客マスタ (顧客名) VALUES ('消える')"));
    w.find<QAbstractButton>("cmd一括削除7")->click();
    QCOMPARE(permInt(data, "SELECT count(*) FROM 顧客マスタ"), 0);
    QCOMPARE(listBackups(panel->folder()).size(), 2);
    ArchiveAudit audit;
    QVERIFY(auditArchive(w->context().main, audit));
    QVERIFY2(audit.sound() && audit.versions == 3, qPrintable(audit.summary()));
}

// A file of the version before: its PDFs inside it. After the start they are files named by
// their hash, the file is small, the ids and the bytes are as they were and the chain is sound.
void BackupsTest::anOlderArchiveMovesOutWhole()
{
    TempData data;
    const QByteArray big(1024 * 1024, 'p');
    makeOlderArchive(data, big);
    QVERIFY(QFileInfo(data.perm()).size() > 3 * big.size());
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    QCOMPARE(permInt(data, "PRAGMA user_version"), qlonglong(schema::kPermVersion));
    QVERIFY(QFileInfo(data.perm()).size() < big.size());
    QVERIFY(permRows(data, "SELECT 1 FROM sqlite_master WHERE name = '発行PDF'").isEmpty());
    QByteArray bytes;
    QVERIFY(IssueArchive(w->context().main).pdf(2, bytes));
    QCOMPARE(bytes, "%PDF-1.4 2" + big);
    ArchiveAudit audit;
    QVERIFY(auditArchive(w->context().main, audit));
    QVERIFY2(audit.sound() && audit.versions == 3 && audit.records == 3, qPrintable(audit.summary()));
    QVERIFY(IssueArchive(w->context().main).record({9, "乙社", "", Money::fromYen(1), "n"}, "%PDF-1.4 n", issuearchive::kPdf,
                                                   QDateTime::currentDateTime()));
    QCOMPARE(permInt(data, "SELECT max(id) FROM 発行版"), 4);
    const QStringList copies = QDir(data.folder() + "backup").entryList({"QuoteDesk-v108-*.mdb"});
    QCOMPARE(copies.size(), 1); // the copy before the upgrade, with the bytes still inside
}

QTEST_MAIN(BackupsTest)
#include "test_backups.moc"
