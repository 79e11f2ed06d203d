#include "values/SealSize.h"

#include <algorithm>

SealSize sealSize(const QByteArray &png, const QSize &pixels)
{
    constexpr double kMinDpi = 72, kMaxDpi = 1200, kMmPerInch = 25.4, kDefaultWidth = 21;
    const int phys = png.indexOf("pHYs");
    if (phys >= 0 && phys + 13 <= png.size() && png[phys + 12] == 1) { // per metre
        auto be32 = [&](int at) {
            return (quint32(uchar(png[at])) << 24) | (quint32(uchar(png[at + 1])) << 16) |
                   (quint32(uchar(png[at + 2])) << 8) | quint32(uchar(png[at + 3]));
        };
        const double xDpi = be32(phys + 4) * kMmPerInch / 1000, yDpi = be32(phys + 8) * kMmPerInch / 1000;
        if (xDpi >= kMinDpi && xDpi <= kMaxDpi && yDpi >= kMinDpi && yDpi <= kMaxDpi)
            return {{pixels.width() / xDpi * kMmPerInch, pixels.height() / yDpi * kMmPerInch}, true};
    }
    return {{kDefaultWidth, kDefaultWidth * pixels.height() / std::max(1, pixels.width())}, false};
}
