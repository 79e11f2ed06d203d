#include "masters/MasterWork.h"

#include "ui/WorkTableModel.h"
#include "ui/DataGrid.h"
#include "ui/InputMethod.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"

#include <QDir>
#include <QProgressDialog>

MasterWork::MasterWork(QuoteDeskContext &ctx, MasterTable table, DataGrid *grid, WorkTableModel *model)
    : m_store(ctx, std::move(table)), m_grid(grid), m_model(model)
{
    // Both master grids take text in columns 1 and 2 (names, details, units).
    QObject::connect(grid, &DataGrid::currentCellChanged, grid, [grid](int, int) {
        const int col = grid->currentColumn();
        SetImeOpen(grid, col == 1 || col == 2);
    });
    QObject::connect(grid, &DataGrid::commitFailed, grid,
                     [](const QString &e) { reportFailure(DbResult::failure(e)); });
    // A tick only marks a row for 削除; anything else typed is not stored until 登録.
    QObject::connect(model, &WorkTableModel::userEdited, grid, [this](int, int column) {
        if (column > 0)
            m_unregistered = true;
    });
}

void MasterWork::read()
{
    if (reportFailure(m_store.read()))
        m_unregistered = false;
    m_model->refresh();
}

void MasterWork::clear()
{
    if (reportFailure(m_store.clear()))
        m_unregistered = false;
    m_model->refresh();
}

bool MasterWork::mayDiscard()
{
    m_grid->flushEditor(); // what is still in an open cell counts too
    return !m_unregistered || Msg(QStringLiteral("その他"), QStringLiteral("破棄確認"), m_store.table().subject);
}

bool MasterWork::commitGrid()
{
    m_grid->flushEditor();
    return reportFailure(m_model->commitAll());
}

void MasterWork::registerRows()
{
    if (!Msg(QStringLiteral("登録"), QStringLiteral("確認"), m_store.table().subject))
        return;
    if (!commitGrid())
        return;
    if (const QString why = refusal ? refusal() : QString(); !why.isEmpty()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), why);
        return;
    }
    QStringList elsewhere;
    DbResult r = m_store.registerRows(&elsewhere);
    // Rows another desktop changed since they were read: overwritten only when the user says so.
    if (r && !elsewhere.isEmpty()) {
        QStringList names, details;
        for (const QString &name : elsewhere.mid(0, 5))
            names << QStringLiteral("「%1」").arg(name);
        QString text = m_store.table().subject + names.join(QStringLiteral("、"));
        if (elsewhere.size() > 5)
            text += QStringLiteral("ほか %1 件").arg(elsewhere.size() - 5);
        // Which field, and both values: the user decides knowing what would be lost.
        if (m_store.describeConflicts(elsewhere.mid(0, 5), details) && !details.isEmpty())
            text += QStringLiteral("（") + details.join(QStringLiteral("、")) + QStringLiteral("）");
        if (Msg(QStringLiteral("登録"), QStringLiteral("他端末変更"), text))
            r = m_store.registerRows(&elsewhere, true);
    }
    if (reportFailure(r, m_store.table().subject + QStringLiteral("を登録")) && elsewhere.isEmpty())
        m_unregistered = false;
    m_model->refresh();
}

void MasterWork::deleteTicked()
{
    if (!Msg(QStringLiteral("削除"), QStringLiteral("指定確認"), m_store.table().subject))
        return;
    if (!commitGrid())
        return;
    int deleted = 0;
    reportFailure(m_store.deleteTicked(&deleted), m_store.table().subject + QStringLiteral("を削除"));
    m_model->refresh(); // what the grid shows is what is stored
}

void MasterWork::exportCsv()
{
    const QString path = chooseFile(m_grid->window(), FileDialog::Save, QStringLiteral("CSV出力"),
                                    m_store.table().master + QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    int written = 0;
    if (reportFailure(m_store.exportCsv(path, &written), QStringLiteral("CSVファイルを書き出")))
        announceSaved(QStringLiteral("%1 件を書き出しました。").arg(written), path);
}

void MasterWork::importCsv()
{
    const QString path = chooseFile(m_grid->window(), FileDialog::Open, QStringLiteral("CSV読込"), QString());
    if (path.isEmpty() || !commitGrid())
        return;
    CsvImport result;
    // Large files take seconds: shown, and stoppable, keeping nothing read.
    QProgressDialog dialog(QStringLiteral("CSVファイルを読み込んでいます…"), QStringLiteral("中止"), 0, 100, m_grid->window());
    dialog.setObjectName(QStringLiteral("dlgCSV読込"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(400);
    const DbResult r = m_store.importCsv(path, result, [&dialog](int done, int total) {
        dialog.setMaximum(total);
        dialog.setValue(done);
        return !dialog.wasCanceled();
    });
    dialog.reset();
    m_model->refresh();
    if (r.code == sqlitecode::Cancelled)
        return; // the user's own choice: nothing to tell
    if (!reportFailure(r, QStringLiteral("CSVファイルを読込")))
        return;
    if (result.added + result.merged > 0)
        m_unregistered = true;
    reportImport(result);
}

static QString lineList(const QVector<int> &lines)
{
    QStringList out;
    for (int line : lines)
        out << QString::number(line);
    return out.join(QStringLiteral("、"));
}

void MasterWork::reportImport(const CsvImport &result)
{
    QString text = QStringLiteral("CSVファイル（%1）から %2 件を読み込みました。登録するまで保存されません。")
                       .arg(result.encoding)
                       .arg(result.added + result.merged);
    if (result.merged > 0)
        text += QStringLiteral("\n表にあった同じ名前の %1 件は読み込んだ内容に置き換えました。").arg(result.merged);
    if (!result.replacedLines.isEmpty())
        text += QStringLiteral("\n同じ名前が後にもあるため %1 行目は読み込みませんでした（後の行を使います）。")
                    .arg(lineList(result.replacedLines));
    if (!result.badLines.isEmpty())
        text += QStringLiteral("\n%1 行目は形式または文字コードが正しくないため読み込みませんでした。")
                    .arg(lineList(result.badLines));
    const bool trouble = !result.badLines.isEmpty() || !result.replacedLines.isEmpty();
    Msg(QStringLiteral("その他"), trouble ? QStringLiteral("注意") : QStringLiteral("メッセージ"), text);
}
