// Every kind through what the estimate already had: a crash and the restart, another desktop's
// change, the search index and its repair, the archive's export and its check, an older file.

#include "OlderArchive.h"
#include "SaveFixture.h"
#include "documents/DocumentPanel.h"
#include "estimate/EstimateList.h"
#include "store/ArchiveAudit.h"
#include "store/IssueArchive.h"
#include "store/SearchIndex.h"
#include "ui/Boxes.h"
#include "ui_EstimateTab.h"

#include <QCheckBox>
#include <QDir>
#include <QTabWidget>

class KindsTest : public QObject {
    Q_OBJECT
private slots:
    void unstoredInvoiceComesBackAfterACrash();
    void anotherDesktopsChangeIsAskedAboutPerKind();
    void eachKindIsSearchedAndRepairedOnItsOwn();
    void exportedIndexNamesTheKind();
    void olderFileGainsTheKindsAndKeepsItsEstimates();
    void deletingAnInvoiceForgetsItsLinks();
};

namespace {

Estimate invoiceOf(int number, const QString &customer, const QString &item)
{
    Estimate e;
    e.kind = DocKind::Invoice;
    e.number = number;
    e.date = QDate(2026, 12, 1);
    e.customerName = customer;
    e.lines << EstimateLine{item, 1.0, QVariant(), Money::fromYen(1000), Money::fromYen(1000)};
    return e;
}

// The note of the invoice kept unstored in the work file.
QString keptNote(const TempData &data)
{
    Db work("peek-work");
    QVariant note;
    if (!work.open(data.work()) || !work.scalar("SELECT 備考 FROM w請求書画面", {}, note))
        return {};
    return note.toString();
}

EstimateTab *openPage(Window &w, DocKind kind)
{
    EstimateTab *tab = w->documentTab(kind);
    w.find<QTabWidget>("SSTab1")->setCurrentIndex(int(kind) - 1);
    return tab;
}

} // namespace

// Typed and never stored, then the program dies: the invoice's own fields and its lines are
// offered back when its page is next opened.
void KindsTest::unstoredInvoiceComesBackAfterACrash()
{
    TempData data;
    {
        Window w(data.folder());
        w->show();
        EstimateTab *invoice = openPage(w, DocKind::Invoice);
        invoice->ui->cmb顧客名->setEditText("甲社");
        typeCell(invoice->findChild<DataGrid *>("Grid明細"), 0, Col品名, "保守");
        invoice->panel()->dueDate->setDate(QDate(2027, 1, 31));
        invoice->panel()->withholding->setChecked(true);
        invoice->panel()->note->setText("振込手数料はご負担ください");
        QTRY_VERIFY(keptNote(data).startsWith("振込手数料")); // kept a moment after the typing
    } // gone without closing: nothing tidied, as a crash leaves it
    Window w(data.folder());
    w->show();
    Answers answers; // Yes: restore
    EstimateTab *invoice = openPage(w, DocKind::Invoice);
    QVERIFY(answers.sawKey("その他", "復元確認"));
    QCOMPARE(invoice->ui->cmb顧客名->currentText(), QString("甲社"));
    QCOMPARE(invoice->panel()->dueDate->date(), QDate(2027, 1, 31));
    QVERIFY(invoice->panel()->withholding->isChecked());
    QCOMPARE(invoice->dat明細->value(0, Col品名).toString(), QString("保守"));
    // The estimate's page had nothing unstored: nothing offered for it.
    QCOMPARE(answers.shown.size(), 1);
}

// Another desktop changed invoice No.2 after this one read it: storing asks; the estimate No.2
// of the same number is another document and stores without a question.
void KindsTest::anotherDesktopsChangeIsAskedAboutPerKind()
{
    if (!onTestServer())
        QSKIP("only a server keeps versions: a file has one desktop");
    Fixture f;
    Window &w = f.win();
    QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoiceOf(2, "甲社", "請求の品")));
    EstimateTab *invoice = openPage(w, DocKind::Invoice);
    invoice->ui->txtNo->setText("2");
    invoice->Read見積書();
    // Another desktop's save: the lines and the version move on.
    QVERIFY(seedPerm(f.data, "UPDATE 請求書 SET 品名 = '他の端末の品' WHERE 伝票番号 = 2"));
    QVERIFY(seedPerm(f.data, "UPDATE 請求書ヘッダ SET 更新番号 = 更新番号 + 1 WHERE 伝票番号 = 2"));
    invoice->ui->txt件名->setText("この端末の件名");
    Answers answers;
    answers.answer({true, false}); // store? yes; overwrite the other desktop's? no
    QVERIFY(!invoice->Entry見積書());
    QVERIFY(answers.sawKey("登録", "他端末変更"));
    QCOMPARE(permRows(f.data, "SELECT 品名 FROM 請求書 WHERE 伝票番号 = 2").value(0).value(0).toString(), QString("他の端末の品"));
    Estimate estimate = invoiceOf(2, "甲社", "見積の品");
    estimate.kind = DocKind::Estimate;
    QVERIFY(EstimateStore(w->context()).save(estimate));
}

// An invoice is found by its items in the invoices' list only; a damaged index of one kind is
// made anew with every kind's texts, and says so.
void KindsTest::eachKindIsSearchedAndRepairedOnItsOwn()
{
    FILE_ONLY();
    Fixture f;
    Window &w = f.win();
    QVERIFY(EstimateStore(w->context(), DocKind::Invoice).save(invoiceOf(1, "甲社", "ＵＳＢケーブル")));
    Estimate e = invoiceOf(1, "乙社", "机");
    e.kind = DocKind::Estimate;
    QVERIFY(EstimateStore(w->context()).save(e));
    EstimateList list(w->context().main);
    QVector<ListRow> rows;
    QVERIFY(list.find({"usb", {}, {}, DocKind::Invoice}, 10, rows));
    QCOMPARE(rows.size(), 1);
    QVERIFY(list.find({"usb", {}, {}, DocKind::Estimate}, 10, rows));
    QCOMPARE(rows.size(), 0);
    QVERIFY(seedPerm(f.data, "DROP TABLE 請求書索引"));
    QVERIFY(list.find({"usb", {}, {}, DocKind::Invoice}, 10, rows));
    QVERIFY(list.takeIndexRebuilt());
    QCOMPARE(rows.size(), 1);
    QVERIFY(list.find({"机", {}, {}, DocKind::Estimate}, 10, rows));
    QCOMPARE(rows.size(), 1);
}

// 索引.csv names each version's kind; an index exported before kinds were named (its rows
// without the column) still compares as estimates.
void KindsTest::exportedIndexNamesTheKind()
{
    Fixture f;
    Window &w = f.win();
    IssueArchive archive(w->context().main);
    const QDateTime at = QDateTime::currentDateTime();
    QVERIFY(archive.record({1, "甲社", "2026/12/01", Money::fromYen(100), "e"}, "%PDF-1.4 e", issuearchive::kPdf, at));
    QVERIFY(archive.record({1, "甲社", "2026/12/01", Money::fromYen(200), "i", -1, DocKind::Invoice}, "%PDF-1.4 i",
                           issuearchive::kPdf, at));
    QVector<IssuedRow> rows;
    QVERIFY(archive.find({}, 10, rows));
    const QString folder = f.data.dir.filePath("export");
    int written = 0;
    QString index;
    QVERIFY(archive.exportTo(folder, rows, &written, &index));
    QCOMPARE(written, 2);
    QStringList names = QDir(folder).entryList({"*.pdf"});
    QCOMPARE(names.filter("_200_請求書No.1-v1.pdf").size(), 1);
    QCOMPARE(names.filter("_100_No.1-v1.pdf").size(), 1); // the estimate's name as it always was
    ArchiveAudit audit;
    QVERIFY(compareWithIndex(w->context().main, index, audit));
    QVERIFY2(audit.sound() && audit.versions == 2, qPrintable(audit.summary()));
    // The same index without its kind column: both rows taken as estimates, the invoice's hash
    // then belongs to no estimate version.
    QFile file(index);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    text.replace(",種別\r\n", "\r\n").replace(",見積書\r\n", "\r\n").replace(",請求書\r\n", "\r\n");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    QVERIFY(compareWithIndex(w->context().main, index, audit));
    QCOMPARE(audit.breaks.size(), 1);
}

// A file of the version before delivery notes: the estimates and their counter stay, the later
// kinds start at No.1.
void KindsTest::olderFileGainsTheKindsAndKeepsItsEstimates()
{
    FILE_ONLY();
    TempData data;
    makeOlderArchive(data); // version 8's file, three issued estimates
    {
        Db work("older-work");
        QVERIFY(work.open(data.work()));
        for (const QString &sql : withoutLaterKinds(schema::FileKind::Work))
            QVERIFY2(work.exec(sql), qPrintable(sql));
        QVERIFY(work.exec("PRAGMA user_version = 204"));
    }
    QVERIFY(seedPerm(data, "INSERT INTO 見積書ヘッダ (伝票番号, 顧客名) VALUES (9, '甲社')"));
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (最大見積書番号) VALUES (9)"));
    Window w(data.folder());
    QVERIFY2(w->isLoaded(), qPrintable(w->loadError()));
    QCOMPARE(permInt(data, "PRAGMA user_version"), qlonglong(schema::kPermVersion));
    QCOMPARE(Proc管理(w->context().main, "最大見積書番号", "Get", 0).toInt(), 10);
    QCOMPARE(Proc管理(w->context().main, "最大請求書番号", "Get", 0).toInt(), 1);
    QCOMPARE(permInt(data, "SELECT count(*) FROM 発行版 WHERE 種別 = '見積書'"), 3);
    QVERIFY(EstimateStore(w->context(), DocKind::Delivery).save(invoiceOf(1, "甲社", "納品の品")));
    EstimateTab *note = openPage(w, DocKind::Delivery);
    QCOMPARE(note->ui->txtNo->text(), QString("2"));
}

// A deleted invoice takes its links with it: its source no longer says it was converted.
void KindsTest::deletingAnInvoiceForgetsItsLinks()
{
    Fixture f;
    Window &w = f.win();
    Estimate source = invoiceOf(4, "甲社", "品");
    source.kind = DocKind::Estimate;
    QVERIFY(EstimateStore(w->context()).save(source));
    Estimate invoice = invoiceOf(1, "甲社", "品");
    invoice.sources << DocLink{DocKind::Estimate, 4, "2026/12/01"};
    EstimateStore invoices(w->context(), DocKind::Invoice);
    QVERIFY(invoices.save(invoice));
    QVector<DocLink> into;
    QVERIFY(EstimateStore(w->context()).convertedInto(4, into));
    QCOMPARE(into.size(), 1);
    EstimateTab *page = openPage(w, DocKind::Invoice);
    page->ui->txtNo->setText("1");
    page->Read見積書();
    QCOMPARE(page->findChild<QLabel *>("lbl元伝票")->text(), QString("見積書 No.4 より"));
    Answers answers;
    page->Delete見積書();
    QVERIFY2(answers.shown.value(0).text.startsWith("請求書 No.1 を削除"), qPrintable(answers.shown.value(0).text));
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 請求書ヘッダ"), 0);
    QVERIFY(EstimateStore(w->context()).convertedInto(4, into));
    QVERIFY(into.isEmpty());
    QCOMPARE(permInt(f.data, "SELECT count(*) FROM 見積書ヘッダ WHERE 伝票番号 = 4"), 1);
}

QTEST_MAIN(KindsTest)
#include "test_kinds.moc"
