#pragma once
// Shared test scaffolding: fresh data files, scripted answers to questions, typing into cells.

#include "ui/DataGrid.h"
#include "app/FrmQuoteDesk.h"
#include "ui/MessageCatalogue.h"
#include "app/ProcessEnd.h"
#include "store/Schema.h"
#include "store/Engine.h"
#include "ServerSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

// What delivery notes and invoices (and every later version) added to the two files: dropped, a
// file is as the version before them wrote it (with the versions set by the caller).
inline QStringList withoutLaterKinds(schema::FileKind kind)
{
    if (kind == schema::FileKind::Work)
        return {"DROP TABLE w納品書明細", "DROP TABLE w納品書画面", "DROP TABLE w請求書明細", "DROP TABLE w請求書画面",
                "DROP TABLE w返還請求書明細", "DROP TABLE w返還請求書画面", "DROP TABLE w領収書明細", "DROP TABLE w領収書画面",
                "ALTER TABLE w顧客マスタ DROP COLUMN 支払期限規則", "ALTER TABLE w顧客マスタ DROP COLUMN 源泉徴収",
                "ALTER TABLE w顧客マスタ DROP COLUMN 締日", "ALTER TABLE w明細 DROP COLUMN 行種別"};
    // Tables first: a file's schema change checks the triggers left on the tables that stay.
    QStringList s{"DROP TABLE 売掛残", "DROP TABLE 売掛期日", "DROP TABLE 受領書類", "DROP TABLE 発行XML", "DROP TABLE 納品書ヘッダ", "DROP TABLE 納品書", "DROP TABLE 納品書索引",
                  "DROP TABLE 請求書ヘッダ", "DROP TABLE 請求書", "DROP TABLE 請求書索引", "DROP TABLE 伝票連携", "DROP TABLE 入金"};
    for (DocKind k : {DocKind::Credit, DocKind::Receipt})
        s << "DROP TABLE " + kindNames(k).header << "DROP TABLE " + kindNames(k).lines << "DROP TABLE " + kindNames(k).index;
    for (DocKind k : kLaterKinds)
        s << "ALTER TABLE 自社情報 DROP COLUMN " + kindNames(k).counter;
    for (const QString &c : schema::laterSettingsColumns())
        s << "ALTER TABLE 自社情報 DROP COLUMN " + c.section(' ', 0, 0);
    for (const QString &c : schema::laterCustomerColumns())
        s << "ALTER TABLE 顧客マスタ DROP COLUMN " + c.section(' ', 0, 0);
    return s << "ALTER TABLE 顧客マスタ DROP COLUMN 締日" << "ALTER TABLE 見積書 DROP COLUMN 行種別";
}

// Whether this run keeps the permanent data on the test server (a second run of some groups).
inline bool onTestServer() { return qEnvironmentVariableIsSet("QUOTEDESK_TEST_ON_SERVER"); }
// For a test that is about the file itself (its pages, its journal, its triggers).
#define FILE_ONLY()                                                                                                    \
    if (onTestServer())                                                                                                \
    QSKIP("about the permanent file itself")

// A data folder with freshly created files, removed afterwards; on a server run its
// QuoteDesk.server names a fresh database prepared on the test server.
struct TempData {
    QTemporaryDir dir;
    std::unique_ptr<TestServer> server;
    TempData(bool create = true)
    {
        QStandardPaths::setTestModeEnabled(true); // remembered window places stay out of the user's settings
        if (!create)
            return;
        if (onTestServer() && TestServer::conninfo().isEmpty()) { // ctest counts 77 as skipped
            std::fprintf(stderr, "no test server (QUOTEDESK_TEST_SERVER): scripts/test.sh starts one\n");
            std::exit(77);
        }
        DbResult r = schema::createMissingFiles(folder());
        if (r && onTestServer())
            r = prepareServer();
        if (!r)
            qFatal("cannot create data files: %s", qPrintable(r.error));
    }
    QString folder() const { return dir.path() + "/data/"; }
    QString perm() const { return folder() + schema::kPermFileName; }
    QString work() const { return folder() + schema::kWorkFileName; }
    // The permanent data, wherever this run keeps it.
    // A window's background check may still be closing its own connection to the file (the last
    // one to close checkpoints it): a test's connection waits a moment for that, as the program's do.
    DbResult openPerm(Db &db) const
    {
        if (server)
            return server->open(db);
        DbResult r = db.open(perm());
        return r ? db.setBusyTimeout(2000) : r;
    }

    // The permanent data on a fresh database of the test server from now on, whatever the run.
    DbResult prepareServer()
    {
        server = std::make_unique<TestServer>();
        if (!server->ok)
            return DbResult::failure(QStringLiteral("no test server (QUOTEDESK_TEST_SERVER)"));
        Db db(QStringLiteral("prepare-server"));
        if (DbResult r = server->open(db); !r)
            return r;
        if (DbResult r = engineOf(db).createSchema(db); !r)
            return r;
        QFile file(folder() + kServerFileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(TestServer::conninfo().toUtf8() + " dbname=" +
                                                           server->name.toUtf8() + "\n") < 0)
            return DbResult::failure(file.errorString());
        return {};
    }
};

// Replaces the message presenter for a test: records every entry and answers from a script
// (Yes when the script is empty).
struct Answers {
    QList<MsgEntry> shown;
    std::deque<bool> script;
    MsgPresenter previous;
    Answers()
    {
        previous = setMsgPresenter([this](const MsgEntry &e) {
            shown << e;
            if (script.empty())
                return true;
            const bool a = script.front();
            script.pop_front();
            return a;
        });
    }
    ~Answers() { setMsgPresenter(previous); }
    void answer(std::initializer_list<bool> a) { script.insert(script.end(), a); }
    bool sawKey(const QString &cat, const QString &key) const
    {
        for (const MsgEntry &e : shown)
            if (e.category == cat && e.key == key)
                return true;
        return false;
    }
};

// The window on a data folder, its close sequence kept from ending the test process.
struct Window {
    std::unique_ptr<FrmQuoteDesk> w;
    int endCalls = 0;
    std::function<void(QWidget *)> previousEnd;
    explicit Window(const QString &folder)
    {
        previousEnd = setEndOwnProcessHook([this](QWidget *) { ++endCalls; });
        w = std::make_unique<FrmQuoteDesk>(folder);
    }
    ~Window()
    {
        w.reset();
        setEndOwnProcessHook(previousEnd);
    }
    template <typename T = QWidget> T *find(const QString &name) const
    {
        T *c = w->findChild<T *>(name);
        if (!c) { // a page not yet built, as before the user first opens it
            w->buildAllPages();
            c = w->findChild<T *>(name);
        }
        if (!c)
            qFatal("no control %s", qPrintable(name));
        return c;
    }
    FrmQuoteDesk *operator->() const { return w.get(); }
};

// Runs one statement on the permanent file before a test opens the window.
inline bool seedPerm(const TempData &data, const QString &sql, const QVariantList &binds = {})
{
    Db perm(QStringLiteral("seed-perm"));
    return data.openPerm(perm) && perm.exec(sql, binds);
}

// Rows of a query on the permanent file; a query that fails stops the test run.
inline DbRows permRows(const TempData &data, const QString &sql, const QVariantList &binds = {})
{
    Db perm(QStringLiteral("read-perm"));
    DbRows rows;
    DbResult r = data.openPerm(perm);
    if (r)
        r = perm.select(sql, binds, rows);
    if (!r)
        qFatal("query failed: %s: %s", qPrintable(sql), qPrintable(r.error));
    return rows;
}

// First column of the first row, as an integer (0 when there is no row).
inline qlonglong permInt(const TempData &data, const QString &sql, const QVariantList &binds = {})
{
    const DbRows rows = permRows(data, sql, binds);
    return rows.isEmpty() ? 0 : rows[0][0].toLongLong();
}

// Makes every write of one kind to a table of the permanent file fail with the given text,
// as a full or failing disk would.
inline bool refuseWrites(const TempData &data, const QString &table, const QString &event, const QString &text)
{
    Db perm(QStringLiteral("refuse-writes"));
    if (!data.openPerm(perm))
        return false;
    if (perm.engine() == Db::Engine::Postgres)
        return perm.execUnprepared(QString("CREATE FUNCTION refuse_%1_%2() RETURNS trigger LANGUAGE plpgsql AS "
                                           "$f$ BEGIN RAISE EXCEPTION '%3'; END $f$").arg(event, table, text)).ok &&
               perm.execUnprepared(QString("CREATE TRIGGER refuse_%1 BEFORE %1 ON %2 FOR EACH ROW EXECUTE FUNCTION "
                                           "refuse_%1_%2()").arg(event, table)).ok;
    return perm.exec(QString("CREATE TRIGGER refuse_%1 BEFORE %1 ON %2 BEGIN SELECT RAISE(ABORT, '%3'); END")
                         .arg(event, table, text)).ok;
}

// Text as an input method delivers it (QTest::keyClicks cannot type Japanese).
inline void typeText(QWidget *target, const QString &text)
{
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(target, &e);
}

// Opens the cell's editor, replaces its text as a user would and commits it through the delegate.
inline void typeCell(DataGrid *grid, int row, int column, const QString &text)
{
    grid->setCurrentCell(row, column);
    grid->edit(grid->currentIndex());
    QWidget *editor = grid->openEditor();
    if (!editor)
        qFatal("no editor at %d,%d", row, column);
    QLineEdit *line = qobject_cast<QLineEdit *>(editor);
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        line = combo->lineEdit();
    line->clear();
    typeText(line, text);
    grid->flushEditor();
}

inline void pressKey(QWidget *w, Qt::Key key)
{
    QTest::keyClick(w, key);
}
