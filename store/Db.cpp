#include "store/Db.h"
#include <QScopeGuard>
#include <atomic>
#include "store/Background.h"
#include "store/ServerConfig.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QSqlRecord>
#include <libpq-fe.h>
#include <QUrl>

DbResult Db::failureOf(const QSqlError &e) const
{
    if (m_engine == Engine::Postgres) {
        DbResult r = DbResult::failure(dbErrorText(e), 0, m_path);
        r.state = e.nativeErrorCode();
        r.server = true;
        // No SQLSTATE (the client library's own failure) or the server ending the session:
        // asked of the connection itself, as the message may be in any language.
        if (r.state.isEmpty() || r.state.startsWith(QLatin1String("57P")) || r.state.startsWith(QLatin1String("08")))
            r.lost = connectionBroken() || probeBroken();
        return r;
    }
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return DbResult::failure(dbErrorText(e), ok ? (code & 0xff) : 0, m_path);
}

QString dbErrorText(const QSqlError &e)
{
    QString db = e.databaseText().trimmed();
    QString drv = e.driverText().trimmed();
    if (db.isEmpty())
        return drv;
    if (drv.isEmpty() || db == drv)
        return db;
    return drv + ": " + db;
}

void loadDriverInBackground()
{
    if (!QCoreApplication::instance())
        return;
    const QStringList folders = QCoreApplication::libraryPaths();
    startInBackground("sql driver", [folders] {
        QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")); // reads the plug-in folders
        // Kept loaded: Qt's own load of the same file then costs nothing.
        for (const QString &folder : folders)
            if (QLibrary(folder + QStringLiteral("/sqldrivers/libqsqlite")).load())
                break;
    });
}

Db::Db(const QString &connectionName) : m_name(connectionName) {}

Db::~Db() { close(); }

QSqlDatabase Db::handle() const { return QSqlDatabase::database(m_name, false); }

PGconn *pgConnectionOf(const Db &db);

static PGconn *pgConnection(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    // The driver names the type by its struct: "pg_conn*".
    if (!h.isValid() || (qstrcmp(h.typeName(), "pg_conn*") != 0 && qstrcmp(h.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(h.constData());
}

PGconn *pgConnectionOf(const Db &db)
{
    return QSqlDatabase::contains(db.m_name) ? pgConnection(db.handle()) : nullptr;
}

bool Db::probeBroken() const
{
    if (m_engine != Engine::Postgres)
        return false;
    PGconn *conn = QSqlDatabase::contains(m_name) ? pgConnection(handle()) : nullptr;
    if (!conn)
        return true; // the driver closed it
    // An empty statement: any answer at all says the connection is alive.
    PQclear(PQexec(conn, ""));
    return PQstatus(conn) == CONNECTION_BAD;
}

bool Db::connectionBroken() const
{
    if (m_engine != Engine::Postgres)
        return false;
    // Closed by the driver after a fatal error counts as broken too.
    PGconn *conn = QSqlDatabase::contains(m_name) ? pgConnection(handle()) : nullptr;
    return !conn || PQstatus(conn) == CONNECTION_BAD;
}

bool Db::isOpen() const
{
    return QSqlDatabase::contains(m_name) && handle().isOpen();
}

void Db::close()
{
    m_statements.clear(); // before the connection goes, or Qt reports it still in use
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_depth = 0;
}

static QString sqliteUri(const QString &path, bool mayCreate)
{
    // URI form so that mode=rw refuses to create a missing file.
    QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    return uri + (mayCreate ? "?mode=rwc" : "?mode=rw");
}

DbResult Db::open(const QString &path, Durability durability) { return openWith(path, false, durability); }

DbResult Db::reconnect()
{
    if (m_engine != Engine::Postgres || !m_server)
        return DbResult::failure(QStringLiteral("nothing to reconnect to"));
    const std::shared_ptr<const ServerConfig> config = m_server;
    return openServer(*config);
}

DbResult Db::openServer(const ServerConfig &config)
{
    close();
    m_engine = Engine::Postgres;
    m_server = std::make_shared<const ServerConfig>(config);
    m_path = config.displayName();
    DbResult opened;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", m_name);
        db.setHostName(config.host());
        db.setPort(config.port().isEmpty() ? -1 : config.port().toInt());
        db.setDatabaseName(config.database());
        db.setUserName(config.user());
        db.setConnectOptions(config.driverOptions());
        if (!db.open()) {
            opened = failureOf(db.lastError());
            opened.lost = false; // never there, so never lost: the start says it cannot connect
            opened.code = sqlitecode::CantOpen;
        }
    }
    // Every question this program asks is small: starting helper processes for one (a parallel
    // plan) took longer than answering it. And how to answer a search depends on what is
    // searched for: a plan made once for any text read every estimate for a common one.
    if (opened)
        opened = execUnprepared(QStringLiteral("SET max_parallel_workers_per_gather = 0; "
                                               "SET plan_cache_mode = force_custom_plan; SET statement_timeout = %1")
                                    .arg(qlonglong(config.statementTimeoutSeconds()) * 1000));
    if (!opened)
        close();
    return opened;
}

static std::function<void(bool)> g_waitHook;
static std::atomic<qlonglong> g_serverStatements{0};

void Db::setWaitHook(std::function<void(bool)> hook) { g_waitHook = std::move(hook); }
qlonglong Db::serverStatements() { return g_serverStatements; }

DbResult Db::execUnprepared(const QString &sql)
{
    if (m_engine == Engine::Sqlite)
        return exec(sql);
    ++g_serverStatements;
    if (m_waiting)
        return DbResult::failure(QStringLiteral("a statement is still waiting for the server"), sqlitecode::Busy, m_path);
    if (g_waitHook)
        g_waitHook(true);
    auto untell = qScopeGuard([] {
        if (g_waitHook)
            g_waitHook(false);
    });
    QSqlQuery q(handle()); // the server's PREPARE takes neither transaction control nor definitions
    if (!q.exec(sql))
        return failureOf(q.lastError());
    return {};
}
DbResult Db::create(const QString &path) { return openWith(path, true); }

DbResult Db::openWith(const QString &path, bool mayCreate, Durability durability)
{
    close();
    m_engine = Engine::Sqlite;
    m_server.reset();
    m_path = path;
    DbResult opened;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_name);
        db.setConnectOptions("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=0");
        db.setDatabaseName(sqliteUri(path, mayCreate));
        if (!db.open())
            opened = failureOf(db.lastError());
    }
    if (!opened) {
        close();
        return opened;
    }
    if (DbResult r = setJournal(durability); !r) {
        close();
        return r;
    }
    return {};
}

DbResult Db::setJournal(Durability durability)
{
    QVariant mode;
    if (DbResult r = scalar(QStringLiteral("PRAGMA main.journal_mode"), {}, mode); !r)
        return r;
    // Scratch: a log written ahead, synced only at checkpoints and for durably(): no commit waits
    // for the disk, and a crash or a power loss still leaves the file whole.
    m_scratch = durability == Durability::Scratch || mode.toString().compare("wal", Qt::CaseInsensitive) == 0;
    if (m_scratch && setPragma("main", "journal_mode", "WAL"))
        return setPragma("main", "synchronous", "1");
    m_scratch = false; // a folder without shared memory: as every other file
    // Rollback journal with full sync: a transaction across attached files stays atomic.
    if (DbResult r = setPragma("main", "journal_mode", "DELETE"); !r)
        return r;
    return setPragma("main", "synchronous", "2");
}

DbResult Db::setBusyTimeout(int ms) { return exec(QString("PRAGMA busy_timeout = %1").arg(ms)); }

DbResult Db::setPragma(const QString &schema, const QString &name, const QString &value)
{
    // Pragmas take no bound values; schema, name and value are program constants.
    const QString set = QString("PRAGMA %1.%2 = %3").arg(schema, name, value);
    if (DbResult r = exec(set); !r)
        return r;
    QVariant v;
    if (DbResult r = scalar(QString("PRAGMA %1.%2").arg(schema, name), {}, v); !r)
        return r;
    if (v.toString().compare(value, Qt::CaseInsensitive) != 0)
        return DbResult::failure(QString("PRAGMA %1 is %2, expected %3").arg(name, v.toString(), value));
    return {};
}

DbResult Db::attach(const QString &path, const QString &alias)
{
    if (DbResult r = exec("ATTACH DATABASE ? AS " + alias, {sqliteUri(path, false)}); !r)
        return r;
    if (DbResult r = setPragma(alias, "journal_mode", "DELETE"); !r)
        return r;
    return setPragma(alias, "synchronous", "2");
}

QSqlQuery *Db::prepared(const QString &sql, DbResult &error)
{
    if (!isOpen()) {
        error = DbResult::failure(QStringLiteral("database is not open"));
        return nullptr;
    }
    if (auto it = m_statements.find(sql); it != m_statements.end())
        return it->get();
    auto q = std::make_shared<QSqlQuery>(handle());
    q->setForwardOnly(true);
    if (!q->prepare(sql)) {
        error = failureOf(q->lastError());
        return nullptr;
    }
    if (m_statements.size() >= 256)
        m_statements.clear();
    m_statements.insert(sql, q);
    return q.get();
}

QSqlQuery *Db::run(const QString &sql, const QVariantList &binds, DbResult &error)
{
    // Something the window did while a statement waits: the connection is not free.
    if (m_waiting) {
        error = DbResult::failure(QStringLiteral("a statement is still waiting for the server"), sqlitecode::Busy, m_path);
        error.server = true;
        return nullptr;
    }
    // A server may keep the window waiting: the user sees that it does (the file's calls do not).
    if (m_server)
        ++g_serverStatements;
    const bool told = m_server && g_waitHook;
    if (told)
        g_waitHook(true);
    auto untell = qScopeGuard([told] {
        if (told)
            g_waitHook(false);
    });
    // A server connection that died (the driver closed it, or the client library knows it
    // broken): the next action outside a transaction opens it anew.
    if (m_server && m_depth == 0 && (!isOpen() || connectionBroken()))
        reconnect();
    QSqlQuery *q = prepared(sql, error);
    if (!q)
        return nullptr;
    for (int i = 0; i < binds.size(); ++i)
        q->bindValue(i, binds[i]);
    if (!q->exec()) {
        error = failureOf(q->lastError());
        q->finish();
        return nullptr;
    }
    return q;
}

DbResult Db::exec(const QString &sql, const QVariantList &binds, qlonglong *rowsAffected,
                  QVariant *lastInsertId)
{
    DbResult r;
    QSqlQuery *q = run(sql, binds, r);
    if (!q)
        return r;
    if (rowsAffected)
        *rowsAffected = q->numRowsAffected();
    if (lastInsertId)
        *lastInsertId = q->lastInsertId();
    q->finish(); // a statement left open would keep its lock
    return {};
}

DbResult Db::forEachRow(const QString &sql, const QVariantList &binds, const std::function<void(const QSqlQuery &)> &row,
                       OnLoss onLoss)
{
    DbResult r;
    QSqlQuery *q = run(sql, binds, r);
    // A read outside a transaction after the server's connection went: once more, reconnected.
    if (!q && onLoss == OnLoss::Rerun && r.connectionLost() && m_depth == 0 && reconnect()) {
        r = {}; // what the second run says, not the first
        q = run(sql, binds, r);
    }
    if (!q)
        return r;
    while (q->next())
        row(*q);
    if (q->lastError().isValid())
        r = failureOf(q->lastError());
    q->finish();
    return r;
}

DbResult Db::select(const QString &sql, const QVariantList &binds, DbRows &out, OnLoss onLoss)
{
    out.clear();
    // A statement may wait on another desktop's lock or a slow network: the window stays drawn
    // and the user may stop it. Read the client library's way, on the same connection.
    if (waitsVisibly()) {
        DbResult r;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!isOpen() || connectionBroken())
                reconnect();
            ++g_serverStatements;
            if (g_waitHook)
                g_waitHook(true);
            r = selectWaiting(sql, binds, out);
            if (g_waitHook)
                g_waitHook(false);
            // A read after the connection went runs once more; a statement that stores never does.
            if (r || onLoss == OnLoss::Report || !r.connectionLost() || r.code == sqlitecode::Cancelled)
                break;
        }
        return r;
    }
    int n = -1;
    return forEachRow(sql, binds, [&](const QSqlQuery &q) {
        if (n < 0)
            n = q.record().count();
        DbRow row(n);
        for (int i = 0; i < n; ++i)
            row[i] = q.value(i);
        out.push_back(std::move(row));
    }, onLoss);
}

DbResult Db::scalar(const QString &sql, const QVariantList &binds, QVariant &out)
{
    out = QVariant();
    DbRows rows;
    DbResult r = select(sql, binds, rows);
    if (r && !rows.isEmpty() && !rows.first().isEmpty())
        out = rows.first().first();
    return r;
}

DbResult Db::durably(const std::function<DbResult()> &body)
{
    if (!m_scratch || m_depth > 0)
        return transaction(body, Lock::Deferred);
    if (DbResult r = exec(QStringLiteral("PRAGMA main.synchronous = 2")); !r)
        return r;
    DbResult r = transaction(body, Lock::Deferred);
    exec(QStringLiteral("PRAGMA main.synchronous = 1"));
    return r;
}

DbResult Db::transaction(const std::function<DbResult()> &body, Lock lock)
{
    if (m_depth > 0) { // nested: part of the outer transaction
        ++m_depth;
        DbResult r = body();
        --m_depth;
        return r;
    }
    // The server locks rows as they are written; there is no file-wide write lock to take.
    const bool immediate = lock == Lock::Immediate && m_engine == Engine::Sqlite;
    const QString begin = immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    if (m_server && (!isOpen() || connectionBroken()))
        reconnect();
    DbResult began = execUnprepared(begin);
    // The server's connection went since the last action: this one starts on a new one.
    if (!began && began.connectionLost() && reconnect())
        began = execUnprepared(begin);
    if (!began)
        return began;
    m_depth = 1;
    DbResult r = body();
    m_depth = 0;
    if (r) {
        r = execUnprepared("COMMIT");
        if (r)
            return r;
        r.commitUnknown = r.connectionLost();
    }
    execUnprepared("ROLLBACK");
    return r;
}
