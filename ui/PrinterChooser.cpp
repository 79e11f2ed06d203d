#include "ui/PrinterChooser.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

static PrinterChooser &chooser()
{
    static PrinterChooser c = [](QPrinter &printer, QWidget *parent) {
        if (QPrinterInfo::availablePrinterNames().isEmpty())
            return PrinterChoice::NoPrinter;
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted ? PrinterChoice::Chosen : PrinterChoice::Cancelled;
    };
    return c;
}

PrinterChooser setPrinterChooser(PrinterChooser c)
{
    PrinterChooser old = chooser();
    chooser() = std::move(c);
    return old;
}

PrinterChoice choosePrinter(QPrinter &printer, QWidget *parent) { return chooser()(printer, parent); }
