#include "masters/BackupPanel.h"
#include "masters/SettingsStore.h"
#include "store/Backups.h"
#include "store/Engine.h"
#include "ui/BackgroundRun.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

BackupPanel::BackupPanel(QuoteDeskContext &ctx, QWidget *parent)
    : QGroupBox(QStringLiteral("控え（バックアップ）"), parent), m_ctx(ctx), m_list(new QTableWidget(0, 3, this)),
      m_keep(new QSpinBox(this)), m_now(new QPushButton(QStringLiteral("今すぐバックアップ"), this))
{
    setObjectName(QStringLiteral("grp控え"));
    m_list->setObjectName(QStringLiteral("lstバックアップ"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("作成日時"), QStringLiteral("大きさ"), QStringLiteral("確認")});
    m_list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->verticalHeader()->hide();
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setMaximumHeight(120);
    m_keep->setObjectName(QStringLiteral("num控え保持数"));
    m_keep->setRange(1, 999);
    m_keep->setSuffix(QStringLiteral(" 個"));
    m_now->setObjectName(QStringLiteral("cmdバックアップ"));
    m_now->setToolTip(QStringLiteral("データの控えを backup フォルダーに作り、読み直して確かめます"));
    auto *row = new QHBoxLayout;
    row->addWidget(m_now);
    row->addSpacing(16);
    row->addWidget(new QLabel(QStringLiteral("残す控えの数"), this));
    row->addWidget(m_keep);
    row->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_list);
    int kept = SettingsStore::kKeptBackups;
    if (m_ctx.main.isOpen())
        SettingsStore(m_ctx.main).readKeptBackups(kept);
    m_keep->setValue(kept);
    connect(m_keep, &QSpinBox::editingFinished, this, &BackupPanel::keepChanged);
    connect(m_now, &QPushButton::clicked, this, &BackupPanel::backupNow);
    refresh();
}

QString BackupPanel::folder() const { return QDir(m_ctx.dataFolder).filePath(QStringLiteral("backup")); }

void BackupPanel::refresh()
{
    const bool shared = m_ctx.main.isOpen() && engineOf(m_ctx.main).shared();
    m_list->setVisible(!shared); // a server keeps its copies as schemas of its own
    const QVector<BackupCopy> copies = shared ? QVector<BackupCopy>() : listBackups(folder());
    m_list->setRowCount(copies.size());
    for (int i = 0; i < copies.size(); ++i) {
        const QString cells[] = {copies[i].at.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")),
                                 QStringLiteral("%1 MB").arg(copies[i].bytes / 1048576.0, 0, 'f', 1),
                                 copies[i].checked ? QStringLiteral("確認済み") : QStringLiteral("未確認")};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setToolTip(QDir::toNativeSeparators(copies[i].path));
            m_list->setItem(i, c, item);
        }
    }
}

void BackupPanel::keepChanged()
{
    if (reportFailure(SettingsStore(m_ctx.main).writeKeptBackups(m_keep->value()), QStringLiteral("残す控えの数を登録")))
        pruneOld();
}

DbResult BackupPanel::makeCopy(QString *written)
{
    const StoreEngine &engine = engineOf(m_ctx.main);
    DbResult r;
    if (engine.shared()) {
        r = engine.backupBeforeWipe(m_ctx.main, folder(), QDateTime::currentDateTime(), written);
    } else {
        BackupJob job(m_ctx.permPath, folder(), backupStem(QDateTime::currentDateTime()));
        r = runInBackground(
            window(), QStringLiteral("データの控えを作成しています"), [&] { return job.run(); },
            [&]() -> BackgroundProgress {
                if (job.filesTotal() > 0)
                    return {job.filesDone(), job.filesTotal(),
                            QStringLiteral("控えのファイル %1 / %2").arg(job.filesDone()).arg(job.filesTotal())};
                return {job.done(), job.total(), megabytes(job.done(), job.total())};
            },
            [&] { job.cancel(); });
        if (r && written)
            *written = job.written();
    }
    if (r)
        pruneOld();
    refresh();
    return r;
}

bool BackupPanel::backupNow()
{
    QString written;
    if (!reportFailure(makeCopy(&written), QStringLiteral("データの控えを作成")))
        return false;
    if (engineOf(m_ctx.main).shared())
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), QStringLiteral("サーバーに控え「%1」を作成しました。").arg(written));
    else
        announceSaved(QStringLiteral("データの控えを作成し、読み直して確かめました。"), written);
    return true;
}

void BackupPanel::pruneOld()
{
    if (engineOf(m_ctx.main).shared())
        return;
    const QVector<BackupCopy> copies = listBackups(folder());
    const int keep = m_keep->value();
    if (copies.size() <= keep)
        return;
    QStringList names;
    for (int i = keep; i < copies.size(); ++i)
        names << QFileInfo(copies[i].path).fileName();
    if (!Msg(QStringLiteral("その他"), QStringLiteral("控え削除確認"),
             QStringLiteral("控えは新しいものから %1 個を残します。古い控え %2 個（%3）")
                 .arg(keep)
                 .arg(names.size())
                 .arg(names.join(QStringLiteral("、")))))
        return;
    for (int i = keep; i < copies.size(); ++i)
        removeBackup(copies[i].path);
    refresh();
}
