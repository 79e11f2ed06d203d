// Money back and money acknowledged: a credit note made from an invoice, what it takes off
// what is owed; a receipt made from a payment split over two invoices, its rates and its
// stamp; the wipe of both with the archive kept.

#include "SaveFixture.h"
#include "documents/DocumentPanel.h"
#include "documents/PaymentStore.h"
#include "documents/Receipts.h"
#include "masters/SettingsStore.h"
#include "print/PrintPreview.h"
#include "print/SheetKinds.h"
#include "store/Wipe.h"
#include "ui/Boxes.h"
#include "ui/FileChooser.h"
#include "ui_EstimateTab.h"

#include <QLabel>
#include <QTabWidget>

class MoneyBackTest : public QObject {
    Q_OBJECT
private slots:
    void creditNoteReturnsLinesAndReducesWhatIsOwed();
    void receiptSharesAPaymentOverTheRates();
    void stampOnlyOnPaperAndBeforeTax();
    void wipeTakesBothKindsAndKeepsTheArchive();
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
    Money total;
    TaxableSums taxable;
    sumLines(lines, total, taxable);
    const Totals t = computeTotals(total, taxable, {e.taxMode, e.taxRate, e.rounding});
    e.net = t.net;
    e.tax = t.tax;
    e.grand = t.grand;
    return e;
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

QTEST_MAIN(MoneyBackTest)
#include "test_moneyback.moc"
