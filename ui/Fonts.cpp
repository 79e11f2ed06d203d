#include "ui/Fonts.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QThread>

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
}

static QThread *g_warm = nullptr;

// Every way out of the program passes here, also a start that ends before its window.
static void joinWarm()
{
    if (g_warm) {
        g_warm->wait();
        delete g_warm;
        g_warm = nullptr;
    }
}

void warmFontsInBackground()
{
    installFontSubstitutions();
    if (g_warm)
        return;
    // QFontDatabase is thread-safe; its list and its fallback families are shared by all threads.
    g_warm = QThread::create([] {
        QFontDatabase::families();
        const QFontMetrics fm(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
        fm.horizontalAdvance(QStringLiteral("見積書 あア Aa1 ※")); // Han, Hiragana, Katakana, Latin, symbols
    });
    qAddPostRoutine(joinWarm);
    g_warm->start();
}
