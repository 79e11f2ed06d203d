#include "ui/FileChooser.h"

#include "ui/MessageCatalogue.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

static FileChooser &chooser()
{
    static FileChooser c = [](QWidget *parent, FileDialog kind, const QString &title, const QString &suggested) {
        const QString docs = documentsFolder();
        if (kind == FileDialog::Folder)
            return QFileDialog::getExistingDirectory(parent, title, docs);
        const QString start = QDir(docs).filePath(suggested);
        const QString filter = kind == FileDialog::OpenImage ? QStringLiteral("PNG (*.png);;すべてのファイル (*)")
                                                             : QStringLiteral("CSV (*.csv);;すべてのファイル (*)");
        return kind == FileDialog::Save ? QFileDialog::getSaveFileName(parent, title, start, filter)
                                        : QFileDialog::getOpenFileName(parent, title, docs, filter);
    };
    return c;
}

QString chooseFile(QWidget *parent, FileDialog kind, const QString &title, const QString &suggested)
{
    return chooser()(parent, kind, title, suggested);
}

FileChooser setFileChooser(FileChooser c)
{
    FileChooser old = chooser();
    chooser() = std::move(c);
    return old;
}

QString documentsFolder()
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty() || !QDir().mkpath(docs))
        docs = QDir::homePath();
    return docs;
}

static FolderOpener &folderOpener()
{
    static FolderOpener o = [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    return o;
}

FolderOpener setFolderOpener(FolderOpener opener)
{
    FolderOpener old = folderOpener();
    folderOpener() = std::move(opener);
    return old;
}

void announceSaved(const QString &what, const QString &path)
{
    if (Msg(QStringLiteral("その他"), QStringLiteral("保存完了"), what + QStringLiteral("\n") + QDir::toNativeSeparators(path)))
        folderOpener()(QFileInfo(path).absolutePath());
}
