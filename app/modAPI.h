#pragma once
#include <QWidget>
#include <functional>

// Colour dialog owned by owner, sixteen white custom colours. Returns red + 256 * green +
// 65536 * blue, or -1 when cancelled.
int ChooseLineColour(QWidget *owner, int initialColour);

// Ends the program with exit code 0. Replaceable so tests can run the close sequence.
void EndOwnProcess(QWidget *mainWindow);
std::function<void(QWidget *)> setEndOwnProcessHook(std::function<void(QWidget *)> hook);
