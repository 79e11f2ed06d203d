#pragma once
// 受領書類: the electronic documents received (a supplier's JP PINT invoice), kept as the exact
// bytes received with their SHA-256, append-only like what was issued: the store itself refuses
// to change or remove one. Found by the date the document bears, its amount and its sender.

#include "store/Db.h"
#include "values/Money.h"

#include <QDate>
#include <QDateTime>
#include <QVector>

struct ReceivedMeta {
    QString format = QStringLiteral("JP PINT");
    QString number, date; // the document's own number and date ("yyyy/MM/dd")
    QString partner;      // who sent it
    Money total;
};

struct ReceivedRow {
    qlonglong id = 0;
    QString receivedAt; // "yyyy-MM-dd HH:mm:ss"
    ReceivedMeta meta;
    QString sha256;
};

struct ReceivedFilter {
    QDate from, to;                // the document's date, either open
    std::optional<Money> min, max; // its amount, either open
    QString partner;               // any part of the sender's name, literally
};

namespace receivedarchive {
inline const QString kTable = QStringLiteral("受領書類");
// The table, its indexes and the triggers that keep it as received, and the table of the digital
// invoices issued beside the archive's PDFs (発行XML), kept the same way; a server's may run again.
QStringList statements(Db::Engine engine);
// The triggers' names, for the check that none was dropped or switched off.
QStringList protectionNames(Db::Engine engine);
} // namespace receivedarchive

class ReceivedArchive {
public:
    explicit ReceivedArchive(Db &main) : m_db(main) {}
    // Keeps bytes; the same bytes kept before are not kept twice (*id: the row that holds them,
    // *already: whether it was there).
    DbResult record(const ReceivedMeta &meta, const QByteArray &bytes, const QDateTime &at, qlonglong *id = nullptr,
                    bool *already = nullptr);
    // Newest first, at most limit.
    DbResult find(const ReceivedFilter &filter, int limit, QVector<ReceivedRow> &rows);
    // The bytes as received; a failure when they no longer hash to what was stored with them.
    DbResult bytes(qlonglong id, QByteArray &out);

private:
    Db &m_db;
};
