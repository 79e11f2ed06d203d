// Reading customers from CSV into the customer tab's grid: 20,000 and 200,000 rows, with some
// names already in the grid, against parsing the same file alone. Linear: ten times the rows,
// about ten times the time.

#include "BenchSupport.h"
#include "app/FrmQuoteDesk.h"
#include "masters/MasterStore.h"
#include "store/Csv.h"
#include "store/SafeFile.h"

#include <QApplication>

static QString writeCsv(const QString &dir, int rows)
{
    QByteArray bytes = "顧客名,顧客情報\r\n";
    for (int i = 0; i < rows; ++i)
        bytes += QString("顧客%1株式会社,東京都千代田区丸の内%1-1\r\n").arg(i, 6, 10, QChar('0')).toUtf8();
    const QString path = dir + QString("/customers-%1.csv").arg(rows);
    if (!writeWholeFile(path, bytes))
        std::exit(1);
    return path;
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchData bench([](Db &) {});
    FrmQuoteDesk w(bench.folder);
    if (!w.isLoaded())
        return 1;
    MasterStore store(w.context(), MasterTable{"顧客マスタ", "w顧客マスタ", {"顧客名", "顧客情報"}, "顧客情報"});
    for (int rows : {20000, 200000}) {
        const QString path = writeCsv(bench.dir.path(), rows);
        auto emptyGrid = [&] { // a few hundred of the names already typed in the grid
            w.context().work.exec("DELETE FROM main.w顧客マスタ");
            for (int i = 0; i < rows; i += rows / 200)
                w.context().work.exec("INSERT INTO main.w顧客マスタ (顧客名) VALUES (?)",
                                      {QString("顧客%1株式会社").arg(i, 6, 10, QChar('0'))});
        };
        const double read = timeMedian(3, [&] {
            CsvImport result;
            if (!store.importCsv(path, result, [](int, int) { return true; }) || result.added + result.merged != rows)
                std::exit(2);
        }, emptyGrid);
        QByteArray bytes;
        readRegularFile(path, kCsvLimit, bytes);
        const double parse = timeMedian(3, [&] { parseCsv(bytes); });
        const QByteArray what = QString("CSV読込, %1 customers (3 runs)").arg(rows).toUtf8();
        report(what.constData(), read, "parsing the file alone", parse, 10000);
    }
    return 0;
}
