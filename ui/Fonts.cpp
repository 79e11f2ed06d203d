#include "ui/Fonts.h"

#include "store/Background.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
}

void warmFontsInBackground()
{
    installFontSubstitutions();
    // QFontDatabase is thread-safe; its list and its fallback families are shared by all threads.
    startInBackground("fonts", [] {
        QFontDatabase::families();
        const QFontMetrics fm(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
        fm.horizontalAdvance(QStringLiteral("見積書 あア Aa1 ※")); // Han, Hiragana, Katakana, Latin, symbols
    });
}
