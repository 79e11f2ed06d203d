#include "documents/ReceivablesDialog.h"

#include "store/Csv.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

static Replaceable<void(ReceivablesDialog &)> g_receivablesRunner([](ReceivablesDialog &d) { d.exec(); });

ReceivablesRunner setReceivablesRunner(ReceivablesRunner runner) { return g_receivablesRunner.replace(std::move(runner)); }

void runReceivables(ReceivablesDialog &dialog) { g_receivablesRunner(dialog); }

namespace {
const QString kOwedDay = QStringLiteral("yyyy/MM/dd");
constexpr int kShownRows = 500;
QString owedYen(Money m) { return m.isZero() ? QStringLiteral("0") : m.toGroupedString(); }

QTableWidget *table(QWidget *parent, const QString &name, const QStringList &headings)
{
    auto *t = new QTableWidget(parent);
    t->setObjectName(name);
    t->setColumnCount(headings.size());
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    return t;
}

void setRow(QTableWidget *t, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        auto *item = new QTableWidgetItem(cells[c]);
        if (c > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, c, item);
    }
}
} // namespace

ReceivablesDialog::ReceivablesDialog(Db &main, QWidget *parent, const QDate &today)
    : QDialog(parent), m_store(main), m_today(today)
{
    setObjectName(QStringLiteral("dlg売掛"));
    setWindowTitle(QStringLiteral("売掛（未入金の請求書）"));
    resize(860, 560);
    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    customer = new QLineEdit(this);
    customer->setObjectName(QStringLiteral("txt顧客"));
    customer->setPlaceholderText(QStringLiteral("顧客名の一部"));
    status = new QComboBox(this);
    status->setObjectName(QStringLiteral("cmb入金状況"));
    status->addItem(QStringLiteral("未入金・一部入金・期限超過"), -1);
    for (PayStatus s : {PayStatus::Unpaid, PayStatus::Partial, PayStatus::Overdue})
        status->addItem(payStatusLabel(s), int(s));
    dueMonth = new QComboBox(this);
    dueMonth->setObjectName(QStringLiteral("cmb期限月"));
    dueMonth->addItem(QStringLiteral("期限の月: すべて"), QDate());
    for (int m = -6; m <= 6; ++m) {
        const QDate first = QDate(today.year(), today.month(), 1).addMonths(m);
        dueMonth->addItem(first.toString(QStringLiteral("yyyy年M月")), first);
    }
    for (QWidget *w : {static_cast<QWidget *>(customer), static_cast<QWidget *>(status), static_cast<QWidget *>(dueMonth)})
        filters->addWidget(w);
    layout->addLayout(filters);
    customers = table(this, QStringLiteral("tbl顧客別"), {"顧客", "件数", "残額", "うち期限超過", "最も古い期限"});
    invoices = table(this, QStringLiteral("tbl請求書"), {"顧客", "請求書", "請求日", "お支払期限", "請求額", "残額", "状況"});
    layout->addWidget(customers, 1);
    layout->addWidget(invoices, 2);
    auto *bottom = new QHBoxLayout;
    total = new QLabel(this);
    total->setObjectName(QStringLiteral("lbl売掛合計"));
    bottom->addWidget(total, 1);
    auto *csv = new QPushButton(QStringLiteral("CSV出力"), this);
    csv->setObjectName(QStringLiteral("cmdCSV出力"));
    auto *close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmd閉じる"));
    bottom->addWidget(csv);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    connect(customer, &QLineEdit::textChanged, this, &ReceivablesDialog::refresh);
    connect(status, &QComboBox::currentIndexChanged, this, &ReceivablesDialog::refresh);
    connect(dueMonth, &QComboBox::currentIndexChanged, this, &ReceivablesDialog::refresh);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(csv, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile(this, FileDialog::Save, QStringLiteral("CSV出力"), QStringLiteral("売掛.csv"));
        if (!path.isEmpty())
            exportCsv(path);
    });
    refresh();
}

ReceivablesFilter ReceivablesDialog::filter() const
{
    ReceivablesFilter f{customer->text(), std::nullopt, dueMonth->currentData().toDate()};
    if (const int s = status->currentData().toInt(); s >= 0)
        f.status = PayStatus(s);
    return f;
}

void ReceivablesDialog::refresh()
{
    reportFailure(m_store.receivablesPage(filter(), m_today, kShownRows, m_page), QStringLiteral("売掛を表示"));
    // The oldest due shown; the totals and the CSV take every one.
    invoices->setUpdatesEnabled(false);
    invoices->setRowCount(int(m_page.invoices.size()));
    for (int r = 0; r < m_page.invoices.size(); ++r) {
        const InvoiceBalance &b = m_page.invoices[r];
        setRow(invoices, r, {b.customer, QStringLiteral("No.%1").arg(b.number), b.date.toString(kOwedDay), b.due.toString(kOwedDay),
                             owedYen(b.owed()), owedYen(b.open()), payStatusLabel(b.status(m_today))});
    }
    invoices->setUpdatesEnabled(true);
    showCustomers();
    QString text = QStringLiteral("合計 %1 件　残額 ¥%2　うち期限超過 ¥%3").arg(m_page.count).arg(owedYen(m_page.open), owedYen(m_page.overdue));
    if (m_page.count > m_page.invoices.size())
        text += QStringLiteral("（期限の古い %1 件を表示）").arg(m_page.invoices.size());
    total->setText(text);
}

void ReceivablesDialog::showCustomers()
{
    const QVector<CustomerOwed> &owed = m_page.customers;
    customers->setUpdatesEnabled(false);
    customers->setRowCount(int(owed.size()));
    for (int r = 0; r < customers->rowCount(); ++r)
        setRow(customers, r, {owed[r].customer, QString::number(owed[r].invoices), owedYen(owed[r].open),
                              owedYen(owed[r].overdue), owed[r].oldestDue.toString(kOwedDay)});
    customers->setUpdatesEnabled(true);
}

bool ReceivablesDialog::exportCsv(const QString &path)
{
    QVector<InvoiceBalance> rows;
    if (!reportFailure(m_store.receivables(filter(), m_today, rows), QStringLiteral("CSVファイルを書き出")))
        return false;
    int written = 0;
    const DbResult r = writeCsvFile(
        path, {"顧客名", "請求書番号", "請求日", "支払期限", "請求額", "返還額", "入金済", "残額", "状況"}, {1, 4, 5, 6, 7},
        [&](const CsvSink &sink) -> DbResult {
            for (const InvoiceBalance &b : std::as_const(rows))
                sink({b.customer, QString::number(b.number), b.date.toString(kOwedDay), b.due.toString(kOwedDay),
                      b.billed.toPlainString(), b.credited.toPlainString(), b.settled.toPlainString(), b.open().toPlainString(),
                      payStatusLabel(b.status(m_today))});
            return {};
        },
        &written);
    if (!reportFailure(r, QStringLiteral("CSVファイルを書き出")))
        return false;
    announceSaved(QStringLiteral("%1 件を書き出しました。").arg(written), path);
    return true;
}
