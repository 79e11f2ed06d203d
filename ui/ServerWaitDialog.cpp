#include "ui/ServerWaitDialog.h"
#include "store/Db.h"

#include <QApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>

void installServerWaitDialog()
{
    Db::setWaitTicker([](qint64 waitedMs, bool done) -> bool {
        static QPointer<QProgressDialog> dialog;
        if (QThread::currentThread() != qApp->thread())
            return true;
        if (done) {
            delete dialog;
            return true;
        }
        if (waitedMs < 1000) { // drawn, but nothing the user does starts anything meanwhile
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        }
        if (!dialog) {
            dialog = new QProgressDialog(QString(), QStringLiteral("キャンセル"), 0, 0, QApplication::activeWindow());
            dialog->setObjectName(QStringLiteral("dlgサーバー待ち"));
            dialog->setWindowTitle(QStringLiteral("サーバー"));
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setMinimumDuration(0);
            dialog->show();
        }
        dialog->setLabelText(QStringLiteral("サーバーの応答を待っています（%1 秒）。\nキャンセルすると、この操作は取りやめになります。")
                                 .arg(waitedMs / 1000));
        QCoreApplication::processEvents();
        return !dialog->wasCanceled();
    });
}
