#include "app/Startup.h"
#include "server/ServerEngine.h"

#include "app/FrmQuoteDesk.h"
#include "app/SingleInstance.h"
#include "store/Db.h"
#include "ui/Fonts.h"
#include "ui/Language.h"
#include "ui/MessageCatalogue.h"

#include <QApplication>
#include <QDir>

void prepareApplication()
{
    serverstore::install();
    // The window's place is kept in ~/.config/QuoteDesk/QuoteDesk.conf.
    QApplication::setOrganizationName(QStringLiteral("QuoteDesk"));
    QApplication::setApplicationName(QStringLiteral("QuoteDesk"));
    loadDriverInBackground();
    warmFontsInBackground();
    installJapanese();
}

int runQuoteDesk(const QString &dataFolder, SingleInstance *instance)
{
    installFontSubstitutions();
    installJapanese();
    FrmQuoteDesk window(dataFolder);
    if (!window.isLoaded()) {
        Msg(QStringLiteral("その他"), QStringLiteral("注意"), window.loadError());
        return 1;
    }
    window.offerSetupWhenShown();
    window.setWindowState(Qt::WindowNoState);
    window.show();
    if (instance)
        QObject::connect(instance, &SingleInstance::activationRequested, &window, &FrmQuoteDesk::bringToFront);
    return QApplication::exec();
}

int startRefused(const QString &dataFolder, bool reachedHolder)
{
    if (reachedHolder)
        return 0;
    Msg(QStringLiteral("その他"), QStringLiteral("注意"),
        QStringLiteral("QuoteDesk はこのデータフォルダーで既に起動しています（別のユーザーまたは別のログイン）。\n"
                       "そちらの QuoteDesk を終了してから起動してください。\n\n%1")
            .arg(QDir::toNativeSeparators(dataFolder)));
    return 0;
}

int lockRefused(const QString &text)
{
    Msg(QStringLiteral("その他"), QStringLiteral("注意"), text);
    return 1;
}
