#include "archive/IssuedListDialog.h"

#include <QDir>
#include <QSet>
#include "ui_IssuedListDialog.h"

#include "archive/ArchivedPdfView.h"
#include "store/ArchiveAudit.h"
#include "store/ArchiveChain.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QDir>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QProgressDialog>
#include <QPushButton>
#include <QKeyEvent>

namespace {
enum Column { ColNumber, ColVersion, ColIssued, ColCustomer, ColTotal, ColHow, ColCheck, ColumnCount };
}

static Replaceable<void(IssuedListDialog &)> g_issuedListRunner([](IssuedListDialog &d) { d.exec(); });

IssuedListRunner setIssuedListRunner(IssuedListRunner runner) { return g_issuedListRunner.replace(std::move(runner)); }

void runIssuedList(IssuedListDialog &dialog) { g_issuedListRunner(dialog); }

IssuedListDialog::IssuedListDialog(Db &main, QWidget *parent, DocKind kind)
    : QDialog(parent), ui(new Ui::IssuedListDialog), m_archive(main)
{
    ui->setupUi(this);
    auto *kinds = new QComboBox(this);
    kinds->setObjectName(QStringLiteral("cmb種別"));
    kinds->addItem(QStringLiteral("すべて"), 0);
    for (DocKind k : kAllKinds)
        kinds->addItem(kindNames(k).label, int(k));
    kinds->setCurrentIndex(kinds->findData(int(kind)));
    ui->issuedFilter->insertWidget(0, kinds);
    connect(kinds, &QComboBox::currentIndexChanged, this, &IssuedListDialog::refresh);
    setObjectName(QStringLiteral("FrmIssuedList"));
    QTableWidget *grid = ui->Grid発行履歴;
    grid->setColumnCount(ColumnCount);
    grid->setHorizontalHeaderLabels({"伝票番号", "版", "発行日時", "取引先", "合計", "発行方法", "照合"});
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(ColCustomer, QHeaderView::Stretch);
    grid->setColumnWidth(ColIssued, 150);
    grid->installEventFilter(this);
    for (QPushButton *b : {ui->cmd照合, ui->cmd書出し, ui->cmd表示, ui->cmd閉じる})
        b->setAutoDefault(false);
    connect(ui->dt発行開始, &DateField::dateChanged, this, &IssuedListDialog::refresh);
    connect(ui->dt発行終了, &DateField::dateChanged, this, &IssuedListDialog::refresh);
    connect(ui->txt取引先, &QLineEdit::textChanged, this, &IssuedListDialog::refresh);
    for (QLineEdit *box : {ui->txt金額下限, ui->txt金額上限})
        connect(box, &QLineEdit::editingFinished, this, [this, box] { amountTyped(box); });
    connect(grid, &QTableWidget::cellDoubleClicked, this, &IssuedListDialog::openCurrent);
    connect(ui->cmd表示, &QPushButton::clicked, this, &IssuedListDialog::openCurrent);
    connect(ui->cmd照合, &QPushButton::clicked, this, &IssuedListDialog::verifyListed);
    auto *againstIndex = new QPushButton(QStringLiteral("索引と照合"), this);
    againstIndex->setObjectName(QStringLiteral("cmd索引照合"));
    againstIndex->setToolTip(QStringLiteral("前に書き出した 索引.csv と比べ、その時の控えがそのまま残っているか確かめます"));
    againstIndex->setAutoDefault(false);
    ui->issuedButtons->insertWidget(ui->issuedButtons->indexOf(ui->cmd書出し) + 1, againstIndex);
    connect(againstIndex, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile(this, FileDialog::Open, QStringLiteral("書き出した索引（索引.csv）"), QString());
        if (!path.isEmpty())
            compareWithExport(path);
    });
    connect(ui->cmd書出し, &QPushButton::clicked, this, [this] {
        const QString folder = chooseFile(this, FileDialog::Folder, QStringLiteral("書出し先のフォルダー"), QString());
        if (!folder.isEmpty())
            exportListed(folder);
    });
    connect(ui->cmd閉じる, &QPushButton::clicked, this, &QDialog::reject);
    refresh();
}

IssuedListDialog::~IssuedListDialog() { delete ui; }

void IssuedListDialog::amountTyped(QLineEdit *box)
{
    const QString text = box->text().trimmed();
    if (!text.isEmpty() && !Money::parse(text)) {
        box->clear();
        Msg(QStringLiteral("入力"), QStringLiteral("数字のみ"), QStringLiteral("金額"));
    }
    refresh();
}

IssueFilter IssuedListDialog::filter() const
{
    auto amount = [](const QLineEdit *box) { return Money::parse(box->text().trimmed()); };
    const auto *kinds = findChild<QComboBox *>(QStringLiteral("cmb種別"));
    const std::optional<DocKind> kind = kinds ? kindFromCode(kinds->currentData().toInt()) : std::nullopt;
    return {ui->dt発行開始->date(), ui->dt発行終了->date(), amount(ui->txt金額下限), amount(ui->txt金額上限),
            ui->txt取引先->text(), kind};
}

void IssuedListDialog::refresh()
{
    reportFailure(m_archive.find(filter(), kShown, m_rows), QStringLiteral("発行履歴を表示"));
    QTableWidget *grid = ui->Grid発行履歴;
    grid->setRowCount(m_rows.size());
    for (int r = 0; r < m_rows.size(); ++r) {
        const IssuedRow &row = m_rows[r];
        const QString number = row.kind == issuearchive::kEstimate ? QString::number(row.number)
                                                                    : QStringLiteral("%1 %2").arg(row.kind).arg(row.number);
        const QString cells[] = {number, QString::number(row.version), row.issuedAt, row.customer,
                                 row.total ? row.total->toGroupedString() : QString(), row.how, QString()};
        for (int c = 0; c < ColumnCount; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == ColNumber || c == ColVersion || c == ColTotal)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(r, c, item);
        }
    }
    if (!m_rows.isEmpty())
        grid->setCurrentCell(0, 0);
    ui->lbl発行件数->setText(m_rows.size() < kShown ? QStringLiteral("%1 件").arg(m_rows.size())
                                                   : QStringLiteral("新しい %1 件を表示").arg(kShown));
}

void IssuedListDialog::openCurrent()
{
    const int r = ui->Grid発行履歴->currentRow();
    if (r < 0 || r >= m_rows.size())
        return;
    QByteArray bytes;
    if (!reportFailure(m_archive.pdf(m_rows[r].versionId, bytes), QStringLiteral("発行済みの控えを表示")))
        return;
    ArchivedPdfView view(bytes, QStringLiteral("No.%1 第%2版 %3 発行（控え・変更できません）")
                                    .arg(m_rows[r].number)
                                    .arg(m_rows[r].version)
                                    .arg(m_rows[r].versionIssuedAt),
                         this);
    runArchivedView(view);
}

bool IssuedListDialog::auditWithProgress(ArchiveAudit &audit)
{
    QProgressDialog progress(QStringLiteral("発行済みの控えを照合しています"), QStringLiteral("キャンセル"), 0, 1000, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const DbResult r = auditArchive(m_archive.database(), audit, [&](qlonglong done, qlonglong total) {
        if (done % 64 == 0 || done == total) {
            progress.setValue(int(done * 1000 / std::max<qlonglong>(1, total)));
            progress.setLabelText(QStringLiteral("発行済みの控えを照合しています\n%1 / %2 版").arg(done).arg(total));
            QCoreApplication::processEvents();
        }
        return !progress.wasCanceled();
    });
    QApplication::restoreOverrideCursor();
    progress.reset();
    return r.code == sqlitecode::Cancelled || reportFailure(r, QStringLiteral("控えを照合"));
}

int IssuedListDialog::verifyListed()
{
    ArchiveAudit audit;
    if (!auditWithProgress(audit))
        return -1;
    QSet<qlonglong> broken;
    for (const ArchiveBreak &b : audit.breaks)
        broken.insert(b.versionId);
    int mismatches = 0;
    for (int r = 0; r < m_rows.size(); ++r) {
        const bool matches = !broken.contains(m_rows[r].versionId);
        ui->Grid発行履歴->item(r, ColCheck)->setText(matches ? QStringLiteral("一致") : QStringLiteral("不一致"));
        mismatches += matches ? 0 : 1;
    }
    Msg(QStringLiteral("その他"), audit.sound() ? QStringLiteral("メッセージ") : QStringLiteral("注意"),
        QStringLiteral("一覧の %1 件を照合しました。一致 %2 件、不一致 %3 件。\n\n")
                .arg(m_rows.size())
                .arg(m_rows.size() - mismatches)
                .arg(mismatches) +
            audit.summary());
    return mismatches;
}

bool IssuedListDialog::compareWithExport(const QString &indexPath)
{
    ArchiveAudit audit;
    if (!reportFailure(compareWithIndex(m_archive.database(), indexPath, audit), QStringLiteral("書き出した索引と照合")))
        return false;
    const QString what = QStringLiteral("「%1」に書き出した %2 版と、その時の連鎖の先頭 %3（発行 %4 件）を照合しました。")
                             .arg(QDir::toNativeSeparators(indexPath))
                             .arg(audit.versions)
                             .arg(archivechain::shortCode(audit.head))
                             .arg(audit.records);
    QStringList lines;
    for (const ArchiveBreak &b : audit.breaks)
        lines << QStringLiteral("・") + b.text;
    Msg(QStringLiteral("その他"), audit.sound() ? QStringLiteral("メッセージ") : QStringLiteral("注意"),
        what + (audit.sound() ? QStringLiteral("\n控えは書き出した時のままです。")
                              : QStringLiteral("\n書き出した時と違うところが %1 件あります。\n").arg(lines.size()) + lines.join('\n')));
    return audit.sound();
}

bool IssuedListDialog::exportListed(const QString &folder)
{
    int written = 0;
    QString index;
    const DbResult r = m_archive.exportTo(folder, m_rows, &written, &index);
    if (!r) {
        QSet<qlonglong> versions;
        for (const IssuedRow &row : m_rows)
            versions.insert(row.versionId);
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("控えの書き出しは %1 件中 %2 件を書き出したところで止まりました。「%3」は書き出せませんでした。\n")
                    .arg(versions.size())
                    .arg(written)
                    .arg(QDir::toNativeSeparators(r.file)) +
                explainFailure(r));
        return false;
    }
    announceSaved(QStringLiteral("控え %1 件のPDFと索引を書き出しました。").arg(written), index);
    return true;
}

bool IssuedListDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a row shows it, as a double-click does.
    if (watched == ui->Grid発行履歴 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openCurrent();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
