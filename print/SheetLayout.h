#pragma once
// The sheet's measures, shared by its first page and the pages that continue it. Twips.

#include "ui/Fonts.h"

#include <QFont>
#include <QString>
#include <iterator>

namespace sheetlayout {

// Units are twips (1/1440 inch); 20 twips to a point.
inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kMarginLeft = 800, kMarginTop = 800; // right 0, bottom 100: 10,575 x 15,000 fits A4
inline constexpr double kHeaderHeight = 4800, kRowHeight = 340;
inline constexpr double kPad = 45;    // keeps right-aligned figures off the rules
// The summary band under the totals box; the fields below it move down by its height.
inline constexpr double kBandTop = 3150, kBandLine = 240;
// The marks' own place at the end of the name cell, outside the text that may be cut.
inline constexpr double kMarkWidth = 300;

enum class Face { Gothic, PGothic, PMincho };

inline QFont sheetFont(Face face, double points, bool bold = false)
{
    static const char *const names[] = {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ Ｐ明朝"};
    static const bool mapped = (installFontSubstitutions(), true); // the sheet never relies on its caller
    Q_UNUSED(mapped);
    QFont f(QString::fromUtf8(names[int(face)]));
    f.setPixelSize(int(points * 20));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting); // sizes are twips, not screen pixels
    return f;
}

inline constexpr int L = Qt::AlignLeft | Qt::AlignVCenter;
inline constexpr int R = Qt::AlignRight | Qt::AlignVCenter;
inline constexpr int C = Qt::AlignCenter;
inline constexpr int TopLeft = Qt::AlignLeft | Qt::AlignTop;

// Detail band, relative to the row's top.
struct RowText {
    const char *name;
    double left, width;
    int align;
};
inline constexpr double kRowTextTop = 30, kRowTextHeight = 290;
inline const RowText kRow[] = {
    {"txt品名", 75, 5490, L}, {"txt数量", 5670, 1170, R}, {"txt単位", 6840, 645, C},
    {"txt単価", 7470, 1530, R}, {"txt金額", 9000, 1530, R},
};
inline const double kRowVerticals[] = {71, 5670, 6840, 7490, 9030, 10560};
inline constexpr double kTableLeft = 71, kTableRight = 10560; // rules end at the border
inline constexpr double kHeadingTop = 4465;
// A page after the first: its column headings, then its rows; the closing block under the last row.
inline constexpr double kMoreHeadingTop = 800, kMoreRowsTop = kMoreHeadingTop + 354;
inline constexpr double kClosingGap = 200;
// The page number, under the table and above the archive's code.
inline constexpr double kPageNumberTop = 15420;


} // namespace sheetlayout
