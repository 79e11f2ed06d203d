#pragma once
// The sheet's preview: print to any printer, or save the sheet as a PDF with one button.

#include "print/EstimateSheet.h"
#include "ui/PrinterChooser.h"

#include <QPrintPreviewDialog>
#include <functional>

class Db;

class PrintPreview : public QPrintPreviewDialog {
    Q_OBJECT
public:
    // pdfName: the file name offered when saving (from the estimate number and customer).
    // archive: the permanent file, where every PDF saved and every sheet printed is kept as
    // issued; none for a sheet that is not an estimate's issue.
    PrintPreview(const rpt見積書 &sheet, QPrinter *printer, const QString &pdfName, QWidget *parent = nullptr,
                 Db *archive = nullptr);

    // Writes the sheet to path; a failure is reported and gives false.
    bool savePdf(const QString &path);
    QString defaultPdfPath() const;
    // The print button: A4 on the printer chosen (scaled where its paper cannot be A4, and
    // said so); with no printer installed, PDF保存 is offered instead.
    void printToPrinter();
    void choosePdf();
    const rpt見積書 &sheet() const { return m_sheet; }

private:
    // The bytes to send: the ones issued before when nothing changed, else the sheet anew.
    // Empty (and reported) when the sheet cannot be issued.
    QByteArray issueBytes();
    bool recordIssue(const QByteArray &bytes, const QString &how, const QByteArray &xml = {});
    // The digital invoice to issue with the sheet: empty for none; nullopt when the user stops.
    std::optional<QByteArray> issueXml();
    // The digital invoice beside where the sheet went; false when it could not be written (said).
    bool writeXml(const QByteArray &xml, const QString &path);
    bool numberStillOurs(const DbResult &mismatch);
    rpt見積書 m_sheet; // with the archive's code when it issues; on paper while it prints
    QString m_pdfName;
    Db *m_archive = nullptr;
    qlonglong m_expected = -1; // what the number holds for this document; -1 once the user said issue anyway
};

// A safe file name for the sheet: "見積書_<number>_<customer>.pdf".
QString sheetPdfName(const QString &number, const QString &customer, DocKind kind = DocKind::Estimate);

// Shows the preview and returns when it closes. Replaceable so tests run without a human.
using PreviewRunner = std::function<void(PrintPreview &)>;
PreviewRunner setPreviewRunner(PreviewRunner runner);
// Asks where to save the PDF; an empty answer cancels. Replaceable for tests.
using PdfPathChooser = std::function<QString(QWidget *parent, const QString &suggested)>;
PdfPathChooser setPdfPathChooser(PdfPathChooser chooser);

// Builds the sheet and shows it in the preview; a failure is reported, nothing else changes.
void showEstimatePreview(const PrintRecord &record, const QString &pdfName, QWidget *parent, Db *archive = nullptr);
