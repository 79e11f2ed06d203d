#include "store/DataFolder.h"

#include <QDir>
#include <QFileInfo>

namespace datafolder {

QString choose(const QString &programFolder, bool markerPresent)
{
    if (markerPresent)
        return QString(kDeveloperFolder).replace('\\', '/');
    QString folder = QDir::fromNativeSeparators(programFolder);
    while (folder.endsWith('/') && folder.size() > 1)
        folder.chop(1);
    return folder + "/data/";
}

bool markerPresent()
{
#ifdef Q_OS_WIN
    return QFileInfo::exists(kMarkerFile);
#else
    return false;
#endif
}

} // namespace datafolder
