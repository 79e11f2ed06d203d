#include "app/Startup.h"
#include "app/SingleInstance.h"
#include "store/DataFolder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication();
    const QString folder =
        datafolder::choose(QCoreApplication::applicationDirPath(), datafolder::markerPresent());
    SingleInstance instance(folder);
    if (!instance.claim())
        return instance.failure().isEmpty() ? startRefused(folder, instance.reachedHolder())
                                            : lockRefused(instance.failure());
    return runQuoteDesk(folder, &instance);
}
