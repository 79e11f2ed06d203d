// The Qt headers nearly every file includes, parsed once for the whole build.
#pragma once
#include <QtCore>
#include <QtGui>
#include <QtWidgets>
#include <QtSql>
