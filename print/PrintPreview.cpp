#include "print/PrintPreview.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"

#include <QGuiApplication>
#include <QScreen>

#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QToolBar>

namespace {

PreviewRunner &runner()
{
    static PreviewRunner r = [](PrintPreview &dialog) { dialog.exec(); };
    return r;
}

PdfPathChooser &chooser()
{
    static PdfPathChooser c = [](QWidget *parent, const QString &suggested) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("PDF保存"), suggested,
                                            QStringLiteral("PDF (*.pdf)"));
    };
    return c;
}

void warn(const QString &text) { Msg(QStringLiteral("その他"), QStringLiteral("注意"), text); }

PrinterChooser &printerChooser()
{
    static PrinterChooser c = [](QPrinter &printer, QWidget *parent) {
        if (QPrinterInfo::availablePrinterNames().isEmpty())
            return PrinterChoice::NoPrinter;
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted ? PrinterChoice::Chosen : PrinterChoice::Cancelled;
    };
    return c;
}

} // namespace

PrinterChooser setPrinterChooser(PrinterChooser c)
{
    PrinterChooser old = printerChooser();
    printerChooser() = std::move(c);
    return old;
}

PreviewRunner setPreviewRunner(PreviewRunner r)
{
    PreviewRunner old = runner();
    runner() = std::move(r);
    return old;
}

PdfPathChooser setPdfPathChooser(PdfPathChooser c)
{
    PdfPathChooser old = chooser();
    chooser() = std::move(c);
    return old;
}

QString sheetPdfName(const QString &number, const QString &customer)
{
    // Characters a file system or a mail program would trip over become "_".
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = QStringLiteral("見積書_") + number.trimmed();
    if (const QString c = customer.simplified(); !c.isEmpty())
        name += '_' + c;
    name.replace(unsafe, QStringLiteral("_"));
    return name.left(120) + QStringLiteral(".pdf");
}

PrintPreview::PrintPreview(const rpt見積書 &sheet, QPrinter *printer, const QString &pdfName, QWidget *parent)
    : QPrintPreviewDialog(printer, parent), m_sheet(sheet), m_pdfName(pdfName)
{
    setObjectName(QStringLiteral("rpt見積書"));
    setWindowTitle(QStringLiteral("お見積書 印刷プレビュー"));
    // Within the screen, whatever its size and scaling.
    const QRect screen = (parent ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    resize(std::min(900, screen.width() * 9 / 10), std::min(1000, screen.height() * 9 / 10));
    connect(this, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) {
        if (const QString error = m_sheet.print(*p); !error.isEmpty())
            warn(error);
    });
    if (auto *bar = findChild<QToolBar *>()) {
        // The preview's own print button goes through printToPrinter: A4, and no silent PDF.
        const QString printText = QCoreApplication::translate("QPrintPreviewDialog", "Print");
        for (QAction *a : bar->actions())
            if (a->text() == printText) {
                a->setObjectName(QStringLiteral("cmdPrinter"));
                disconnect(a, &QAction::triggered, this, nullptr);
                connect(a, &QAction::triggered, this, &PrintPreview::printToPrinter);
            }
        bar->addSeparator();
        QAction *pdf = bar->addAction(QStringLiteral("PDF保存"));
        pdf->setObjectName(QStringLiteral("cmdPDF保存"));
        pdf->setToolTip(QStringLiteral("この見積書をPDFファイルに保存します"));
        connect(pdf, &QAction::triggered, this, &PrintPreview::choosePdf);
    }
}

QString PrintPreview::defaultPdfPath() const { return QDir(documentsFolder()).filePath(m_pdfName); }

void PrintPreview::choosePdf()
{
    const QString path = chooser()(this, defaultPdfPath());
    if (!path.isEmpty())
        savePdf(path);
}

bool PrintPreview::savePdf(const QString &path)
{
    if (!reportFailure(m_sheet.writePdf(path), QStringLiteral("PDFファイルを保存")))
        return false;
    announceSaved(QStringLiteral("見積書をPDFファイルに保存しました。"), path);
    return true;
}

void PrintPreview::printToPrinter()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(m_pdfName);
    switch (printerChooser()(printer, this)) {
    case PrinterChoice::Cancelled:
        return;
    case PrinterChoice::NoPrinter:
        if (Msg(QStringLiteral("印刷"), QStringLiteral("プリンターなし")))
            choosePdf();
        return;
    case PrinterChoice::Chosen:
        break;
    }
    bool scaled = false;
    if (const QString error = m_sheet.print(printer, &scaled); !error.isEmpty()) {
        warn(error);
        return;
    }
    if (scaled)
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"),
            QStringLiteral("プリンターの用紙を A4 にできないため、見積書を用紙に合わせて縮小して印刷しました。"));
}

void showEstimatePreview(const PrintRecord &record, const QString &pdfName, QWidget *parent)
{
    const rpt見積書 sheet(record);
    // A character no font has would print as an empty box: the user hears of it first.
    if (const QStringList missing = sheet.unprintable(); !missing.isEmpty()) {
        warn(QStringLiteral("印刷できない文字があります: %1\nこれらの文字を別の文字に置き換えてから印刷してください。")
                 .arg(missing.join(QStringLiteral(" "))));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    printer.setDocName(pdfName);
    if (!printer.isValid()) {
        warn(QStringLiteral("印刷の準備ができません。プリンターの設定を確認してください。"));
        return;
    }
    PrintPreview dialog(sheet, &printer, pdfName, parent);
    runner()(dialog);
}
