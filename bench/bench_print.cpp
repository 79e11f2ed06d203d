// Rendering the sheet of a 30-line estimate to a PDF file, against the same QPainter
// writing 30 lines of plain text to a PDF.

#include "BenchSupport.h"
#include "print/EstimateSheet.h"
#include "ui/Fonts.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

static PrintRecord sampleRecord()
{
    PrintRecord r;
    r.date = "2026/12/08";
    r.customerName = "株式会社山田商店";
    r.customerInfo = "〒100-0001\n東京都千代田区千代田1-1\nTEL 03-0000-0000";
    r.companyName = "有限会社見積工房";
    r.companyInfo = "〒530-0001\n大阪府大阪市北区梅田1-1\nTEL 06-0000-0000\nFAX 06-0000-0001";
    r.subject = "店舗改装工事一式";
    r.deliveryDate = "受注後2週間";
    r.validity = "発行日より30日";
    r.paymentTerms = "月末締め翌月末払い";
    r.deliveryPlace = "御社指定場所";
    r.net = Money::fromYen(1234500);
    r.tax = Money::fromYen(61725);
    r.grand = r.headline = Money::fromYen(1296225);
    for (int i = 0; i < 30; ++i)
        r.lines << PrintLine{QString("部材%1 ステンレス製").arg(i + 1), double(i + 1), "個",
                             Money::fromYen(1000 + i), Money::fromYen((1000 + i) * (i + 1))};
    return r;
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    installFontSubstitutions();
    QTemporaryDir dir;
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath("sheet.pdf");
    const rpt見積書 sheet(sampleRecord());
    const double render = timeMedian(20, [&] {
        if (!sheet.writePdf(path))
            std::abort();
    });
    const QString plain = dir.filePath("plain.pdf");
    const double floor = timeMedian(20, [&] {
        QPdfWriter pdf(plain);
        QPainter p(&pdf);
        p.setFont(QFont(QStringLiteral("ＭＳ Ｐ明朝"), 10));
        for (int i = 0; i < 30; ++i)
            p.drawText(200, 200 + i * 200, QString("部材%1 ステンレス製 %2 個").arg(i + 1).arg(1000 + i));
    });
    report("30-line sheet to a PDF file (20 runs)", render, "30 lines of text to a PDF", floor, 100);
    return 0;
}
