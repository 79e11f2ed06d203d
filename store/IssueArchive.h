#pragma once
// The archive of issued documents: every version sent or printed, as the exact PDF bytes with
// their SHA-256, and a record of every issue chained to the one before. Append-only: the store
// itself refuses to change or remove a row (triggers), whatever program writes to it; what
// slips past shows as a break when the archive is checked.

#include "store/Db.h"
#include "values/Money.h"
#include "values/DocKind.h"

#include <QDate>
#include <QDateTime>
#include <QVector>
#include <optional>

namespace issuearchive {
inline const QString kPdf = QStringLiteral("PDF");
inline const QString kPrinted = QStringLiteral("印刷");
inline const QString kEstimate = QStringLiteral("見積書");
// The first field of the export index's last row, which holds the chain's head.
inline const QString kHeadRow = QStringLiteral("連鎖の先頭");
} // namespace issuearchive

// What is known of an issue before it is archived.
struct IssueMeta {
    int number = 0;
    QString customer;
    QString date; // the estimate's date, "yyyy/MM/dd" or empty
    std::optional<Money> total;
    QByteArray content; // a fingerprint of what the sheet shows
    // What the number holds for the document issued (0: nothing stored); -1 not checked.
    qlonglong expected = -1;
    DocKind kind = DocKind::Estimate;
    // The digital invoice issued with it (JP PINT XML), kept beside the version's PDF; empty: none.
    QByteArray xml;
};

struct IssuedRow {
    qlonglong versionId = 0;
    int number = 0, version = 0;
    QString issuedAt; // "yyyy-MM-dd HH:mm:ss"
    QString versionIssuedAt; // when this version was first issued
    QString customer, date, how, sha256;
    std::optional<Money> total;
    QString kind = issuearchive::kEstimate; // the kind's label
};

struct IssueFilter {
    QDate from, to;               // issue dates, either open
    std::optional<Money> min, max; // totals, either open
    QString customer;             // any part of the name, literally
    std::optional<DocKind> kind;  // every kind when unset
};

class IssueArchive {
public:
    explicit IssueArchive(Db &main) : m_db(main) {}
    Db &database() const { return m_db; }

    // The bytes last issued for number when they show content: an unchanged estimate is sent
    // again exactly as before. nullopt when it changed or was never issued.
    DbResult sameAsLatest(int number, const QByteArray &content, std::optional<QByteArray> &bytes,
                          DocKind kind = DocKind::Estimate);
    // Records one issue in one transaction: a new version (the number's next) with its bytes
    // unless the latest version has these very bytes; always the issue itself.
    DbResult record(const IssueMeta &meta, const QByteArray &pdf, const QString &how, const QDateTime &at,
                    int *version = nullptr);
    DbResult versionCount(int number, int &count, DocKind kind = DocKind::Estimate);
    // Whether number still holds what the document expects (see IssueMeta::expected), before
    // anything is printed; record checks it again under the number's lock.
    DbResult checkNumber(int number, qlonglong expected, DocKind kind = DocKind::Estimate);

    // Issues, newest first, at most limit.
    DbResult find(const IssueFilter &filter, int limit, QVector<IssuedRow> &rows);
    DbResult pdf(qlonglong versionId, QByteArray &bytes);
    // The digital invoice issued with the version, checked against its own SHA-256; empty: none.
    DbResult xml(qlonglong versionId, QByteArray &bytes);
    // The latest issue's chain hash (the start when nothing was issued), how many issues it
    // covers and when it was made.
    DbResult head(QString &chain, qlonglong *records = nullptr, QString *at = nullptr);
    // Whether the stored bytes still hash to the SHA-256 stored with them.
    DbResult verify(qlonglong versionId, bool &matches);
    // Each version among rows once, as YYYYMMDD_取引先_金額_No.N-vK.pdf, and 索引.csv of the rows,
    // into folder; an existing file is never replaced. *written counts the PDF files, *index
    // names the index written.
    DbResult exportTo(const QString &folder, const QVector<IssuedRow> &rows, int *written = nullptr,
                      QString *index = nullptr);

    // A file keeps its bytes under data/archive; a server in its own table.
    bool bytesInFiles() const { return m_db.engine() == Db::Engine::Sqlite; }
    DbResult readBytes(qlonglong versionId, const QString &sha, QByteArray &bytes);

private:
    DbResult write(const IssueMeta &meta, const QByteArray &pdf, const QString &sha, const QString &how,
                   const QDateTime &at, int *version);
    DbResult writeOnServer(const IssueMeta &meta, const QByteArray &pdf, const QString &sha, const QString &how,
                           const QDateTime &at, int *version);
    DbResult insertVersion(const IssueMeta &meta, const QByteArray &pdf, const QString &sha, const QString &when, int v,
                           QVariant &versionId);
    Db &m_db;
};

QString sha256Hex(const QByteArray &bytes);
// A file name of the version: YYYYMMDD_取引先_金額_No.N-vK.pdf, the later kinds' label before No.
QString archiveFileName(const IssuedRow &row);
