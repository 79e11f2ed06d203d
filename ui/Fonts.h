#pragma once

// Maps the window's and sheet's font names onto the installed IPA families.
void installFontSubstitutions();
