#pragma once
// Thin RAII layer over one named Qt SQL connection to an SQLite file.
// Every call returns success plus the engine's error text; nothing here shows UI.

#include <QString>
#include <QVariant>
#include <QVector>
#include <QSqlDatabase>
#include <QHash>
#include <QSqlQuery>
#include <functional>
#include <memory>

struct DbResult {
    bool ok = true;
    QString error; // the engine's own text
    int code = 0;  // SQLite's primary result code (5 busy, 8 read-only, 13 full, …), 0 when unknown
    QString file;  // the data file concerned, when known
    QString state; // the server's SQLSTATE ("23505", "40001", …), empty on SQLite
    bool server = false; // from a database server: file names the server and database
    // The connection went while COMMIT was on its way: the transaction may or may not be stored.
    bool commitUnknown = false;
    // The client library found the connection broken when this failed (whatever language its
    // message is in).
    bool lost = false;
    // The server's connection went (a restart, a network break); the next action reconnects.
    bool connectionLost() const
    {
        // By the client library's own state and the server's SQLSTATE: its texts are in the user's language.
        return server && (lost || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")));
    }
    static DbResult failure(const QString &text, int code = 0, const QString &file = QString())
    {
        return {false, text, code, file, {}, false, false, false};
    }
    explicit operator bool() const { return ok; }
    // Two desktops' transactions met (a deadlock the server broke): the whole transaction may
    // simply run again.
    bool mayRetry() const { return state == QLatin1String("40P01") || state == QLatin1String("40001"); }
};

// SQLite's primary result codes that a person can act on.
namespace sqlitecode {
constexpr int Busy = 5, Locked = 6, ReadOnly = 8, IoErr = 10, Corrupt = 11, Full = 13, CantOpen = 14, NotADb = 26;
// The program's own, beyond SQLite's range.
constexpr int NotFound = 1001, NewerVersion = 1002;
// Another desktop stored the estimate's number meanwhile (a new one), or changed or deleted it
// (a loaded one): nothing was written.
constexpr int TakenElsewhere = 1003, ChangedElsewhere = 1004;
// A file: no right to write it; not a regular file (a device, a pipe); larger than it may be.
constexpr int NoPermission = 1005, NotRegular = 1006, TooLarge = 1007;
// The user stopped it; nothing was kept.
constexpr int Cancelled = 1008;
// A loaded estimate that another desktop deleted meanwhile: nothing was written.
constexpr int DeletedElsewhere = 1009;
}

using DbRow = QVector<QVariant>;
using DbRows = QVector<DbRow>;

class Db {
public:
    explicit Db(const QString &connectionName);
    ~Db();
    Db(const Db &) = delete;
    Db &operator=(const Db &) = delete;

    // How a file is kept: Full syncs every commit to the disk; Scratch (for what has no
    // meaning between runs) writes ahead into a log and syncs only when durably() asks.
    enum class Durability { Full, Scratch };
    // Opens an existing file read-write; a missing file is an error, never created. A file
    // another handle keeps as Scratch stays so.
    DbResult open(const QString &path, Durability durability = Durability::Full);
    // Same, but creates the file: only for writing delivered data files.
    DbResult create(const QString &path);
    // A database on a PostgreSQL server instead of a file (see ServerConfig).
    DbResult openServer(const struct ServerConfig &config);
    enum class Engine { Sqlite, Postgres };
    Engine engine() const { return m_engine; }
    void close();
    // How long a statement waits for another program's lock; 0 at opening, so that a
    // locked file is refused at once instead of after retries.
    DbResult setBusyTimeout(int ms);
    bool isOpen() const;
    // A server connection the client library knows to be broken (asks nothing of the server).
    bool connectionBroken() const;
    // The same, after one empty statement sent to find out (failures only).
    bool probeBroken() const;
    QString path() const { return m_path; }
    QString connectionName() const { return m_name; }
    QSqlDatabase handle() const;

    // Attaches another existing file under a schema alias; kept for the connection's life.
    DbResult attach(const QString &path, const QString &alias);

    DbResult exec(const QString &sql, const QVariantList &binds = {},
                  qlonglong *rowsAffected = nullptr, QVariant *lastInsertId = nullptr);
    // A statement that only reads is run once more when the server's connection broke; one
    // that also writes (a function that stores) never is: it may have been committed.
    enum class OnLoss { Rerun, Report };
    DbResult select(const QString &sql, const QVariantList &binds, DbRows &out, OnLoss onLoss = OnLoss::Rerun);
    // For what a server cannot prepare (transaction control, SET, table definitions): run as
    // text, so never with values.
    DbResult execUnprepared(const QString &sql);
    // Calls row for each result row without copying it first; the query is positioned on it.
    DbResult forEachRow(const QString &sql, const QVariantList &binds, const std::function<void(const QSqlQuery &)> &row,
                        OnLoss onLoss = OnLoss::Rerun);
    // First column of the first row; a null QVariant when there is no row.
    DbResult scalar(const QString &sql, const QVariantList &binds, QVariant &out);

    // BEGIN … COMMIT around body; rolls back on the first failure. Nested calls join the outer
    // transaction. Immediate takes the write lock of every attached file at once, so use it
    // only where both files are written; a deferred one locks each file at its first write.
    enum class Lock { Immediate, Deferred };
    DbResult transaction(const std::function<DbResult()> &body, Lock lock = Lock::Immediate);
    // A transaction that is on the disk once it returns, on a Scratch handle too.
    DbResult durably(const std::function<DbResult()> &body);
    bool inTransaction() const { return m_depth > 0; }
    // Opens the server connection again after it went; false on a file or when it cannot.
    DbResult reconnect();
    // Told (true, then false) around every statement a server answers, so the window can show
    // that it waits; the program sets it once.
    static void setWaitHook(std::function<void(bool)> hook);
    // Told every 50 ms while a statement that may wait long (one sent with OnLoss::Report
    // outside a transaction) waits for the server, with the time waited; false stops the
    // statement (Cancelled). Told once more with done when the answer is in.
    using WaitTicker = std::function<bool(qint64 waitedMs, bool done)>;
    static void setWaitTicker(WaitTicker ticker);
    // Statements sent to any server so far (each a round trip), for counting what an action costs.
    static qlonglong serverStatements();

private:
    bool waitsVisibly() const;
    DbResult selectWaiting(const QString &sql, const QVariantList &binds, DbRows &out);
    friend struct pg_conn *pgConnectionOf(const Db &db);
    bool m_waiting = false; // a statement of selectWaiting's is on its way
    DbResult openWith(const QString &path, bool mayCreate, Durability durability = Durability::Full);
    DbResult setJournal(Durability durability);
    // Prepared statements kept per SQL text: preparing costs more than running most of ours.
    QSqlQuery *prepared(const QString &sql, DbResult &error);
    // The prepared statement, run with binds; nullptr (and error set) when either fails.
    QSqlQuery *run(const QString &sql, const QVariantList &binds, DbResult &error);
    DbResult failureOf(const class QSqlError &e) const;
    DbResult setPragma(const QString &schema, const QString &name, const QString &value);

    QString m_name;
    QString m_path;
    Engine m_engine = Engine::Sqlite;
    std::shared_ptr<const struct ServerConfig> m_server; // to reconnect to
    int m_depth = 0;
    bool m_scratch = false;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_statements;
};

// Loads the engine's driver on a thread of its own while the window is being built, so that
// the first open finds it loaded. Once per process; joined when the application ends.
void loadDriverInBackground();

// Text of a Qt SQL error, without Qt's duplicated prefixes.
QString dbErrorText(const class QSqlError &e);
