#pragma once
#include <QString>

class SingleInstance;

// What every start does before anything else: the program's name (its settings file), Japanese
// for Qt's own dialogs and for dates.
void prepareApplication();

// Opens the data files in dataFolder and runs the main window until it closes.
// A file that cannot be opened is reported and gives exit code 1; nothing is created.
int runQuoteDesk(const QString &dataFolder, SingleInstance *instance = nullptr);

// A second start on data already in use: the running window was asked to come forward; when
// it could not be reached (another user's), says so. Returns the exit code.
int startRefused(const QString &dataFolder, bool reachedHolder);

// The lock of the data folder could not be taken: says why (text), exit code 1.
int lockRefused(const QString &text);
