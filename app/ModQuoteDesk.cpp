#include "app/ModQuoteDesk.h"

#include "app/DataGrid.h"
#include "app/FrmQuoteDesk.h"
#include "app/Msg.h"
#include "app/SingleInstance.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QInputMethod>

void SetImeOpen(QWidget *widget, int open)
{
    if (!widget)
        return;
    if (auto *grid = qobject_cast<DataGrid *>(widget)) {
        grid->setImeOpen(open != 0);
        return;
    }
    widget->setAttribute(Qt::WA_InputMethodEnabled, open != 0);
    if (widget->hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
}

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
