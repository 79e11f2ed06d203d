#pragma once
// Asking which printer to print on. Replaceable so tests run without a human or a printer.

#include <functional>

class QPrinter;
class QWidget;

// ToFile: the dialog's own "print to file" was chosen; the caller saves its PDF its own way,
// so that the file a user sends is the one it keeps.
enum class PrinterChoice { Chosen, Cancelled, NoPrinter, ToFile };
using PrinterChooser = std::function<PrinterChoice(QPrinter &printer, QWidget *parent)>;
PrinterChooser setPrinterChooser(PrinterChooser chooser);
PrinterChoice choosePrinter(QPrinter &printer, QWidget *parent);
