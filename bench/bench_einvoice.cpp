// The digital invoice of a 30-line invoice at two rates with exempt lines: written as JP PINT XML
// (checked first, as the button does), beside the PDF of the same sheet.

#include "BenchSupport.h"
#include "einvoice/JpPint.h"

#include <QApplication>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintRecord r;
    r.kind = DocKind::Invoice;
    r.number = QStringLiteral("1024");
    r.date = QStringLiteral("2026/12/09");
    r.dueDate = QStringLiteral("2027/01/31");
    r.companyName = QStringLiteral("有限会社 甲工務店");
    r.companyInfo = QStringLiteral("〒530-0001 大阪府大阪市北区梅田1-1\nTEL 06-0000-0000");
    r.registrationNumber = QStringLiteral("T8700110005901");
    r.customerName = QStringLiteral("株式会社 丙物産");
    r.customerInfo = QStringLiteral("〒100-0013 東京都千代田区霞が関3-1-1\n法人番号 7000012050002");
    r.taxMode = QStringLiteral("外税");
    r.standardRate = 10;
    Money standard, reduced, exempt;
    for (int i = 0; i < 30; ++i) {
        const Money amount = Money::fromYen(1000 + 37 * i);
        PrintLine l{QStringLiteral("品目 %1 & <仕様>").arg(i + 1), 2.0, QStringLiteral("個"), Money::fromYen(500 + 37 * i / 2), amount};
        l.amount = Money::fromYen(2 * (500 + 37 * i / 2));
        l.reduced = i % 3 == 1;
        l.exempt = i % 10 == 9;
        (l.exempt ? exempt : l.reduced ? reduced : standard) += *l.amount;
        r.lines << l;
    }
    const Money taxStd = Money::fromYen(standard.raw() / Money::kScale / 10), taxRed = Money::fromYen(reduced.raw() / Money::kScale * 8 / 100);
    r.rates = {PrintRate{10, false, standard, taxStd}, PrintRate{8, true, reduced, taxRed}};
    r.exempt = exempt;
    r.net = standard + reduced + exempt;
    r.tax = taxStd + taxRed;
    r.grand = *r.net + *r.tax;
    r.headline = r.grand;
    r.accounts = {PrintAccount{"みずほ銀行", "梅田支店", "普通", "1234567", "ユ）コウコウムテン"}};
    for (const jppint::Problem &p : jppint::check(r))
        if (!p.warning)
            std::printf("refused: %s: %s\n", qPrintable(p.field), qPrintable(p.text)), std::abort();
    qsizetype bytes = 0;
    const double pdf = timeMedian(20, [&] { bytes += rpt見積書(r).pdf().size(); });
    const double xml = timeMedian(200, [&] { bytes += jppint::write(r).size(); });
    report("JP PINT XML of a 30-line invoice", xml, "the PDF of its sheet", pdf, 5);
    std::printf("(%lld bytes written in all)\n", static_cast<long long>(bytes));
    return 0;
}
