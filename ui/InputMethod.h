#pragma once
class QWidget;

// Opens (1) or closes (0) the input method of a widget; for a grid also its open editor.
void SetImeOpen(QWidget *widget, int open);
