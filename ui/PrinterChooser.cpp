#include "ui/PrinterChooser.h"
#include "ui/Replaceable.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

static Replaceable<PrinterChoice(QPrinter &, QWidget *)> g_printerChooser([](QPrinter &printer, QWidget *parent) {
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        return PrinterChoice::NoPrinter;
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    if (dialog.exec() != QDialog::Accepted)
        return PrinterChoice::Cancelled;
    // Some dialogs offer a PDF "printer" all the same.
    if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
        return PrinterChoice::ToFile;
    return PrinterChoice::Chosen;
});

PrinterChooser setPrinterChooser(PrinterChooser c) { return g_printerChooser.replace(std::move(c)); }

PrinterChoice choosePrinter(QPrinter &printer, QWidget *parent) { return g_printerChooser(printer, parent); }
