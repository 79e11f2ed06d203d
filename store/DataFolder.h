#pragma once
#include <QString>

namespace datafolder {

// The developer marker of the original Windows installation, and the folder it selects.
inline const QString kMarkerFile = QStringLiteral("c:\\rarevuzuva.txt");
inline const QString kDeveloperFolder = QStringLiteral("c:\\develop4\\QuoteDesk\\data\\");

// Pure rule: the developer folder when the marker exists, else the program folder + "data/".
QString choose(const QString &programFolder, bool markerPresent);
// Whether the marker exists on this machine; a Windows drive path never exists on Linux.
bool markerPresent();

} // namespace datafolder
