// The Qt headers nearly every file includes, parsed once for the whole build. A build aid, not
// a layer: it stands outside the layer folders.
#pragma once
#include <QtCore>
#include <QtGui>
#include <QtWidgets>
#include <QtSql>
