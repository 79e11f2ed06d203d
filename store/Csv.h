#pragma once
// CSV as spreadsheets read and write it: RFC 4180 quoting, UTF-8 with a byte-order mark out;
// UTF-8, Shift_JIS or UTF-16 (by its byte-order mark) in.

#include "store/Db.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <QVector>

// One record, fields quoted where they must be, ended by CRLF. A text field (one whose column
// is not in numeric) that a spreadsheet would run as a formula gets a leading "'".
QByteArray csvRecord(const QStringList &fields, const QSet<int> &numeric = {});
// The byte-order mark that tells spreadsheet programs the file is UTF-8.
inline const QByteArray kUtf8Bom("\xEF\xBB\xBF");
// A field written with that leading "'", as it was before.
QString csvUnneutralised(const QString &field);

// Writes the header and every record that rows() hands to its argument into path, replacing
// the file only once all of it is written and on the disk; *written counts the records.
using CsvSink = std::function<void(const QStringList &)>;
DbResult writeCsvFile(const QString &path, const QStringList &header, const QSet<int> &numeric,
                      const std::function<DbResult(const CsvSink &)> &rows, int *written = nullptr);

struct CsvRow {
    int line = 0; // where the record starts, counted from 1
    QStringList fields;
};

struct CsvContent {
    QString encoding;      // "UTF-8", "Shift_JIS" or "UTF-16", decided for the whole file
    QVector<CsvRow> rows;
    QVector<int> badLines; // records that could not be read: a stray quote, bytes of another encoding
};

// Decodes and splits into records; an unreadable record is reported and reading goes on
// with the line after the one it started on.
CsvContent parseCsv(const QByteArray &bytes);
