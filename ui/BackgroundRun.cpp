#include "ui/BackgroundRun.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

QString megabytes(qint64 done, qint64 total)
{
    return QStringLiteral("%1 MB / %2 MB").arg(done / 1048576.0, 0, 'f', 1).arg(total / 1048576.0, 0, 'f', 1);
}

DbResult runInBackground(QWidget *parent, const QString &title, const std::function<DbResult()> &work,
                         const std::function<BackgroundProgress()> &progress, const std::function<void()> &cancel)
{
    DbResult result;
    QThread *thread = QThread::create([&] { result = work(); });
    QProgressDialog dialog(title, QStringLiteral("キャンセル"), 0, 1000, parent);
    dialog.setWindowTitle(title);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(1000);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setValue(0);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
        dialog.setLabelText(QStringLiteral("取り消しています…"));
        cancel();
    });
    QEventLoop loop;
    // Queued: a thread that ends before the loop runs still ends it.
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, &dialog, [&] {
        const BackgroundProgress p = progress();
        if (!dialog.wasCanceled() && !p.text.isEmpty())
            dialog.setLabelText(title + QStringLiteral("\n") + p.text);
        dialog.setValue(p.total > 0 ? int(std::min<qint64>(999, p.done * 1000 / p.total)) : 0);
    });
    QApplication::setOverrideCursor(Qt::BusyCursor);
    thread->start();
    timer.start();
    loop.exec();
    thread->wait();
    delete thread;
    QApplication::restoreOverrideCursor();
    return result;
}
