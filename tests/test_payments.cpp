// Money in: a payment spread over a customer's invoices, what each still owes, the wipe, two
// desktops paying one invoice at once, the stamp a paper receipt needs.

#include "ServerSupport.h"
#include "SaveFixture.h"
#include "documents/PaymentDialog.h"
#include "documents/ReceivablesDialog.h"
#include "ui/FileChooser.h"
#include "documents/DocumentPanel.h"
#include "store/Engine.h"
#include "store/Owed.h"
#include "store/Wipe.h"
#include "ui/Boxes.h"
#include "ui_EstimateTab.h"
#include "values/Receivables.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QShortcut>
#include <QSet>
#include <QTableWidget>
#include <QThread>

class PaymentsTest : public QObject {
    Q_OBJECT
private slots:
    void stampAndStatusRules();
    void onePaymentSettlesThreeInvoicesOldestFirst();
    void doubtfulPaymentsAreAskedAbout();
    void whatIsOwedByCustomerAndAsCsv();
    void twoDesktopsPayingOneInvoiceLoseNothing_data();
    void twoDesktopsPayingOneInvoiceLoseNothing();
};

namespace {

// Invoice number for customer, dated day of December, due at the month's end, billing yen.
Estimate invoice(int number, int day, qint64 yen, const QString &customer = QStringLiteral("甲社"))
{
    Estimate e;
    e.kind = DocKind::Invoice;
    e.number = number;
    e.date = QDate(2026, 11, day);
    e.customerName = customer;
    e.dueDate = QStringLiteral("2026/12/31");
    e.grand = Money::fromYen(yen);
    e.lines << EstimateLine{QStringLiteral("品"), 1.0, QVariant(), Money::fromYen(yen), Money::fromYen(yen)};
    return e;
}

} // namespace

void PaymentsTest::stampAndStatusRules()
{
    // The stamp on a paper receipt, by band; a PDF one needs none (the caller's choice).
    QCOMPARE(stampDuty(Money::fromYen(49999)), Money());
    QCOMPARE(stampDuty(Money::fromYen(50000)), Money::fromYen(200));
    QCOMPARE(stampDuty(Money::fromYen(1000000)), Money::fromYen(200));
    QCOMPARE(stampDuty(Money::fromYen(1000001)), Money::fromYen(400));
    QCOMPARE(stampDuty(Money::fromYen(5000000)), Money::fromYen(1000));
    QCOMPARE(stampDuty(Money::parse("49999.99").value()), Money());
    // Oldest first; what is left stays unallocated; a settled invoice takes nothing.
    const QVector<Money> split = splitOldestFirst(Money::fromYen(250), {Money::fromYen(100), Money(), Money::fromYen(100),
                                                                        Money::fromYen(100)});
    QCOMPARE(split, (QVector<Money>{Money::fromYen(100), Money(), Money::fromYen(100), Money::fromYen(50)}));
    const QDate due(2026, 12, 31);
    QCOMPARE(payStatus(Money::fromYen(100), Money(), due, QDate(2026, 12, 31)), PayStatus::Unpaid);
    QCOMPARE(payStatus(Money::fromYen(100), Money::fromYen(1), due, QDate(2027, 1, 1)), PayStatus::Overdue);
    QCOMPARE(payStatus(Money::fromYen(100), Money::fromYen(100), due, QDate(2027, 1, 1)), PayStatus::Paid);
    QCOMPARE(payStatus(Money::fromYen(100), Money::fromYen(40), QDate(), QDate(2027, 1, 1)), PayStatus::Partial);
}

// ¥25,000 with ¥440 kept back for the fee settles the two oldest invoices and part of the
// third; the invoices' stored figures stay as issued, and the wipe takes the payments.
void PaymentsTest::onePaymentSettlesThreeInvoicesOldestFirst()
{
    Fixture f;
    Window &w = f.win();
    EstimateStore invoices(w->context(), DocKind::Invoice);
    QVERIFY(invoices.save(invoice(3, 20, 10000)));
    QVERIFY(invoices.save(invoice(1, 1, 5000)));
    QVERIFY(invoices.save(invoice(2, 10, 8000)));
    QVERIFY(invoices.save(invoice(4, 25, 9000, QStringLiteral("乙社")))); // another customer's: not offered
    EstimateTab *page = w->documentTab(DocKind::Invoice);
    page->ui->txtNo->setText("2");
    page->Read見積書();
    QVERIFY(page->panel()->payment->text().endsWith("（残額 ¥8,000）")); // 未入金, or 期限超過 once the year is out
    auto previous = setPaymentRunner([](PaymentDialog &d) {
        QCOMPARE(d.invoices->rowCount(), 3);
        QCOMPARE(d.invoices->item(0, 0)->text(), QString("No.1")); // the oldest first
        d.date->setDate(QDate(2026, 12, 5));
        d.amount->setText("20000");
        d.fee->setText("440");
        d.memo->setText("振込 コウシャ");
        QVERIFY(d.recordShown());
    });
    Answers answers;
    page->findChild<QAbstractButton *>("cmd入金")->click();
    setPaymentRunner(previous);
    QVERIFY(answers.shown.isEmpty());
    QCOMPARE(page->panel()->payment->text(), QString("入金済"));
    PaymentStore store(w->context().main);
    QVector<InvoiceBalance> open;
    QVERIFY(store.invoices("甲社", open));
    QCOMPARE(open.size(), 1);
    QCOMPARE(open[0].number, 3);
    QCOMPARE(open[0].open(), Money::fromYen(10000 - (20440 - 13000)));
    QCOMPARE(permInt(f.data, "SELECT count(DISTINCT 入金番号) FROM 入金"), 1);
    QCOMPARE(permInt(f.data, "SELECT sum(金額) FROM 入金"), 20000 * Money::kScale);
    QCOMPARE(permInt(f.data, "SELECT 合計 FROM 請求書ヘッダ WHERE 伝票番号 = 3"), 10000 * Money::kScale);
    // What is owed, in total: the third's rest and the other customer's invoice.
    QVector<InvoiceBalance> owed;
    QVERIFY(store.receivables({}, QDate(2026, 12, 6), owed));
    QCOMPARE(owed.size(), 2);
    QVERIFY(store.receivables({}, QDate(2027, 1, 6), owed));
    QCOMPARE(owed.value(0).status(QDate(2027, 1, 6)), PayStatus::Overdue);
    QVERIFY(store.receivables({"乙", PayStatus::Overdue, QDate(2026, 12, 1)}, QDate(2027, 1, 6), owed));
    QCOMPARE(owed.size(), 1);

    QVERIFY(wipeAllData(w->context().main));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 入金"), 0);
}

// Nothing typed is refused; more than is open, or a date before the invoice's, is asked about,
// and No records nothing; an invoice not stored has nothing to pay.
void PaymentsTest::doubtfulPaymentsAreAskedAbout()
{
    Fixture f;
    Window &w = f.win();
    QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoice(1, 20, 1000)));
    PaymentDialog d(w->context(), "甲社");
    Answers answers;
    QVERIFY(!d.recordShown());
    QVERIFY(answers.sawKey("伝票", "入力不可"));
    d.date->setDate(QDate(2026, 11, 1));
    d.amount->setText("1500");
    d.invoices->item(0, 5)->setText("1500");
    answers.shown.clear();
    answers.answer({true, false}); // over what is open: yes; before the invoice: no
    QVERIFY(!d.recordShown());
    QCOMPARE(answers.shown.size(), 2);
    QVERIFY(answers.shown[0].text.contains("残額"));
    QVERIFY(answers.shown[1].text.contains("請求日"));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 入金"), 0);
    answers.answer({true, true});
    QVERIFY(d.recordShown());
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 入金"), 1);

    EstimateTab *page = w->documentTab(DocKind::Invoice);
    page->ui->txtNo->setText("9"); // nothing stored under it
    page->Read見積書();
    answers.shown.clear();
    bool ran = false;
    auto previous = setPaymentRunner([&](PaymentDialog &) { ran = true; });
    page->findChild<QAbstractButton *>("cmd入金")->click();
    setPaymentRunner(previous);
    QVERIFY(!ran && answers.sawKey("伝票", "入力不可"));
}

// F5: what each customer owes, overdue past the due date, filtered by status and due month; the
// CSV has one row per open invoice.
void PaymentsTest::whatIsOwedByCustomerAndAsCsv()
{
    Fixture f;
    Window &w = f.win();
    EstimateStore invoices(w->context(), DocKind::Invoice);
    QVERIFY(invoices.save(invoice(1, 1, 1000)));
    Estimate later = invoice(2, 2, 3000);
    later.dueDate = "2027/02/28";
    QVERIFY(invoices.save(later));
    QVERIFY(invoices.save(invoice(3, 3, 500, "乙社")));
    QVERIFY(PaymentStore(w->context().main).record({QDate(2026, 12, 1), "甲社", Money(), "", {{1, Money::fromYen(400)}}}));
    QVERIFY(PaymentStore(w->context().main).record({QDate(2026, 12, 1), "乙社", Money(), "", {{3, Money::fromYen(500)}}}));
    QStringList customers, csv;
    auto previous = setReceivablesRunner([&](ReceivablesDialog &d) {
        for (int r = 0; r < d.customers->rowCount(); ++r)
            customers << d.customers->item(r, 0)->text() + "=" + d.customers->item(r, 2)->text();
    });
    w.find<QShortcut>("key売掛")->activated();
    setReceivablesRunner(previous);
    QCOMPARE(customers, QStringList{"甲社=3,600"}); // 乙社 has paid
    // Seen on 2027/01/10 invoice 1 is overdue; invoice 2 not yet.
    ReceivablesDialog d(w->context().main, nullptr, QDate(2027, 1, 10));
    QCOMPARE(d.customers->item(0, 3)->text(), QString("600"));
    QCOMPARE(d.customers->item(0, 4)->text(), QString("2026/12/31"));
    d.status->setCurrentIndex(d.status->findText("期限超過"));
    const QString path = f.data.dir.filePath("owed.csv");
    const FolderOpener opener = setFolderOpener([](const QString &) {});
    {
        Answers notices;
        QVERIFY(d.exportCsv(path));
    }
    setFolderOpener(opener);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    csv = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(csv.size(), 2);
    QCOMPARE(csv[1], QString("甲社,1,2026/11/01,2026/12/31,1000,0,400,600,期限超過"));
    d.status->setCurrentIndex(0);
    d.dueMonth->setCurrentIndex(d.dueMonth->findText("2027年2月"));
    QCOMPARE(d.shown().size(), 1);
    QCOMPARE(d.shown()[0].number, 2);
    // Another desktop records a payment: the view's next refresh shows it.
    {
        Db other(QStringLiteral("other-desktop"));
        QVERIFY(f.data.openPerm(other));
        QVERIFY(PaymentStore(other).record({QDate(2027, 1, 5), "甲社", Money(), "", {{2, Money::fromYen(3000)}}}));
    }
    d.refresh();
    QVERIFY(d.shown().isEmpty());
}

void PaymentsTest::twoDesktopsPayingOneInvoiceLoseNothing_data()
{
    QTest::addColumn<bool>("onServer");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

// Two desktops record a hundred payments each against the same invoice at once, while a third
// changes the invoice's total: every payment is kept, each under a number of its own, and what
// the invoice still asks follows all of them.
void PaymentsTest::twoDesktopsPayingOneInvoiceLoseNothing()
{
    QFETCH(bool, onServer);
    if (onTestServer() && !onServer)
        QSKIP("the file's case belongs to the file's run");
    TempData data;
    if (onServer && (TestServer::conninfo().isEmpty() || (!data.server && !data.prepareServer())))
        QSKIP("no test server");
    {
        Window w(data.folder());
        QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoice(1, 1, 1000000)));
    }
    const int each = 100;
    int failures[2] = {0, 0};
    auto desk = [&](int k) {
        Db main(QStringLiteral("desk-main-%1").arg(k));
        bool opened = onServer && data.openPerm(main);
        // A file opens only while no other connection is writing: the start refuses a busy file.
        for (int tries = 0; !onServer && !opened && tries < 500; ++tries, QThread::msleep(10))
            opened = data.openPerm(main) && main.setBusyTimeout(10000);
        PaymentStore store(main);
        for (int i = 0; i < each; ++i) {
            Payment p{QDate(2026, 12, 1), QStringLiteral("甲社"), Money(), QStringLiteral("desk%1").arg(k),
                      {{1, Money::fromYen(1)}}};
            if (!opened || !store.record(p))
                ++failures[k];
        }
    };
    int amended = 0;
    auto editor = [&] {
        Db main(QStringLiteral("desk-editor"));
        bool opened = onServer && data.openPerm(main);
        for (int tries = 0; !onServer && !opened && tries < 500; ++tries, QThread::msleep(10))
            opened = data.openPerm(main) && main.setBusyTimeout(10000);
        for (int i = 0; opened && i < 50; ++i)
            amended += bool(main.exec("UPDATE 請求書ヘッダ SET 合計 = ? WHERE 伝票番号 = 1", {Money::fromYen(1000000 + i).raw()}));
    };
    std::unique_ptr<QThread> threads[3] = {std::unique_ptr<QThread>(QThread::create(desk, 0)),
                                           std::unique_ptr<QThread>(QThread::create(desk, 1)),
                                           std::unique_ptr<QThread>(QThread::create(editor))};
    for (auto &t : threads)
        t->start();
    for (auto &t : threads)
        QVERIFY(t->wait(120000));
    QCOMPARE(failures[0] + failures[1], 0);
    QCOMPARE(permInt(data, "SELECT count(*) FROM 入金"), 2 * each);
    QCOMPARE(permInt(data, "SELECT count(DISTINCT 入金番号) FROM 入金"), 2 * each);
    QCOMPARE(amended, 50);
    QCOMPARE(permInt(data, owed::mismatchStatement()), 0);
    QCOMPARE(permInt(data, "SELECT 残額 FROM 売掛残 WHERE 伝票番号 = 1"), Money::fromYen(1000049 - 2 * each).raw());
}

QTEST_MAIN(PaymentsTest)
#include "test_payments.moc"
