#include "ui/InputMethod.h"
#include "ui/DataGrid.h"

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
