#include "print/PrintPreview.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"

#include <QGuiApplication>
#include <QScreen>

#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QPrinter>
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

} // namespace

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

void showEstimatePreview(const PrintRecord &record, const QString &pdfName, QWidget *parent)
{
    const rpt見積書 sheet(record);
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
