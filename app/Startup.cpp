#include "app/Startup.h"

#include "app/FrmQuoteDesk.h"
#include "app/SingleInstance.h"
#include "ui/Fonts.h"
#include "ui/MessageCatalogue.h"

#include <QApplication>

int runQuoteDesk(const QString &dataFolder, SingleInstance *instance)
{
    installFontSubstitutions();
    FrmQuoteDesk window(dataFolder);
    if (!window.isLoaded()) {
        Msg(QStringLiteral("その他"), QStringLiteral("注意"), window.loadError());
        return 1;
    }
    window.setWindowState(Qt::WindowNoState);
    window.show();
    if (instance) {
        QObject::connect(instance, &SingleInstance::activationRequested, &window, &FrmQuoteDesk::bringToFront);
        instance->listen();
    }
    return QApplication::exec();
}
