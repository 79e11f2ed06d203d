// Long documents at 30 and 300 lines (headings and subtotals among them): a quantity edit until
// the totals show, a save against SQLite's own transaction of the same rows, a load (from the
// store, and onto the page), the sheet as PDF. --pdf FILE [N] writes the 300-line sheet (N items
// to a heading) to look at.

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "estimate/EstimateTab.h"
#include "print/EstimateSheet.h"
#include "ui/Boxes.h"
#include "ui/DataGrid.h"
#include "ui/WorkTableModel.h"
#include "ui_EstimateTab.h"

#include <QApplication>

namespace {

Estimate longEstimate(int number, int lines, int perGroup = 8)
{
    Estimate e;
    e.number = number;
    e.date = QDate(2026, 12, 9);
    e.customerName = QStringLiteral("長尺建設");
    e.subject = QStringLiteral("改修工事一式");
    for (int g = 0; e.lines.size() < lines; ++g) {
        EstimateLine heading;
        heading.kind = RowKind::Heading;
        heading.name = QStringLiteral("第%1工区").arg(g + 1);
        e.lines << heading;
        for (int i = 0; i < perGroup && e.lines.size() < lines - 1; ++i)
            e.lines << EstimateLine{QStringLiteral("部材%1-%2").arg(g + 1).arg(i + 1), 2.0, QStringLiteral("本"),
                                    Money::fromYen(1200 + i), Money::fromYen(2 * (1200 + i))};
        EstimateLine subtotal;
        subtotal.kind = RowKind::Subtotal;
        e.lines << subtotal;
    }
    e.lines.resize(lines);
    settleRowKinds(e.lines);
    Money total;
    TaxableSums taxable;
    sumLines(e.lines, total, taxable);
    const Totals t = computeTotals(total, taxable, TaxRules{});
    e.net = t.net, e.tax = t.tax, e.grand = t.grand;
    return e;
}

// The rows a save writes (its lines, a master row per item, the header), written by hand in one
// transaction: the floor a save cannot go under.
double ownTransaction(Db &perm, const Estimate &e, int runs)
{
    perm.exec("CREATE TABLE IF NOT EXISTS 比較明細 AS SELECT * FROM 見積書 WHERE 0");
    perm.exec("CREATE TABLE IF NOT EXISTS 比較商品 (品名 TEXT PRIMARY KEY, 単位 TEXT, 単価 INTEGER, 非課税 INTEGER, 軽減 INTEGER)");
    perm.exec("CREATE TABLE IF NOT EXISTS 比較ヘッダ AS SELECT * FROM 見積書ヘッダ WHERE 0");
    const QString insert = QStringLiteral("INSERT INTO 比較明細 (伝票番号, 顧客名, 日付, 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額, "
                                          "非課税, 軽減, 行種別) VALUES (?, ?, ?, ?, 1, ?, ?, ?, ?, ?, 0, 0, ?)");
    return timeMedian(runs, [&] {
        perm.transaction([&]() -> DbResult {
            perm.exec("DELETE FROM 比較明細 WHERE 伝票番号 = ?", {e.number});
            for (int i = 0; i < e.lines.size(); ++i) {
                const EstimateLine &l = e.lines[i];
                perm.exec(insert, {e.number, e.customerName, QStringLiteral("2026/12/09"), i, l.name,
                                   l.quantity ? QVariant(*l.quantity) : QVariant(), l.unit,
                                   l.price ? QVariant(l.price->raw()) : QVariant(), l.amount ? QVariant(l.amount->raw()) : QVariant(),
                                   rowKindCode(l.kind)});
                if (l.kind == RowKind::Item)
                    perm.exec("INSERT INTO 比較商品 VALUES (?, ?, ?, 0, 0) ON CONFLICT (品名) DO UPDATE SET 単位 = excluded.単位, "
                              "単価 = excluded.単価",
                              {l.name, l.unit, l.price ? QVariant(l.price->raw()) : QVariant()});
            }
            perm.exec("DELETE FROM 比較ヘッダ WHERE 伝票番号 = ?", {e.number});
            perm.exec("INSERT INTO 比較ヘッダ (伝票番号, 日付, 顧客名, 件名, 税抜計, 消費税, 合計) VALUES (?, ?, ?, ?, ?, ?, ?)",
                      {e.number, QStringLiteral("2026/12/09"), e.customerName, e.subject, e.net->raw(), e.tax->raw(), e.grand->raw()});
            return {};
        });
    });
}

PrintRecord recordOf(const Estimate &e)
{
    PrintRecord r;
    r.date = QStringLiteral("2026/12/09");
    r.customerName = e.customerName;
    r.companyName = QStringLiteral("株式会社 見本工務店");
    r.companyInfo = QStringLiteral("東京都千代田区1-1\nTEL 03-0000-0000");
    r.subject = e.subject;
    r.net = e.net, r.tax = e.tax, r.grand = e.grand, r.headline = e.grand;
    for (const EstimateLine &l : e.lines) {
        r.lines << PrintLine{l.name, l.quantity, l.unit.toString(), l.price, l.amount};
        r.lines.back().kind = l.kind;
        r.lines.back().heading = l.kind == RowKind::Heading;
    }
    return r;
}

void benchAt(FrmQuoteDesk &w, const QString &data, int lines, int number)
{
    EstimateTab *tab = w.estimateTab();
    const Estimate e = longEstimate(number, lines);
    EstimateStore &store = tab->store();
    store.save(e, nullptr, true);
    Estimate loaded;
    bool found = false;
    const double load = timeMedian(50, [&] { store.load(number, loaded, found); });
    if (!found || loaded.lines.size() != lines)
        std::abort();
    const double open = timeMedian(20, [&] {
        tab->ui->txtNo->setText(QString::number(number));
        tab->Read見積書();
    });
    WorkTableModel *m = tab->dat明細;
    auto *total = w.findChild<NumberBox *>("num合計");
    int k = 0;
    const double edit = timeMedian(200, [&] {
        const int row = 1 + (k % 8);
        m->setData(m->index(row, Col数量), QString::number(1 + (++k % 50)), Qt::EditRole);
        if (total->text().isEmpty())
            std::abort();
    });
    const double save = timeMedian(30, [&] { store.save(e, nullptr, true); });
    Db perm("baseline"), work("baseline-work");
    perm.open(data + schema::kPermFileName);
    work.open(data + schema::kWorkFileName);
    const double own = ownTransaction(perm, e, 30);
    int j = 0;
    const double update = timeMedian(200, [&] { work.exec("UPDATE w明細 SET 数量 = ? WHERE 行番号 = ?", {++j % 50, 2 + j % 8}); });
    const double select = timeMedian(50, [&] {
        DbRows rows;
        perm.select("SELECT * FROM 見積書 WHERE 伝票番号 = ? ORDER BY 伝票番号, 伝票区分, 行番号", {number}, rows);
    });
    const rpt見積書 sheet(recordOf(e)), onePage(recordOf(longEstimate(number, 30)));
    const double pdf = timeMedian(10, [&] { sheet.pdf(); });
    const double onePdf = timeMedian(10, [&] { onePage.pdf(); });
    const QByteArray label = QByteArray::number(lines);
    report(("edit to totals, " + label + " lines").constData(), edit, "one row UPDATE (work file)", update, 0.25);
    report(("save, " + label + " lines").constData(), save, "own transaction, same rows", own, 2 * own);
    report(("load from the store, " + label + " lines").constData(), load, "SELECT of its lines", select, 5);
    report(("open onto the page, " + label + " lines").constData(), open, "load from the store", load, 5);
    report(("sheet as PDF, " + label + " lines, " + QByteArray::number(sheet.pageCount()) + " pages").constData(), pdf,
           "one page of 30 lines", onePdf, 100);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc >= 3 && QByteArray(argv[1]) == "--pdf") // --pdf FILE [items per heading]
        return rpt見積書(recordOf(longEstimate(1, 300, argc > 3 ? std::max(1, atoi(argv[3])) : 8)))
                       .writePdf(QString::fromLocal8Bit(argv[2]))
                   ? 0
                   : 1;
    BenchData bench([](Db &) {});
    FrmQuoteDesk w(bench.folder);
    if (!w.isLoaded())
        return 1;
    benchAt(w, bench.folder, 30, 1);
    benchAt(w, bench.folder, 300, 2);
    return 0;
}
