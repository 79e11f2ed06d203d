#pragma once
// The document tables, each described once: both engines' definitions, the column lists a save
// writes and a load reads, the import and the server's save function are made from these.

#include "store/Db.h"
#include "values/DocKind.h"

#include <QStringList>
#include <QVector>

namespace tables {

// Money: ten-thousandths of a yen (see Money). Flag: 0/1, never Null.
enum class Type { Integer, Real, Text, Money, Flag, Blob };

// What a server adds for several desktops writing at once: a row id and one row per name (the
// first column), or one row only, so that its counters are raised by an upsert on its key.
enum class ServerRows { AsInFile, OnePerName, OneRow };

struct Column {
    QString name;
    Type type;
    bool notNull = false;
    QString defaultValue = {};
};

struct Table {
    QString name;
    QVector<Column> columns;
    QStringList key;
    // On a server: a version counted up by every save (更新番号).
    bool versioned = false;
    ServerRows serverRows = ServerRows::AsInFile;

    QStringList names() const;
    int indexOf(const QString &column) const;
    // The table's definition for engine; ifMissing leaves an existing table as it is.
    QString createStatement(Db::Engine engine, bool ifMissing = false) const;
    // The server's type of each column, as a cast from JSON text names it.
    QStringList serverTypes() const;
};

QString serverType(Type type);

// A document's header, one row per number: the estimate's columns, and the later kinds' own.
const Table &header(DocKind kind);
// Its lines, in 行番号 order; the later kinds also name the 納品書 a line came from.
const Table &lines(DocKind kind);
// The documents a document was made from: one row per source, in order.
const Table &links();

// The masters, the settings row and the code lists, as the first version of each held them
// (the later columns are added by the upgrades, on both engines).
const Table &customers();
const Table &products();
const Table &settings();
const Table &codes();
// Money received: one row per invoice a payment settles, the rows of one payment under one
// 入金番号; the fee the payer kept back is on the payment's first row.
const Table &payments();
// What each invoice still asks, derived from the invoice, its payments and its credit notes and
// kept by the engine itself in the transaction that changes any of them (see store/Owed).
const Table &owed();

// The columns only the later kinds have, in the order they follow the estimate's.
QStringList laterHeaderColumns();
// A monthly invoice's: the period it closes and the balance block (前回御請求額, ご入金額).
QStringList closingHeaderColumns();

} // namespace tables
