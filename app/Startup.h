#pragma once
#include <QString>

class SingleInstance;

// Opens the data files in dataFolder and runs the main window until it closes.
// A file that cannot be opened is reported and gives exit code 1; nothing is created.
int runQuoteDesk(const QString &dataFolder, SingleInstance *instance = nullptr);
