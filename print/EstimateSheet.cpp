#include "print/EstimateSheet.h"
#include "values/SealSize.h"
#include "print/SheetText.h"
#include "print/SheetKinds.h"
#include "print/SheetLayout.h"
#include "ui/Fonts.h"

#include "store/SafeFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <cmath>
#include <limits>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

using namespace sheetlayout;

namespace {

using Value = QString (*)(const PrintRecord &);

// The registration number closes the own company's details, inside their field.
QString companyDetails(const PrintRecord &r)
{
    if (r.registrationNumber.isEmpty())
        return r.companyInfo;
    return r.companyInfo + (r.companyInfo.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("登録番号 ") +
           r.registrationNumber;
}

// One text of the page header: what it shows and where, as the sheet's layout gives it.
struct HeaderText {
    const char *name;
    Value value;
    double left, top, width, height;
    Face face;
    double points;
    int align;
    bool wrap = false;
    bool bold = false;
};

#define FIXED(text) [](const PrintRecord &) { return QStringLiteral(text); }
#define FIELD(member) [](const PrintRecord &r) { return r.member; }

const HeaderText kHeader[] = {
    {"Label1", [](const PrintRecord &r) { return sheetkinds::title(r); }, 8291, 0, 2055, 425, Face::Gothic, 18, L, false, true},
    {"txt顧客情報", FIELD(customerInfo), 285, 495, 5325, 855, Face::PMincho, 9, TopLeft, true},
    {"Label10", [](const PrintRecord &r) { return sheetkinds::dateCaption(r); }, 7583, 638, 637, 283, Face::PMincho, 10, L},
    {"txtCday", FIELD(date), 8291, 638, 2268, 283, Face::PMincho, 10, L},
    {"txt自社名", FIELD(companyName), 6094, 1205, 4465, 425, Face::PMincho, 14, L, true},
    {"txt顧客名", FIELD(customerName), 285, 1410, 5050, 420, Face::PMincho, 14, L, true},
    {"txt敬称", FIELD(honorific), 5450, 1417, 496, 355, Face::PMincho, 14, L},
    {"txt自社情報", [](const PrintRecord &r) { return companyDetails(r); }, 6165, 1635, 4395, 1455, Face::PMincho, 9,
     TopLeft, true},
    {"Label45", [](const PrintRecord &r) { return sheetkinds::amountCaption(r); }, 283, 1984, 1560, 355, Face::PMincho, 13, L},
    {"txt請求金額", [](const PrintRecord &r) { return QStringLiteral("¥") + sheetNumber(r.headline); }, 2055, 1960,
     3260, 360, Face::PMincho, 16, L, false, true},
    {"Label57", FIXED("税抜計"), 205, 2480, 1705, 300, Face::PMincho, 10, C},
    {"Label58", FIXED("消費税"), 1913, 2480, 1420, 300, Face::PMincho, 10, C},
    {"Label59", FIXED("合　計"), 3340, 2480, 1660, 300, Face::PMincho, 10, C},
    {"txt税抜計", [](const PrintRecord &r) { return sheetNumber(r.net); }, 213, 2764, 1630, 283, Face::PMincho, 11, R},
    {"txt消費税", [](const PrintRecord &r) { return sheetNumber(r.tax); }, 1920, 2760, 1380, 285, Face::PMincho, 11, R},
    {"txt合計", [](const PrintRecord &r) { return sheetNumber(r.grand); }, 3280, 2764, 1630, 283, Face::PMincho, 11, R},
    {"Label61", [](const PrintRecord &r) { return sheetkinds::caption(r, 0); }, 213, 3189, 1063, 354, Face::PGothic, 10, L},
    {"txt有効期限", [](const PrintRecord &r) { return sheetkinds::value(r, 0); }, 1350, 3195, 4245, 330, Face::PGothic, 10, L, true},
    {"Label62", [](const PrintRecord &r) { return sheetkinds::caption(r, 1); }, 5740, 3189, 1063, 354, Face::PGothic, 10, L},
    {"txt受渡場所", [](const PrintRecord &r) { return sheetkinds::value(r, 1); }, 6874, 3189, 3685, 330, Face::PGothic, 10, L, true},
    {"Label60", [](const PrintRecord &r) { return sheetkinds::caption(r, 2); }, 213, 3614, 1063, 355, Face::PGothic, 10, L},
    {"txt支払条件", [](const PrintRecord &r) { return sheetkinds::value(r, 2); }, 1350, 3650, 4252, 284, Face::PGothic, 10, L, true},
    {"Label63", [](const PrintRecord &r) { return sheetkinds::caption(r, 3); }, 5740, 3614, 1063, 355, Face::PGothic, 10, L},
    {"txt納期", [](const PrintRecord &r) { return sheetkinds::value(r, 3); }, 6875, 3650, 3685, 330, Face::PGothic, 10, L, true},
    {"Label64", [](const PrintRecord &r) { return sheetkinds::subjectCaption(r); }, 213, 4039, 1063, 355, Face::PGothic, 10, L},
    {"txt件名", FIELD(subject), 1346, 4039, 5457, 330, Face::PGothic, 10, L, true},
    {"Label44", FIXED("　品　　    　名"), 68, 4465, 5673, 354, Face::PMincho, 10, C},
    {"Label53", FIXED("数　量"), 5669, 4465, 1205, 354, Face::PMincho, 10, C},
    {"Label54", FIXED("単位"), 6874, 4465, 638, 354, Face::PMincho, 10, C},
    {"Label55", FIXED(" 　単　価"), 7512, 4465, 1559, 354, Face::PMincho, 10, C},
    {"Label56", FIXED("  金　額"), 9071, 4465, 1500, 354, Face::PMincho, 10, C},
};

#undef FIXED
#undef FIELD

// The estimate number, when it is wanted: at the top right, between the date and the company.
const QRectF kNumberRect(7583, 925, 2977, 260);

struct Rule {
    const char *name;
    double x1, y1, x2, y2;
};

const Rule kHeaderRules[] = {
    {"Line1", 0, 420, 10530, 420},      {"Line19", 283, 1843, 5900, 1843}, {"Line40", 283, 2339, 5900, 2339},
    {"Line41", 1913, 2764, 1913, 3118}, {"Line42", 3340, 2764, 3340, 3118}, {"Line43", 213, 3560, 5600, 3560},
    {"Line45", 5740, 3560, 10560, 3560}, {"Line44", 213, 3980, 5598, 3980}, {"Line46", 5740, 3980, 10559, 3980},
    {"Line47", 213, 4400, 6800, 4400},
};
const QRectF kShape1(213, 2764, 4780, 354);

QString rowValue(const PrintLine &l, int column)
{
    switch (column) {
    case 0: return l.name;
    case 1: return sheetQuantity(l.quantity);
    case 2: return l.unit; // made smaller to fit, then cut with "…", as the names are
    case 3: return sheetNumber(l.price);
    default: return sheetNumber(l.amount);
    }
}

QString mark(const PrintLine &l) { return l.exempt ? QStringLiteral("非") : l.reduced ? QStringLiteral("※") : QString(); }

QString yen(const Money &m) { return QStringLiteral("¥") + (m.isZero() ? QStringLiteral("0") : m.toGroupedString()); }

// A seal's size on paper, in twips.
QSizeF sealTwips(const QByteArray &png, const QImage &image)
{
    return sealSize(png, image.size()).millimetres / 25.4 * kTwipsPerInch;
}

} // namespace

QString sheetNumber(const std::optional<Money> &v) { return v ? v->toGroupedString() : QString(); }

QString sheetQuantity(const std::optional<double> &v) { return v ? formatGrouped(*v, 4) : QString(); }

SheetPlacement placeSheet(const QPageLayout &paper)
{
    if (paper.pageSize().id() == QPageSize::A4)
        return {};
    const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Point);
    const QRectF full = paper.fullRect(QPageLayout::Point);
    const QRectF printable = full.marginsRemoved(paper.minimumMargins());
    const double scale = std::min({1.0, printable.width() / a4.width(), printable.height() / a4.height()});
    const QSizeF used = a4 * scale;
    return {scale, printable.topLeft() + QPointF((printable.width() - used.width()) / 2, (printable.height() - used.height()) / 2)};
}

QStringList sheetSummary(const PrintRecord &r)
{
    QStringList out;
    const bool outside = r.taxMode == QStringLiteral("外税"), inside = r.taxMode == QStringLiteral("内税");
    if (outside || inside) {
        for (const PrintRate &t : r.rates)
            out << (outside ? QStringLiteral("%1%対象%2 %3 消費税 %4") : QStringLiteral("%1%対象%2 %3（内消費税 %4）"))
                       .arg(t.rate)
                       .arg(t.reduced ? QStringLiteral("※") : QString(), yen(t.base), yen(t.tax));
        if (r.rates.isEmpty() && !r.exempt) // nothing taxed yet: the rate still shows
            out << (outside ? QStringLiteral("%1%対象 ¥ 消費税 ¥") : QStringLiteral("%1%対象 ¥（内消費税 ¥）"))
                       .arg(r.standardRate);
    }
    if (r.exempt)
        out << QStringLiteral("非課税 ") + yen(*r.exempt);
    else if (!outside && !inside)
        out << QStringLiteral("非課税 ¥");
    return sheetkinds::closingLines(r) + out + sheetkinds::withholdingLines(r);
}

QByteArray sheetFingerprint(const PrintRecord &r)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    auto money = [](const std::optional<Money> &m) { return m ? m->raw() : std::numeric_limits<qint64>::min(); };
    out << r.date << r.customerName << r.customerInfo << r.companyName << r.companyInfo << r.subject
        << r.deliveryDate << r.validity << r.paymentTerms << r.deliveryPlace << money(r.net) << money(r.tax)
        << money(r.grand) << money(r.headline) << r.honorific << r.registrationNumber << r.taxMode << r.standardRate
        << money(r.exempt) << (r.printNumber ? r.number : QString()) << r.seal;
    if (r.kind != DocKind::Estimate) // an estimate's fingerprint stays what it was
        out << int(r.kind) << r.tradeDate << r.dueDate << r.sources << r.bank << r.note << money(r.withheld) << r.qualified
            << r.number;
    if (r.kind == DocKind::Receipt) // the paper one carries its stamp box
        out << r.paper;
    if (!r.periodTo.isEmpty())
        out << r.periodFrom << r.periodTo << r.previousBilled.raw() << r.received.raw() << r.credited.raw();
    for (const PrintLine &l : r.lines) {
        out << l.name << (l.quantity ? *l.quantity : std::nan("")) << l.unit << money(l.price) << money(l.amount)
            << l.reduced << l.exempt;
        if (l.heading)
            out << l.heading;
        if (l.kind != RowKind::Item) // an item's fingerprint stays what it was
            out << int(l.kind);
    }
    for (const PrintRate &t : r.rates)
        out << t.rate << t.reduced << t.base.raw() << t.tax.raw();
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

double rpt見積書::shift() const { return kBandLine * std::max<qsizetype>({1, m_summary.size(), bandRight().size()}); }

rpt見積書::rpt見積書(PrintRecord record) : m_record(std::move(record)), m_summary(sheetSummary(m_record))
{
    // Blank rows after the lines fill the first page's table; beyond it they are no lines.
    QVector<PrintLine> &lines = m_record.lines;
    while (lines.size() > kRows && lines.back().name.isEmpty() && !lines.back().amount && lines.back().kind == RowKind::Item && !lines.back().heading)
        lines.removeLast();
    m_pages = paginateSheet(lines, kRows, kMoreRows, closingRows());
}

void rpt見積書::draw(QPainter &p, const SheetPlacement &place) const { drawPage(p, 0, place); }

void rpt見積書::drawPage(QPainter &p, int page, const SheetPlacement &place) const
{
    const QPaintDevice *d = p.device();
    p.save();
    p.translate(place.offset.x() * d->logicalDpiX() / 72.0, place.offset.y() * d->logicalDpiY() / 72.0);
    p.scale(place.scale * d->logicalDpiX() / kTwipsPerInch, place.scale * d->logicalDpiY() / kTwipsPerInch);
    p.translate(kMarginLeft, kMarginTop);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setPen(QPen(Qt::black, 10)); // half a point
    if (page == 0) {
        drawHeader(p);
        drawBand(p);
        drawTable(p, kHeadingTop + shift());
    } else {
        drawContinuation(p);
    }
    drawRows(p, page);
    if (page == 0) {
        drawSeal(p);
        drawReceiptBox(p);
    }
    if (pageCount() > 1)
        drawPageNumber(p, page);
    drawArchiveCode(p);
    p.restore();
}

double rpt見積書::rowsTop(int page) const { return page == 0 ? kHeaderHeight + shift() : kMoreRowsTop; }

// The first page keeps its ruled rows, filled or not; a page after it holds its lines only.
void rpt見積書::drawRows(QPainter &p, int page) const
{
    const SheetPage &pg = m_pages[page];
    double top = rowsTop(page);
    if (pg.heading >= 0) {
        drawRow(p, top, &m_record.lines[pg.heading], true);
        top += kRowHeight;
    }
    const int rows = page == 0 ? kRows : pg.count;
    for (int row = 0; row < rows; ++row, top += kRowHeight)
        drawRow(p, top, row < pg.count ? &m_record.lines[pg.first + row] : nullptr);
    if (page == pageCount() - 1 && pageCount() > 1)
        drawClosing(p, top + kClosingGap);
}

void rpt見積書::drawArchiveCode(QPainter &p) const
{
    if (m_record.archiveCode.isEmpty())
        return;
    drawFitted(p, QRectF(kTableLeft, 15800, kTableRight - kTableLeft, 200),
               QStringLiteral("控え照合 ") + m_record.archiveCode, sheetFont(Face::Gothic, 6), R, false);
}

void rpt見積書::drawHeader(QPainter &p) const
{
    const double below = shift();
    for (const Rule &r : kHeaderRules) {
        const double dy = r.y1 >= kBandTop ? below : 0;
        p.drawLine(QPointF(r.x1, r.y1 + dy), QPointF(r.x2, r.y2 + dy));
    }
    p.drawRect(kShape1);
    for (const HeaderText &t : kHeader) {
        QRectF rect(t.left, t.top + (t.top >= kBandTop ? below : 0), t.width, t.height);
        if (t.align & Qt::AlignRight)
            rect.setRight(rect.right() - kPad);
        drawFitted(p, rect, t.value(m_record), sheetFont(t.face, t.points, t.bold), t.align, t.wrap);
    }
    if (m_record.printNumber && !m_record.number.trimmed().isEmpty())
        drawFitted(p, kNumberRect, QStringLiteral("No. ") + m_record.number.trimmed(), sheetFont(Face::PMincho, 10), R,
                   false);
}

// Under the totals box: one line per rate and the exempt amounts; beside it the marks' legend.
void rpt見積書::drawBand(QPainter &p) const
{
    const QFont font = sheetFont(Face::PMincho, 9);
    for (int i = 0; i < m_summary.size(); ++i)
        drawFitted(p, QRectF(kShape1.left(), kBandTop + i * kBandLine, 5380, kBandLine), m_summary[i], font, L, false);
    const QStringList right = bandRight();
    for (int i = 0; i < right.size(); ++i)
        drawFitted(p, QRectF(5740, kBandTop + i * kBandLine, 4820, kBandLine), right[i], font, R, false);
}

QStringList rpt見積書::bandRight() const
{
    bool reduced = false, exempt = false;
    for (const PrintLine &l : m_record.lines) {
        reduced = reduced || (l.reduced && !l.exempt);
        exempt = exempt || l.exempt;
    }
    QStringList legend, out;
    if (reduced)
        legend << QStringLiteral("※は軽減税率対象");
    if (exempt)
        legend << QStringLiteral("非は非課税");
    if (!legend.isEmpty())
        out << legend.join(QStringLiteral("　"));
    if (m_record.kind == DocKind::Invoice && !m_record.note.isEmpty())
        out << m_record.note;
    return out;
}

// A delivery note's box for the receiver's seal, and a paper receipt's for its revenue stamp,
// beside the totals.
void rpt見積書::drawReceiptBox(QPainter &p) const
{
    const std::optional<Money> stamp = sheetkinds::stampDue(m_record);
    if (m_record.kind != DocKind::Delivery && !stamp)
        return;
    const QRectF box(5060, 2400, 840, 710); // under the amount's rule, beside the totals
    p.drawRect(box);
    const QFont font = sheetFont(Face::PMincho, 8);
    if (!stamp) {
        p.drawLine(QPointF(box.left(), box.top() + 230), QPointF(box.right(), box.top() + 230));
        drawFitted(p, QRectF(box.left(), box.top(), box.width(), 230), QStringLiteral("受領印"), font, C, false);
        return;
    }
    drawFitted(p, QRectF(box.left(), box.top() + 120, box.width(), 230), QStringLiteral("収入印紙"), font, C, false);
    drawFitted(p, QRectF(box.left(), box.top() + 360, box.width(), 230), QStringLiteral("¥") + stamp->toGroupedString(), font,
               C, false);
}

// The headings boxed, with a rule on top of the table.
void rpt見積書::drawColumnCaptions(QPainter &p, double dy) const
{
    for (const HeaderText &t : kHeader)
        if (t.top == kHeadingTop)
            drawFitted(p, QRectF(t.left, t.top + dy, t.width, t.height), t.value(m_record), sheetFont(t.face, t.points, t.bold),
                       t.align, t.wrap);
}

void rpt見積書::drawTable(QPainter &p, double top) const
{
    const double bottom = top + (kHeaderHeight - kHeadingTop);
    p.drawLine(QPointF(kTableLeft, top), QPointF(kTableRight, top));
    p.drawLine(QPointF(kTableLeft, bottom), QPointF(kTableRight, bottom));
    for (double x : kRowVerticals)
        p.drawLine(QPointF(x, top), QPointF(x, bottom));
}

void rpt見積書::drawRow(QPainter &p, double top, const PrintLine *line, bool continued) const
{
    for (double x : kRowVerticals)
        p.drawLine(QPointF(x, top), QPointF(x, top + 336));
    p.drawLine(QPointF(kTableLeft, top + 335), QPointF(kTableRight, top + 335));
    if (!line)
        return; // an empty row is still a ruled row of the table
    const QFont font = sheetFont(Face::PMincho, 10);
    if (line->heading || line->kind == RowKind::Note) {
        const QString text = continued ? line->name + QStringLiteral("（続き）") : line->name;
        drawFitted(p, QRectF(kRow[0].left + kPad, top + kRowTextTop, kTableRight - kRow[0].left - 2 * kPad, kRowTextHeight),
                   text, sheetFont(Face::PMincho, 10, line->heading), L, false);
        return;
    }
    const bool subtotal = line->kind == RowKind::Subtotal;
    for (int c = 0; c < int(std::size(kRow)); ++c) {
        QRectF rect(kRow[c].left, top + kRowTextTop, kRow[c].width, kRowTextHeight);
        if (kRow[c].align & Qt::AlignRight)
            rect.setRight(rect.right() - kPad);
        else if (kRow[c].align & Qt::AlignLeft)
            rect.setLeft(rect.left() + kPad);
        if (c == 0)
            rect.setRight(rect.right() - kMarkWidth);
        QString text = rowValue(*line, c);
        if (subtotal && c == 0 && text.isEmpty())
            text = QStringLiteral("小計");
        drawFitted(p, rect, text, subtotal ? sheetFont(Face::PMincho, 10, true) : font,
                   subtotal && c == 0 ? R : kRow[c].align, false);
    }
    if (const QString m = mark(*line); !m.isEmpty())
        drawFitted(p, QRectF(kRow[0].left + kRow[0].width - kMarkWidth, top + kRowTextTop, kMarkWidth, kRowTextHeight), m,
                   font, C, false);
}

// Over the right end of the company block, at its real size.
void rpt見積書::drawSeal(QPainter &p) const
{
    if (m_record.seal.isEmpty())
        return;
    QImage image;
    if (!image.loadFromData(m_record.seal, "PNG"))
        return;
    const QSizeF size = sealTwips(m_record.seal, image);
    p.drawImage(QRectF(QPointF(10560 - size.width(), 1250), size), image);
}

QStringList rpt見積書::unprintable() const
{
    const PrintRecord &r = m_record;
    QStringList texts{r.customerName, r.customerInfo, r.companyName, companyDetails(r), r.subject, r.deliveryDate,
                      r.validity,     r.paymentTerms, r.deliveryPlace, r.honorific, r.bank, r.note, r.sources};
    for (const PrintLine &l : r.lines)
        texts << l.name << l.unit;
    return unprintableCharacters(texts, sheetFont(Face::PMincho, 10));
}

QString rpt見積書::print(QPrinter &printer, bool *scaled) const
{
    printer.setFullPage(true);
    if (printer.pageLayout().pageSize().id() != QPageSize::A4)
        printer.setPageSize(QPageSize(QPageSize::A4)); // a printer that cannot take A4 keeps its paper
    const SheetPlacement place = placeSheet(printer.pageLayout());
    if (scaled)
        *scaled = place.scale < 1.0 || printer.pageLayout().pageSize().id() != QPageSize::A4;
    QPainter p;
    if (!p.begin(&printer))
        return QStringLiteral("印刷を開始できません。プリンターの設定を確認してください。");
    for (int page = 0; page < pageCount(); ++page)
        if (page > 0 && !printer.newPage()) {
            p.end();
            return QStringLiteral("印刷できませんでした。プリンターの状態を確認してください。");
        } else {
            drawPage(p, page, place);
        }
    if (!p.end() || printer.printerState() == QPrinter::Error)
        return QStringLiteral("印刷できませんでした。プリンターの状態を確認してください。");
    return {};
}

QByteArray rpt見積書::pdf() const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(600);
        pdf.setTitle(QStringLiteral("お見積書"));
        pdf.setCreator(QStringLiteral("QuoteDesk"));
        QPainter p;
        if (!p.begin(&pdf))
            return {};
        for (int page = 0; page < pageCount(); ++page) {
            if (page > 0 && !pdf.newPage())
                return {};
            drawPage(p, page);
        }
        if (!p.end())
            return {};
    }
    return bytes;
}

DbResult rpt見積書::writePdf(const QString &path) const
{
    const QByteArray bytes = pdf();
    if (bytes.isEmpty())
        return DbResult::failure(QStringLiteral("PDF could not be drawn"), 0, path);
    return writeWholeFile(path, bytes);
}
