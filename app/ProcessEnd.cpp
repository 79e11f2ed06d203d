#include "app/ProcessEnd.h"

#include <QCoreApplication>

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
