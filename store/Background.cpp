#include "store/Background.h"

#include <QCoreApplication>
#include <QThread>

#include <map>
#include <string>

static std::map<std::string, QThread *> &threads()
{
    static std::map<std::string, QThread *> started;
    return started;
}

static void joinAll()
{
    for (auto &[key, thread] : threads()) {
        thread->wait();
        delete thread;
        thread = nullptr;
    }
}

bool startInBackground(const char *key, std::function<void()> work)
{
    if (!QCoreApplication::instance() || threads().count(key))
        return false;
    if (threads().empty())
        qAddPostRoutine(joinAll);
    QThread *thread = QThread::create(std::move(work));
    threads()[key] = thread;
    thread->start();
    return true;
}
