#pragma once
// CSV as spreadsheets read and write it: RFC 4180 quoting, UTF-8 with a byte-order mark out;
// UTF-8 (with or without the mark) or Shift_JIS in.

#include "store/Db.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>

// One record, fields quoted where they must be, ended by CRLF.
QByteArray csvRecord(const QStringList &fields);
// The byte-order mark that tells spreadsheet programs the file is UTF-8.
inline const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// Writes the header and every record that rows() hands to its argument into path, replacing
// the file only once all of it is written; *written counts the records.
using CsvSink = std::function<void(const QStringList &)>;
DbResult writeCsvFile(const QString &path, const QStringList &header, const std::function<DbResult(const CsvSink &)> &rows,
                      int *written = nullptr);

struct CsvRow {
    int line = 0; // where the record starts, counted from 1
    QStringList fields;
};

struct CsvContent {
    QVector<CsvRow> rows;
    QVector<int> badLines; // records that could not be read (an unclosed or stray quote)
};

// Decodes (UTF-8 when it is valid UTF-8, else Shift_JIS) and splits into records.
CsvContent parseCsv(const QByteArray &bytes);
