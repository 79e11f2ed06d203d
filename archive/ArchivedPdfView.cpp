#include "archive/ArchivedPdfView.h"

#include "store/SafeFile.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui/PrinterChooser.h"
#include "ui/Replaceable.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <poppler-qt6.h>

static Replaceable<void(ArchivedPdfView &)> g_pdfViewRunner([](ArchivedPdfView &v) { v.exec(); });

ArchivedViewRunner setArchivedViewRunner(ArchivedViewRunner runner) { return g_pdfViewRunner.replace(std::move(runner)); }

void runArchivedView(ArchivedPdfView &view) { g_pdfViewRunner(view); }

QVector<QImage> ArchivedPdfView::render(const QByteArray &pdf, double dpi)
{
    QVector<QImage> pages;
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(pdf);
    if (!doc || doc->isLocked())
        return pages;
    doc->setRenderHint(Poppler::Document::Antialiasing);
    doc->setRenderHint(Poppler::Document::TextAntialiasing);
    for (int i = 0; i < doc->numPages(); ++i)
        if (const std::unique_ptr<Poppler::Page> page = doc->page(i))
            pages << page->renderToImage(dpi, dpi);
    return pages;
}

ArchivedPdfView::ArchivedPdfView(const QByteArray &pdf, const QString &title, QWidget *parent)
    : QDialog(parent), m_pdf(pdf), m_pages(render(pdf, 96))
{
    setObjectName(QStringLiteral("FrmArchivedPdf"));
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    auto *scroll = new QScrollArea(this);
    auto *pages = new QWidget(scroll);
    auto *pageLayout = new QVBoxLayout(pages);
    for (const QImage &page : std::as_const(m_pages)) {
        auto *label = new QLabel(pages);
        label->setPixmap(QPixmap::fromImage(page));
        label->setFrameShape(QFrame::Box);
        pageLayout->addWidget(label, 0, Qt::AlignHCenter);
    }
    if (m_pages.isEmpty())
        pageLayout->addWidget(new QLabel(QStringLiteral("この控えは表示できません。照合で確かめてください。"), pages));
    scroll->setWidget(pages);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *print = buttons->addButton(QStringLiteral("印刷"), QDialogButtonBox::ActionRole);
    QPushButton *save = buttons->addButton(QStringLiteral("PDF保存"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    print->setObjectName(QStringLiteral("cmd控え印刷"));
    save->setObjectName(QStringLiteral("cmd控え保存"));
    connect(print, &QPushButton::clicked, this, &ArchivedPdfView::printCopy);
    connect(save, &QPushButton::clicked, this, &ArchivedPdfView::saveCopy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    const QRect screen = (parent ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    resize(std::min(880, screen.width() * 9 / 10), std::min(1000, screen.height() * 9 / 10));
}

void ArchivedPdfView::printCopy()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setFullPage(true);
    const PrinterChoice choice = choosePrinter(printer, this);
    if (choice == PrinterChoice::ToFile)
        saveCopy(); // the archived bytes, not a new rendering
    if (choice != PrinterChoice::Chosen)
        return;
    // The archived pages themselves, at the printer's resolution.
    const QVector<QImage> pages = render(m_pdf, std::min(600, printer.resolution()));
    QPainter p;
    if (pages.isEmpty() || !p.begin(&printer)) {
        Msg(QStringLiteral("その他"), QStringLiteral("注意"), QStringLiteral("控えを印刷できませんでした。"));
        return;
    }
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            printer.newPage();
        p.drawImage(QRectF(printer.paperRect(QPrinter::DevicePixel)), pages[i]);
    }
    p.end();
}

void ArchivedPdfView::saveCopy()
{
    const QString path = chooseFile(this, FileDialog::Save, QStringLiteral("控えのPDF保存"), QStringLiteral("控え.pdf"));
    if (path.isEmpty() || !reportFailure(writeWholeFile(path, m_pdf), QStringLiteral("控えを保存")))
        return;
    announceSaved(QStringLiteral("控えをPDFファイルに保存しました（発行したときのままです）。"), path);
}
