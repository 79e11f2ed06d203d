#pragma once
class QWidget;

// Colour dialog owned by owner, sixteen white custom colours. Returns red + 256 * green +
// 65536 * blue, or -1 when cancelled.
int ChooseLineColour(QWidget *owner, int initialColour);
