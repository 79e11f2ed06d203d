#pragma once
// 控え（バックアップ） on the settings tab: the copies of the data with their date, size and
// whether they were checked; 今すぐバックアップ; how many are kept. Every copy is made off the
// window's thread, with its progress.

#include "store/Context.h"

#include <QGroupBox>

class QPushButton;
class QSpinBox;
class QTableWidget;

class BackupPanel : public QGroupBox {
    Q_OBJECT
public:
    BackupPanel(QuoteDeskContext &ctx, QWidget *parent = nullptr);

    // A checked copy of the permanent data now (a dated schema on a server); then, past the
    // number kept, the oldest copies go after a question. *written names the copy.
    DbResult makeCopy(QString *written = nullptr);
    // 今すぐバックアップ: the copy, and what came of it said.
    bool backupNow();
    void refresh();
    QString folder() const;

private:
    void pruneOld();
    void keepChanged();
    QuoteDeskContext &m_ctx;
    QTableWidget *m_list;
    QSpinBox *m_keep;
    QPushButton *m_now;
};
