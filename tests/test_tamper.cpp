// What someone with the data file (or the server) in hand can do to the archive behind the
// program's back, and the check that finds it: each kind of tampering its own kind of break.

#include "TestSupport.h"
#include "archive/IssuedListDialog.h"
#include "store/ArchiveAudit.h"
#include "store/ArchiveChain.h"
#include "store/ArchiveFiles.h"
#include "store/IssueArchive.h"
#include "ui/FileChooser.h"

#include <QFile>
#include <sys/stat.h>

class TamperTest : public QObject {
    Q_OBJECT
private slots:
    void everyTamperingIsFound();
    void idsAreNeverGivenTwice();
    void anExportedIndexVouchesForTheArchive();
    void theStartSaysWhatIsUnprotected();
    void anOlderServerGetsItsChain();

private:
    struct Fixture {
        TempData data;
        Db db{QStringLiteral("tamper")};
        Fixture();
        bool file() const { return !onTestServer(); }
        QString folder() const { return archivefiles::folderOf(data.perm()); }
        QString shaOf(int number, int version);
        // As with the triggers switched off: the SQL runs, the protections are back afterwards.
        void unguarded(const QStringList &sql, const QVariantList &binds = {});
        ArchiveAudit audit();
    };
};

// Four issues of three numbers, as the program records them.
TamperTest::Fixture::Fixture()
{
    if (!data.openPerm(db))
        qFatal("cannot open the data");
    IssueArchive archive(db);
    const struct { int number; const char *customer; const char *at; } issues[] = {
        {1, "甲社", "2026-01-10 09:00:00"}, {2, "乙社", "2026-02-10 09:00:00"},
        {1, "甲社", "2026-03-10 09:00:00"}, {3, "丙社", "2026-04-10 09:00:00"}};
    int i = 0;
    for (const auto &s : issues)
        if (!archive.record({s.number, s.customer, "2026/01/01", Money::fromYen(1000 * ++i), QByteArray::number(i)},
                            "%PDF-1.4 " + QByteArray(s.at), issuearchive::kPdf, QDateTime::fromString(s.at, "yyyy-MM-dd HH:mm:ss")))
            qFatal("cannot seed the archive");
}

QString TamperTest::Fixture::shaOf(int number, int version)
{
    QVariant v;
    db.scalar("SELECT SHA256 FROM 発行版 WHERE 伝票番号 = ? AND 版 = ?", {number, version}, v);
    return v.toString();
}

void TamperTest::Fixture::unguarded(const QStringList &sql, const QVariantList &binds)
{
    const QStringList tables{"発行版", "発行PDF", "発行記録", "発行取引先"};
    DbRows triggers;
    if (file()) {
        db.select("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND tbl_name IN ('発行版', '発行記録', '発行取引先')",
                  {}, triggers);
        for (const DbRow &t : triggers)
            QVERIFY(db.exec("DROP TRIGGER " + t[0].toString()));
    } else {
        for (const QString &t : tables)
            QVERIFY(db.execUnprepared("ALTER TABLE " + t + " DISABLE TRIGGER USER"));
    }
    for (const QString &s : sql)
        QVERIFY2(db.exec(s, s.count('?') ? binds : QVariantList{}), qPrintable(s));
    for (const DbRow &t : triggers)
        QVERIFY(db.exec(t[1].toString()));
    if (!file())
        for (const QString &t : tables)
            QVERIFY(db.execUnprepared("ALTER TABLE " + t + " ENABLE TRIGGER USER"));
}

ArchiveAudit TamperTest::Fixture::audit()
{
    ArchiveAudit out;
    if (!auditArchive(db, out))
        qFatal("the check itself failed");
    return out;
}

void TamperTest::everyTamperingIsFound()
{
    using K = ArchiveBreak::Kind;
    const QByteArray forged = "%PDF-1.4 forged";
    struct Case {
        const char *name;
        bool fileOnly;
        std::function<void(Fixture &)> tamper;
        K onFile, onServer;
    };
    const Case cases[] = {
        {"a copy, its hash, total and date replaced", false,
         [&](Fixture &f) {
             const QString sha = sha256Hex(forged);
             if (f.file())
                 QVERIFY(archivefiles::put(f.folder(), sha, forged));
             else
                 f.unguarded({"UPDATE 発行PDF SET PDF = ? WHERE 版ID = (SELECT id FROM 発行版 WHERE 伝票番号 = 2)"}, {forged});
             f.unguarded({"UPDATE 発行版 SET SHA256 = ?, 合計 = 10000, 発行日時 = '2026-02-01 09:00:00' WHERE 伝票番号 = 2"}, {sha});
         },
         K::ChangedRecord, K::ChangedRecord},
        {"a copy's bytes edited", false,
         [&](Fixture &f) {
             if (!f.file())
                 return f.unguarded({"UPDATE 発行PDF SET PDF = ? WHERE 版ID = 1"}, {forged});
             const QString path = archivefiles::pathOf(f.folder(), f.shaOf(1, 1));
             QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
             QFile copy(path);
             QVERIFY(copy.open(QIODevice::ReadWrite));
             copy.seek(9);
             copy.write("X");
         },
         K::ChangedCopy, K::ChangedCopy},
        {"a copy's bytes and its hash edited together", false,
         [&](Fixture &f) {
             const QString sha = sha256Hex(forged);
             if (f.file())
                 QVERIFY(QFile::rename(archivefiles::pathOf(f.folder(), f.shaOf(1, 1)), archivefiles::pathOf(f.folder(), sha)));
             if (f.file())
                 QVERIFY(archivefiles::put(f.folder(), sha, forged));
             else
                 f.unguarded({"UPDATE 発行PDF SET PDF = ? WHERE 版ID = 1"}, {forged});
             f.unguarded({"UPDATE 発行版 SET SHA256 = ? WHERE id = 1"}, {sha});
         },
         K::ChangedRecord, K::ChangedRecord},
        {"the latest version deleted", true,
         [](Fixture &f) {
             f.unguarded({"DELETE FROM 発行記録 WHERE 版ID = (SELECT max(id) FROM 発行版)",
                          "DELETE FROM 発行版 WHERE id = (SELECT max(id) FROM 発行版)"});
         },
         K::Missing, K::Missing},
        {"an issue record deleted", false, [](Fixture &f) { f.unguarded({"DELETE FROM 発行記録 WHERE id = (SELECT min(id) + 1 FROM 発行記録)"}); },
         K::Missing, K::ChangedRecord},
        {"a customer's index row deleted", false, [](Fixture &f) { f.unguarded({"DELETE FROM 発行取引先 WHERE 名 = '乙社'"}); },
         K::IndexRow, K::IndexRow},
        {"a back-dated version appended, its chain computed", false,
         [&](Fixture &f) {
             QString head;
             QVERIFY(IssueArchive(f.db).head(head));
             const QString sha = sha256Hex(forged), at = "2026-01-01 00:00:00";
             const QString chain = archivechain::next(head, {"見積書", 9, 1, at, "丁社", 50000, "PDF", sha});
             f.unguarded({"INSERT INTO 発行版 (種別, 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256) VALUES "
                          "('見積書', 9, 1, '2026-01-01 00:00:00', '丁社', '', 50000, 'x', ?)"},
                         {sha});
             f.unguarded({"INSERT INTO 発行記録 (版ID, 発行日時, 方法, 連鎖) SELECT max(id), '2026-01-01 00:00:00', 'PDF', ? FROM 発行版",
                          "INSERT INTO 発行取引先 (名) VALUES ('丁社')"},
                         {chain});
             if (f.file())
                 QVERIFY(archivefiles::put(f.folder(), sha, forged));
         },
         K::BackDated, K::BackDated},
        {"an archive file removed", true, [](Fixture &f) { QVERIFY(QFile::remove(archivefiles::pathOf(f.folder(), f.shaOf(2, 1)))); },
         K::MissingCopy, K::MissingCopy},
        {"a protection dropped", false,
         [](Fixture &f) { QVERIFY(f.db.execUnprepared(f.file() ? "DROP TRIGGER 発行記録_削除不可" : "DROP TRIGGER 発行記録_変更不可 ON 発行記録")); },
         K::Unprotected, K::Unprotected},
    };
    {
        Fixture sound; // and a sheet issued without a customer: nothing to find it by, nothing broken
        QVERIFY(IssueArchive(sound.db).record({8, QString(""), "", std::nullopt, "n"}, "%PDF-1.4 nameless", issuearchive::kPdf,
                                              QDateTime::currentDateTime()));
        const ArchiveAudit a = sound.audit();
        QVERIFY2(a.sound(), qPrintable(a.summary()));
        QCOMPARE(a.records, 5);
        QCOMPARE(a.versions, 5);
    }
    for (const Case &c : cases) {
        if (c.fileOnly && onTestServer())
            continue;
        Fixture f;
        c.tamper(f);
        const ArchiveAudit a = f.audit();
        const K expected = f.file() ? c.onFile : c.onServer;
        QVERIFY2(a.has(expected), qPrintable(QString("%1: %2").arg(c.name, a.summary())));
    }
}

void TamperTest::idsAreNeverGivenTwice()
{
    FILE_ONLY(); // a server's sequences never go back
    Fixture f;
    const qlonglong latest = permInt(f.data, "SELECT max(id) FROM 発行版");
    f.unguarded({"DELETE FROM 発行記録 WHERE 版ID = (SELECT max(id) FROM 発行版)", "DELETE FROM 発行版 WHERE id = (SELECT max(id) FROM 発行版)"});
    int version = 0;
    QVERIFY(IssueArchive(f.db).record({3, "丙社", "", Money::fromYen(1), "again"}, "%PDF-1.4 again", issuearchive::kPdf,
                                      QDateTime::currentDateTime(), &version));
    QCOMPARE(permInt(f.data, "SELECT max(id) FROM 発行版"), latest + 1);
    const ArchiveAudit a = f.audit();
    QVERIFY2(a.has(ArchiveBreak::Missing) && a.has(ArchiveBreak::StrayFile), qPrintable(a.summary()));
}

void TamperTest::anExportedIndexVouchesForTheArchive()
{
    Fixture f;
    QTemporaryDir out;
    QVector<IssuedRow> rows;
    QVERIFY(IssueArchive(f.db).find({}, 100, rows));
    QString index;
    QVERIFY(IssueArchive(f.db).exportTo(out.path(), rows, nullptr, &index));
    ArchiveAudit a;
    QVERIFY(compareWithIndex(f.db, index, a));
    QVERIFY2(a.sound(), qPrintable(a.summary()));
    QCOMPARE(a.versions, 4);
    // Issued since: the export still holds; the archive only grew.
    QVERIFY(IssueArchive(f.db).record({4, "丁社", "", Money::fromYen(1), "new"}, "%PDF-1.4 new", issuearchive::kPdf,
                                      QDateTime::currentDateTime()));
    QVERIFY(compareWithIndex(f.db, index, a));
    QVERIFY2(a.sound(), qPrintable(a.summary()));
    // Everything recomputed after a change (no break inside the file any more): the head that
    // left the file says so.
    f.unguarded({"UPDATE 発行版 SET 合計 = 1 WHERE 伝票番号 = 2"});
    QString previous = archivechain::kStart;
    const DbRows records = permRows(f.data, "SELECT r.id, v.伝票番号, v.版, r.発行日時, v.顧客名, v.合計, r.方法, v.SHA256 FROM 発行記録 r "
                                            "JOIN 発行版 v ON v.id = r.版ID ORDER BY r.id");
    QStringList rewrite;
    QVariantList binds;
    for (const DbRow &r : records) {
        previous = archivechain::next(previous, {"見積書", r[1].toLongLong(), r[2].toInt(), r[3].toString(), r[4].toString(),
                                                 r[5].toLongLong(), r[6].toString(), r[7].toString()});
        rewrite << QString("UPDATE 発行記録 SET 連鎖 = '%1' WHERE id = %2").arg(previous).arg(r[0].toLongLong());
    }
    f.unguarded(rewrite);
    QVERIFY2(f.audit().sound(), "recomputed throughout, the file alone cannot tell");
    QVERIFY(compareWithIndex(f.db, index, a));
    QVERIFY2(a.has(ArchiveBreak::ChangedRecord), qPrintable(a.summary()));

    // From the dialog: the question answered with the exported file.
    IssuedListDialog list(f.db);
    Answers answers;
    QVERIFY(!list.compareWithExport(index));
    QVERIFY(answers.sawKey("その他", "注意"));
}

void TamperTest::theStartSaysWhatIsUnprotected()
{
    TempData data;
    {
        Db db("drop");
        QVERIFY(data.openPerm(db));
        QVERIFY(db.execUnprepared(onTestServer() ? "DROP TRIGGER 発行取引先_変更不可 ON 発行取引先" : "DROP TRIGGER 発行取引先_削除不可"));
    }
    if (!onTestServer())
        QVERIFY(archivefiles::put(archivefiles::folderOf(data.perm()), sha256Hex("stray"), "stray"));
    Window w(data.folder());
    Answers answers;
    w->show();
    QTRY_VERIFY(answers.sawKey("その他", "注意"));
    const QString said = answers.shown.last().text;
    QVERIFY2(said.contains("発行取引先_"), qPrintable(said));
    QVERIFY2(onTestServer() || said.contains("記録のない控えのファイルが 1 件"), qPrintable(said));
    QVERIFY(QFileInfo::exists(archivefiles::pathOf(archivefiles::folderOf(data.perm()), sha256Hex("stray"))) || onTestServer());
}

// A server prepared by the version before: no chain column, no protection of the customer index.
// The first desktop to start fills the chain in for what was issued, and the check finds it sound.
void TamperTest::anOlderServerGetsItsChain()
{
    if (!onTestServer())
        QSKIP("about the server's upgrade");
    {
        Fixture f; // its own database, with four issues
        QVERIFY(f.db.execUnprepared("DROP TRIGGER 発行取引先_変更不可 ON 発行取引先"));
        QVERIFY(f.db.execUnprepared("DROP TRIGGER 発行取引先_消去不可 ON 発行取引先"));
        QVERIFY(f.db.execUnprepared("ALTER TABLE 発行記録 DROP COLUMN 連鎖"));
        QVERIFY(f.db.execUnprepared("ALTER TABLE 発行版 DROP COLUMN 種別"));
        QVERIFY(f.db.execUnprepared("ALTER TABLE 自社情報 DROP COLUMN 控え保持数"));
        QVERIFY(f.db.exec("UPDATE quotedesk_schema SET version = 303"));
        Window w(f.data.folder());
        QVERIFY2(w->isLoaded(), qPrintable(w->loadError()));
        const ArchiveAudit a = f.audit();
        QVERIFY2(a.sound() && a.records == 4, qPrintable(a.summary()));
        QVERIFY(!f.db.exec("DELETE FROM 発行取引先"));
    }
}

QTEST_MAIN(TamperTest)
#include "test_tamper.moc"
