#pragma once
// Asking for a file to write or read. Replaceable so tests answer without a human.

#include <QString>
#include <functional>

class QWidget;

enum class FileDialog { Save, Open, OpenImage, Folder };

// suggested: a file name, offered in the user's documents folder. Empty when cancelled.
QString chooseFile(QWidget *parent, FileDialog kind, const QString &title, const QString &suggested);

using FileChooser = std::function<QString(QWidget *, FileDialog, const QString &title, const QString &suggested)>;
FileChooser setFileChooser(FileChooser chooser);

// The desktop's documents folder, created when missing; the home folder when there is none.
// Files the program writes for the user go here, never into the program's own folder.
QString documentsFolder();

// Says where a file went ("保存完了"); its button opens the folder.
void announceSaved(const QString &what, const QString &path);
// Opens a folder in the desktop's file manager. Replaceable for tests.
using FolderOpener = std::function<void(const QString &folder)>;
FolderOpener setFolderOpener(FolderOpener opener);
