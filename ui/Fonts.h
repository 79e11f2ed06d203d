#pragma once

// Maps the window's and sheet's font names onto the installed IPA families.
void installFontSubstitutions();

// Loads the system's font list and the window font's fallbacks on a thread of their own, while
// the start-up opens its files: the first text the window lays out need not wait for them.
// Returns at once; the thread ends when done (joined by the application's end).
void warmFontsInBackground();
