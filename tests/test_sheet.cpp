// The sheet a customer can check: the summary per rate against the totals, marks that survive
// long names, seal and number, A4 whatever the printer says, fields in their places.

#include "TestSupport.h"
#include "estimate/EstimateTab.h"
#include "masters/SettingsTab.h"
#include "print/PrintPreview.h"
#include "print/SheetText.h"
#include "ui/FileChooser.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>

class SheetTest : public QObject {
    Q_OBJECT
private slots:
    void summaryAddsUpToTheTotals_data();
    void summaryAddsUpToTheTotals();
    void sealAndNumberWhenWanted();
    void letterPaperKeepsEveryLine();
    void fieldsInTheirPlaces();
    void textShrinksToSevenPointsThenCuts();
    void charactersAreNeverSplit();
    void withoutAPrinterPdfIsOffered();

private:
    static QString tool(const QString &program, const QStringList &args);
    // The sheet of the window's estimate, as its preview would save it; its text.
    static QString printed(Window &w, const QString &pdf);
    static qint64 yen(const QString &grouped) { return QString(grouped).remove(',').toLongLong(); }
};

QString SheetTest::tool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString SheetTest::printed(Window &w, const QString &pdf)
{
    auto previous = setPreviewRunner([&](PrintPreview &preview) { preview.savePdf(pdf); });
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    {
        Answers notices;
        w.find<QAbstractButton>("cmd印刷")->click();
    }
    setPreviewRunner(previous);
    setFolderOpener(opener);
    return tool("pdftotext", {"-layout", pdf, "-"});
}

void SheetTest::summaryAddsUpToTheTotals_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("line"); // how one rate's line reads
    QTest::newRow("外税") << "外税" << "(\\d+)%対象※? ¥([\\d,]+) 消費税 ¥([\\d,]+)";
    QTest::newRow("内税") << "内税" << "(\\d+)%対象※? ¥([\\d,]+)（内消費税 ¥([\\d,]+)）";
}

void SheetTest::summaryAddsUpToTheTotals()
{
    QFETCH(QString, mode);
    QFETCH(QString, line);
    TempData data;
    Window w(data.folder());
    Answers yes;
    for (const auto &[name, text] : {std::pair{"cmb税区分", mode}, {"cmb税率", QString("10%")}}) {
        auto *c = w.find<QComboBox>(name);
        c->setCurrentIndex(c->findText(text));
    }
    w.find<QAbstractButton>("cmd設定登録")->click();
    auto *grid = w.find<DataGrid>("Grid明細");
    auto *m = grid->dataControl();
    const QString longName = QString("長い品名").repeated(20); // 80 characters
    for (int r = 0; r < 3; ++r) {
        typeCell(grid, r, Col品名, longName.left(79) + QString::number(r));
        typeCell(grid, r, Col数量, "3");
        typeCell(grid, r, Col単価, QString::number(1234 + r * 1111));
    }
    m->setData(m->index(1, Col軽減), Qt::Checked, Qt::CheckStateRole);
    m->setData(m->index(2, Col非課税), Qt::Checked, Qt::CheckStateRole);
    QTemporaryDir dir;
    const QString text = printed(w, dir.filePath("sheet.pdf"));

    qint64 bases = 0, taxes = 0;
    QStringList rates;
    for (auto it = QRegularExpression(line).globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        rates << match.captured(1);
        bases += yen(match.captured(2));
        taxes += yen(match.captured(3));
    }
    QCOMPARE(rates, (QStringList{"10", "8"}));
    const auto exempt = QRegularExpression("非課税 ¥([\\d,]+)").match(text);
    QVERIFY(exempt.hasMatch());
    QCOMPARE(taxes, yen(w.find<QLineEdit>("num消費税")->text()));
    // Outside: the bases and the exempt lines make the net total; inside: the grand total.
    QCOMPARE(bases + yen(exempt.captured(1)), yen(w.find<QLineEdit>(mode == "外税" ? "num税抜計" : "num合計")->text()));
    // Each mark survives the longest name, and the legend explains both.
    QVERIFY(text.contains(QRegularExpression("長い品名.*…\\s+※")));
    QVERIFY(text.contains(QRegularExpression("長い品名.*…\\s+非")));
    QVERIFY(text.contains("※は軽減税率対象") && text.contains("非は非課税"));
}

void SheetTest::sealAndNumberWhenWanted()
{
    TempData data;
    QTemporaryDir dir;
    QImage seal(248, 248, QImage::Format_ARGB32);
    seal.fill(Qt::transparent);
    QPainter(&seal).fillRect(20, 20, 208, 208, QColor(200, 0, 0, 200));
    seal.setDotsPerMeterX(qRound(248 / 0.021)); // 21 mm across
    seal.setDotsPerMeterY(qRound(248 / 0.021));
    QVERIFY(seal.save(dir.filePath("seal.png")));
    {
        Window w(data.folder());
        Answers yes;
        setFileChooser([&](QWidget *, FileDialog, const QString &, const QString &) { return dir.filePath("seal.png"); });
        w.find<QAbstractButton>("cmd社印")->click();
        w.find<QCheckBox>("chk見積番号印刷")->setChecked(true);
        w.find<QAbstractButton>("cmd設定登録")->click();
    }
    // Stored in the permanent file: a later start prints it.
    Window w(data.folder());
    w.find<QLineEdit>("txtNo")->setText("321");
    w.find<QComboBox>("cmb顧客名")->setEditText("甲社");
    const QString text = printed(w, dir.filePath("with.pdf"));
    QVERIFY(text.contains("No. 321"));
    const QRegularExpression image("^\\s*1\\s+\\d+\\s+image\\s+248\\s+248\\s.*\\s(\\d+)\\s+\\d+\\s+\\S+\\s+\\S+$");
    const QStringList listed = tool("pdfimages", {"-list", dir.filePath("with.pdf")}).split('\n');
    QCOMPARE(listed.filter(image).size(), 1); // once, with its transparency as a soft mask beside it
    QCOMPARE(listed.filter(QRegularExpression("^\\s*1\\s+\\d+\\s+smask\\s")).size(), 1);
    // At its own size: 248 pixels over 21 mm is 300 pixels an inch on the paper.
    QCOMPARE(image.match(listed.filter(image).first()).captured(1).toInt(), 300);

    Answers yes;
    w.find<QAbstractButton>("cmd社印削除")->click();
    w.find<QCheckBox>("chk見積番号印刷")->setChecked(false);
    w.find<QAbstractButton>("cmd設定登録")->click();
    const QString plain = printed(w, dir.filePath("without.pdf"));
    QVERIFY(!plain.contains("321"));
    QVERIFY(tool("pdfimages", {"-list", dir.filePath("without.pdf")}).split('\n').filter(QRegularExpression("^\\s*1\\s")).isEmpty());
    QVERIFY(permRows(data, "SELECT 社印 FROM 自社情報")[0][0].isNull());
}

void SheetTest::letterPaperKeepsEveryLine()
{
    PrintRecord r;
    for (int i = 1; i <= rpt見積書::kRows; ++i)
        r.lines << PrintLine{QString("行%1").arg(i), 1.0, "個", Money::fromYen(100), Money::fromYen(100)};
    r.rates << PrintRate{10, false, Money::fromYen(3000), Money::fromYen(300)} << PrintRate{8, true, Money(), Money()};
    r.exempt = Money::fromYen(5);
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("letter.pdf"));
    printer.setPageSize(QPageSize(QPageSize::Letter)); // as a default print queue has it
    QCOMPARE(rpt見積書(r).print(printer), QString());
    QVERIFY(tool("pdfinfo", {dir.filePath("letter.pdf")}).contains("(A4)"));
    const QString text = tool("pdftotext", {"-layout", dir.filePath("letter.pdf"), "-"});
    for (const char *s : {"行1", "行30", "10%対象", "8%対象※", "非課税 ¥5"})
        QVERIFY2(text.contains(s), s);

    // Paper that cannot be A4: the whole sheet is made smaller to fit its printable area.
    const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(), QPageLayout::Point,
                             QMarginsF(18, 18, 18, 18));
    const SheetPlacement place = placeSheet(letter);
    const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Point) * place.scale;
    const QRectF printable = letter.fullRect(QPageLayout::Point).marginsRemoved(QMarginsF(18, 18, 18, 18));
    QVERIFY(place.scale < 1);
    QVERIFY(printable.contains(QRectF(place.offset, a4).adjusted(0.01, 0.01, -0.01, -0.01)));
    QCOMPARE(placeSheet(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF())).scale, 1.0);
}

// Every text the sheet draws, with the size of its font on paper in points.
class TextRecorder : public QPaintDevice, public QPaintEngine {
public:
    QList<std::pair<QString, double>> texts;
    TextRecorder() : QPaintEngine(QPaintEngine::AllFeatures) {}
    QPaintEngine *paintEngine() const override { return const_cast<TextRecorder *>(this); }
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath &) override {}
    void drawTextItem(const QPointF &, const QTextItem &item) override
    {
        texts << std::pair{item.text(), item.font().pixelSize() * painter()->combinedTransform().m22()};
    }
    Type type() const override { return QPaintEngine::User; }
    QString all() const
    {
        QString out;
        for (const auto &t : texts)
            out += t.first;
        return out;
    }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) { // A4 at 72 dots an inch: a device pixel is a point
        case PdmWidth: return 595;
        case PdmHeight: return 842;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 72;
        case PdmDevicePixelRatioScaled: return 1 * QPaintDevice::devicePixelRatioFScale();
        default: return QPaintDevice::metric(m);
        }
    }
};

void SheetTest::textShrinksToSevenPointsThenCuts()
{
    PrintRecord r;
    r.customerName = QString("株式会社").repeated(30);
    r.lines << PrintLine{"部品", 1.0, "パレット", Money::fromYen(100), Money::fromYen(100)}
            << PrintLine{QString("とても長い品名").repeated(20), 1.0, "キログラム毎平方メートル", Money::fromYen(1), Money::fromYen(1)};
    TextRecorder device;
    QPainter p(&device);
    rpt見積書(r).draw(p);
    p.end();
    double smallest = 100;
    for (const auto &t : device.texts)
        smallest = std::min(smallest, t.second);
    QVERIFY2(smallest >= 7.0 - 1e-6, qPrintable(QString::number(smallest)));
    QCOMPARE(smallest, 7.0); // the long ones went down to it
    const QString all = device.all();
    QVERIFY(all.contains("パレット")); // whole, made smaller
    QVERIFY(!all.contains("キログラム毎平方メートル"));
    QVERIFY(all.contains(QRegularExpression("キログ[^毎]*…")));
}

void SheetTest::fieldsInTheirPlaces()
{
    PrintRecord r;
    r.validity = "発行日より三十日";
    r.deliveryPlace = "貴社倉庫";
    r.paymentTerms = "月末締め翌月払い";
    r.deliveryDate = "受注後十日";
    r.subject = "件名の本文";
    // A company block of five lines, each long enough to wrap: none is lost.
    for (int i = 1; i <= 5; ++i)
        r.companyInfo += QString("%1行目 大阪府大阪市北区梅田一丁目一番一号 梅田ビル%1階\n").arg(i);
    r.registrationNumber = "T7000012050002";
    QTemporaryDir dir;
    QVERIFY(rpt見積書(r).writePdf(dir.filePath("fields.pdf")));
    const QString text = tool("pdftotext", {"-layout", dir.filePath("fields.pdf"), "-"});
    QVERIFY(text.contains(QRegularExpression("有効期限\\s+発行日より三十日\\s+受渡場所\\s+貴社倉庫")));
    QVERIFY(text.contains(QRegularExpression("支払条件\\s+月末締め翌月払い\\s+納\\s+期\\s+受注後十日")));
    QVERIFY(text.contains(QRegularExpression("件\\s+名\\s+件名の本文")));
    for (int i = 1; i <= 5; ++i)
        QVERIFY2(text.contains(QString("%1行目").arg(i)), qPrintable(QString::number(i)));
    QVERIFY(text.contains("T7000012050002"));
}

void SheetTest::charactersAreNeverSplit()
{
    QCOMPARE(dropLastGrapheme("ﾊﾟﾚｯﾄﾞ"), QString("ﾊﾟﾚｯ")); // a voiced half-width kana is one
    QCOMPARE(dropLastGrapheme("ab𠮷"), QString("ab"));

    // A character no font can draw is named before anything is printed.
    TempData data;
    Window w(data.folder());
    w.find<QLineEdit>("txt件名")->setText("お祝い🎂");
    w.find<QComboBox>("cmb顧客名")->setEditText("甲社");
    bool previewed = false;
    auto previous = setPreviewRunner([&](PrintPreview &) { previewed = true; });
    Answers answers;
    w.find<QAbstractButton>("cmd印刷")->click();
    setPreviewRunner(previous);
    QVERIFY(!previewed);
    QCOMPARE(answers.shown.size(), 1);
    QVERIFY(answers.shown[0].text.startsWith("印刷できない文字があります: 🎂"));
}

void SheetTest::withoutAPrinterPdfIsOffered()
{
    QTemporaryDir dir;
    const rpt見積書 sheet{PrintRecord()};
    QPrinter printer;
    PrintPreview preview(sheet, &printer, "x.pdf");
    const PrinterChooser chooser = setPrinterChooser([](QPrinter &, QWidget *) { return PrinterChoice::NoPrinter; });
    auto paths = setPdfPathChooser([&](QWidget *, const QString &) { return dir.filePath("instead.pdf"); });
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    Answers answers;
    preview.findChild<QAction *>("cmdPrinter")->trigger(); // the preview's own print button
    setPrinterChooser(chooser);
    setPdfPathChooser(paths);
    setFolderOpener(opener);
    QCOMPARE(answers.shown[0].key, QString("プリンターなし"));
    QVERIFY(QFileInfo::exists(dir.filePath("instead.pdf")));
    QVERIFY(!QFileInfo::exists(QDir::home().filePath("x.pdf")));
}

QTEST_MAIN(SheetTest)
#include "test_sheet.moc"
