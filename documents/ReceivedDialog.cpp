#include "documents/ReceivedDialog.h"

#include "archive/ArchivedPdfView.h"
#include "einvoice/JpPint.h"
#include "store/SafeFile.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

static Replaceable<void(ReceivedDialog &)> g_receivedRunner([](ReceivedDialog &d) { d.exec(); });

ReceivedRunner setReceivedRunner(ReceivedRunner runner) { return g_receivedRunner.replace(std::move(runner)); }

void runReceived(ReceivedDialog &dialog) { g_receivedRunner(dialog); }

namespace {
constexpr qint64 kLargestXml = 16 * 1024 * 1024;
constexpr int kShown = 500;

QLineEdit *box(QWidget *parent, const QString &name, const QString &hint)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setPlaceholderText(hint);
    return e;
}

QDate dayOf(const QString &text)
{
    for (const char *form : {"yyyy/M/d", "yyyy-M-d", "yyyyMMdd"})
        if (const QDate d = QDate::fromString(text.trimmed(), QString::fromLatin1(form)); d.isValid())
            return d;
    return {};
}
} // namespace

ReceivedDialog::ReceivedDialog(Db &main, QWidget *parent) : QDialog(parent), m_db(main)
{
    setObjectName(QStringLiteral("dlg受領書類"));
    setWindowTitle(QStringLiteral("受領した電子請求書"));
    resize(820, 480);
    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    from = box(this, QStringLiteral("txt日付から"), QStringLiteral("日付 から"));
    to = box(this, QStringLiteral("txt日付まで"), QStringLiteral("まで"));
    min = box(this, QStringLiteral("txt金額から"), QStringLiteral("金額 から"));
    max = box(this, QStringLiteral("txt金額まで"), QStringLiteral("まで"));
    partner = box(this, QStringLiteral("txt取引先"), QStringLiteral("取引先名の一部"));
    for (QLineEdit *e : {from, to, min, max, partner}) {
        filters->addWidget(e);
        connect(e, &QLineEdit::textChanged, this, &ReceivedDialog::refresh);
    }
    layout->addLayout(filters);
    list = new QTableWidget(this);
    list->setObjectName(QStringLiteral("tbl受領書類"));
    list->setColumnCount(5);
    list->setHorizontalHeaderLabels({"取引先", "書類番号", "日付", "合計", "受領日時"});
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(list, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const std::pair<const char *, const char *> named[] = {{"cmd読込", "読込…"}, {"cmd表示", "表示"}, {"cmd閉じる", "閉じる"}};
    QVector<QPushButton *> b;
    for (const auto &[name, caption] : named) {
        b << new QPushButton(QString::fromUtf8(caption), this);
        b.back()->setObjectName(QString::fromUtf8(name));
        buttons->addWidget(b.back());
    }
    layout->addLayout(buttons);
    connect(b[0], &QPushButton::clicked, this, [this] {
        const QString path = chooseFile(this, FileDialog::Open, QStringLiteral("XML読込"), QString());
        if (!path.isEmpty())
            readFile(path);
    });
    connect(b[1], &QPushButton::clicked, this, [this] { showRow(list->currentRow()); });
    connect(list, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { showRow(row); });
    connect(b[2], &QPushButton::clicked, this, &QDialog::accept);
    refresh();
}

ReceivedFilter ReceivedDialog::filter() const
{
    return ReceivedFilter{dayOf(from->text()), dayOf(to->text()), Money::parse(min->text()), Money::parse(max->text()),
                          partner->text()};
}

void ReceivedDialog::refresh()
{
    reportFailure(ReceivedArchive(m_db).find(filter(), kShown, m_rows), QStringLiteral("受領書類を表示"));
    list->setRowCount(int(m_rows.size()));
    for (int r = 0; r < m_rows.size(); ++r) {
        const ReceivedMeta &m = m_rows[r].meta;
        const QStringList cells{m.partner, m.number, m.date, m.total.toGroupedString(), m_rows[r].receivedAt};
        for (int c = 0; c < cells.size(); ++c)
            list->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

bool ReceivedDialog::readFile(const QString &path)
{
    QByteArray bytes;
    if (!reportFailure(readRegularFile(path, kLargestXml, bytes), QStringLiteral("XML ファイルを読み込")))
        return false;
    jppint::Received received;
    QString why;
    if (!jppint::read(bytes, received, &why)) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), QStringLiteral("%1 は電子請求書として読めません。%2").arg(path, why));
        return false;
    }
    bool already = false;
    qlonglong id = 0;
    const ReceivedMeta meta{QStringLiteral("JP PINT"), received.number, received.issueDate, received.seller, received.payable};
    if (!reportFailure(ReceivedArchive(m_db).record(meta, bytes, QDateTime::currentDateTime(), &id, &already),
                       QStringLiteral("受領書類を保管")))
        return false;
    refresh();
    ArchivedPdfView view(rpt見積書(jppint::sheetOf(received)).pdf(),
                         QStringLiteral("受領%1: %2 No.%3（%4）")
                             .arg(already ? QStringLiteral("（保管済み）") : QString(), received.seller, received.number, received.issueDate),
                         this);
    runArchivedView(view);
    return true;
}

void ReceivedDialog::showRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    QByteArray bytes;
    jppint::Received received;
    if (!reportFailure(ReceivedArchive(m_db).bytes(m_rows[row].id, bytes), QStringLiteral("受領書類を表示")) ||
        !jppint::read(bytes, received))
        return;
    ArchivedPdfView view(rpt見積書(jppint::sheetOf(received)).pdf(),
                         QStringLiteral("受領: %1 No.%2（%3）").arg(received.seller, received.number, received.issueDate), this);
    runArchivedView(view);
}
