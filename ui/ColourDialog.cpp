#include "ui/ColourDialog.h"
#include "ui/Boxes.h"

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
