// Money back and money acknowledged: a credit note made from an invoice, what it takes off
// what is owed; a receipt made from a payment split over two invoices, its rates and its
// stamp; the wipe of both with the archive kept; the month's invoice with its balance carried.

#include "SaveFixture.h"
#include "documents/DocumentPanel.h"
#include "documents/PaymentStore.h"
#include "documents/ClosingDialog.h"
#include "documents/Receipts.h"
#include "values/Closing.h"
#include "masters/SettingsStore.h"
#include "print/PrintPreview.h"
#include "print/SheetKinds.h"
#include "store/Wipe.h"
#include "ui/Boxes.h"
#include "ui/FileChooser.h"
#include "ui_EstimateTab.h"

#include <QDateEdit>
#include <QLabel>
#include <QTabWidget>

class MoneyBackTest : public QObject {
    Q_OBJECT
private slots:
    void creditNoteReturnsLinesAndReducesWhatIsOwed();
    void receiptSharesAPaymentOverTheRates();
    void stampOnlyOnPaperAndBeforeTax();
    void wipeTakesBothKindsAndKeepsTheArchive();
    void monthlyInvoiceRoundsOncePerRateAndCarriesTheBalance();
    void closingDaysAndPeriods();
};

namespace {

EstimateLine line(const QString &name, qint64 yen, bool reduced = false)
{
    EstimateLine l{name, 1.0, QVariant(), Money::fromYen(yen), Money::fromYen(yen)};
    l.reduced = reduced;
    return l;
}

// An invoice at 10 % (and 8 % for the reduced lines) outside the amounts, rounded down, with
// the figures its page would have stored.
Estimate invoice(int number, const QVector<EstimateLine> &lines, const QString &subject = QStringLiteral("資材"))
{
    Estimate e;
    e.kind = DocKind::Invoice;
    e.number = number;
    e.date = QDate(2026, 12, 1);
    e.customerName = QStringLiteral("甲社");
    e.subject = subject;
    e.lines = lines;
    e.taxMode = QStringLiteral("外税");
    e.taxRate = 10;
    e.rounding = QStringLiteral("切捨て");
    return withTotals(e);
}

EstimateTab *openPage(Window &w, DocKind kind, int number)
{
    EstimateTab *tab = w->documentTab(kind);
    w.find<QTabWidget>("SSTab1")->setCurrentIndex(int(kind) - 1);
    if (number > 0) {
        tab->ui->txtNo->setText(QString::number(number));
        tab->Read見積書();
    }
    return tab;
}

void useRegistration(Window &w)
{
    std::optional<CompanySettings> stored;
    QVERIFY(SettingsStore(w->context().main).read(stored));
    CompanySettings s = stored.value_or(CompanySettings());
    s.registrationNumber = QStringLiteral("T8700110005901"); // a valid check digit
    QVERIFY(SettingsStore(w->context().main).write(s));
}

// A 納品書 of 甲社 delivered on day of month, at 10 % outside, rounded down.
Estimate delivery(int number, const QDate &day, const QVector<EstimateLine> &lines)
{
    Estimate e = invoice(number, lines);
    e.kind = DocKind::Delivery;
    e.date = day;
    e.tradeDate = day.toString("yyyy/MM/dd");
    return e;
}

// The month's invoice as the user makes it: 締め請求 on the invoice page, the month chosen.
EstimateTab *closeMonth(Window &w, const QDate &month)
{
    EstimateTab *inv = openPage(w, DocKind::Invoice, 0);
    auto previous = setClosingRunner([&](ClosingDialog &d) {
        d.customer->setCurrentText("甲社");
        d.month->setDate(month);
        return true;
    });
    inv->findChild<QAbstractButton *>("cmd締め請求")->click();
    setClosingRunner(previous);
    return inv;
}

} // namespace

// Returned in part: the credit note goes back to the invoice's date with negative amounts at the
// invoice's rules, its own number series, and the invoice then owes what is left; under
// ¥10,000 the user is told it need not be issued.
void MoneyBackTest::creditNoteReturnsLinesAndReducesWhatIsOwed()
{
    Fixture f;
    Window &w = f.win();
    useRegistration(w);
    QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoice(1, {line("工事", 10000), line("弁当", 1000, true)})));
    EstimateTab *inv = openPage(w, DocKind::Invoice, 1);
    Answers answers;
    inv->findChild<QAbstractButton *>("cmd返還作成")->click();
    EstimateTab *credit = w->documentTab(DocKind::Credit);
    QCOMPARE(credit->totals().grand, std::optional<Money>(Money::fromYen(-12080)));
    QCOMPARE(credit->panel()->tradeDate->date(), QDate(2026, 12, 1));
    QCOMPARE(credit->panel()->sources->text(), QString("請求書 No.1 より"));
    // Only the lunch goes back.
    typeCell(credit->findChild<DataGrid *>("Grid明細"), 0, Col数量, "0");
    QCOMPARE(credit->totals().grand, std::optional<Money>(Money::fromYen(-1080)));
    QVERIFY(credit->Entry見積書());
    QCOMPARE(permInt(f.data, "SELECT 合計 FROM 返還請求書ヘッダ WHERE 伝票番号 = 1"), -1080 * Money::kScale);
    QCOMPARE(permInt(f.data, "SELECT 元番号 FROM 伝票連携 WHERE 種別 = 4 AND 元種別 = 3"), 1);
    QCOMPARE(Proc管理(w->context().main, "最大請求書番号", "Get", 0).toInt(), 2);
    QCOMPARE(Proc管理(w->context().main, "最大返還請求書番号", "Get", 0).toInt(), 2);
    // What the invoice is owed: its total less the credit, and a payment of the rest settles it.
    PaymentStore payments(w->context().main);
    InvoiceBalance b;
    bool found = false;
    QVERIFY(payments.balance(1, b, found) && found);
    QCOMPARE(b.open(), Money::fromYen(11000));
    QCOMPARE(permInt(f.data, "SELECT 合計 FROM 請求書ヘッダ WHERE 伝票番号 = 1"), 12080 * Money::kScale);
    QVERIFY(payments.record({QDate(2026, 12, 20), "甲社", Money(), "", {{1, Money::fromYen(11000)}}}));
    QVERIFY(payments.balance(1, b, found));
    QCOMPARE(b.status(QDate(2027, 2, 1)), PayStatus::Paid);

    // A credit note that adds to the bill is refused.
    credit = openPage(w, DocKind::Credit, 1);
    typeCell(credit->findChild<DataGrid *>("Grid明細"), 1, Col数量, "1");
    answers.shown.clear();
    QVERIFY(!credit->Entry見積書());
    QVERIFY(answers.sawKey("伝票", "入力不可"));
    typeCell(credit->findChild<DataGrid *>("Grid明細"), 1, Col数量, "-1");
    QVERIFY(credit->Entry見積書());
    credit = openPage(w, DocKind::Credit, 1);

    // Below ¥10,000: asked before it is issued, and No issues nothing.
    std::optional<PrintRecord> previewed;
    auto previous = setPreviewRunner([&](PrintPreview &p) { previewed = p.sheet().record(); });
    answers.shown.clear();
    answers.answer({false});
    credit->findChild<QAbstractButton *>("cmd印刷")->click();
    QVERIFY(answers.shown.value(0).text.contains("1 万円未満"));
    QVERIFY(!previewed);
    answers.answer({true});
    credit->findChild<QAbstractButton *>("cmd印刷")->click();
    setPreviewRunner(previous);
    QVERIFY(previewed);
    QCOMPARE(sheetkinds::title(*previewed), QString("返還請求書"));
    QCOMPARE(previewed->registrationNumber, QString("T8700110005901"));
    QCOMPARE(sheetkinds::value(*previewed, 1), QString("2026/12/01")); // the sale it goes back to
}

// One payment of two invoices: the receipt shares it over 10 % and 8 % so that each rate's tax
// contained is what the invoices charged; made again for the same payment, it asks.
void MoneyBackTest::receiptSharesAPaymentOverTheRates()
{
    Fixture f;
    Window &w = f.win();
    EstimateStore invoices(w->context(), DocKind::Invoice);
    QVERIFY(invoices.save(invoice(1, {line("機械", 50000), line("菓子", 5000, true)}, "機械一式")));
    QVERIFY(invoices.save(invoice(2, {line("据付", 10000)})));
    QVERIFY(PaymentStore(w->context().main)
                .record({QDate(2026, 12, 10), "甲社", Money(), "", {{1, Money::fromYen(60400)}, {2, Money::fromYen(11000)}}}));
    EstimateTab *inv = openPage(w, DocKind::Invoice, 2);
    Answers answers;
    inv->findChild<QAbstractButton *>("cmd領収書作成")->click();
    QVERIFY(answers.shown.isEmpty());
    EstimateTab *receipt = w->documentTab(DocKind::Receipt);
    QCOMPARE(receipt->rules().mode, QString("内税"));
    QCOMPARE(receipt->totals().grand, std::optional<Money>(Money::fromYen(71400)));
    QCOMPARE(receipt->totals().tax, std::optional<Money>(Money::fromYen(6400))); // 5,000 + 1,000 + 400
    QCOMPARE(receipt->ui->txt件名->text(), QString("機械一式代として"));
    QCOMPARE(receipt->panel()->tradeDate->date(), QDate(2026, 12, 10));
    QCOMPARE(receipt->panel()->sources->text(), QString("請求書 No.1, No.2 より"));
    QVERIFY(receipt->Entry見積書());
    QCOMPARE(permInt(f.data, "SELECT 合計 FROM 領収書ヘッダ WHERE 伝票番号 = 1"), 71400 * Money::kScale);
    answers.answer({false});
    inv->findChild<QAbstractButton *>("cmd領収書作成")->click();
    QVERIFY(answers.shown.value(0).text.contains("領収書 No.1"));

    // Part of an invoice: the shares add up to what came in, to the yen.
    const QVector<RateShare> part = sharesOf(invoice(3, {line("a", 10000), line("b", 1000, true)}), Money::fromYen(5000));
    QCOMPARE(part.size(), 2);
    QCOMPARE(part[0].amount + part[1].amount, Money::fromYen(5000));
    QCOMPARE(part[1].amount, Money::fromYen(447)); // 1,080 × 5,000 / 12,080, rounded down

    // An invoice nobody has paid has no receipt to make.
    QVERIFY(invoices.save(invoice(4, {line("c", 100)})));
    inv = openPage(w, DocKind::Invoice, 4);
    answers.shown.clear();
    inv->findChild<QAbstractButton *>("cmd領収書作成")->click();
    QVERIFY(answers.sawKey("伝票", "入力不可"));
}

// The stamp counts the amount before the tax the receipt shows: ¥54,000 with 10 % in it is
// below ¥50,000; ¥55,000 is not. Card payments and PDFs carry none.
void MoneyBackTest::stampOnlyOnPaperAndBeforeTax()
{
    PrintRecord r;
    r.kind = DocKind::Receipt;
    r.paper = true;
    r.paymentTerms = QStringLiteral("現金");
    auto stamp = [&](qint64 grand, qint64 tax) {
        r.grand = Money::fromYen(grand);
        r.tax = Money::fromYen(tax);
        return sheetkinds::stampDue(r).value_or(Money());
    };
    QCOMPARE(stamp(54000, 4909), Money());
    QCOMPARE(stamp(55000, 5000), Money::fromYen(200));
    QCOMPARE(stamp(1100000, 100000), Money::fromYen(200));
    QCOMPARE(stamp(1100001, 100000), Money::fromYen(400));
    QCOMPARE(stamp(60000, 0), Money::fromYen(200));
    const QByteArray onPaper = sheetFingerprint(r);
    r.paper = false;
    QCOMPARE(stamp(60000, 0), Money());
    QVERIFY(sheetFingerprint(r) != onPaper); // the paper one is archived as what it is
    r.paper = true;
    r.paymentTerms = QStringLiteral("クレジットカード");
    QCOMPARE(stamp(60000, 0), Money());
    r.kind = DocKind::Invoice;
    r.paymentTerms.clear();
    QCOMPARE(stamp(60000, 0), Money());
}

// The wipe empties credit notes and receipts with the rest; what was issued stays archived.
void MoneyBackTest::wipeTakesBothKindsAndKeepsTheArchive()
{
    Fixture f;
    Window &w = f.win();
    useRegistration(w);
    QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoice(1, {line("工事", 20000)})));
    Answers answers;
    QVERIFY(w->convertStored(DocKind::Invoice, {1}, DocKind::Credit));
    QVERIFY(w->documentTab(DocKind::Credit)->Entry見積書());
    EstimateTab *credit = openPage(w, DocKind::Credit, 1);
    QVERIFY(PaymentStore(w->context().main).record({QDate(2026, 12, 10), "甲社", Money(), "", {{1, Money::fromYen(1)}}}));
    Conversion c;
    QVERIFY(receiptForPayment(w->context(), 1, c) && c.refusal.isEmpty());
    QVERIFY(EstimateStore(w->context(), DocKind::Receipt).save(c.document));
    const QString path = f.data.dir.filePath("credit.pdf");
    auto previous = setPreviewRunner([&](PrintPreview &p) { QVERIFY(p.savePdf(path)); });
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    credit->findChild<QAbstractButton *>("cmd印刷")->click();
    setPreviewRunner(previous);
    setFolderOpener(opener);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 発行版 WHERE 種別 = '返還請求書'"), 1);
    QVERIFY(wipeAllData(w->context().main));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 返還請求書ヘッダ"), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 領収書"), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 伝票連携"), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 発行版 WHERE 種別 = '返還請求書'"), 1);
}

// Two 納品書 of 110 yen at 8 %: 8 yen of tax each, 17 over the month. The November invoice takes
// what was delivered from 10/21 to 11/20 only; December's carries November's, less the payment
// and the credit note since: 前回 − 入金 + 返還 = 繰越, 繰越 + 今回 = 請求, to the yen.
void MoneyBackTest::monthlyInvoiceRoundsOncePerRateAndCarriesTheBalance()
{
    Fixture f;
    Window &w = f.win();
    useRegistration(w);
    QVERIFY(w->context().main.exec("INSERT INTO 顧客マスタ (顧客名, 支払期限規則, 締日) VALUES ('甲社', '翌月末', '20日')"));
    EstimateStore deliveries(w->context(), DocKind::Delivery);
    QVERIFY(deliveries.save(delivery(1, QDate(2026, 10, 20), {line("前月分", 5000)})));
    QVERIFY(deliveries.save(delivery(2, QDate(2026, 11, 5), {line("菓子", 110, true), line("品", 1000)})));
    QVERIFY(deliveries.save(delivery(3, QDate(2026, 11, 20), {line("菓子", 110, true), line("品", 1000)})));
    QVERIFY(deliveries.save(delivery(4, QDate(2026, 11, 21), {line("翌月分", 3000)})));
    Answers answers;
    EstimateTab *inv = closeMonth(w, QDate(2026, 11, 15));
    QVERIFY(answers.shown.isEmpty());
    QCOMPARE(inv->panel()->sources->text(), QString("納品書 No.2, No.3 より"));
    QCOMPARE(inv->totals().tax, std::optional<Money>(Money::fromYen(217))); // 17 + 200; per 納品書 it would be 216
    QCOMPARE(inv->panel()->dueDate->date(), QDate(2026, 12, 31));
    QVERIFY(inv->findChild<QLabel *>("lbl締め請求")->text().contains("2026/10/21〜2026/11/20"));
    QVERIFY(inv->Entry見積書());
    QCOMPARE(permInt(f.data, "SELECT 合計 FROM 請求書ヘッダ WHERE 伝票番号 = 1"), 2437 * Money::kScale);
    // Made again: the 納品書 are on an invoice already, so it asks; No makes nothing.
    answers.answer({false});
    closeMonth(w, QDate(2026, 11, 15));
    QVERIFY(answers.shown.value(0).text.contains("請求書 No.1"));

    // December: 2,000 paid and 118 returned since; 3,300 bought.
    PaymentStore payments(w->context().main);
    QVERIFY(payments.record({QDate(2026, 12, 5), "甲社", Money(), "", {{1, Money::fromYen(2000)}}}));
    Estimate credit = invoice(1, {line("菓子", -110, true)});
    credit.kind = DocKind::Credit;
    credit.date = QDate(2026, 12, 6);
    credit.grand = Money::fromYen(-118);
    credit.sources << DocLink{DocKind::Invoice, 1, "2026/11/20"};
    QVERIFY(EstimateStore(w->context(), DocKind::Credit).save(credit));
    answers.answer({true});
    inv = closeMonth(w, QDate(2026, 12, 1));
    QVERIFY(inv->Entry見積書());
    Estimate december;
    bool found = false;
    QVERIFY(EstimateStore(w->context(), DocKind::Invoice).load(2, december, found) && found);
    const ClosingBalance b{december.previousBilled, december.received, december.credited};
    QCOMPARE(b.previous, Money::fromYen(2437));
    QCOMPARE(b.received, Money::fromYen(2000));
    QCOMPARE(b.credited, Money::fromYen(-118));
    QCOMPARE(b.carried(), Money::fromYen(319));
    QCOMPARE(december.grand, std::optional<Money>(Money::fromYen(3300)));
    // What is printed: the block, and the amount asked with the balance in it and no tax on it.
    std::optional<PrintRecord> previewed;
    auto previous = setPreviewRunner([&](PrintPreview &p) { previewed = p.sheet().record(); });
    inv = openPage(w, DocKind::Invoice, 2);
    inv->findChild<QAbstractButton *>("cmd印刷")->click();
    setPreviewRunner(previous);
    QVERIFY(previewed);
    QCOMPARE(previewed->headline, std::optional<Money>(Money::fromYen(3619)));
    const QStringList block = sheetkinds::closingLines(*previewed);
    QCOMPARE(block.value(1), QString("前回御請求額 ¥2,437　ご入金額 ¥2,000　返還額 ¥-118　繰越金額 ¥319"));
    QVERIFY(block.value(2).endsWith("今回御請求額 ¥3,619"));
    // The payment settles the November invoice in part, less what was returned.
    InvoiceBalance nov;
    QVERIFY(payments.balance(1, nov, found) && found);
    QCOMPARE(nov.open(), Money::fromYen(2437 - 118 - 2000));
}

// Closing days: 末日 and every fifth day to the 25th; the period runs from the day after the last
// closing, across a year's end and a short February.
void MoneyBackTest::closingDaysAndPeriods()
{
    QCOMPARE(closingDayOf("末日"), std::optional<int>(0));
    QCOMPARE(closingDayOf("２０日"), std::optional<int>(20));
    QCOMPARE(closingDayOf(""), std::optional<int>(-1));
    QVERIFY(!closingDayOf("30日") && !closingDayOf("7") && !closingDayOf("0"));
    const ClosingPeriod jan = closingPeriod(0, QDate(2027, 1, 9));
    QCOMPARE(jan.from, QDate(2027, 1, 1));
    QCOMPARE(jan.to, QDate(2027, 1, 31));
    const ClosingPeriod mar = closingPeriod(25, QDate(2028, 3, 1));
    QCOMPARE(mar.from, QDate(2028, 2, 26));
    QCOMPARE(mar.to, QDate(2028, 3, 25));
    QCOMPARE(closingPeriod(0, QDate(2028, 3, 1)).from, QDate(2028, 3, 1));
    QCOMPARE(closingPeriod(0, QDate(2028, 2, 1)).to, QDate(2028, 2, 29));

    // A closing day outside the list is refused when the customers are registered.
    Fixture f;
    Window &w = f.win();
    w.find<QTabWidget>("SSTab1")->setCurrentIndex(5);
    DataGrid *grid = w->findChild<DataGrid *>("Grid顧客マスタ");
    typeCell(grid, 0, 1, "乙商事");
    typeCell(grid, 0, 5, "31日");
    Answers answers;
    w->findChild<QAbstractButton *>("cmd顧客登録")->click();
    QVERIFY(answers.sawKey("伝票", "入力不可"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 顧客マスタ WHERE 顧客名 = '乙商事'"), 0);
    typeCell(grid, 0, 5, "末日");
    w->findChild<QAbstractButton *>("cmd顧客登録")->click();
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 顧客マスタ WHERE 締日 = '末日'"), 1);
}

QTEST_MAIN(MoneyBackTest)
#include "test_moneyback.moc"
