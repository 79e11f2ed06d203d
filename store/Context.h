#pragma once
// State the window shares with its tabs: the two handles and the current settings.

#include "store/Db.h"

#include <QString>
#include <functional>

struct HintRequest {
    QString formName;
    QString controlName;
    QString formTitle;
};

struct QuoteDeskContext {
    QString dataFolder;
    QString permPath;
    QString workPath;
    Db main{QStringLiteral("quotedesk-main")};
    Db work{QStringLiteral("quotedesk-work")};

    // Current values, set only when the stored settings are read.
    QString taxMode = QStringLiteral("外税");
    int taxRate = 5;                             // the standard rate, percent
    QString rounding = QStringLiteral("四捨五入"); // of the tax: 切捨て, 四捨五入 or 切上げ
    QString registrationNumber;
    QString companyName;
    QString companyInfo;

    HintRequest hint;
    // Takes settings another desktop changed since they were read (the window sets it); true when
    // there were such changes. Called before a new document takes its rules and before a print.
    std::function<bool()> refreshSettings;
    // The window is closing: its handles are closed or about to be, so focus leaving a box
    // as the window goes looks nothing up.
    bool closing = false;
};
