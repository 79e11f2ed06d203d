#include "app/Startup.h"
#include "app/SingleInstance.h"
#include "store/DataFolder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuoteDesk"));
    SingleInstance instance(SingleInstance::defaultRuntimeFolder());
    if (!instance.claim())
        return 0; // the running window has been brought forward
    const QString folder =
        datafolder::choose(QCoreApplication::applicationDirPath(), datafolder::markerPresent());
    return runQuoteDesk(folder, &instance);
}
