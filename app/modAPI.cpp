#include "app/modAPI.h"
#include "app/Widgets.h"

#include <QApplication>
#include <QColorDialog>

int ChooseLineColour(QWidget *owner, int initialColour)
{
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, Qt::white);
    QColorDialog dialog(colourFromValue(initialColour), owner);
    dialog.setObjectName(QStringLiteral("ChooseLineColour"));
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return int(valueFromColour(dialog.selectedColor()));
}

static std::function<void(QWidget *)> &endHook()
{
    static std::function<void(QWidget *)> hook = [](QWidget *) { QCoreApplication::exit(0); };
    return hook;
}

void EndOwnProcess(QWidget *mainWindow)
{
    if (!mainWindow)
        return;
    endHook()(mainWindow);
}

std::function<void(QWidget *)> setEndOwnProcessHook(std::function<void(QWidget *)> hook)
{
    auto old = endHook();
    endHook() = std::move(hook);
    return old;
}
