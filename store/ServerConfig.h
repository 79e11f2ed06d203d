#pragma once
// Where an office keeps its shared data: a libpq connection string in the data folder's
// QuoteDesk.server. Without that file everything stays in the folder's own files.

#include "store/Db.h"

#include <QMap>
#include <QString>
#include <optional>

inline const QString kServerFileName = QStringLiteral("QuoteDesk.server");

struct ServerConfig {
    QMap<QString, QString> values; // keyword → value, as libpq reads them

    QString host() const { return values.value(QStringLiteral("host")); }
    QString port() const { return values.value(QStringLiteral("port")); }
    QString database() const { return values.value(QStringLiteral("dbname")); }
    QString user() const { return values.value(QStringLiteral("user")); }
    // Where the server is, as a person names it: "host:port/dbname".
    QString displayName() const;
    // The options Qt's driver passes on beside host, port, database and user.
    QString driverOptions() const;
    // How long one statement may run before the server ends it (statement_timeout, seconds).
    int statementTimeoutSeconds() const;
};

// Reads conninfo text ("host=srv dbname='見積 書' sslmode=require"). A password is refused:
// it belongs in ~/.pgpass, never in a file beside the data. Unknown keywords are refused
// too, so that a misspelt one does not silently connect somewhere else.
DbResult parseConnectionString(const QString &text, ServerConfig &out);

// The folder's QuoteDesk.server, when there is one; nullopt (and success) without it.
DbResult readServerFile(const QString &dataFolder, std::optional<ServerConfig> &out);

// Seconds a start waits for a server before it says why it cannot reach it.
constexpr int kConnectTimeoutSeconds = 3;
// Seconds a statement may run (a hung server, a lock held for ever) before it is ended cleanly.
constexpr int kStatementTimeoutSeconds = 30;
