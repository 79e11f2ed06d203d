#pragma once
// While a server keeps the window waiting: the window is drawn as before and, past a second, a
// progress dialog says so and offers キャンセル.

// Installs it for every server connection of the program (the window's thread only).
void installServerWaitDialog();
