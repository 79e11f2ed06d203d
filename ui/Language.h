#pragma once

// Qt's own dialogs (message box buttons, colour dialog, calendar) in Japanese, and Japanese
// dates, whatever the machine's locale. Safe to call more than once.
void installJapanese();
