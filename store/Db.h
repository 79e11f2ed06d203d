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
    QString error;
    static DbResult failure(const QString &text) { return {false, text}; }
    explicit operator bool() const { return ok; }
};

using DbRow = QVector<QVariant>;
using DbRows = QVector<DbRow>;

class Db {
public:
    explicit Db(const QString &connectionName);
    ~Db();
    Db(const Db &) = delete;
    Db &operator=(const Db &) = delete;

    // Opens an existing file read-write; a missing file is an error, never created.
    DbResult open(const QString &path);
    // Same, but creates the file: only for writing delivered data files.
    DbResult create(const QString &path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString connectionName() const { return m_name; }
    QSqlDatabase handle() const;

    // Attaches another existing file under a schema alias; kept for the connection's life.
    DbResult attach(const QString &path, const QString &alias);

    DbResult exec(const QString &sql, const QVariantList &binds = {},
                  qlonglong *rowsAffected = nullptr, QVariant *lastInsertId = nullptr);
    DbResult select(const QString &sql, const QVariantList &binds, DbRows &out);
    // Calls row for each result row without copying it first; the query is positioned on it.
    DbResult forEachRow(const QString &sql, const QVariantList &binds, const std::function<void(const QSqlQuery &)> &row);
    // First column of the first row; a null QVariant when there is no row.
    DbResult scalar(const QString &sql, const QVariantList &binds, QVariant &out);

    // BEGIN IMMEDIATE … COMMIT around body; rolls back on the first failure. Nested calls join
    // the outer transaction. IMMEDIATE takes the write lock of every attached file too, so no
    // other handle may write those files until it ends.
    DbResult transaction(const std::function<DbResult()> &body);
    bool inTransaction() const { return m_depth > 0; }

private:
    DbResult openWith(const QString &path, bool mayCreate);
    // Prepared statements kept per SQL text: preparing costs more than running most of ours.
    QSqlQuery *prepared(const QString &sql, DbResult &error);
    // The prepared statement, run with binds; nullptr (and error set) when either fails.
    QSqlQuery *run(const QString &sql, const QVariantList &binds, DbResult &error);
    DbResult setPragma(const QString &schema, const QString &name, const QString &value);

    QString m_name;
    QString m_path;
    int m_depth = 0;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_statements;
};

// Text of a Qt SQL error, without Qt's duplicated prefixes.
QString dbErrorText(const class QSqlError &e);
