#pragma once
// The A4 estimate sheet, drawn with QPainter onto any device: preview, printer or PDF.
// Plain values in, no widgets: the window fills the print record.

#include "store/Db.h"
#include "store/Money.h"

#include <QString>
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
};

// One rate's taxable amount and tax, printed when an estimate has more than one rate.
struct PrintRate {
    int rate = 0;
    bool reduced = false;
    Money base, tax;
};

// What the sheet shows; the estimate number is not part of it.
struct PrintRecord {
    QString date; // "yyyy/mm/dd", or empty
    QString customerName, customerInfo, companyName, companyInfo;
    QString subject, deliveryDate, validity, paymentTerms, deliveryPlace;
    std::optional<Money> net, tax, grand, headline; // nullopt prints nothing
    QString honorific = QStringLiteral("様");
    QString registrationNumber; // printed under the own company's details when set
    QVector<PrintLine> lines;   // at most 30 are printed
    QVector<PrintRate> rates;   // empty for a single rate
};

class rpt見積書 {
public:
    static constexpr int kRows = 30;

    explicit rpt見積書(PrintRecord record) : m_record(std::move(record)) {}
    const PrintRecord &record() const { return m_record; }

    // Draws the one page; the painter is active on a device whose origin is the paper's corner.
    void draw(QPainter &painter) const;
    // An empty text on success, else the reason.
    QString print(QPrinter &printer) const;
    // The sheet as PDF bytes (empty when it could not be drawn), and written to a file: the
    // old file stays whole unless all of it was written.
    QByteArray pdf() const;
    DbResult writePdf(const QString &path) const;

private:
    void drawHeader(QPainter &p) const;
    void drawRow(QPainter &p, int row) const;
    void drawFooter(QPainter &p) const;
    PrintRecord m_record;
};

// "#,###": 0 and Null print nothing; a fraction shows as the screen shows it.
QString sheetNumber(const std::optional<Money> &v);
QString sheetQuantity(const std::optional<double> &v);

// Draws text inside rect (twips), shrinking the font and, for several lines, wrapping;
// never beyond the rectangle.
void drawFitted(QPainter &p, const QRectF &rect, const QString &text, QFont font, int flags, bool wrap);
