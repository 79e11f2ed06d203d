// Delivery notes and invoices where they meet the rest: conversion and the stored tax rules,
// an invoice over several delivery notes, the archive and the wipe by kind, bad input.

#include "SaveFixture.h"
#include "ui_EstimateTab.h"
#include "app/FrmQuoteDesk.h"
#include "documents/Conversion.h"
#include "documents/DocumentPanel.h"
#include "estimate/EstimateList.h"
#include "estimate/EstimateListDialog.h"
#include "ui_EstimateListDialog.h"
#include "masters/BankStore.h"
#include "masters/SettingsStore.h"
#include "print/EstimateSheet.h"
#include "print/PrintPreview.h"
#include "ui/FileChooser.h"
#include "store/IssueArchive.h"
#include "store/Wipe.h"
#include "values/InvoiceRules.h"
#include "ui/Boxes.h"

#include <QCheckBox>
#include <QLabel>
#include <QTabWidget>

class DocumentsTest : public QObject {
    Q_OBJECT
private slots:
    void invoiceRules();
    void conversionKeepsTheStoredRules();
    void invoiceOverThreeDeliveryNotesRoundsOncePerRate();
    void sameNumberInTwoKindsAndTheWipe();
    void badInputIsRefusedAndKept();
    void invoiceWithoutRegistrationIsNoQualifiedInvoice();
    void conversionsFromTheListAndFromAnUnstoredPage();
};

namespace {

EstimateLine line(const QString &name, qint64 yen, bool reduced = false)
{
    EstimateLine l{name, 1.0, QVariant(), Money::fromYen(yen), Money::fromYen(yen)};
    l.reduced = reduced;
    return l;
}

Estimate document(DocKind kind, int number, const QString &customer, QVector<EstimateLine> lines, int rate = 10,
                  const QString &rounding = QStringLiteral("切捨て"))
{
    Estimate e;
    e.kind = kind;
    e.number = number;
    e.date = QDate(2026, 12, 1);
    e.customerName = customer;
    e.lines = std::move(lines);
    e.taxMode = QStringLiteral("外税");
    e.taxRate = rate;
    e.rounding = rounding;
    return e;
}

// The page of kind, built and shown as the user opens it.
EstimateTab *page(Window &w, DocKind kind)
{
    EstimateTab *tab = w->documentTab(kind);
    w.find<QTabWidget>("SSTab1")->setCurrentIndex(int(kind) - 1);
    return tab;
}

void setRules(Window &w, int rate, const QString &rounding)
{
    QuoteDeskContext &ctx = w->context();
    std::optional<CompanySettings> stored;
    QVERIFY(SettingsStore(ctx.main).read(stored));
    CompanySettings s = stored.value_or(CompanySettings());
    s.taxMode = QStringLiteral("外税");
    s.taxRate = rate;
    s.rounding = rounding;
    QVERIFY(SettingsStore(ctx.main).write(s));
    QVERIFY(loadSettings(ctx, stored));
}

} // namespace

void DocumentsTest::invoiceRules()
{
    using namespace invoicerules;
    // The tax agency's own 法人番号, and the same with its check digit changed.
    QCOMPARE(checkRegistration("T7000012050002"), Registration::Valid);
    QCOMPARE(checkRegistration("Ｔ７０００ ０１２０ ５０００２"), Registration::Valid);
    QCOMPARE(checkRegistration("T1000012050002"), Registration::BadCheckDigit);
    QCOMPARE(checkRegistration("7000012050002"), Registration::BadForm); // no T
    QCOMPARE(checkRegistration("T700001205000"), Registration::BadForm);
    QCOMPARE(checkRegistration(""), Registration::Empty);
    // 10.21 % up to a million, 20.42 % of the excess, fractions dropped.
    QCOMPARE(withholdingOn(Money::fromYen(1000000)), Money::fromYen(102100));
    QCOMPARE(withholdingOn(Money::fromYen(1000001)), Money::fromYen(102100));
    QCOMPARE(withholdingOn(Money::fromYen(1000005)), Money::fromYen(102101));
    QCOMPARE(withholdingOn(Money::fromYen(99999)), Money::fromYen(10209));
    QCOMPARE(withholdingOn(Money::fromYen(-5)), Money());
    // Due dates: month ends across a year and a leap February.
    QCOMPARE(dueDateBy("月末締め翌月末払い", QDate(2026, 12, 15)), QDate(2027, 1, 31));
    QCOMPARE(dueDateBy("月末締め翌々月末払い", QDate(2027, 12, 31)), QDate(2028, 2, 29));
    QCOMPARE(dueDateBy("３０日", QDate(2026, 12, 15)), QDate(2027, 1, 14));
    QVERIFY(!dueDateBy("", QDate(2026, 12, 15)));
    QVERIFY(validAccountNumber("0123456") && validAccountNumber("０１２３４５６"));
    QVERIFY(!validAccountNumber("012345A") && !validAccountNumber("123456"));
    QVERIFY(validAccountName("ｶ)ﾔﾏﾀﾞｼｮｳｶｲ") && !validAccountName("山田商会"));
}

// An estimate stored at 5 % becomes an invoice at 5 %, said on the page, until the user takes
// today's 10 %; the stored invoice keeps the link and the figures it was stored with.
void DocumentsTest::conversionKeepsTheStoredRules()
{
    Fixture f;
    Window &w = f.win();
    setRules(w, 5, QStringLiteral("四捨五入"));
    EstimateStore estimates(w->context());
    QVERIFY(estimates.save(document(DocKind::Estimate, 7, "甲社", {line("工事", 10000)}, 5, "四捨五入")));
    setRules(w, 10, QStringLiteral("切捨て"));
    Answers answers;
    QVERIFY(w->convertStored(DocKind::Estimate, {7}, DocKind::Invoice));
    EstimateTab *invoice = w->documentTab(DocKind::Invoice);
    QCOMPARE(invoice->rules().rate, 5);
    QCOMPARE(invoice->totals().tax, std::optional<Money>(Money::fromYen(500)));
    auto *notice = invoice->findChild<QLabel *>("lbl税率注意");
    QVERIFY(notice->text().contains("5%") && notice->text().contains("10%"));
    QCOMPARE(invoice->findChild<QLabel *>("lbl元伝票")->text(), QString("見積書 No.7 より"));
    invoice->findChild<QAbstractButton *>("cmd今日の税率")->click();
    QCOMPARE(invoice->rules().rate, 10);
    QCOMPARE(invoice->totals().tax, std::optional<Money>(Money::fromYen(1000)));
    QVERIFY(invoice->Entry見積書());
    QCOMPARE(permInt(f.data, "SELECT 税率 FROM 請求書ヘッダ WHERE 伝票番号 = 1"), 10);
    QCOMPARE(permInt(f.data, "SELECT 消費税 FROM 請求書ヘッダ WHERE 伝票番号 = 1"), 1000 * Money::kScale);
    QCOMPARE(permInt(f.data, "SELECT 元番号 FROM 伝票連携 WHERE 種別 = 3 AND 伝票番号 = 1 AND 元種別 = 1"), 7);
    // The estimate's own number series is untouched by the invoice's.
    QCOMPARE(Proc管理(w->context().main, "最大見積書番号", "Get", 0).toInt(), 8);
    QCOMPARE(Proc管理(w->context().main, "最大請求書番号", "Get", 0).toInt(), 2);
    // Made again: asked first, No leaves the invoice page as it is.
    answers.answer({false});
    QVERIFY(!w->convertStored(DocKind::Estimate, {7}, DocKind::Invoice));
    QVERIFY(answers.shown.last().text.contains("請求書 No.1"));
    // The estimate's page names what it became.
    EstimateTab *estimate = page(w, DocKind::Estimate);
    estimate->ui->txtNo->setText("7");
    estimate->Read見積書();
    QCOMPARE(estimate->findChild<QLabel *>("lbl変換済")->text(), QString("変換済: 請求書 No.1"));
}

// Three 納品書 with 10 % and 8 % lines: the invoice rounds once per rate over all of them (per
// line would be ¥1 less), heads each group with its 納品書 and prints what is withheld.
void DocumentsTest::invoiceOverThreeDeliveryNotesRoundsOncePerRate()
{
    Fixture f;
    Window &w = f.win();
    setRules(w, 10, QStringLiteral("切捨て"));
    // The customer is paid at the end of the month after delivery, and fees are withheld.
    QVERIFY(seedPerm(f.data, "INSERT INTO 顧客マスタ (顧客名, 支払期限規則, 源泉徴収) VALUES ('乙商事', '月末締め翌月末払い', 1)"));
    EstimateStore notes(w->context(), DocKind::Delivery);
    for (int n = 1; n <= 3; ++n) {
        Estimate e = document(DocKind::Delivery, n, "乙商事", {line(QString("作業%1").arg(n), 105), line("弁当", 125, true)});
        e.tradeDate = QString("2026/11/%1").arg(n + 10);
        QVERIFY(notes.save(e));
    }
    Conversion refused;
    QVERIFY(convertDocuments(w->context(), DocKind::Delivery, {1, 2}, DocKind::Invoice, refused));
    QVERIFY(refused.refusal.isEmpty());
    QVERIFY(notes.save(document(DocKind::Delivery, 4, "丙社", {line("別件", 1)})));
    QVERIFY(convertDocuments(w->context(), DocKind::Delivery, {1, 4}, DocKind::Invoice, refused));
    QVERIFY(refused.refusal.contains("顧客が違います"));
    // Thirty lines and three headings: one invoice of two pages, nothing cut.
    for (int n = 5; n <= 7; ++n) {
        QVector<EstimateLine> ten;
        for (int i = 0; i < 10; ++i)
            ten << line(QString("部品%1").arg(i), 10);
        QVERIFY(notes.save(document(DocKind::Delivery, n, "丁社", ten)));
    }
    QVERIFY(convertDocuments(w->context(), DocKind::Delivery, {5, 6, 7}, DocKind::Invoice, refused));
    QVERIFY(refused.refusal.isEmpty());
    QCOMPARE(refused.document.lines.size(), 30);

    Answers answers;
    QVERIFY(w->convertStored(DocKind::Delivery, {1, 2, 3}, DocKind::Invoice));
    EstimateTab *invoice = w->documentTab(DocKind::Invoice);
    const Totals &t = invoice->totals();
    QCOMPARE(t.rates.size(), 2);
    QCOMPARE(t.rates[0].base, Money::fromYen(315));
    QCOMPARE(t.rates[0].tax, Money::fromYen(31)); // 31.5 cut once; per line 10 × 3 = 30
    QCOMPARE(t.rates[1].tax, Money::fromYen(30)); // 375 × 8 % = 30
    QVERIFY(invoice->findChild<QCheckBox *>("chk源泉徴収")->isChecked());
    QCOMPARE(invoice->findChild<DateBox *>("dt支払期限")->date(), QDate(2026, 12, 31));
    PrintRecord r;
    QVERIFY(w->printRecord(r));
    QCOMPARE(r.kind, DocKind::Invoice);
    QCOMPARE(r.tradeDate, QString("2026/11/13")); // the latest delivery billed
    QCOMPARE(r.sources, QString("納品書 No.1, No.2, No.3 より"));
    const rpt見積書 sheet(r); // three headings, six lines, the empty rows after them: one page
    QCOMPARE(sheet.record().lines.size(), 30);
    QCOMPARE(sheet.pageCount(), 1);
    QVERIFY(r.lines[9].name.isEmpty() && !r.lines[8].name.isEmpty());
    QVERIFY(r.lines[0].heading && r.lines[0].name.contains("No.1") && r.lines[0].name.contains("2026/11/11"));
    QVERIFY(r.lines[3].heading && r.lines[3].name.contains("No.2"));
    const Money withheld = invoicerules::withholdingOn(Money::fromYen(690));
    QCOMPARE(r.withheld, std::optional<Money>(withheld));
    QCOMPARE(r.headline, std::optional<Money>(Money::fromYen(690 + 61) - withheld));
    QVERIFY(sheetSummary(r).join('\n').contains("源泉徴収税額 ▲¥70"));
    QVERIFY(invoice->Entry見積書());
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 伝票連携 WHERE 種別 = 3 AND 伝票番号 = 1"), 3);
    QCOMPARE(permInt(f.data, "SELECT count(DISTINCT 納品書番号) FROM 請求書 WHERE 伝票番号 = 1"), 3);
    QCOMPARE(permInt(f.data, "SELECT 源泉徴収 FROM 請求書ヘッダ WHERE 伝票番号 = 1"), 1);
    // The 納品書 list names the invoice each went into.
    QHash<int, QString> links;
    EstimateList list(w->context().main);
    QVector<ListRow> rows;
    QVERIFY(list.find({QString(), {}, {}, DocKind::Delivery}, 10, rows));
    QVERIFY(list.linksOf(DocKind::Delivery, rows, links));
    QCOMPARE(links.value(2), QString("→ 請求書 No.1"));
}

// An estimate and an invoice both No.1 are two documents in the archive; the wipe removes every
// kind's documents and links, and the archive of both stays.
void DocumentsTest::sameNumberInTwoKindsAndTheWipe()
{
    Fixture f;
    Window &w = f.win();
    QuoteDeskContext &ctx = w->context();
    QVERIFY(EstimateStore(ctx).save(document(DocKind::Estimate, 1, "甲社", {line("見積の品", 100)})));
    Estimate inv = document(DocKind::Invoice, 1, "甲社", {line("請求の品", 200)});
    inv.sources << DocLink{DocKind::Estimate, 1, "2026/12/01"};
    QVERIFY(EstimateStore(ctx, DocKind::Invoice).save(inv));
    IssueArchive archive(ctx.main);
    IssueMeta estimateMeta{1, "甲社", "2026/12/01", Money::fromYen(110), "e", 1};
    IssueMeta invoiceMeta{1, "甲社", "2026/12/01", Money::fromYen(220), "i", 1, DocKind::Invoice};
    int version = 0;
    QVERIFY(archive.record(estimateMeta, "%PDF-1.4 estimate", issuearchive::kPdf, QDateTime::currentDateTime(), &version));
    QCOMPARE(version, 1);
    QVERIFY(archive.record(invoiceMeta, "%PDF-1.4 invoice", issuearchive::kPdf, QDateTime::currentDateTime(), &version));
    QCOMPARE(version, 1); // its own first version, not the estimate's second
    int count = 0;
    QVERIFY(archive.versionCount(1, count, DocKind::Invoice));
    QCOMPARE(count, 1);
    QVector<IssuedRow> rows;
    IssueFilter onlyInvoices;
    onlyInvoices.kind = DocKind::Invoice;
    QVERIFY(archive.find(onlyInvoices, 10, rows));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(archiveFileName(rows[0]).section('_', 3), QString("請求書No.1-v1.pdf"));

    QVERIFY(wipeAllData(ctx.main));
    for (const char *table : {"見積書ヘッダ", "請求書ヘッダ", "請求書", "伝票連携", "請求書索引"})
        QCOMPARE(permInt(f.data, QString("SELECT count(*) FROM %1").arg(table)), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 発行版"), 2);
    QVERIFY(archive.find({}, 10, rows));
    QCOMPARE(rows.size(), 2);
}

void DocumentsTest::badInputIsRefusedAndKept()
{
    Fixture f;
    Window &w = f.win();
    EstimateTab *invoice = page(w, DocKind::Invoice);
    Answers answers;
    // No lines: refused, nothing stored.
    invoice->findChild<QComboBox *>("cmb顧客名")->setEditText("甲社");
    QVERIFY(!invoice->Entry見積書());
    QVERIFY(answers.sawKey("伝票", "入力不可"));
    // A due date before the invoice date: refused, naming the field; what was typed stays.
    typeCell(invoice->findChild<DataGrid *>("Grid明細"), 0, Col品名, "保守");
    typeCell(invoice->findChild<DataGrid *>("Grid明細"), 0, Col単価, "1000");
    invoice->findChild<DateBox *>("dt請求日")->setDate(QDate(2026, 12, 10));
    invoice->findChild<DateBox *>("dt支払期限")->setDate(QDate(2026, 12, 1));
    answers.shown.clear();
    QVERIFY(!invoice->Entry見積書());
    QVERIFY(answers.shown.value(0).text.contains("お支払期限"));
    QCOMPARE(invoice->findChild<DataGrid *>("Grid明細")->dataControl()->data(
                 invoice->findChild<DataGrid *>("Grid明細")->dataControl()->index(0, Col品名), Qt::DisplayRole).toString(),
             QString("保守"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 請求書ヘッダ"), 0);
    // More than sixty days after delivery: asked; Yes stores it.
    invoice->findChild<DateBox *>("dt取引日")->setDate(QDate(2026, 12, 1));
    invoice->findChild<DateBox *>("dt支払期限")->setDate(QDate(2027, 2, 15));
    answers.shown.clear();
    QVERIFY(invoice->Entry見積書());
    QVERIFY(answers.shown.value(0).text.contains("60 日"));
    // A transfer account with letters in its number is refused and not stored.
    BankSettings bank;
    bank.first = {"みずほ銀行", "本店", "普通", "12345A7", "ｶ)ｺｳｼｬ"};
    QVERIFY(bank.refusal().contains("7 桁"));
    bank.first.number = "1234567";
    QVERIFY(bank.refusal().isEmpty());
    QVERIFY(writeBankSettings(w->context().main, bank));
    BankSettings read;
    QVERIFY(readBankSettings(w->context().main, read));
    QCOMPARE(read.printed(), QString("みずほ銀行 本店 普通 1234567 ｶ)ｺｳｼｬ"));
    // An estimate deleted on another desktop meanwhile: the conversion says so, nothing opens.
    QVERIFY(EstimateStore(w->context()).save(document(DocKind::Estimate, 3, "甲社", {line("品", 1)})));
    QVERIFY(seedPerm(f.data, "DELETE FROM 見積書ヘッダ WHERE 伝票番号 = 3"));
    answers.shown.clear();
    QVERIFY(!w->convertStored(DocKind::Estimate, {3}, DocKind::Delivery));
    QVERIFY(answers.shown.value(0).text.contains("見積書 No.3 は登録されていません"));
}

// Issued without a registration number of the right form: asked, and then archived as an
// invoice whose sheet names no registration number; No issues nothing.
void DocumentsTest::invoiceWithoutRegistrationIsNoQualifiedInvoice()
{
    Fixture f;
    Window &w = f.win();
    EstimateStore invoices(w->context(), DocKind::Invoice);
    QVERIFY(invoices.save(document(DocKind::Invoice, 1, "甲社", {line("保守", 5000)})));
    EstimateTab *invoice = page(w, DocKind::Invoice);
    invoice->ui->txtNo->setText("1");
    invoice->Read見積書();
    const QString path = f.data.dir.filePath("invoice.pdf");
    std::optional<PrintRecord> previewed;
    auto previous = setPreviewRunner([&](PrintPreview &p) {
        previewed = p.sheet().record();
        p.savePdf(path);
    });
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    {
        Answers answers;
        answers.answer({false});
        invoice->findChild<QAbstractButton *>("cmd印刷")->click();
        QVERIFY(answers.shown.value(0).text.contains("適格請求書ではない"));
        QVERIFY(!previewed);
        answers.answer({true});
        invoice->findChild<QAbstractButton *>("cmd印刷")->click();
    }
    setPreviewRunner(previous);
    setFolderOpener(opener);
    QVERIFY(previewed);
    QVERIFY(!previewed->qualified && previewed->registrationNumber.isEmpty());
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 発行版 WHERE 種別 = '請求書' AND 伝票番号 = 1"), 1);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 発行版 WHERE 種別 = '見積書'"), 0);
}

// Two 納品書 chosen in the list become one invoice; an estimate typed and not stored is stored
// first when the user says so; a copy of the invoice is no longer made from them.
void DocumentsTest::conversionsFromTheListAndFromAnUnstoredPage()
{
    Fixture f;
    Window &w = f.win();
    EstimateStore notes(w->context(), DocKind::Delivery);
    for (int n : {1, 2})
        QVERIFY(notes.save(document(DocKind::Delivery, n, "乙商事", {line(QString("納品%1").arg(n), 100)})));
    EstimateTab *delivery = page(w, DocKind::Delivery);
    auto previous = setListRunner([](EstimateListDialog &list) {
        QCOMPARE(list.kind(), DocKind::Delivery);
        list.ui->Grid一覧->selectAll();
        QVERIFY(list.ui->Grid一覧->item(0, 5)->text().isEmpty()); // no links yet
        list.findChild<QAbstractButton *>("cmd請求書作成")->click();
    });
    Answers answers;
    delivery->findChild<QAbstractButton *>("cmd一覧")->click();
    setListRunner(previous);
    EstimateTab *invoice = w->documentTab(DocKind::Invoice);
    QCOMPARE(w.find<QTabWidget>("SSTab1")->currentIndex(), 2);
    QCOMPARE(invoice->panel()->sources->text(), QString("納品書 No.1, No.2 より"));
    QCOMPARE(invoice->dat明細->value(1, Col品名).toString(), QString("納品2"));
    invoice->Copy見積書();
    QVERIFY(invoice->panel()->sources->text().isEmpty());

    // From the estimate's page, typed and never stored: asked, stored, then converted.
    EstimateTab *estimate = page(w, DocKind::Estimate);
    estimate->ui->cmb顧客名->setEditText("丙社");
    f.line(0, "設計", "1", "5000");
    answers.shown.clear();
    answers.answer({true, true});
    estimate->findChild<QAbstractButton *>("cmd納品書作成")->click();
    QCOMPARE(answers.shown.value(0).key, QString("変換確認"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ WHERE 顧客名 = '丙社'"), 1);
    QCOMPARE(delivery->panel()->sources->text(), QString("見積書 No.1 より"));
    QCOMPARE(delivery->dat明細->value(0, Col品名).toString(), QString("設計"));
}

QTEST_MAIN(DocumentsTest)
#include "test_documents.moc"
