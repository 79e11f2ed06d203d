// The Qt headers of the floors below the widgets, parsed once for them. Widgets stay out: the
// storage floors neither include nor link them.
#pragma once
#include <QtCore>
#include <QtSql>
