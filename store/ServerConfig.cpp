#include "store/ServerConfig.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QUrl>
#include <QUrlQuery>

static const QSet<QString> &knownKeywords()
{
    static const QSet<QString> keys{"host", "hostaddr", "port", "dbname", "user", "passfile", "sslmode",
                                    "sslrootcert", "sslcert", "sslkey", "sslcrl", "connect_timeout",
                                    "application_name", "target_session_attrs", "keepalives",
                                    "keepalives_idle", "options", "service",
                                    // the program's own: how long one statement may run, in seconds
                                    "statement_timeout"};
    return keys;
}

static DbResult badText(const QString &why)
{
    return DbResult::failure(QStringLiteral("接続文字列を読めません: ") + why);
}

// One value: quoted ('it\'s') or up to the next blank; backslash escapes in both.
static bool readValue(const QString &text, int &i, QString &value)
{
    const bool quoted = i < text.size() && text[i] == '\'';
    if (quoted)
        ++i;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == '\'') {
            ++i;
            return true;
        }
        if (!quoted && c.isSpace())
            return true;
        if (c == '\\' && i + 1 < text.size())
            value += text[++i];
        else
            value += c;
    }
    return !quoted; // an unclosed quote
}

static DbResult parseKeywords(const QString &text, ServerConfig &out)
{
    int i = 0;
    while (true) {
        while (i < text.size() && text[i].isSpace())
            ++i;
        if (i >= text.size())
            return {};
        const int eq = text.indexOf('=', i);
        if (eq < 0)
            return badText(QStringLiteral("「%1」に = がありません").arg(text.mid(i)));
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < text.size() && text[i].isSpace())
            ++i;
        QString value;
        if (!readValue(text, i, value))
            return badText(QStringLiteral("%1 の引用符が閉じていません").arg(key));
        out.values.insert(key, value);
    }
}

static DbResult parseUri(const QString &text, ServerConfig &out)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return badText(url.errorString());
    auto put = [&](const char *key, const QString &v) {
        if (!v.isEmpty())
            out.values.insert(QString::fromLatin1(key), v);
    };
    put("host", url.host());
    put("port", url.port() > 0 ? QString::number(url.port()) : QString());
    put("dbname", url.path().mid(1));
    put("user", url.userName());
    if (!url.password().isEmpty())
        out.values.insert(QStringLiteral("password"), url.password());
    for (const auto &[k, v] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        out.values.insert(k, v);
    return {};
}

DbResult parseConnectionString(const QString &text, ServerConfig &out)
{
    out = {};
    const QString t = text.trimmed();
    const bool uri = t.startsWith(QStringLiteral("postgresql://")) || t.startsWith(QStringLiteral("postgres://"));
    if (DbResult r = uri ? parseUri(t, out) : parseKeywords(t, out); !r)
        return r;
    if (out.values.contains(QStringLiteral("password")))
        return badText(QStringLiteral("パスワードはこのファイルに書かず、~/.pgpass に書いてください"));
    for (auto it = out.values.cbegin(); it != out.values.cend(); ++it) {
        if (!knownKeywords().contains(it.key()))
            return badText(QStringLiteral("「%1」という項目はありません").arg(it.key()));
        if (it.value().contains(';')) // the driver takes its options separated by ;
            return badText(QStringLiteral("%1 の値に ; は使えません").arg(it.key()));
    }
    if (out.database().isEmpty())
        return badText(QStringLiteral("dbname（データベース名）がありません"));
    return {};
}

DbResult readServerFile(const QString &dataFolder, std::optional<ServerConfig> &out)
{
    out.reset();
    QFile file(QDir(dataFolder).filePath(kServerFileName));
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return DbResult::failure(file.fileName() + QStringLiteral(": ") + file.errorString());
    QString text;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) // # starts a comment line
        if (!line.trimmed().startsWith('#'))
            text += line + ' ';
    ServerConfig config;
    if (DbResult r = parseConnectionString(text, config); !r) {
        r.file = file.fileName();
        return r;
    }
    out = config;
    return {};
}

QString ServerConfig::displayName() const
{
    const QString h = host().isEmpty() ? QStringLiteral("localhost") : host();
    return h + (port().isEmpty() ? QString() : ':' + port()) + '/' + database();
}

int ServerConfig::statementTimeoutSeconds() const
{
    bool ok = false;
    const int s = values.value(QStringLiteral("statement_timeout")).toInt(&ok);
    return ok && s > 0 ? s : kStatementTimeoutSeconds;
}

QString ServerConfig::driverOptions() const
{
    QStringList options;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key() == "host" || it.key() == "port" || it.key() == "dbname" || it.key() == "user" ||
            it.key() == "statement_timeout")
            continue;
        QString v = it.value();
        v.replace('\\', QStringLiteral("\\\\")).replace('\'', QStringLiteral("\\'"));
        options << it.key() + QStringLiteral("='") + v + '\'';
    }
    if (!values.contains(QStringLiteral("connect_timeout")))
        options << QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds);
    return options.join(';');
}
