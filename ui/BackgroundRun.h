#pragma once
// Long work off the window's thread: the window stays drawn, a busy cursor shows at once and,
// past a moment, a progress dialog with what is done and キャンセル.

#include "store/Db.h"

#include <QString>
#include <functional>

class QWidget;

struct BackgroundProgress {
    qint64 done = 0, total = 0; // total 0: unknown
    QString text;               // what is happening, with the figures
};

// Runs work on a thread of its own and returns its result; the events of the window go on
// meanwhile (its own input blocked by the dialog). cancel is called from the window's thread.
DbResult runInBackground(QWidget *parent, const QString &title, const std::function<DbResult()> &work,
                         const std::function<BackgroundProgress()> &progress, const std::function<void()> &cancel);

// "12.3 MB / 40.0 MB"
QString megabytes(qint64 done, qint64 total);
