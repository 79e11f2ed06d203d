#pragma once
// Text on the sheet: fitting it into its field, cutting it only on whole characters as a
// reader sees them, and finding characters no font can draw.

#include <QFont>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

// Sizes are twips: 20 to a point. Nothing is drawn smaller than this.
constexpr int kMinTextPixel = 140; // 7 pt

// text without its last grapheme cluster ("ﾊﾟ" and "👍🏽" are one each).
QString dropLastGrapheme(const QString &text);

// Draws text inside rect, never beyond it: at its own size on one line; else wrapped over the
// lines the field has room for (when wrap); else a little smaller, down to 7 pt; and only then
// cut with "…".
void drawFitted(QPainter &p, const QRectF &rect, const QString &text, QFont font, int flags, bool wrap);

// The characters of texts that no font on this computer can draw, each once, in order.
QStringList unprintableCharacters(const QStringList &texts, const QFont &font);
