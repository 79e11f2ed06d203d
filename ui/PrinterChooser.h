#pragma once
// Asking which printer to print on. Replaceable so tests run without a human or a printer.

#include <functional>

class QPrinter;
class QWidget;

enum class PrinterChoice { Chosen, Cancelled, NoPrinter };
using PrinterChooser = std::function<PrinterChoice(QPrinter &printer, QWidget *parent)>;
PrinterChooser setPrinterChooser(PrinterChooser chooser);
PrinterChoice choosePrinter(QPrinter &printer, QWidget *parent);
