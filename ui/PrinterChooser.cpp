#include "ui/PrinterChooser.h"
#include "ui/Replaceable.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

static Replaceable<PrinterChoice(QPrinter &, QWidget *)> g_printerChooser([](QPrinter &printer, QWidget *parent) {
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        return PrinterChoice::NoPrinter;
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted ? PrinterChoice::Chosen : PrinterChoice::Cancelled;
});

PrinterChooser setPrinterChooser(PrinterChooser c) { return g_printerChooser.replace(std::move(c)); }

PrinterChoice choosePrinter(QPrinter &printer, QWidget *parent) { return g_printerChooser(printer, parent); }
