// A sheet of several pages: how its lines fall on them, the head of a page that continues the
// table, and the totals that close the last one.

#include "print/EstimateSheet.h"
#include "print/SheetKinds.h"
#include "print/SheetLayout.h"
#include "print/SheetText.h"

#include <QPainter>
#include <cmath>

using namespace sheetlayout;

namespace {

constexpr double kCaptionHeight = 300, kBoxHeight = 354, kSummaryGap = 100;

// How many of the count lines from first a page takes, so that it does not end on a heading.
int withoutTrailingHeading(const QVector<PrintLine> &lines, int first, int count)
{
    int n = count;
    while (n > 1 && lines[first + n - 1].heading)
        --n;
    return n;
}

// The heading of the group that line index belongs to, when the group began before it.
int openHeading(const QVector<PrintLine> &lines, int index)
{
    if (index >= lines.size() || lines[index].heading)
        return -1;
    for (int i = index - 1; i >= 0; --i)
        if (lines[i].heading)
            return i;
    return -1;
}

} // namespace

QVector<SheetPage> paginateSheet(const QVector<PrintLine> &lines, int firstRows, int moreRows, int closingRows)
{
    const int n = int(lines.size());
    if (n <= firstRows)
        return {{0, n, -1}};
    QVector<SheetPage> pages{{0, withoutTrailingHeading(lines, 0, firstRows), -1}};
    int next = pages[0].count;
    while (next < n) {
        SheetPage page{next, 0, openHeading(lines, next)};
        const int room = moreRows - (page.heading >= 0 ? 1 : 0);
        const int left = n - next;
        if (left <= room - closingRows) {
            page.count = left; // the last page: its lines and the closing block
        } else {
            // Never all of what is left: the closing block must have a line above it.
            page.count = withoutTrailingHeading(lines, next, std::min(room, left - 1));
        }
        pages << page;
        next += page.count;
    }
    return pages;
}

int rpt見積書::closingRows() const
{
    const double lines = double(std::max<qsizetype>({1, m_summary.size(), bandRight().size()}));
    return int(std::ceil((kClosingGap + kCaptionHeight + kBoxHeight + kSummaryGap + lines * kBandLine) / kRowHeight));
}

void rpt見積書::drawContinuation(QPainter &p) const
{
    const PrintRecord &r = m_record;
    drawFitted(p, QRectF(5740, 0, 4820, 425), sheetkinds::title(r) + QStringLiteral("（続き）"),
               sheetFont(Face::Gothic, 14, true), R, false);
    const QString customer = r.customerName.trimmed().isEmpty() ? QString() : r.customerName + QStringLiteral(" ") + r.honorific;
    drawFitted(p, QRectF(285, 0, 5300, 425), customer, sheetFont(Face::PMincho, 12), L, false);
    p.drawLine(QPointF(0, 420), QPointF(10530, 420));
    QStringList right;
    if (r.printNumber && !r.number.trimmed().isEmpty())
        right << QStringLiteral("No. ") + r.number.trimmed();
    if (!r.date.isEmpty())
        right << sheetkinds::dateCaption(r) + QStringLiteral(" ") + r.date;
    drawFitted(p, QRectF(5740, 460, 4820, 283), right.join(QStringLiteral("　")), sheetFont(Face::PMincho, 10), R, false);
    drawTable(p, kMoreHeadingTop);
    drawColumnCaptions(p, kMoreHeadingTop - kHeadingTop);
}

// The totals box as the first page has it, then the rates' lines and, beside them, the remarks.
void rpt見積書::drawClosing(QPainter &p, double top) const
{
    const PrintRecord &r = m_record;
    const double left = 213, widths[] = {1707, 1427, 1653};
    const QString captions[] = {QStringLiteral("税抜計"), QStringLiteral("消費税"), QStringLiteral("合　計")};
    const std::optional<Money> values[] = {r.net, r.tax, r.grand};
    const QFont captionFont = sheetFont(Face::PMincho, 10), valueFont = sheetFont(Face::PMincho, 11);
    double x = left;
    const double boxTop = top + kCaptionHeight;
    for (int i = 0; i < 3; ++i) {
        drawFitted(p, QRectF(x, top, widths[i], kCaptionHeight), captions[i], captionFont, C, false);
        drawFitted(p, QRectF(x, boxTop, widths[i] - kPad, kBoxHeight), sheetNumber(values[i]), valueFont, R, false);
        if (i > 0)
            p.drawLine(QPointF(x, boxTop), QPointF(x, boxTop + kBoxHeight));
        x += widths[i];
    }
    p.drawRect(QRectF(left, boxTop, x - left, kBoxHeight));
    const double linesTop = boxTop + kBoxHeight + kSummaryGap;
    const QFont font = sheetFont(Face::PMincho, 9);
    for (int i = 0; i < m_summary.size(); ++i)
        drawFitted(p, QRectF(left, linesTop + i * kBandLine, 5380, kBandLine), m_summary[i], font, L, false);
    const QStringList remarks = bandRight();
    for (int i = 0; i < remarks.size(); ++i)
        drawFitted(p, QRectF(5740, linesTop + i * kBandLine, 4820, kBandLine), remarks[i], font, R, false);
}

void rpt見積書::drawPageNumber(QPainter &p, int page) const
{
    // Under the first page's table wherever the summary pushed it, beside the archive's code.
    const double top = page == 0 ? std::min(rowsTop(0) + kRows * kRowHeight + 60, 15800.0) : kPageNumberTop;
    drawFitted(p, QRectF(4000, top, 2600, 200),
               QStringLiteral("%1 / %2").arg(page + 1).arg(pageCount()), sheetFont(Face::PMincho, 8), C, false);
}
