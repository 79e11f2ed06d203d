#include "print/SheetText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>

QString dropLastGrapheme(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    const int last = finder.toPreviousBoundary();
    return last <= 0 ? QString() : text.left(last);
}

namespace {

// The flags under which text fits rect at the font's size, or nothing.
std::optional<int> fitting(const QFont &font, const QRectF &rect, const QString &text, int flags, bool wrap)
{
    const QFontMetricsF fm(font);
    QList<int> tries{flags};
    if (wrap)
        tries << (flags | Qt::TextWordWrap) << (flags | Qt::TextWrapAnywhere); // a long word breaks anywhere
    for (int f : tries) {
        const QRectF need = fm.boundingRect(rect, f, text);
        if (need.width() <= rect.width() + 0.5 && need.height() <= rect.height() + 0.5)
            return f;
    }
    return std::nullopt;
}

// At the smallest size, what still does not fit loses its end, marked with "…", on whole characters.
// (No clipping: a preview's picture engine does not restore the clip reliably.)
QString cutToFit(const QFont &font, const QRectF &rect, int flags, const QString &text)
{
    const QFontMetricsF fm(font);
    QString shown = text;
    auto fits = [&](const QString &t) {
        const QRectF need = fm.boundingRect(rect, flags, t);
        return need.width() <= rect.width() + 0.5 && need.height() <= rect.height() + 0.5;
    };
    while (!shown.isEmpty() && !fits(shown + QStringLiteral("…")))
        shown = dropLastGrapheme(shown);
    return shown + QStringLiteral("…");
}

} // namespace

void drawFitted(QPainter &p, const QRectF &rect, const QString &text, QFont font, int flags, bool wrap)
{
    if (text.isEmpty())
        return;
    std::optional<int> fit;
    for (;;) {
        if ((fit = fitting(font, rect, text, flags, wrap)) || font.pixelSize() <= kMinTextPixel)
            break;
        font.setPixelSize(std::max(kMinTextPixel, font.pixelSize() * 9 / 10));
    }
    p.save();
    p.setFont(font);
    if (fit)
        p.drawText(rect, *fit, text);
    else {
        const int f = wrap ? flags | Qt::TextWrapAnywhere : flags;
        p.drawText(rect, f, cutToFit(font, rect, f, text));
    }
    p.restore();
}

QStringList unprintableCharacters(const QStringList &texts, const QFont &font)
{
    const QFontMetricsF fm(font); // with the fonts Qt falls back on
    QStringList missing;
    for (const QString &text : texts) {
        for (const char32_t c : text.toUcs4()) {
            if (c < 0x20 || QChar::isSpace(c) || (c >= 0xFE00 && c <= 0xFE0F) || c == 0x200D)
                continue; // line breaks and joiners draw nothing themselves
            if (!fm.inFontUcs4(c)) {
                const QString ch = QString::fromUcs4(&c, 1);
                if (!missing.contains(ch))
                    missing << ch;
            }
        }
    }
    return missing;
}
