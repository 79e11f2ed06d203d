#include "store/Csv.h"
#include "store/Helpers.h"
#include "store/SafeFile.h"

#include <QStringDecoder>

namespace {

bool startsLikeFormula(const QString &f)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    return !f.isEmpty() && starts.contains(f[0]);
}

} // namespace

QByteArray csvRecord(const QStringList &fields, const QSet<int> &numeric)
{
    QStringList out;
    out.reserve(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        // A spreadsheet runs "=…" as a formula; numbers stay numbers.
        const QString f = !numeric.contains(i) && startsLikeFormula(fields[i]) ? '\'' + fields[i] : fields[i];
        const bool quote = f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r');
        out << (quote ? '"' + QString(f).replace('"', QStringLiteral("\"\"")) + '"' : f);
    }
    return out.join(',').toUtf8() + "\r\n";
}

QString csvUnneutralised(const QString &field)
{
    return field.startsWith('\'') && startsLikeFormula(field.mid(1)) ? field.mid(1) : field;
}

DbResult writeCsvFile(const QString &path, const QStringList &header, const QSet<int> &numeric,
                      const std::function<DbResult(const CsvSink &)> &rows, int *written)
{
    SafeFile out(path); // a file half written never takes the old one's place
    if (DbResult r = out.open(); !r)
        return r;
    out.write(kUtf8Bom);
    out.write(csvRecord(header));
    int count = 0;
    if (DbResult r = rows([&](const QStringList &fields) {
            out.write(csvRecord(fields, numeric));
            ++count;
        });
        !r) {
        out.cancel();
        return r;
    }
    if (DbResult r = out.commit(); !r)
        return r;
    if (written)
        *written = count;
    return {};
}

namespace {

// The text of a file whose encoding is decided once, for all of it. Lines that do not decode
// in that encoding are kept (with replacement characters) and listed, never guessed.
struct Decoded {
    QString encoding;
    QString text;
    QSet<int> badLines;
};

// Decodes line by line: line breaks are single bytes in UTF-8 and Shift_JIS alike.
Decoded decodeLines(const QByteArray &bytes, QStringConverter::Encoding enc, const char *sjis)
{
    Decoded d;
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QStringDecoder dec = sjis ? QStringDecoder(sjis) : QStringDecoder(enc, QStringDecoder::Flag::Stateless);
        d.text += dec.decode(lines[i]);
        if (dec.hasError())
            d.badLines.insert(i + 1);
        if (i + 1 < lines.size())
            d.text += '\n';
    }
    return d;
}

Decoded decode(const QByteArray &bytes)
{
    if (bytes.startsWith(kUtf8Bom)) {
        Decoded d = decodeLines(bytes.mid(3), QStringConverter::Utf8, nullptr);
        d.encoding = QStringLiteral("UTF-8");
        return d;
    }
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool le = bytes.startsWith("\xFF\xFE");
        QStringDecoder dec(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return {QStringLiteral("UTF-16"), dec.decode(bytes.mid(2)), {}};
    }
    // Text of another encoding is almost never valid UTF-8: where most lines with more than
    // ASCII are, the file is UTF-8 and the others are damaged.
    Decoded utf8 = decodeLines(bytes, QStringConverter::Utf8, nullptr);
    int wide = 0;
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray &line : lines)
        wide += std::any_of(line.begin(), line.end(), [](char c) { return uchar(c) >= 0x80; });
    if (2 * utf8.badLines.size() <= wide) {
        utf8.encoding = QStringLiteral("UTF-8");
        return utf8;
    }
    Decoded sjis = decodeLines(bytes, QStringConverter::System, "Shift_JIS");
    sjis.encoding = QStringLiteral("Shift_JIS");
    return sjis;
}

// Splits one decoded text; a malformed record is reported by the line it starts on.
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
                return endOfRecord() || at(','); // "ab"c is no field
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
    // Back to the start of the line after first: what a stray quote swallowed is read again.
    void restartAfter(int first, int startOffset)
    {
        i = startOffset;
        line = first;
        while (!endOfRecord())
            ++i;
        skipLineEnd();
    }
};

} // namespace

CsvContent parseCsv(const QByteArray &bytes)
{
    const Decoded decoded = decode(bytes);
    CsvContent out;
    out.encoding = decoded.encoding;
    const QString &text = decoded.text;
    Splitter s{text};
    while (s.i < text.size()) {
        const int start = s.line, offset = s.i;
        QStringList fields;
        if (!s.record(fields)) {
            out.badLines << start;
            s.restartAfter(start, offset);
            continue;
        }
        const int last = s.line;
        s.skipLineEnd();
        bool damaged = false;
        for (int l = start; l <= last; ++l)
            damaged = damaged || decoded.badLines.contains(l);
        if (damaged)
            out.badLines << start;
        else if (!(fields.size() == 1 && fields[0].isEmpty())) { // blank lines carry nothing
            for (QString &f : fields)
                f = withoutControls(f);
            out.rows << CsvRow{start, fields};
        }
    }
    return out;
}
