#pragma once
#include <functional>

class QWidget;

// Ends the program with exit code 0. Replaceable so tests can run the close sequence.
void EndOwnProcess(QWidget *mainWindow);
std::function<void(QWidget *)> setEndOwnProcessHook(std::function<void(QWidget *)> hook);
