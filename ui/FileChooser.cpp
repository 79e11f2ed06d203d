#include "ui/FileChooser.h"

#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

static Replaceable<QString(QWidget *, FileDialog, const QString &, const QString &)> g_fileChooser(
    [](QWidget *parent, FileDialog kind, const QString &title, const QString &suggested) {
        const QString docs = documentsFolder();
        if (kind == FileDialog::Folder)
            return QFileDialog::getExistingDirectory(parent, title, docs);
        const QString start = QDir(docs).filePath(suggested);
        const QString filter = kind == FileDialog::OpenImage ? QStringLiteral("PNG (*.png);;すべてのファイル (*)")
                                                             : QStringLiteral("CSV (*.csv);;すべてのファイル (*)");
        return kind == FileDialog::Save ? QFileDialog::getSaveFileName(parent, title, start, filter)
                                        : QFileDialog::getOpenFileName(parent, title, docs, filter);
    });

QString chooseFile(QWidget *parent, FileDialog kind, const QString &title, const QString &suggested)
{
    return g_fileChooser(parent, kind, title, suggested);
}

FileChooser setFileChooser(FileChooser c) { return g_fileChooser.replace(std::move(c)); }

QString documentsFolder()
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty() || !QDir().mkpath(docs))
        docs = QDir::homePath();
    return docs;
}

static Replaceable<void(const QString &)> g_folderOpener(
    [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });

FolderOpener setFolderOpener(FolderOpener opener) { return g_folderOpener.replace(std::move(opener)); }

void announceSaved(const QString &what, const QString &path)
{
    if (Msg(QStringLiteral("その他"), QStringLiteral("保存完了"), what + QStringLiteral("\n") + QDir::toNativeSeparators(path)))
        g_folderOpener(QFileInfo(path).absolutePath());
}
