#include "masters/MasterWork.h"

#include "store/WorkTableModel.h"
#include "ui/DataGrid.h"
#include "ui/InputMethod.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"

#include <QDir>

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
}

void MasterWork::read()
{
    reportFailure(m_store.read());
    m_model->refresh();
}

void MasterWork::clear()
{
    reportFailure(m_store.clear());
    m_model->refresh();
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
    reportFailure(m_store.registerRows(), m_store.table().subject + QStringLiteral("を登録"));
    m_model->refresh();
}

void MasterWork::deleteTicked()
{
    if (!Msg(QStringLiteral("削除"), QStringLiteral("指定確認"), m_store.table().subject))
        return;
    if (!commitGrid())
        return;
    int deleted = 0;
    if (reportFailure(m_store.deleteTicked(&deleted), m_store.table().subject + QStringLiteral("を削除")) && deleted > 0)
        m_model->refresh();
}

void MasterWork::exportCsv()
{
    const QString path = chooseFile(m_grid->window(), FileDialog::Save, QStringLiteral("CSV出力"),
                                    m_store.table().master + QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    int written = 0;
    if (reportFailure(m_store.exportCsv(path, &written), QStringLiteral("CSVファイルを書き出")))
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"),
            QStringLiteral("%1 件を書き出しました。\n%2").arg(written).arg(QDir::toNativeSeparators(path)));
}

void MasterWork::importCsv()
{
    const QString path = chooseFile(m_grid->window(), FileDialog::Open, QStringLiteral("CSV読込"), QString());
    if (path.isEmpty() || !commitGrid())
        return;
    QVector<int> bad;
    const DbResult r = m_store.importCsv(path, bad);
    m_model->refresh();
    if (!reportFailure(r, QStringLiteral("CSVファイルを読込")))
        return;
    if (!bad.isEmpty()) {
        QStringList lines;
        for (int line : bad)
            lines << QString::number(line);
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("CSVファイルの %1 行目は形式が正しくないため読み込みませんでした。")
                .arg(lines.join(QStringLiteral("、"))));
    }
}
