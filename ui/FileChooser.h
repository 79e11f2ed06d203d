#pragma once
// Asking for a file to write or read. Replaceable so tests answer without a human.

#include <QString>
#include <functional>

class QWidget;

enum class FileDialog { Save, Open };

// suggested: a file name, offered in the user's documents folder. Empty when cancelled.
QString chooseFile(QWidget *parent, FileDialog kind, const QString &title, const QString &suggested);

using FileChooser = std::function<QString(QWidget *, FileDialog, const QString &title, const QString &suggested)>;
FileChooser setFileChooser(FileChooser chooser);
