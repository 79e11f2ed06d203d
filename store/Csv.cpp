#include "store/Csv.h"

#include <QSaveFile>
#include <QStringDecoder>

QByteArray csvRecord(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &f : fields) {
        const bool quote = f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r');
        out << (quote ? '"' + QString(f).replace('"', QStringLiteral("\"\"")) + '"' : f);
    }
    return out.join(',').toUtf8() + "\r\n";
}

static QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith(kUtf8Bom))
        return QString::fromUtf8(bytes.mid(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder sjis("Shift_JIS"); // older Japanese tools write this
    return sjis.isValid() ? sjis.decode(bytes) : text;
}

namespace {
// Splits one decoded text; a malformed record is skipped to the end of its line.
struct Splitter {
    const QString &t;
    int i = 0, line = 1;
    bool at(QChar c) const { return i < t.size() && t[i] == c; }
    bool endOfRecord() const { return i >= t.size() || t[i] == '\n' || t[i] == '\r'; }
    void skipLineEnd()
    {
        if (at('\r'))
            ++i;
        if (at('\n'))
            ++i;
        ++line;
    }
    void skipToLineEnd()
    {
        while (!endOfRecord())
            ++i;
        skipLineEnd();
    }
    bool quoted(QString &field)
    {
        ++i; // the opening quote
        for (;;) {
            if (i >= t.size())
                return false; // never closed
            if (t[i] == '"') {
                if (i + 1 < t.size() && t[i + 1] == '"') {
                    field += '"';
                    i += 2;
                    continue;
                }
                ++i;
                return endOfRecord() || at(',');
            }
            if (t[i] == '\n')
                ++line;
            field += t[i++];
        }
    }
    bool plain(QString &field)
    {
        while (!endOfRecord() && !at(','))
            field += t[i++];
        return !field.contains('"');
    }
    bool record(QStringList &fields)
    {
        for (;;) {
            QString field;
            if (!(at('"') ? quoted(field) : plain(field)))
                return false;
            fields << field;
            if (!at(','))
                return true;
            ++i;
        }
    }
};
} // namespace

CsvContent parseCsv(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    CsvContent out;
    Splitter s{text};
    while (s.i < text.size()) {
        const int start = s.line;
        QStringList fields;
        if (!s.record(fields)) {
            out.badLines << start;
            s.skipToLineEnd();
            continue;
        }
        s.skipLineEnd();
        if (!(fields.size() == 1 && fields[0].isEmpty())) // blank lines carry nothing
            out.rows << CsvRow{start, fields};
    }
    return out;
}

DbResult writeCsvFile(const QString &path, const QStringList &header, const std::function<DbResult(const CsvSink &)> &rows,
                      int *written)
{
    QSaveFile file(path); // a file half written never takes the old one's place
    if (!file.open(QIODevice::WriteOnly))
        return DbResult::failure(file.errorString(), sqlitecode::CantOpen, path);
    file.write(kUtf8Bom);
    file.write(csvRecord(header));
    int count = 0;
    if (DbResult r = rows([&](const QStringList &fields) {
            file.write(csvRecord(fields));
            ++count;
        });
        !r)
        return r;
    if (!file.commit())
        return DbResult::failure(file.errorString(), sqlitecode::IoErr, path);
    if (written)
        *written = count;
    return {};
}
