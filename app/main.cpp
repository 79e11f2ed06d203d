#include "app/Startup.h"
#include "app/SingleInstance.h"
#include "store/DataFolder.h"
#include "ui/Language.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The window's place is kept in ~/.config/QuoteDesk/QuoteDesk.conf.
    QApplication::setOrganizationName(QStringLiteral("QuoteDesk"));
    QApplication::setApplicationName(QStringLiteral("QuoteDesk"));
    installJapanese();
    const QString folder =
        datafolder::choose(QCoreApplication::applicationDirPath(), datafolder::markerPresent());
    SingleInstance instance(folder);
    if (!instance.claim())
        return instance.failure().isEmpty() ? startRefused(folder, instance.reachedHolder())
                                            : lockRefused(instance.failure());
    return runQuoteDesk(folder, &instance);
}
