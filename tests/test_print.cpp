// The A4 estimate sheet: the PDF a customer receives, checked with poppler-utils, and the
// print record taken from the window.

#include "TestSupport.h"
#include "ui/FileChooser.h"
#include "estimate/EstimateTab.h"
#include "print/PrintPreview.h"
#include "print/SheetText.h"
#include "ui/Boxes.h"

#include <QAbstractButton>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>

class PrintTest : public QObject {
    Q_OBJECT
private slots:
    void sheetIsOneA4PageWithEmbeddedIpaFonts();
    void sheetFromTheWindow();
    void unwritablePdfIsReported();
    void longTextStaysInsideItsField();

private:
    static QString tool(const QString &program, const QStringList &args);
};

QString PrintTest::tool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

void PrintTest::sheetIsOneA4PageWithEmbeddedIpaFonts()
{
    PrintRecord r;
    r.date = "2026/12/08";
    r.customerName = "株式会社山田商店";
    r.companyName = "有限会社見積工房";
    r.companyInfo = "大阪府大阪市北区1-1\nTEL 06-0000-0000";
    r.subject = "店舗改装";
    r.net = Money::fromYen(1500);
    r.tax = Money::fromYen(75);
    r.grand = r.headline = Money::fromYen(1575);
    r.lines << PrintLine{"ボルト", 3.0, "ケース単位", Money::fromYen(500), Money::fromYen(1500)}
            << PrintLine{"無償点検", 1.0, "回", Money(), Money()};
    QTemporaryDir dir;
    const QString pdf = dir.filePath("sheet.pdf");
    QVERIFY(rpt見積書(r).writePdf(pdf));

    const QString info = tool("pdfinfo", {pdf});
    QVERIFY(info.contains(QRegularExpression("Pages:\\s+1\\n")));
    QVERIFY(info.contains("595 x 842 pts (A4)"));
    const QStringList fonts = tool("pdffonts", {pdf}).split('\n', Qt::SkipEmptyParts).mid(2);
    QVERIFY(!fonts.isEmpty());
    for (const QString &f : fonts) {
        QVERIFY2(f.startsWith("IPA"), qPrintable(f));
        QVERIFY2(f.contains(QRegularExpression("Identity-H\\s+yes")), qPrintable(f)); // embedded
    }
    const QString text = tool("pdftotext", {"-layout", pdf, "-"});
    for (const char *s : {"お見積書", "株式会社山田商店", "様", "有限会社見積工房", "TEL 06-0000-0000", "店舗改装",
                             "¥1,575", "1,500", "2026/12/08"})
        QVERIFY2(text.contains(s), qPrintable(s));
    // A long unit is made smaller; what does not fit even then is cut with a mark.
    QVERIFY2(text.contains(QRegularExpression("3 +ケース単位 +500")) || text.contains(QRegularExpression("3 +ケース単?… +500")),
             qPrintable(text));
    QVERIFY(text.contains(QRegularExpression("無償点検\\s+1\\s+回\\s*\\n"))); // 0 price and amount print empty
}

void PrintTest::sheetFromTheWindow()
{
    TempData data;
    Window w(data.folder());
    {
        auto *mode = w.find<QComboBox>("cmb税区分");
        mode->setCurrentIndex(mode->findText("非課税"));
        Answers yes;
        w.find<QAbstractButton>("cmd設定登録")->click();
    }
    w.find<QLineEdit>("txt自社名")->setText("未登録の社名"); // typed, not stored
    w.find<DateBox>("dt日付")->clearDate();
    w.find<QLineEdit>("txtNo")->setText("4321");
    w.find<QComboBox>("cmb顧客名")->setEditText("乙社");
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col品名, "点検");
    typeCell(w.find<DataGrid>("Grid明細"), 0, Col金額, "8000");

    QTemporaryDir dir;
    const QString pdf = dir.filePath("window.pdf");
    QString offered;
    auto previous = setPreviewRunner([&](PrintPreview &preview) {
        offered = preview.defaultPdfPath();
        QVERIFY(preview.savePdf(pdf));
    });
    QString opened;
    const FolderOpener opener = setFolderOpener([&](const QString &folder) { opened = folder; });
    Answers answers; // the notice's folder button is pressed
    w.find<QAbstractButton>("cmd印刷")->click();
    setPreviewRunner(previous);
    setFolderOpener(opener);
    QVERIFY(offered.endsWith("/見積書_4321_乙社.pdf"));
    QVERIFY(QFileInfo(offered).absoluteDir().exists()); // the documents folder, made when missing
    QCOMPARE(answers.shown.size(), 1);
    QVERIFY(answers.shown[0].text.contains(QDir::toNativeSeparators(pdf)));
    QCOMPARE(opened, QFileInfo(pdf).absolutePath());

    PrintRecord r;
    QVERIFY(w->printRecord(r));
    QCOMPARE(r.companyName, QString("未登録の社名"));
    QVERIFY(r.date.isEmpty());
    QVERIFY(!r.tax);
    QCOMPARE(r.grand, Money::fromYen(8000));
    const QString text = tool("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(text.contains("未登録の社名"));
    QVERIFY(text.contains("¥8,000"));
    QVERIFY(!text.contains("4321")); // the estimate number is printed nowhere
    QVERIFY(!text.contains(QRegularExpression("\\d{4}/\\d\\d/\\d\\d")));
}

void PrintTest::unwritablePdfIsReported()
{
    QTemporaryDir dir;
    const rpt見積書 sheet{PrintRecord()};
    QPrinter printer;
    PrintPreview preview(sheet, &printer, "x.pdf");
    Answers answers;
    QVERIFY(!preview.savePdf(dir.filePath("missing/x.pdf")));
    QVERIFY(answers.sawKey("その他", "注意"));
    QVERIFY(answers.shown.last().text.contains("missing/x.pdf"));
}

void PrintTest::longTextStaysInsideItsField()
{
    QImage page(1200, 600, QImage::Format_RGB32);
    page.fill(Qt::white);
    const QRectF one(100, 100, 400, 60), several(100, 300, 400, 150);
    {
        QPainter p(&page);
        QFont f(QStringLiteral("ＭＳ Ｐ明朝"));
        f.setPixelSize(40);
        drawFitted(p, one, QString("とても長い件名").repeated(8), f, Qt::AlignLeft | Qt::AlignVCenter, false);
        drawFitted(p, several, QString("大阪府大阪市北区梅田一丁目1番1号\n").repeated(5), f, Qt::AlignLeft | Qt::AlignTop,
                   true);
    }
    int inside = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            if (page.pixel(x, y) == qRgb(255, 255, 255))
                continue;
            const QPointF at(x + 0.5, y + 0.5);
            QVERIFY2(one.contains(at) || several.contains(at), qPrintable(QString("ink at %1,%2").arg(x).arg(y)));
            ++inside;
        }
    QVERIFY(inside > 500); // the text was drawn, only smaller
}

QTEST_MAIN(PrintTest)
#include "test_print.moc"
