#include "store/IssueArchive.h"
#include "store/Engine.h"
#include "store/Csv.h"
#include "store/SafeFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <limits>

namespace issuearchive {

QStringList createStatements()
{
    QStringList s{
        "CREATE TABLE 発行版 (id INTEGER PRIMARY KEY, 伝票番号 INTEGER NOT NULL, 版 INTEGER NOT NULL, "
        "発行日時 TEXT NOT NULL, 顧客名 TEXT, 日付 TEXT, 合計 INTEGER, 内容 BLOB NOT NULL, SHA256 TEXT NOT NULL, "
        "UNIQUE (伝票番号, 版))",
        "CREATE TABLE 発行PDF (版ID INTEGER PRIMARY KEY, PDF BLOB NOT NULL)",
        "CREATE TABLE 発行記録 (id INTEGER PRIMARY KEY, 版ID INTEGER NOT NULL, 発行日時 TEXT NOT NULL, 方法 TEXT NOT NULL)",
        "CREATE INDEX 発行記録_日時 ON 発行記録 (発行日時)",
        "CREATE INDEX 発行記録_版 ON 発行記録 (版ID)",
        "CREATE INDEX 発行版_合計 ON 発行版 (合計)",
        "CREATE INDEX 発行版_顧客名 ON 発行版 (顧客名)",
        // Every customer name once: a part of a name is looked for among the names, not the issues.
        "CREATE TABLE 発行取引先 (名 TEXT PRIMARY KEY) WITHOUT ROWID",
    };
    // What was issued stays as it was: no update, no delete, and no insert that would replace.
    const std::pair<const char *, const char *> keys[] = {
        {"発行版", "id = NEW.id OR (伝票番号 = NEW.伝票番号 AND 版 = NEW.版)"},
        {"発行PDF", "版ID = NEW.版ID"},
        {"発行記録", "id = NEW.id"}};
    for (const auto &[table, key] : keys) {
        const QString t = QString::fromUtf8(table);
        s << QString("CREATE TRIGGER %1_変更不可 BEFORE UPDATE ON %1 BEGIN SELECT RAISE(ABORT, "
                     "'issued estimates cannot be changed'); END").arg(t)
          << QString("CREATE TRIGGER %1_削除不可 BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, "
                     "'issued estimates cannot be deleted'); END").arg(t)
          << QString("CREATE TRIGGER %1_置換不可 BEFORE INSERT ON %1 WHEN EXISTS (SELECT 1 FROM %1 WHERE %2) "
                     "BEGIN SELECT RAISE(ABORT, 'issued estimates cannot be replaced'); END")
                 .arg(t, QString::fromUtf8(key));
    }
    return s;
}

} // namespace issuearchive

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

DbResult IssueArchive::sameAsLatest(int number, const QByteArray &content, std::optional<QByteArray> &bytes)
{
    bytes.reset();
    DbRows rows;
    DbResult r = m_db.select("SELECT v.内容, p.PDF FROM 発行版 v JOIN 発行PDF p ON p.版ID = v.id "
                             "WHERE v.伝票番号 = ? ORDER BY v.版 DESC LIMIT 1",
                             {number}, rows);
    if (r && !rows.isEmpty() && rows[0][0].toByteArray() == content)
        bytes = rows[0][1].toByteArray();
    return r;
}

DbResult IssueArchive::record(const IssueMeta &meta, const QByteArray &pdf, const QString &how, const QDateTime &at,
                              int *version)
{
    const QString sha = sha256Hex(pdf);
    const QString when = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return m_db.transaction([&]() -> DbResult {
        // Two desktops issuing one estimate at once take their version numbers one after the other.
        if (DbResult r = engineOf(m_db).lockEstimate(m_db, meta.number); !r)
            return r;
        DbRows latest;
        if (DbResult r = m_db.select("SELECT id, 版, SHA256 FROM 発行版 WHERE 伝票番号 = ? ORDER BY 版 DESC LIMIT 1",
                                     {meta.number}, latest);
            !r)
            return r;
        QVariant versionId;
        int v = latest.isEmpty() ? 0 : latest[0][1].toInt();
        if (!latest.isEmpty() && latest[0][2].toString() == sha) {
            versionId = latest[0][0]; // the same bytes again: only the issue is new
        } else {
            ++v;
            if (DbResult r = m_db.scalar("INSERT INTO 発行版 (伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256) "
                                         "VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                                         {meta.number, v, when, meta.customer, meta.date.isEmpty() ? QVariant(QString()) : meta.date,
                                          meta.total ? QVariant(meta.total->raw()) : QVariant(QMetaType::fromType<qlonglong>()),
                                          meta.content, sha},
                                         versionId);
                !r)
                return r;
            if (DbResult r = m_db.exec("INSERT INTO 発行PDF (版ID, PDF) VALUES (?, ?)", {versionId, pdf}); !r)
                return r;
            if (!meta.customer.isNull())
                if (DbResult r = m_db.exec("INSERT INTO 発行取引先 (名) VALUES (?) ON CONFLICT DO NOTHING", {meta.customer});
                    !r)
                    return r;
        }
        if (version)
            *version = v;
        return m_db.exec("INSERT INTO 発行記録 (版ID, 発行日時, 方法) VALUES (?, ?, ?)", {versionId, when, how});
    });
}

DbResult IssueArchive::versionCount(int number, int &count)
{
    QVariant n;
    DbResult r = m_db.scalar("SELECT count(*) FROM 発行版 WHERE 伝票番号 = ?", {number}, n);
    count = n.toInt();
    return r;
}

namespace {

// One condition of a search: its SQL (with "%1" where an index may be turned off by "+"), its
// values, and how many rows it leaves on its own, counted up to a cap.
struct Condition {
    QString sql;
    QVariantList binds;
    QString driver; // the join that starts from this condition's index
    QString probe;  // counts the rows it leaves, up to kCap
    qlonglong rows = 0;
};
constexpr int kCap = 5000;

QVector<Condition> conditions(const IssueFilter &f)
{
    QVector<Condition> out;
    const QString day = QStringLiteral("yyyy-MM-dd");
    const QString byIssue = "発行記録 r CROSS JOIN 発行版 v", byVersion = "発行版 v CROSS JOIN 発行記録 r";
    if (f.from.isValid() || f.to.isValid()) {
        Condition c{"%1r.発行日時 >= ? AND %1r.発行日時 < ?", {}, byIssue,
                    "SELECT count(*) FROM (SELECT 1 FROM 発行記録 r WHERE r.発行日時 >= ? AND r.発行日時 < ? LIMIT ?) AS c"};
        c.binds << (f.from.isValid() ? f.from.toString(day) : QString("0")) << (f.to.isValid() ? f.to.addDays(1).toString(day) : QString("9"));
        out << c;
    }
    if (f.min || f.max) {
        Condition c{"%1v.合計 >= ? AND %1v.合計 <= ?", {}, byVersion,
                    "SELECT count(*) FROM (SELECT 1 FROM 発行版 v WHERE v.合計 >= ? AND v.合計 <= ? LIMIT ?) AS c"};
        c.binds << (f.min ? f.min->raw() : std::numeric_limits<qint64>::min()) << (f.max ? f.max->raw() : std::numeric_limits<qint64>::max());
        out << c;
    }
    if (!f.customer.trimmed().isEmpty()) {
        // Literally (no wildcard characters), among the names, then the issues of those names.
        const QString names = "(SELECT 名 FROM 発行取引先 WHERE lower(名) LIKE lower(?) ESCAPE '\\')";
        QString part = f.customer.trimmed();
        part.replace('\\', QStringLiteral("\\\\")).replace('%', QStringLiteral("\\%")).replace('_', QStringLiteral("\\_"));
        out << Condition{"%1v.顧客名 IN " + names, {'%' + part + '%'}, byVersion,
                         "SELECT count(*) FROM (SELECT 1 FROM 発行版 v WHERE v.顧客名 IN " + names + " LIMIT ?) AS c"};
    }
    return out;
}

} // namespace

DbResult IssueArchive::find(const IssueFilter &f, int limit, QVector<IssuedRow> &rows)
{
    rows.clear();
    QVector<Condition> cs = conditions(f);
    // The search starts from the condition that leaves the fewest rows; where every one leaves
    // many, matches are common and the newest issues are walked in order until enough are found.
    int driver = -1;
    for (int i = 0; i < cs.size(); ++i) {
        QVariant n;
        if (DbResult r = m_db.scalar(cs[i].probe, cs[i].binds + QVariantList{kCap}, n); !r)
            return r;
        cs[i].rows = n.toLongLong();
        if (cs[i].rows < kCap && (driver < 0 || cs[i].rows < cs[driver].rows))
            driver = i;
    }
    QStringList where;
    QVariantList binds;
    for (int i = 0; i < cs.size(); ++i) {
        // "+" keeps an index out; the issue dates' index also serves the walk in date order.
        const bool indexed = i == driver || (driver < 0 && cs[i].driver.startsWith("発行記録"));
        where << cs[i].sql.arg(indexed ? QString() : engineOf(m_db).withoutIndex(QString()));
        binds += cs[i].binds;
    }
    QString sql = "SELECT v.id, v.伝票番号, v.版, r.発行日時, v.発行日時, v.顧客名, v.日付, v.合計, r.方法, v.SHA256 FROM " +
                  (driver < 0 ? QString("発行記録 r CROSS JOIN 発行版 v") : cs[driver].driver) + " WHERE v.id = r.版ID";
    if (!where.isEmpty())
        sql += " AND " + where.join(" AND ");
    sql += " ORDER BY r.発行日時 DESC, r.id DESC LIMIT ?";
    binds << limit;
    return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) {
        rows << IssuedRow{q.value(0).toLongLong(), q.value(1).toInt(),    q.value(2).toInt(),
                          q.value(3).toString(),   q.value(4).toString(), q.value(5).toString(),
                          q.value(6).toString(),   q.value(8).toString(), q.value(9).toString(),
                          Money::fromSql(q.value(7))};
    });
}

DbResult IssueArchive::pdf(qlonglong versionId, QByteArray &bytes)
{
    QVariant v;
    DbResult r = m_db.scalar("SELECT PDF FROM 発行PDF WHERE 版ID = ?", {versionId}, v);
    bytes = v.toByteArray();
    if (r && v.isNull())
        return DbResult::failure(QStringLiteral("archived bytes not found"), sqlitecode::NotFound, m_db.path());
    return r;
}

DbResult IssueArchive::verify(qlonglong versionId, bool &matches)
{
    matches = false;
    DbRows rows;
    DbResult r = m_db.select("SELECT p.PDF, v.SHA256 FROM 発行版 v LEFT JOIN 発行PDF p ON p.版ID = v.id WHERE v.id = ?",
                             {versionId}, rows);
    if (r && !rows.isEmpty())
        matches = !rows[0][0].isNull() && sha256Hex(rows[0][0].toByteArray()) == rows[0][1].toString();
    return r;
}

QString archiveFileName(const IssuedRow &row)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f\\s]+"));
    QString customer = row.customer.simplified();
    customer.replace(unsafe, QStringLiteral("_"));
    const QString day = QString(row.versionIssuedAt.left(10)).remove('-');
    return QStringLiteral("%1_%2_%3_No.%4-v%5.pdf")
        .arg(day, customer.left(40), row.total ? row.total->toPlainString() : QStringLiteral("0"))
        .arg(row.number)
        .arg(row.version);
}

// A path in folder for name that replaces nothing: "name (2).ext" and on where it exists.
static QString freePath(const QDir &folder, const QString &name)
{
    QString path = folder.filePath(name);
    const QFileInfo fi(name);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(QStringLiteral("%1 (%2).%3").arg(fi.completeBaseName()).arg(n).arg(fi.suffix()));
    return path;
}

DbResult IssueArchive::exportTo(const QString &folder, const QVector<IssuedRow> &rows, int *written, QString *index)
{
    const QDir dir(folder);
    if (!QDir().mkpath(folder))
        return DbResult::failure(QStringLiteral("cannot create folder"), sqlitecode::CantOpen, folder);
    int count = 0;
    if (written)
        *written = 0;
    QSet<qlonglong> done;
    for (const IssuedRow &row : rows) {
        if (done.contains(row.versionId))
            continue;
        done.insert(row.versionId);
        QByteArray bytes;
        if (DbResult r = pdf(row.versionId, bytes); !r)
            return r;
        // Stopped halfway (a full disk): how far it came is the caller's to tell, with the file.
        if (DbResult r = writeWholeFile(freePath(dir, archiveFileName(row)), bytes); !r)
            return r;
        if (written)
            *written = ++count;
    }
    const QString indexPath = freePath(dir, QStringLiteral("索引.csv"));
    if (index)
        *index = indexPath;
    return writeCsvFile(indexPath,
                        {"伝票番号", "版", "発行日時", "見積日付", "取引先", "合計", "発行方法", "SHA-256"}, {0, 1, 5},
                        [&](const CsvSink &sink) -> DbResult {
                            for (const IssuedRow &r : rows)
                                sink({QString::number(r.number), QString::number(r.version), r.issuedAt, r.date,
                                      r.customer, r.total ? r.total->toPlainString() : QString(), r.how, r.sha256});
                            return {};
                        });
}
