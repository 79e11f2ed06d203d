#pragma once
// State the window shares with its tabs: the two handles and the current settings.

#include "store/Db.h"

#include <QString>

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
    QString companyName;
    QString companyInfo;

    HintRequest hint;
};
