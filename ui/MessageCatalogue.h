#pragma once
// The message catalogue: every question, warning and notice, chosen by category and key.

#include "store/Db.h"

#include <QString>
#include <functional>
#include <optional>

// InfoFolder: a notice with OK and "フォルダーを開く"; the answer is true for the folder.
enum class MsgButtons { Ask, AskYes, Info, Warn, InfoFolder };

struct MsgEntry {
    QString category;
    QString key;
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::Info;

    bool isQuestion() const { return buttons == MsgButtons::Ask || buttons == MsgButtons::AskYes; }
    bool yesIsDefault() const { return buttons == MsgButtons::AskYes; }
    // The message-box style value of the original entry (292, 36, 64, 48).
    int styleValue() const;
};

// The entry a call would show, or nothing for an unknown category or key.
std::optional<MsgEntry> msgLookup(const QString &category, const QString &key, const QString &text = QString());

// Shows the entry and returns whether the user answered Yes (only Ask entries can be true,
// and InfoFolder entries when the folder was asked for).
bool Msg(const QString &category, const QString &key, const QString &text = QString());

// Shows an entry and returns true for Yes. Replaceable so tests can answer without a human.
using MsgPresenter = std::function<bool(const MsgEntry &)>;
MsgPresenter setMsgPresenter(MsgPresenter presenter);
bool showMessageBox(const MsgEntry &entry);

// What failed, in Japanese, with the file, what to try, and the engine's text as detail.
// action: what the user was doing ("見積書を登録"), or empty.
QString explainFailure(const DbResult &r, const QString &action = QString());
// Reports a failure with the catalogue's warning (explainFailure). Returns r.ok so callers
// can stop on failure.
bool reportFailure(const DbResult &r, const QString &action = QString());
// While quiet (the window closing), failures are not reported.
void setFailuresQuiet(bool quiet);
