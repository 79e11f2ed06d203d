#include "print/PrintPreview.h"
#include "einvoice/JpPint.h"
#include "print/SheetKinds.h"

#include <QScopeGuard>
#include "store/IssueArchive.h"
#include "store/ArchiveChain.h"
#include "store/Numbering.h"
#include "store/SafeFile.h"
#include "ui/FileChooser.h"
#include "ui/PrinterChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QGuiApplication>
#include <QScreen>

#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QLabel>
#include <QToolBar>

namespace {

Replaceable<void(PrintPreview &)> g_previewRunner([](PrintPreview &dialog) { dialog.exec(); });

Replaceable<QString(QWidget *, const QString &)> g_pdfPath([](QWidget *parent, const QString &suggested) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("PDF保存"), suggested, QStringLiteral("PDF (*.pdf)"));
});

void warn(const QString &text) { Msg(QStringLiteral("その他"), QStringLiteral("注意"), text); }

} // namespace


PreviewRunner setPreviewRunner(PreviewRunner r) { return g_previewRunner.replace(std::move(r)); }

PdfPathChooser setPdfPathChooser(PdfPathChooser c) { return g_pdfPath.replace(std::move(c)); }

QString sheetPdfName(const QString &number, const QString &customer, DocKind kind)
{
    // Characters a file system or a mail program would trip over become "_".
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = kindNames(kind).label + '_' + number.trimmed();
    if (const QString c = customer.simplified(); !c.isEmpty())
        name += '_' + c;
    name.replace(unsafe, QStringLiteral("_"));
    return name.left(120) + QStringLiteral(".pdf");
}

// An issued sheet carries the archive's chain as it stands, so a copy given out vouches for
// every issue before it. (Unreadable here, the issue itself will say why.)
static rpt見積書 withArchiveCode(const rpt見積書 &sheet, Db *archive)
{
    QString head;
    if (!archive || !IssueArchive(*archive).head(head))
        return sheet;
    PrintRecord record = sheet.record();
    record.archiveCode = archivechain::shortCode(head);
    return rpt見積書(record);
}

PrintPreview::PrintPreview(const rpt見積書 &sheet, QPrinter *printer, const QString &pdfName, QWidget *parent,
                           Db *archive)
    : QPrintPreviewDialog(printer, parent), m_sheet(withArchiveCode(sheet, archive)), m_pdfName(pdfName),
      m_archive(archive), m_expected(sheet.record().storedVersion)
{
    setObjectName(QStringLiteral("rpt見積書"));
    setWindowTitle(sheet.record().kind == DocKind::Estimate ? QStringLiteral("お見積書 印刷プレビュー")
                                                            : kindNames(sheet.record().kind).label + QStringLiteral(" 印刷プレビュー"));
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
        pdf->setToolTip(QStringLiteral("この%1をPDFファイルに保存します").arg(kindNames(sheet.record().kind).label));
        connect(pdf, &QAction::triggered, this, &PrintPreview::choosePdf);
        // Said where it is seen, every time, without a box to click away.
        if (m_sheet.record().companyName.trimmed().isEmpty()) {
            bar->addSeparator();
            auto *warning = new QLabel(QStringLiteral("  自社名が設定されていないため、差出人が印刷されません（設定・情報タブ）"), bar);
            warning->setObjectName(QStringLiteral("lbl差出人なし"));
            warning->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
            bar->addWidget(warning);
        }
    }
}

QString PrintPreview::defaultPdfPath() const { return QDir(documentsFolder()).filePath(m_pdfName); }

void PrintPreview::choosePdf()
{
    const QString path = g_pdfPath(this, defaultPdfPath());
    if (!path.isEmpty())
        savePdf(path);
}

static IssueMeta issueMeta(const PrintRecord &r)
{
    return {readEstimateNumber(r.number).value, r.customerName, r.date, r.grand, sheetFingerprint(r), r.storedVersion, r.kind};
}

QByteArray PrintPreview::issueBytes()
{
    if (m_archive && readEstimateNumber(m_sheet.record().number).kind != EstimateNumber::Ok) {
        warn(kindNames(m_sheet.record().kind).label + QStringLiteral("番号（No.）が正しくないため発行できません。番号を確かめてください。"));
        return {};
    }
    if (m_archive) {
        if (const DbResult r = IssueArchive(*m_archive).checkNumber(issueMeta(m_sheet.record()).number, m_expected,
                                                                     m_sheet.record().kind);
            !r && !numberStillOurs(r))
            return {};
        std::optional<QByteArray> same;
        const IssueMeta meta = issueMeta(m_sheet.record());
        if (!reportFailure(IssueArchive(*m_archive).sameAsLatest(meta.number, meta.content, same, meta.kind),
                           QStringLiteral("発行済みの控えを確認")))
            return {};
        if (same)
            return *same;
    }
    const QByteArray bytes = m_sheet.pdf();
    if (bytes.isEmpty())
        warn(QStringLiteral("%1のPDFを作成できませんでした。").arg(kindNames(m_sheet.record().kind).label));
    return bytes;
}

// What another desktop did to the number meanwhile, said before anything is printed or
// archived: another document's number is never issued; a changed or deleted one only when the
// user says so. False: the issue stops here.
bool PrintPreview::numberStillOurs(const DbResult &r)
{
    const QString no = QStringLiteral("No.%1").arg(readEstimateNumber(m_sheet.record().number).value);
    if (r.code == sqlitecode::TakenElsewhere) {
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("%1 は他の端末で別の%2として登録されたため、この%2は発行しませんでした（控えにも残していません）。"
                           "%2を登録すると新しい番号になります。登録してから、もう一度発行してください。").arg(no, kindNames(m_sheet.record().kind).label));
        return false;
    }
    if (r.code != sqlitecode::ChangedElsewhere && r.code != sqlitecode::DeletedElsewhere)
        return reportFailure(r, kindNames(m_sheet.record().kind).label + QStringLiteral("の番号を確認"));
    if (!Msg(QStringLiteral("印刷"), QStringLiteral("他端末変更発行"),
             no + (r.code == sqlitecode::ChangedElsewhere ? QStringLiteral(" は他の端末で変更されています")
                                                          : QStringLiteral(" は他の端末で削除されています"))))
        return false;
    m_expected = -1; // the user's word: this screen's sheet under its number
    return true;
}

std::optional<QByteArray> PrintPreview::issueXml()
{
    const PrintRecord &r = m_sheet.record();
    if (!r.withXml || (r.kind != DocKind::Invoice && r.kind != DocKind::Credit))
        return QByteArray();
    QStringList errors;
    for (const jppint::Problem &p : jppint::check(r))
        if (!p.warning)
            errors << QStringLiteral("%1: %2").arg(p.field, p.text);
    if (errors.isEmpty())
        return jppint::write(r);
    if (Msg(QStringLiteral("伝票"), QStringLiteral("確認"),
            QStringLiteral("この%1は電子インボイス（XML）にできません。\n%2\nPDF だけを発行しますか").arg(kindNames(r.kind).label, errors.join('\n'))))
        return QByteArray();
    return std::nullopt;
}

bool PrintPreview::writeXml(const QByteArray &xml, const QString &path)
{
    if (xml.isEmpty())
        return true;
    return reportFailure(writeWholeFile(path, xml), QStringLiteral("XML ファイルを書き出"));
}

bool PrintPreview::recordIssue(const QByteArray &bytes, const QString &how, const QByteArray &xml)
{
    if (!m_archive)
        return true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        IssueMeta meta = issueMeta(m_sheet.record());
        meta.expected = m_expected;
        meta.xml = xml;
        const DbResult r = IssueArchive(*m_archive).record(meta, bytes, how, QDateTime::currentDateTime());
        if (r || (r.code != sqlitecode::TakenElsewhere && r.code != sqlitecode::ChangedElsewhere &&
                  r.code != sqlitecode::DeletedElsewhere))
            return reportFailure(r, QStringLiteral("発行済みの控えを記録"));
        if (!numberStillOurs(r)) // changed in the moment since the check: asked once more
            return false;
    }
    return false;
}

bool PrintPreview::savePdf(const QString &path)
{
    const QByteArray bytes = issueBytes();
    if (bytes.isEmpty())
        return false;
    const std::optional<QByteArray> xml = issueXml();
    if (!xml)
        return false;
    // The archive commits before the file takes its place: no PDF leaves without its copy.
    SafeFile out(path);
    DbResult r = out.open();
    if (r) {
        out.write(bytes);
        r = out.flush();
    }
    if (!reportFailure(r, QStringLiteral("PDFファイルを保存")))
        return false;
    if (!recordIssue(bytes, issuearchive::kPdf, *xml)) {
        out.cancel();
        return false;
    }
    if (!reportFailure(out.commit(), QStringLiteral("PDFファイルを保存")))
        return false;
    const QFileInfo pdf(path);
    if (!writeXml(*xml, pdf.dir().filePath(pdf.completeBaseName() + QStringLiteral(".xml"))))
        return false;
    announceSaved(QStringLiteral("%1をPDFファイルに保存しました。").arg(kindNames(m_sheet.record().kind).label), path);
    return true;
}

void PrintPreview::printToPrinter()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(m_pdfName);
    switch (choosePrinter(printer, this)) {
    case PrinterChoice::Cancelled:
        return;
    case PrinterChoice::NoPrinter:
        if (Msg(QStringLiteral("印刷"), QStringLiteral("プリンターなし")))
            choosePdf();
        return;
    case PrinterChoice::ToFile:
        choosePdf();
        return;
    case PrinterChoice::Chosen:
        break;
    }
    // What is handed over on paper is what the archive keeps: a receipt's with its stamp box.
    const rpt見積書 shown = m_sheet;
    PrintRecord paper = m_sheet.record();
    paper.paper = true;
    m_sheet = rpt見積書(paper);
    const auto back = qScopeGuard([&] { m_sheet = shown; });
    const QByteArray bytes = issueBytes(); // what the printer gets, kept as PDF
    if (bytes.isEmpty())
        return;
    const std::optional<QByteArray> xml = issueXml();
    if (!xml)
        return;
    bool scaled = false;
    if (const QString error = m_sheet.print(printer, &scaled); !error.isEmpty()) {
        warn(error);
        return;
    }
    if (!recordIssue(bytes, issuearchive::kPrinted, *xml) ||
        !writeXml(*xml, QDir(documentsFolder()).filePath(QStringLiteral("%1No.%2.xml")
                                                              .arg(kindNames(m_sheet.record().kind).label)
                                                              .arg(readEstimateNumber(m_sheet.record().number).value))))
        return;
    if (const std::optional<Money> stamp = sheetkinds::stampDue(m_sheet.record()))
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"),
            QStringLiteral("この領収書には ¥%1 の収入印紙が必要です。印紙を貼り、消印をしてからお渡しください。")
                .arg(stamp->toGroupedString()));
    if (scaled)
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"),
            QStringLiteral("プリンターの用紙を A4 にできないため、%1を用紙に合わせて縮小して印刷しました。").arg(kindNames(m_sheet.record().kind).label));
}

void showEstimatePreview(const PrintRecord &record, const QString &pdfName, QWidget *parent, Db *archive)
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
    PrintPreview dialog(sheet, &printer, pdfName, parent, archive);
    g_previewRunner(dialog);
}
