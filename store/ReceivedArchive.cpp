#include "store/ReceivedArchive.h"

#include "store/IssueArchive.h"

namespace receivedarchive {

QStringList statements(Db::Engine engine)
{
    const bool server = engine == Db::Engine::Postgres;
    const QString ifMissing = server ? QStringLiteral("IF NOT EXISTS ") : QString();
    QStringList s{server ? QStringLiteral("CREATE TABLE IF NOT EXISTS 受領書類 (id bigserial PRIMARY KEY, 受領日時 text NOT NULL, "
                                          "形式 text NOT NULL, 書類番号 text, 日付 text, 取引先 text, 合計 bigint, "
                                          "SHA256 text NOT NULL UNIQUE, 内容 bytea NOT NULL)")
                         : QStringLiteral("CREATE TABLE 受領書類 (id INTEGER PRIMARY KEY AUTOINCREMENT, 受領日時 TEXT NOT NULL, "
                                          "形式 TEXT NOT NULL, 書類番号 TEXT, 日付 TEXT, 取引先 TEXT, 合計 INTEGER, "
                                          "SHA256 TEXT NOT NULL UNIQUE, 内容 BLOB NOT NULL)")};
    // The digital invoice issued with a version of the archive, beside its PDF.
    s << (server ? QStringLiteral("CREATE TABLE IF NOT EXISTS 発行XML (版ID bigint PRIMARY KEY, SHA256 text NOT NULL, 内容 bytea NOT NULL)")
                 : QStringLiteral("CREATE TABLE 発行XML (版ID INTEGER PRIMARY KEY, SHA256 TEXT NOT NULL, 内容 BLOB NOT NULL)"));
    for (const char *column : {"日付", "合計", "取引先"})
        s << QStringLiteral("CREATE INDEX %1受領書類_%2 ON 受領書類 (%2)").arg(ifMissing, QString::fromUtf8(column));
    for (const char *t : {"受領書類", "発行XML"}) {
        const QString table = QString::fromUtf8(t);
        if (server) {
            s << QStringLiteral("CREATE OR REPLACE TRIGGER %1_変更不可 BEFORE UPDATE OR DELETE ON %1 FOR EACH ROW "
                                "EXECUTE FUNCTION quotedesk_issued_unchangeable()").arg(table)
              << QStringLiteral("CREATE OR REPLACE TRIGGER %1_消去不可 BEFORE TRUNCATE ON %1 FOR EACH STATEMENT "
                                "EXECUTE FUNCTION quotedesk_issued_unchangeable()").arg(table);
            continue;
        }
        const QString key = table == QStringLiteral("発行XML") ? QStringLiteral("版ID = NEW.版ID") : QStringLiteral("id = NEW.id");
        s << QStringLiteral("CREATE TRIGGER %1_変更不可 BEFORE UPDATE ON %1 BEGIN SELECT RAISE(ABORT, "
                            "'kept documents cannot be changed'); END").arg(table)
          << QStringLiteral("CREATE TRIGGER %1_削除不可 BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, "
                            "'kept documents cannot be deleted'); END").arg(table)
          << QStringLiteral("CREATE TRIGGER %1_置換不可 BEFORE INSERT ON %1 WHEN EXISTS (SELECT 1 FROM %1 WHERE %2) "
                            "BEGIN SELECT RAISE(ABORT, 'kept documents cannot be replaced'); END").arg(table, key);
    }
    return s;
}

QStringList protectionNames(Db::Engine engine)
{
    QStringList out;
    for (const QString &sql : statements(engine))
        if (sql.contains(QStringLiteral(" TRIGGER ")))
            out << sql.section(QLatin1Char(' '), sql.startsWith(QStringLiteral("CREATE OR REPLACE")) ? 4 : 2).section(QLatin1Char(' '), 0, 0);
    return out;
}

} // namespace receivedarchive

DbResult ReceivedArchive::record(const ReceivedMeta &m, const QByteArray &bytes, const QDateTime &at, qlonglong *id, bool *already)
{
    const QString sha = sha256Hex(bytes);
    return m_db.transaction([&]() -> DbResult {
        QVariant found;
        if (DbResult r = m_db.scalar(QStringLiteral("SELECT id FROM 受領書類 WHERE SHA256 = ?"), {sha}, found); !r)
            return r;
        if (already)
            *already = found.isValid() && !found.isNull();
        if (found.isValid() && !found.isNull()) {
            if (id)
                *id = found.toLongLong();
            return DbResult{};
        }
        if (DbResult r = m_db.exec(QStringLiteral("INSERT INTO 受領書類 (受領日時, 形式, 書類番号, 日付, 取引先, 合計, SHA256, 内容) "
                                                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                                   {at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), m.format, m.number, m.date, m.partner,
                                    m.total.raw(), sha, bytes});
            !r)
            return r;
        if (id) {
            QVariant v;
            if (DbResult r = m_db.scalar(QStringLiteral("SELECT id FROM 受領書類 WHERE SHA256 = ?"), {sha}, v); !r)
                return r;
            *id = v.toLongLong();
        }
        return DbResult{};
    });
}

DbResult ReceivedArchive::find(const ReceivedFilter &f, int limit, QVector<ReceivedRow> &rows)
{
    rows.clear();
    QStringList where{QStringLiteral("1 = 1")};
    QVariantList binds;
    const QString day = QStringLiteral("yyyy/MM/dd");
    if (f.from.isValid())
        where << QStringLiteral("日付 >= ?"), binds << f.from.toString(day);
    if (f.to.isValid())
        where << QStringLiteral("日付 <= ?"), binds << f.to.toString(day);
    if (f.min)
        where << QStringLiteral("合計 >= ?"), binds << f.min->raw();
    if (f.max)
        where << QStringLiteral("合計 <= ?"), binds << f.max->raw();
    if (!f.partner.trimmed().isEmpty()) // literally: no pattern characters of the user's
        where << (m_db.engine() == Db::Engine::Postgres ? QStringLiteral("strpos(取引先, ?) > 0") : QStringLiteral("instr(取引先, ?) > 0")),
            binds << f.partner.trimmed();
    binds << limit;
    return m_db.forEachRow(QStringLiteral("SELECT id, 受領日時, 形式, 書類番号, 日付, 取引先, 合計, SHA256 FROM 受領書類 WHERE %1 "
                                          "ORDER BY id DESC LIMIT ?").arg(where.join(QStringLiteral(" AND "))),
                           binds, [&](const QSqlQuery &q) {
                               rows << ReceivedRow{q.value(0).toLongLong(), q.value(1).toString(),
                                                   ReceivedMeta{q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                                                                q.value(5).toString(), Money::fromRaw(q.value(6).toLongLong())},
                                                   q.value(7).toString()};
                           });
}

DbResult ReceivedArchive::bytes(qlonglong id, QByteArray &out)
{
    DbRows rows;
    if (DbResult r = m_db.select(QStringLiteral("SELECT 内容, SHA256 FROM 受領書類 WHERE id = ?"), {id}, rows); !r)
        return r;
    if (rows.isEmpty())
        return DbResult::failure(QStringLiteral("受領書類 %1 がありません").arg(id));
    out = rows[0][0].toByteArray();
    if (sha256Hex(out) != rows[0][1].toString())
        return DbResult::failure(QStringLiteral("受領書類 %1 の内容が受領時と一致しません（SHA-256）").arg(id));
    return {};
}
