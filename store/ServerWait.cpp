// A server statement that may keep the user waiting, sent without blocking: the window keeps
// drawing, and past a moment the program's own wait ticker (a progress dialog) can stop it.
// The client library is asked directly on the driver's own connection, between its statements.

#include "store/Db.h"

#include <QElapsedTimer>
#include <QSqlDriver>
#include <libpq-fe.h>
#include <poll.h>

namespace {

Db::WaitTicker g_ticker;

// "?" placeholders as the client library numbers them; a "?" inside a quoted text stays.
QByteArray numbered(const QString &sql)
{
    QString out;
    bool quoted = false;
    int n = 0;
    for (const QChar c : sql) {
        if (c == '\'')
            quoted = !quoted;
        if (c == '?' && !quoted)
            out += '$' + QString::number(++n);
        else
            out += c;
    }
    return out.toUtf8();
}

QVariant valueOf(const PGresult *res, int row, int column)
{
    if (PQgetisnull(res, row, column))
        return QVariant();
    const char *text = PQgetvalue(res, row, column);
    switch (PQftype(res, column)) {
    case 16: return QVariant(text[0] == 't');
    case 20: case 21: case 23: case 26: return QVariant(QByteArray(text).toLongLong());
    case 700: case 701: case 1700: return QVariant(QByteArray(text).toDouble());
    case 17: {
        size_t length = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &length);
        const QByteArray out(reinterpret_cast<const char *>(bytes), qsizetype(length));
        PQfreemem(bytes);
        return QVariant(out);
    }
    default: return QVariant(QString::fromUtf8(text));
    }
}

struct Params {
    QVector<QByteArray> text;
    QVector<const char *> values;
    QVector<int> lengths, formats;
    QVector<Oid> types;
    explicit Params(const QVariantList &binds)
    {
        text.reserve(binds.size());
        for (const QVariant &v : binds) {
            const bool bytes = v.metaType() == QMetaType::fromType<QByteArray>();
            if (v.isNull())
                text << QByteArray();
            else if (bytes)
                text << v.toByteArray();
            else if (v.metaType() == QMetaType::fromType<bool>())
                text << (v.toBool() ? "t" : "f");
            else if (v.metaType() == QMetaType::fromType<double>())
                text << QByteArray::number(v.toDouble(), 'g', 17);
            else
                text << v.toString().toUtf8();
            values << (v.isNull() ? nullptr : text.back().constData());
            lengths << int(text.back().size());
            formats << (bytes ? 1 : 0);
            types << (bytes ? Oid(17) : Oid(0));
        }
    }
};

} // namespace

void Db::setWaitTicker(WaitTicker ticker) { g_ticker = std::move(ticker); }

bool Db::waitsVisibly() const { return m_server && m_depth == 0 && g_ticker && !m_waiting; }

DbResult Db::selectWaiting(const QString &sql, const QVariantList &binds, DbRows &out)
{
    out.clear();
    PGconn *conn = pgConnectionOf(*this);
    if (!conn)
        return DbResult::failure(QStringLiteral("no connection to the server"), 0, m_path);
    m_waiting = true;
    const Params p(binds);
    auto failure = [&](const QString &text, const QByteArray &state) {
        DbResult r = DbResult::failure(text.trimmed(), 0, m_path);
        r.server = true;
        r.state = QString::fromLatin1(state);
        r.lost = PQstatus(conn) == CONNECTION_BAD;
        m_waiting = false;
        return r;
    };
    // What the driver's last statement left unread (its closing result): the connection is free only then.
    while (PGresult *left = PQgetResult(conn))
        PQclear(left);
    if (!PQsendQueryParams(conn, numbered(sql).constData(), int(binds.size()), p.types.constData(), p.values.constData(),
                           p.lengths.constData(), p.formats.constData(), 0))
        return failure(QString::fromLocal8Bit(PQerrorMessage(conn)), QByteArray());
    QElapsedTimer waited;
    waited.start();
    bool cancelled = false;
    while (PQconsumeInput(conn) && PQisBusy(conn)) {
        pollfd fd{PQsocket(conn), POLLIN, 0};
        ::poll(&fd, 1, 50);
        if (!cancelled && !g_ticker(waited.elapsed(), false)) { // the user stopped it: the server is told
            cancelled = true;
            char why[256];
            PGcancel *cancel = PQgetCancel(conn);
            PQcancel(cancel, why, sizeof why);
            PQfreeCancel(cancel);
        }
    }
    g_ticker(waited.elapsed(), true);
    QByteArray state;
    QString error;
    while (PGresult *res = PQgetResult(conn)) {
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_TUPLES_OK)
            for (int row = 0; row < PQntuples(res); ++row) {
                DbRow values(PQnfields(res));
                for (int c = 0; c < values.size(); ++c)
                    values[c] = valueOf(res, row, c);
                out << values;
            }
        else if (status != PGRES_COMMAND_OK && error.isEmpty()) {
            error = QString::fromUtf8(PQresultErrorMessage(res));
            state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
        }
        PQclear(res);
    }
    // Stopped by the user only when the server says so: an answer already on its way stands.
    if (cancelled && state == "57014") {
        DbResult r = failure(QStringLiteral("cancelled"), state);
        r.code = sqlitecode::Cancelled;
        return r;
    }
    if (!error.isEmpty() || PQstatus(conn) == CONNECTION_BAD)
        return failure(error.isEmpty() ? QString::fromLocal8Bit(PQerrorMessage(conn)) : error, state);
    m_waiting = false;
    return {};
}
