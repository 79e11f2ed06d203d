#include "store/IssueArchive.h"
#include "store/ArchiveChain.h"
#include "store/ArchiveFiles.h"
#include "store/Engine.h"
#include "store/Csv.h"
#include "store/SafeFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <limits>



QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

DbResult IssueArchive::sameAsLatest(int number, const QByteArray &content, std::optional<QByteArray> &bytes, DocKind kind)
{
    bytes.reset();
    DbRows rows;
    DbResult r = m_db.select("SELECT 内容, id, SHA256 FROM 発行版 WHERE 種別 = ? AND 伝票番号 = ? ORDER BY 版 DESC LIMIT 1",
                             {kindNames(kind).label, number}, rows);
    if (!r || rows.isEmpty() || rows[0][0].toByteArray() != content)
        return r;
    QByteArray stored;
    if (r = readBytes(rows[0][1].toLongLong(), rows[0][2].toString(), stored); r)
        bytes = stored;
    return r;
}

DbResult IssueArchive::readBytes(qlonglong versionId, const QString &sha, QByteArray &bytes)
{
    if (bytesInFiles())
        return archivefiles::get(archivefiles::folderOf(m_db.path()), sha, bytes);
    QVariant v;
    DbResult r = m_db.scalar("SELECT PDF FROM 発行PDF WHERE 版ID = ?", {versionId}, v);
    bytes = v.toByteArray();
    if (r && v.isNull())
        return DbResult::failure(QStringLiteral("archived bytes not found"), sqlitecode::NotFound, m_db.path());
    return r;
}

DbResult IssueArchive::head(QString &chain, qlonglong *records, QString *at)
{
    DbRows rows;
    DbResult r = m_db.select("SELECT 連鎖, 発行日時, (SELECT count(*) FROM 発行記録) FROM 発行記録 ORDER BY id DESC LIMIT 1",
                             {}, rows);
    chain = rows.isEmpty() ? archivechain::kStart : rows[0][0].toString();
    if (records)
        *records = rows.isEmpty() ? 0 : rows[0][2].toLongLong();
    if (at)
        *at = rows.isEmpty() ? QString() : rows[0][1].toString();
    return r;
}

DbResult IssueArchive::record(const IssueMeta &meta, const QByteArray &pdf, const QString &how, const QDateTime &at,
                              int *version)
{
    const QString sha = sha256Hex(pdf);
    // On the disk before the row that names it: a committed issue always has its bytes.
    bool created = false;
    if (bytesInFiles())
        if (DbResult r = archivefiles::put(archivefiles::folderOf(m_db.path()), sha, pdf, &created); !r)
            return r;
    // A server's one round trip knows nothing of a digital invoice: with one, the statements go one by one.
    DbResult r = bytesInFiles() || !meta.xml.isEmpty() ? m_db.transaction([&] { return write(meta, pdf, sha, how, at, version); })
                                                      : writeOnServer(meta, pdf, sha, how, at, version);
    if (!r && created) { // a file of this attempt's own that no row names stays no stray
        QVariant named;
        if (m_db.scalar("SELECT count(*) FROM 発行版 WHERE SHA256 = ?", {sha}, named) && named.toInt() == 0)
            QFile::remove(archivefiles::pathOf(archivefiles::folderOf(m_db.path()), sha));
    }
    return r;
}

DbResult IssueArchive::write(const IssueMeta &meta, const QByteArray &pdf, const QString &sha, const QString &how,
                             const QDateTime &at, int *version)
{
    // Two desktops issuing one estimate take their versions one after the other, and every
    // issue its place in the chain.
    const StoreEngine &engine = engineOf(m_db);
    if (DbResult r = engine.lockEstimate(m_db, meta.kind, meta.number); !r)
        return r;
    if (DbResult r = engine.lockArchive(m_db); !r)
        return r;
    // The number still the document's own: never a version under another document's number.
    if (DbResult r = checkNumber(meta.number, meta.expected, meta.kind); !r)
        return r;
    DbRows latest, last;
    if (DbResult r = m_db.select("SELECT id, 版, SHA256 FROM 発行版 WHERE 種別 = ? AND 伝票番号 = ? ORDER BY 版 DESC LIMIT 1",
                                 {kindNames(meta.kind).label, meta.number}, latest);
        !r)
        return r;
    if (DbResult r = m_db.select("SELECT 連鎖, 発行日時 FROM 発行記録 ORDER BY id DESC LIMIT 1", {}, last); !r)
        return r;
    // Never dated before the latest issue: a desktop whose clock is behind takes that time.
    QString when = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!last.isEmpty() && last[0][1].toString() > when)
        when = last[0][1].toString();
    QVariant versionId;
    int v = latest.isEmpty() ? 0 : latest[0][1].toInt();
    if (!latest.isEmpty() && latest[0][2].toString() == sha) {
        versionId = latest[0][0]; // the same bytes again: only the issue is new
    } else {
        ++v;
        if (DbResult r = insertVersion(meta, pdf, sha, when, v, versionId); !r)
            return r;
    }
    if (version)
        *version = v;
    if (!meta.xml.isEmpty()) // once per version, beside its PDF
        if (DbResult r = m_db.exec("INSERT INTO 発行XML (版ID, SHA256, 内容) SELECT ?, ?, ? WHERE NOT EXISTS "
                                   "(SELECT 1 FROM 発行XML WHERE 版ID = ?)",
                                   {versionId, sha256Hex(meta.xml), meta.xml, versionId});
            !r)
            return r;
    const ChainLink link{kindNames(meta.kind).label, meta.number, v, when, meta.customer,
                         meta.total ? std::optional<qint64>(meta.total->raw()) : std::nullopt, how, sha};
    const QString chain = archivechain::next(last.isEmpty() ? archivechain::kStart : last[0][0].toString(), link);
    return m_db.exec("INSERT INTO 発行記録 (版ID, 発行日時, 方法, 連鎖) VALUES (?, ?, ?, ?)", {versionId, when, how, chain});
}

// One round trip: every statement of write() in the server's own function.
DbResult IssueArchive::writeOnServer(const IssueMeta &meta, const QByteArray &pdf, const QString &sha, const QString &how,
                                     const QDateTime &at, int *version)
{
    if (m_db.inTransaction())
        return m_db.transaction([&] { return write(meta, pdf, sha, how, at, version); });
    const IssueRow issue{meta.number,
                                   meta.expected,
                                   kindNames(meta.kind).label,
                                   at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   meta.customer,
                                   meta.date.isEmpty() ? QString("") : meta.date,
                                   how,
                                   sha,
                                   meta.total ? QVariant(meta.total->raw()) : QVariant(QMetaType::fromType<qlonglong>()),
                                   meta.content,
                                   pdf};
    return engineOf(m_db).recordIssue(m_db, issue, version);
}

DbResult IssueArchive::insertVersion(const IssueMeta &meta, const QByteArray &pdf, const QString &sha, const QString &when,
                                     int v, QVariant &versionId)
{
    if (DbResult r = m_db.scalar("INSERT INTO 発行版 (種別, 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                                 {kindNames(meta.kind).label, meta.number, v, when, meta.customer,
                                  meta.date.isEmpty() ? QVariant(QString()) : meta.date,
                                  meta.total ? QVariant(meta.total->raw()) : QVariant(QMetaType::fromType<qlonglong>()),
                                  meta.content, sha},
                                 versionId);
        !r)
        return r;
    if (!bytesInFiles())
        if (DbResult r = m_db.exec("INSERT INTO 発行PDF (版ID, PDF) VALUES (?, ?)", {versionId, pdf}); !r)
            return r;
    if (meta.customer.isEmpty()) // a sheet without a customer is found by other means
        return {};
    return m_db.exec("INSERT INTO 発行取引先 (名) VALUES (?) ON CONFLICT DO NOTHING", {meta.customer});
}

DbResult IssueArchive::checkNumber(int number, qlonglong expected, DocKind kind)
{
    if (expected < 0)
        return {};
    qlonglong stored = 0;
    if (DbResult r = engineOf(m_db).storedVersion(m_db, kind, number, stored); !r)
        return r;
    return stored == expected ? DbResult{} : estimateMismatch(number, expected, stored);
}

DbResult IssueArchive::versionCount(int number, int &count, DocKind kind)
{
    QVariant n;
    DbResult r = m_db.scalar("SELECT count(*) FROM 発行版 WHERE 種別 = ? AND 伝票番号 = ?", {kindNames(kind).label, number}, n);
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
    QString sql = "SELECT v.id, v.伝票番号, v.版, r.発行日時, v.発行日時, v.顧客名, v.日付, v.合計, r.方法, v.SHA256, v.種別 FROM " +
                  (driver < 0 ? QString("発行記録 r CROSS JOIN 発行版 v") : cs[driver].driver) + " WHERE v.id = r.版ID";
    if (f.kind) {
        where << QStringLiteral("v.種別 = ?");
        binds << kindNames(*f.kind).label;
    }
    if (!where.isEmpty())
        sql += " AND " + where.join(" AND ");
    sql += " ORDER BY r.発行日時 DESC, r.id DESC LIMIT ?";
    binds << limit;
    return m_db.forEachRow(sql, binds, [&](const QSqlQuery &q) {
        rows << IssuedRow{q.value(0).toLongLong(), q.value(1).toInt(),    q.value(2).toInt(),
                          q.value(3).toString(),   q.value(4).toString(), q.value(5).toString(),
                          q.value(6).toString(),   q.value(8).toString(), q.value(9).toString(),
                          Money::fromSql(q.value(7)),  q.value(10).toString()};
    });
}

DbResult IssueArchive::pdf(qlonglong versionId, QByteArray &bytes)
{
    QVariant sha;
    if (DbResult r = m_db.scalar("SELECT SHA256 FROM 発行版 WHERE id = ?", {versionId}, sha); !r)
        return r;
    return readBytes(versionId, sha.toString(), bytes);
}

DbResult IssueArchive::verify(qlonglong versionId, bool &matches)
{
    matches = false;
    QVariant sha;
    if (DbResult r = m_db.scalar("SELECT SHA256 FROM 発行版 WHERE id = ?", {versionId}, sha); !r)
        return r;
    QByteArray bytes;
    DbResult r = readBytes(versionId, sha.toString(), bytes);
    if (!r && r.code == sqlitecode::NotFound)
        return {}; // no bytes: no match
    matches = r && sha256Hex(bytes) == sha.toString();
    if (!r || !matches)
        return r;
    // The digital invoice issued beside it vouches for itself the same way.
    QByteArray xmlBytes;
    const DbResult x = xml(versionId, xmlBytes);
    matches = bool(x);
    return x.code == sqlitecode::Corrupt ? DbResult{} : x;
}

QString archiveFileName(const IssuedRow &row)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f\\s]+"));
    QString customer = row.customer.simplified();
    customer.replace(unsafe, QStringLiteral("_"));
    const QString day = QString(row.versionIssuedAt.left(10)).remove('-');
    return QStringLiteral("%1_%2_%3_%4No.%5-v%6.pdf")
        .arg(day, customer.left(40), row.total ? row.total->toPlainString() : QStringLiteral("0"),
             row.kind == issuearchive::kEstimate ? QString() : row.kind)
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

DbResult IssueArchive::xml(qlonglong versionId, QByteArray &bytes)
{
    DbRows rows;
    bytes.clear();
    if (DbResult r = m_db.select("SELECT 内容, SHA256 FROM 発行XML WHERE 版ID = ?", {versionId}, rows); !r || rows.isEmpty())
        return r;
    bytes = rows[0][0].toByteArray();
    if (sha256Hex(bytes) != rows[0][1].toString())
        return DbResult::failure(QStringLiteral("発行した電子インボイスの内容が発行時と一致しません（SHA-256）"), sqlitecode::Corrupt);
    return {};
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
        QByteArray xmlBytes; // the digital invoice beside its PDF, under the same name
        if (DbResult r = xml(row.versionId, xmlBytes); !r)
            return r;
        if (!xmlBytes.isEmpty())
            if (DbResult r = writeWholeFile(freePath(dir, archiveFileName(row).chopped(4) + QStringLiteral(".xml")), xmlBytes); !r)
                return r;
        if (written)
            *written = ++count;
    }
    const QString indexPath = freePath(dir, QStringLiteral("索引.csv"));
    if (index)
        *index = indexPath;
    // The chain's head closes the index: kept outside, it vouches for every issue before it.
    QString chain, at;
    qlonglong records = 0;
    if (DbResult r = head(chain, &records, &at); !r)
        return r;
    return writeCsvFile(indexPath,
                        {"伝票番号", "版", "発行日時", "見積日付", "取引先", "合計", "発行方法", "SHA-256", "種別"}, {0, 1, 5},
                        [&](const CsvSink &sink) -> DbResult {
                            for (const IssuedRow &r : rows)
                                sink({QString::number(r.number), QString::number(r.version), r.issuedAt, r.date,
                                      r.customer, r.total ? r.total->toPlainString() : QString(), r.how, r.sha256, r.kind});
                            sink({issuearchive::kHeadRow, QString::number(records), at, QString(), QString(), QString(),
                                  QString(), chain, QString()});
                            return {};
                        });
}
