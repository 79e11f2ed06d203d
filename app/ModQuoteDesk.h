#pragma once
#include <QString>

class QWidget;
class SingleInstance;

// Opens (1) or closes (0) the input method of a widget; for a grid also its open editor.
void SetImeOpen(QWidget *widget, int open);

// Maps the window's and sheet's font names onto the installed IPA families.
void installFontSubstitutions();

// Opens the data files in dataFolder and runs the main window until it closes.
// A file that cannot be opened is reported and gives exit code 1; nothing is created.
int runQuoteDesk(const QString &dataFolder, SingleInstance *instance = nullptr);
