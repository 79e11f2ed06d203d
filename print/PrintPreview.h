#pragma once
// The sheet's preview: print to any printer, or save the sheet as a PDF with one button.

#include "print/EstimateSheet.h"

#include <QPrintPreviewDialog>
#include <functional>

class PrintPreview : public QPrintPreviewDialog {
    Q_OBJECT
public:
    // pdfName: the file name offered when saving (from the estimate number and customer).
    PrintPreview(const rpt見積書 &sheet, QPrinter *printer, const QString &pdfName, QWidget *parent = nullptr);

    // Writes the sheet to path; a failure is reported and gives false.
    bool savePdf(const QString &path);
    QString defaultPdfPath() const;
    // The print button: A4 on the printer chosen (scaled where its paper cannot be A4, and
    // said so); with no printer installed, PDF保存 is offered instead.
    void printToPrinter();
    void choosePdf();

private:
    const rpt見積書 &m_sheet;
    QString m_pdfName;
};

// A safe file name for the sheet: "見積書_<number>_<customer>.pdf".
QString sheetPdfName(const QString &number, const QString &customer);

// Asks which printer to print on. Replaceable so tests run without a human or a printer.
enum class PrinterChoice { Chosen, Cancelled, NoPrinter };
using PrinterChooser = std::function<PrinterChoice(QPrinter &printer, QWidget *parent)>;
PrinterChooser setPrinterChooser(PrinterChooser chooser);

// Shows the preview and returns when it closes. Replaceable so tests run without a human.
using PreviewRunner = std::function<void(PrintPreview &)>;
PreviewRunner setPreviewRunner(PreviewRunner runner);
// Asks where to save the PDF; an empty answer cancels. Replaceable for tests.
using PdfPathChooser = std::function<QString(QWidget *parent, const QString &suggested)>;
PdfPathChooser setPdfPathChooser(PdfPathChooser chooser);

// Builds the sheet and shows it in the preview; a failure is reported, nothing else changes.
void showEstimatePreview(const PrintRecord &record, const QString &pdfName, QWidget *parent);
