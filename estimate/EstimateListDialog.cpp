#include "estimate/EstimateListDialog.h"
#include "ui_EstimateListDialog.h"

#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"
#include "store/SearchIndex.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStandardPaths>

static Replaceable<void(EstimateListDialog &)> g_listRunner([](EstimateListDialog &d) { d.exec(); });

ListRunner setListRunner(ListRunner runner) { return g_listRunner.replace(std::move(runner)); }

void runList(EstimateListDialog &dialog) { g_listRunner(dialog); }

EstimateListDialog::EstimateListDialog(Db &main, QWidget *parent, DocKind kind)
    : QDialog(parent), ui(new Ui::EstimateListDialog), m_list(main), m_kind(kind)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("FrmEstimateList"));
    ui->dt開始->clearDate();
    ui->dt終了->clearDate();
    QTableWidget *grid = ui->Grid一覧;
    grid->setColumnCount(6);
    grid->setHorizontalHeaderLabels({"伝票番号", "日付", "顧客名", "件名", "合計", "連携"});
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    grid->setColumnWidth(2, 220);
    grid->installEventFilter(this);
    // Enter in the search box opens the row shown first, never a file dialog.
    for (QPushButton *b : {ui->cmdCSV出力, ui->cmd複写, ui->cmd閉じる, ui->cmd今月, ui->cmd先月})
        b->setAutoDefault(false);
    ui->cmd開く->setAutoDefault(false);
    connect(ui->txt検索, &QLineEdit::returnPressed, this, [this] { choose(Open); });
    connect(ui->txt検索, &QLineEdit::textChanged, this, &EstimateListDialog::refresh);
    connect(ui->dt開始, &DateField::dateChanged, this, &EstimateListDialog::refresh);
    connect(ui->dt終了, &DateField::dateChanged, this, &EstimateListDialog::refresh);
    connect(ui->cmd今月, &QPushButton::clicked, this, [this] { setMonth(0); });
    connect(ui->cmd先月, &QPushButton::clicked, this, [this] { setMonth(-1); });
    connect(grid, &QTableWidget::cellDoubleClicked, this, [this] { choose(Open); });
    connect(ui->cmd開く, &QPushButton::clicked, this, [this] { choose(Open); });
    connect(ui->cmd複写, &QPushButton::clicked, this, [this] { choose(Duplicate); });
    connect(ui->cmd閉じる, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->cmdCSV出力, &QPushButton::clicked, this, &EstimateListDialog::chooseCsvFile);
    addKindControls();
    refresh();
}

EstimateListDialog::~EstimateListDialog() { delete ui; }

void EstimateListDialog::setMonth(int offset)
{
    const QDate first = QDate::currentDate().addMonths(offset).addDays(1 - QDate::currentDate().addMonths(offset).day());
    {
        const QSignalBlocker quietFrom(ui->dt開始), quietTo(ui->dt終了); // one search for the whole range
        ui->dt開始->setDate(first);
        ui->dt終了->setDate(first.addMonths(1).addDays(-1));
    }
    refresh();
}

ListFilter EstimateListDialog::filter() const
{
    return {ui->txt検索->text(), ui->dt開始->hasDate() ? ui->dt開始->date() : QDate(),
            ui->dt終了->hasDate() ? ui->dt終了->date() : QDate(), m_kind};
}

void EstimateListDialog::refresh()
{
    QVector<ListRow> rows;
    reportFailure(m_list.find(filter(), kShown, rows), QStringLiteral("一覧を表示"));
    if (m_list.takeIndexRebuilt())
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), searchindex::rebuiltNotice());
    QHash<int, QString> links;
    reportFailure(m_list.linksOf(m_kind, rows, links), QStringLiteral("一覧を表示"));
    QTableWidget *grid = ui->Grid一覧;
    grid->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        const ListRow &e = rows[r];
        const QString cells[] = {QString::number(e.number), e.date, e.customer, e.subject,
                                 e.total ? e.total->toGroupedString() : QString(), links.value(e.number)};
        for (int c = 0; c < 6; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == 0 || c == 4)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(r, c, item);
        }
    }
    if (!rows.isEmpty())
        grid->setCurrentCell(0, 0);
    ui->lbl件数->setText(rows.size() < kShown ? QStringLiteral("%1 件").arg(rows.size())
                                             : QStringLiteral("新しい %1 件を表示").arg(kShown));
}

int EstimateListDialog::currentNumber() const
{
    const int row = ui->Grid一覧->currentRow();
    return row < 0 ? 0 : ui->Grid一覧->item(row, 0)->text().toInt();
}

void EstimateListDialog::choose(Choice c)
{
    if (currentNumber() == 0)
        return;
    m_choice = c;
    accept();
}

bool EstimateListDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a row opens it, as a double-click does.
    if (watched == ui->Grid一覧 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose(Open);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool EstimateListDialog::exportCsv(const QString &path)
{
    int written = 0;
    if (!reportFailure(m_list.exportCsv(filter(), ui->chk明細->isChecked(), path, &written),
                       QStringLiteral("CSVファイルを書き出")))
        return false;
    announceSaved(QStringLiteral("%1 件を書き出しました。").arg(written), path);
    return true;
}

void EstimateListDialog::chooseCsvFile()
{
    const QString stem = m_kind == DocKind::Estimate ? QStringLiteral("見積") : kindNames(m_kind).label;
    const QString name = ui->chk明細->isChecked() ? stem + QStringLiteral("明細.csv") : kindNames(m_kind).label + QStringLiteral("一覧.csv");
    const QString path = chooseFile(this, FileDialog::Save, QStringLiteral("CSV出力"), name);
    if (!path.isEmpty())
        exportCsv(path);
}

// The kind chooser and the buttons that make a delivery note, an invoice or a credit note from
// the rows chosen.
void EstimateListDialog::addKindControls()
{
    auto *kinds = new QComboBox(this);
    kinds->setObjectName(QStringLiteral("cmb種別"));
    for (DocKind k : kAllKinds)
        kinds->addItem(kindNames(k).label, int(k));
    ui->filterLayout->insertWidget(0, kinds);
    connect(kinds, &QComboBox::currentIndexChanged, this, [this, kinds] { setKind(DocKind(kinds->currentData().toInt())); });
    for (DocKind target : {DocKind::Delivery, DocKind::Invoice, DocKind::Credit}) {
        const QString caption = target == DocKind::Credit ? QStringLiteral("返還") : kindNames(target).label;
        auto *b = new QPushButton(caption + QStringLiteral("作成"), this);
        b->setObjectName(QStringLiteral("cmd%1作成").arg(caption));
        b->setAutoDefault(false);
        ui->listButtons->insertWidget(ui->listButtons->indexOf(ui->cmd複写), b);
        connect(b, &QPushButton::clicked, this, [this, target] {
            m_target = target;
            choose(Convert);
        });
    }
    setKind(m_kind);
}

void EstimateListDialog::setKind(DocKind kind)
{
    m_kind = kind;
    if (auto *kinds = findChild<QComboBox *>(QStringLiteral("cmb種別")); kinds && kinds->currentData().toInt() != int(kind)) {
        const QSignalBlocker quiet(kinds);
        kinds->setCurrentIndex(kinds->findData(int(kind)));
    }
    setWindowTitle(kindNames(kind).label + QStringLiteral("一覧"));
    // Several 納品書 of one customer become one invoice.
    ui->Grid一覧->setSelectionMode(kind == DocKind::Delivery ? QAbstractItemView::ExtendedSelection
                                                              : QAbstractItemView::SingleSelection);
    if (auto *b = findChild<QPushButton *>(QStringLiteral("cmd納品書作成")))
        b->setVisible(kind == DocKind::Estimate);
    if (auto *b = findChild<QPushButton *>(QStringLiteral("cmd請求書作成")))
        b->setVisible(kind == DocKind::Estimate || kind == DocKind::Delivery);
    if (auto *b = findChild<QPushButton *>(QStringLiteral("cmd返還作成")))
        b->setVisible(kind == DocKind::Invoice);
    refresh();
}

QVector<int> EstimateListDialog::selectedNumbers() const
{
    QVector<int> out;
    const QModelIndexList rows = ui->Grid一覧->selectionModel()->selectedRows();
    for (const QModelIndex &i : rows)
        out << ui->Grid一覧->item(i.row(), 0)->text().toInt();
    std::sort(out.begin(), out.end());
    if (out.isEmpty() && currentNumber() > 0)
        out << currentNumber();
    return out;
}
