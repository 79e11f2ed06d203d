#pragma once
// A seal's size on paper, from the resolution its PNG states; 21 mm wide when it states none,
// or one no stamp has (below 72 or above 1,200 dots an inch: a 1-dot-a-metre seal filled the page).

#include <QByteArray>
#include <QSize>
#include <QSizeF>

struct SealSize {
    QSizeF millimetres;
    bool stated = false; // from the file's own resolution
};

SealSize sealSize(const QByteArray &png, const QSize &pixels);
