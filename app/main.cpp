#include "app/Startup.h"
#include "app/SingleInstance.h"
#include "store/DataFolder.h"
#include "ui/Language.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuoteDesk"));
    installJapanese();
    const QString folder =
        datafolder::choose(QCoreApplication::applicationDirPath(), datafolder::markerPresent());
    SingleInstance instance(folder);
    if (!instance.claim())
        return startRefused(folder, instance.reachedHolder());
    return runQuoteDesk(folder, &instance);
}
