#include "ui/FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

static FileChooser &chooser()
{
    static FileChooser c = [](QWidget *parent, FileDialog kind, const QString &title, const QString &suggested) {
        QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (docs.isEmpty())
            docs = QDir::homePath();
        const QString start = QDir(docs).filePath(suggested);
        const QString filter = QStringLiteral("CSV (*.csv);;すべてのファイル (*)");
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
