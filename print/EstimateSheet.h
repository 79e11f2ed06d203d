#pragma once
// The A4 estimate sheet, drawn with QPainter onto any device: preview, printer or PDF.
// Plain values in, no widgets: the window fills the print record.

#include "store/Db.h"
#include "values/Money.h"
#include "values/DocKind.h"
#include "values/RowKind.h"

#include <QPageLayout>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class QPainter;
class QPrinter;
class QRectF;
class QFont;

struct PrintLine {
    QString name;
    std::optional<double> quantity;
    QString unit;
    std::optional<Money> price;
    std::optional<Money> amount;
    bool reduced = false; // marked "※"
    bool exempt = false;  // marked "非"
    bool heading = false; // a group's heading (a 見出し, an invoice's 納品書): the name alone, bold
    QString delivered;    // the 納品日 of the 納品書 the line came from, "yyyy/MM/dd"; not printed on the line
    RowKind kind = RowKind::Item; // a heading is also heading
};

// The lines of one page of a sheet: lines[first] on, count of them; heading: the index of the
// group's heading repeated at the top as continued (-1: none).
struct SheetPage {
    int first = 0, count = 0;
    int heading = -1;
    bool operator==(const SheetPage &) const = default;
};

// An account the invoice asks to be paid into.
struct PrintAccount {
    QString bank, branch, type, number, holder;
};

// One rate's taxable amount and its tax.
struct PrintRate {
    int rate = 0;
    bool reduced = false;
    Money base, tax;
};

// What the sheet shows. The estimate number only when printNumber is set.
struct PrintRecord {
    QString date; // "yyyy/mm/dd", or empty
    QString customerName, customerInfo, companyName, companyInfo;
    QString subject, deliveryDate, validity, paymentTerms, deliveryPlace;
    std::optional<Money> net, tax, grand, headline; // nullopt prints nothing
    QString honorific = QStringLiteral("様");
    QString registrationNumber; // printed under the own company's details when set
    QVector<PrintLine> lines;   // kRows to a first page; more continue on the pages after it
    // The summary under the totals: how the tax was computed and what it was computed on.
    QString taxMode = QStringLiteral("外税");
    int standardRate = 5;
    QVector<PrintRate> rates;    // every rate a line is taxed at
    std::optional<Money> exempt; // the amounts of lines without tax, when there are such lines
    QString number;
    bool printNumber = false;
    QByteArray seal; // a PNG, drawn over the company block at its own size
    // The archive's chain head when the sheet was made, short, at the page's foot; not part of
    // what the sheet says, so an unchanged estimate is still sent as it was.
    QString archiveCode;
    // What the document's number holds as the window knows it (0: nothing yet), so an issue
    // never archives a sheet under a number another document took meanwhile; -1 unchecked.
    qlonglong storedVersion = -1;
    // The later kinds: the delivery's date (納品日, 取引年月日), the invoice's due date, the
    // documents it was made from, the transfer accounts, a note, the fees withheld; whether
    // the invoice claims to be a 適格請求書 (it names the registration number then).
    DocKind kind = DocKind::Estimate;
    QString tradeDate, dueDate, sources, bank, note;
    std::optional<Money> withheld;
    bool qualified = true;
    // Handed over on paper, not only sent as PDF: a receipt then needs its revenue stamp.
    bool paper = false;
    // A monthly invoice: the period it closes (empty: not one), what the last one asked and
    // what came in since.
    QString periodFrom, periodTo;
    Money previousBilled, received, credited;
    // What a digital invoice says besides: the 納品書 billed (number, 納品日) and the accounts.
    QVector<std::pair<int, QString>> deliveries;
    QVector<PrintAccount> accounts;
    // Issued also as a digital invoice (JP PINT XML): the desktop's setting, for the two kinds.
    bool withXml = false;
};

// Where the A4 sheet lies on the paper, in points: 1 and no offset on A4 itself.
struct SheetPlacement {
    double scale = 1.0;
    QPointF offset;
};
// The A4 sheet on paper of another size, scaled (never enlarged) to its printable area.
SheetPlacement placeSheet(const QPageLayout &paper);

// The summary lines under the totals box, as printed.
QStringList sheetSummary(const PrintRecord &r);
// A fingerprint of all a sheet shows: equal for two records exactly when their sheets are.
QByteArray sheetFingerprint(const PrintRecord &r);

// How lines fall on pages: the first page holds firstRows, the others moreRows, and the last
// also the closing block (closingRows rows' height). A page never ends on a heading. Lines that
// fit the first page are one page, whatever the closing block needs.
QVector<SheetPage> paginateSheet(const QVector<PrintLine> &lines, int firstRows, int moreRows, int closingRows);

class rpt見積書 {
public:
    static constexpr int kRows = kDetailRows; // the first page's rows
    static constexpr int kMoreRows = 40;      // the rows of every page after it

    explicit rpt見積書(PrintRecord record);
    const PrintRecord &record() const { return m_record; }
    int pageCount() const { return int(m_pages.size()); }
    const QVector<SheetPage> &pages() const { return m_pages; }

    // Draws the first page; the painter is active on a device whose origin is the paper's corner.
    void draw(QPainter &painter, const SheetPlacement &place = {}) const;
    void drawPage(QPainter &painter, int page, const SheetPlacement &place = {}) const;
    // Prints on A4 as laid out; on paper a printer cannot change to A4, scaled to fit its
    // printable area (*scaled says so). An empty text on success, else the reason.
    QString print(QPrinter &printer, bool *scaled = nullptr) const;
    // The characters of the record that no font can draw.
    QStringList unprintable() const;
    // The sheet as PDF bytes (empty when it could not be drawn), and written to a file: the
    // old file stays whole unless all of it was written.
    QByteArray pdf() const;
    DbResult writePdf(const QString &path) const;

private:
    void drawHeader(QPainter &p) const;
    void drawBand(QPainter &p) const;
    void drawTable(QPainter &p, double top) const; // the column headings' box
    void drawColumnCaptions(QPainter &p, double dy) const;
    void drawRow(QPainter &p, double top, const PrintLine *line, bool continued = false) const;
    void drawRows(QPainter &p, int page) const;
    // A page after the first: who it is for, "（続き）", the column headings.
    void drawContinuation(QPainter &p) const;
    // The last page of several closes with the totals, the rates' summary and the remarks.
    void drawClosing(QPainter &p, double top) const;
    void drawPageNumber(QPainter &p, int page) const;
    int closingRows() const;
    double rowsTop(int page) const;
    void drawSeal(QPainter &p) const;
    void drawArchiveCode(QPainter &p) const;
    void drawReceiptBox(QPainter &p) const;
    QStringList bandRight() const; // beside the summary: the marks' legend, an invoice's note
    double shift() const; // how far the summary pushes the fields below it down
    PrintRecord m_record;
    QStringList m_summary;
    QVector<SheetPage> m_pages;
};

// "#,###": 0 and Null print nothing; a fraction shows as the screen shows it.
QString sheetNumber(const std::optional<Money> &v);
QString sheetQuantity(const std::optional<double> &v);

