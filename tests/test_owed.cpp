// What each invoice still asks (売掛残) and the sums by due date, kept by the engine: they follow
// every save, payment, credit note, removal and the wipe; the view's totals taken from them equal
// those of every invoice listed; an older file or server gains them filled from what it stores.

#include "SaveFixture.h"
#include "documents/PaymentStore.h"
#include "store/Owed.h"
#include "store/Wipe.h"
#include "server/ServerSchema.h"

class OwedTest : public QObject {
    Q_OBJECT
private slots:
    void followsEverySavePaymentCreditAndRemoval();
    void totalsBeyondTheShownCustomersAgree();
    void olderDataGainsWhatIsOwed();
};

namespace {

Estimate invoice(int number, const QString &customer, qint64 yen, const QString &due)
{
    Estimate e;
    e.kind = DocKind::Invoice;
    e.number = number;
    e.date = QDate(2026, 11, number % 28 + 1);
    e.customerName = customer;
    e.dueDate = due;
    e.grand = Money::fromYen(yen);
    e.lines << EstimateLine{QStringLiteral("品"), 1.0, QVariant(), Money::fromYen(yen), Money::fromYen(yen)};
    return e;
}

Estimate credit(int number, int ofInvoice, qint64 yen)
{
    Estimate e = invoice(number, QStringLiteral("甲社"), yen, QString());
    e.kind = DocKind::Credit;
    e.sources = {DocLink{DocKind::Invoice, ofInvoice, QString()}};
    return e;
}

Payment paid(const QString &customer, QVector<std::pair<int, Money>> rows, Money fee = Money())
{
    return Payment{QDate(2026, 12, 1), customer, fee, QString(), std::move(rows)};
}

qlonglong mismatches(const TempData &data) { return permInt(data, owed::mismatchStatement()); }

// What is open on invoice number as the view lists it: -1 when it is not listed.
qint64 listedOpen(Db &db, int number)
{
    QVector<InvoiceBalance> rows;
    PaymentStore(db).receivables({}, QDate(2026, 12, 9), rows);
    for (const InvoiceBalance &b : rows)
        if (b.number == number)
            return b.open().raw() / 10000;
    return -1;
}

} // namespace

void OwedTest::followsEverySavePaymentCreditAndRemoval()
{
    Fixture f;
    Window &w = f.win();
    Db &db = w->context().main;
    EstimateStore invoices(w->context(), DocKind::Invoice), credits(w->context(), DocKind::Credit);
    QVERIFY(invoices.save(invoice(1, "甲社", 1000, "2026/12/31")));
    QVERIFY(invoices.save(invoice(2, "甲社", 3000, "2027/01/31")));
    QVERIFY(invoices.save(invoice(3, "乙社", 500, "")));
    QCOMPARE(mismatches(f.data), 0);
    // One transfer of 甲社 settles the first and part of the second, the fee kept back.
    QVERIFY(PaymentStore(db).record(paid("甲社", {{1, Money::fromYen(950)}, {2, Money::fromYen(500)}}, Money::fromYen(50))));
    QCOMPARE(listedOpen(db, 1), -1);
    QCOMPARE(listedOpen(db, 2), 2500);
    QVERIFY(credits.save(credit(1, 2, -1000)));
    QCOMPARE(listedOpen(db, 2), 1500);
    Estimate more = credit(1, 2, -2000);
    QVERIFY(credits.save(more, nullptr, true));
    QCOMPARE(listedOpen(db, 2), 500);
    QCOMPARE(mismatches(f.data), 0);
    QVERIFY(credits.remove(1));
    QCOMPARE(listedOpen(db, 2), 2500);
    // The invoice saved again under another customer and amount: its row follows.
    QVERIFY(invoices.save(invoice(3, "丙社", 800, "2026/12/15"), nullptr, true));
    ReceivablesPage page;
    QVERIFY(PaymentStore(db).receivablesPage({"丙"}, QDate(2026, 12, 20), 10, page));
    QCOMPARE(page.count, 1);
    QCOMPARE(page.overdue, Money::fromYen(800));
    QVERIFY(invoices.remove(2));
    QCOMPARE(listedOpen(db, 2), -1);
    QCOMPARE(mismatches(f.data), 0);
    QVERIFY(wipeAllData(db));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 売掛残"), 0);
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 売掛期日"), 0);
}

// With more customers than shown, the totals come from the sums by due date: for each filter
// they equal the sums of every invoice the filter lists.
void OwedTest::totalsBeyondTheShownCustomersAgree()
{
    Fixture f;
    Window &w = f.win();
    Db &db = w->context().main;
    EstimateStore invoices(w->context(), DocKind::Invoice);
    const QStringList customers{"甲社", "乙社", "丙社", "丁社", "ABC商事"};
    const QStringList dues{"2026/11/30", "2026/12/31", ""};
    int n = 0;
    for (const QString &c : customers)
        for (const QString &due : dues) {
            ++n;
            QVERIFY(invoices.save(invoice(n, c, 1000 * n, due)));
            if (n % 2) // every other one paid in part, the fifth and the fifteenth in full, the first over
                QVERIFY(PaymentStore(db).record(paid(c, {{n, Money::fromYen(n == 1 ? 1300 : n % 5 ? 300 : 1000 * n)}})));
        }
    const QDate today(2026, 12, 9);
    for (const std::optional<PayStatus> status :
         {std::optional<PayStatus>(), std::optional(PayStatus::Unpaid), std::optional(PayStatus::Partial),
          std::optional(PayStatus::Overdue), std::optional(PayStatus::Paid)})
        for (const QString &name : {QString(), QStringLiteral("社"), QStringLiteral("abc")})
            for (const QDate &month : {QDate(), QDate(2026, 12, 1)}) {
                const ReceivablesFilter filter{name, status, month};
                QVector<InvoiceBalance> all;
                QVERIFY(PaymentStore(db).receivables(filter, today, all));
                Money open, overdue;
                for (const InvoiceBalance &b : all) {
                    QVERIFY(status ? b.status(today) == *status : b.status(today) != PayStatus::Paid);
                    open += b.open();
                    overdue += b.status(today) == PayStatus::Overdue ? b.open() : Money();
                }
                for (int limit : {2, 100}) {
                    ReceivablesPage page;
                    QVERIFY(PaymentStore(db).receivablesPage(filter, today, limit, page));
                    const QString what = QStringLiteral("%1/%2/%3/%4").arg(int(status.value_or(PayStatus(9)))).arg(name).arg(month.month()).arg(limit);
                    QVERIFY2(page.count == all.size() && page.open == open && page.overdue == overdue, qPrintable(what));
                    QCOMPARE(page.invoices.size(), std::min<int>(limit, all.size()));
                    QVERIFY(page.customers.size() <= limit);
                }
            }
}

// A file of version 12, or a server of 307, with invoices and payments: the upgrade makes and
// fills what is owed from them.
void OwedTest::olderDataGainsWhatIsOwed()
{
    TempData data;
    {
        Window w(data.folder());
        QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoice(1, "甲社", 1000, "2026/12/31")));
        QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoice(2, "甲社", 2000, "2027/01/31")));
        QVERIFY(PaymentStore(w->context().main).record(paid("甲社", {{1, Money::fromYen(1000)}, {2, Money::fromYen(400)}})));
    }
    QStringList older{"DROP TABLE 売掛残", "DROP TABLE 売掛期日", "DROP TABLE 受領書類", "DROP TABLE 発行XML"};
    const QStringList events = data.server ? QStringList{"追加", "変更前", "変更後", "削除"} : QStringList{"追加", "変更", "削除"};
    for (const char *table : {"請求書ヘッダ", "入金", "伝票連携", "返還請求書ヘッダ"})
        for (const QString &event : events)
            older << QStringLiteral("DROP TRIGGER 売掛残_%1_%2%3")
                         .arg(QString::fromUtf8(table), event, data.server ? QStringLiteral(" ON ") + QString::fromUtf8(table) : QString());
    older << (data.server ? QStringLiteral("UPDATE quotedesk_schema SET version = 307") : QStringLiteral("PRAGMA user_version = 112"));
    {
        Db perm(QStringLiteral("older-perm"));
        QVERIFY(data.openPerm(perm));
        for (const QString &sql : older) // a server prepares no schema change
            QVERIFY2(data.server ? perm.execUnprepared(sql) : perm.exec(sql), qPrintable(sql));
    }
    Window w(data.folder());
    QCOMPARE(mismatches(data), 0);
    QCOMPARE(listedOpen(w->context().main, 1), -1);
    QCOMPARE(listedOpen(w->context().main, 2), 1600);
    QCOMPARE(permInt(data, data.server ? "SELECT version FROM quotedesk_schema" : "PRAGMA user_version"),
             qlonglong(data.server ? serverschema::kVersion : schema::kPermVersion));
}

QTEST_MAIN(OwedTest)
#include "test_owed.moc"
