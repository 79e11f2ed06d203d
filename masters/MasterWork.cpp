#include "masters/MasterWork.h"

#include "ui/DataGrid.h"
#include "ui/InputMethod.h"
#include "ui/MessageCatalogue.h"
#include "store/WorkTableModel.h"

// Table and field names below are program constants; every value is bound.

MasterWork::MasterWork(QuoteDeskContext &ctx, MasterTable table, DataGrid *grid, WorkTableModel *model)
    : m_ctx(ctx), m_table(std::move(table)), m_grid(grid), m_model(model)
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
    const QString fields = m_table.fields.join(", ");
    DbResult r = m_ctx.work.transaction([&]() -> DbResult {
        if (DbResult d = m_ctx.work.exec("DELETE FROM " + m_table.work); !d)
            return d;
        return m_ctx.work.exec(QString("INSERT INTO %1 (%2) SELECT %2 FROM %3.%4 ORDER BY %5")
                                   .arg(m_table.work, fields, QStringLiteral("perm"), m_table.master,
                                        m_table.fields.first()));
    });
    reportFailure(r);
    m_model->refresh();
}

void MasterWork::clear()
{
    // An empty copy needs no write (and no disk sync), as at every start.
    QVariant any;
    m_ctx.work.scalar(QString("SELECT EXISTS (SELECT 1 FROM main.%1)").arg(m_table.work), {}, any);
    if (any.toInt() != 0 || any.isNull())
        reportFailure(m_ctx.work.exec("DELETE FROM " + m_table.work));
    m_model->refresh();
}

bool MasterWork::commitGrid()
{
    m_grid->flushEditor();
    return reportFailure(m_model->commitAll());
}

void MasterWork::registerRows()
{
    if (!Msg(QStringLiteral("登録"), QStringLiteral("確認"), m_table.subject))
        return;
    if (!commitGrid())
        return;
    const QString key = m_table.fields.first();
    QStringList sets, marks;
    for (const QString &f : m_table.fields) {
        sets << f + " = ?";
        marks << "?";
    }
    const QString update = QString("UPDATE perm.%1 SET %2 WHERE rowid = "
                                   "(SELECT rowid FROM perm.%1 WHERE %3 = ? ORDER BY rowid LIMIT 1)")
                               .arg(m_table.master, sets.join(", "), key);
    const QString insert =
        QString("INSERT INTO perm.%1 (%2) VALUES (%3)").arg(m_table.master, m_table.fields.join(", "), marks.join(", "));
    DbResult r = m_ctx.work.transaction([&]() -> DbResult {
        DbRows rows;
        if (DbResult s = m_ctx.work.select(
                QString("SELECT %1 FROM main.%2 ORDER BY id").arg(m_table.fields.join(", "), m_table.work), {}, rows);
            !s)
            return s;
        for (const DbRow &row : rows) {
            // A row without a name would become a nameless master row on every registration.
            if (row[0].isNull() || row[0].toString().trimmed().isEmpty())
                continue;
            QVariantList values(row.begin(), row.end());
            qlonglong changed = 0;
            if (DbResult u = m_ctx.work.exec(update, values + QVariantList{row[0]}, &changed); !u)
                return u;
            if (changed == 0)
                if (DbResult i = m_ctx.work.exec(insert, values); !i)
                    return i;
        }
        return {};
    });
    reportFailure(r);
    m_model->refresh();
}

void MasterWork::deleteTicked()
{
    if (!Msg(QStringLiteral("削除"), QStringLiteral("指定確認"), m_table.subject))
        return;
    if (!commitGrid())
        return;
    const QString key = m_table.fields.first();
    DbRows ticked;
    if (!reportFailure(m_ctx.work.select(QString("SELECT %1 FROM main.%2 WHERE チェック = 1").arg(key, m_table.work), {},
                                         ticked)) ||
        ticked.isEmpty())
        return;
    DbResult r = m_ctx.work.transaction([&]() -> DbResult {
        for (const DbRow &row : ticked)
            if (DbResult d = m_ctx.work.exec(QString("DELETE FROM perm.%1 WHERE %2 = ?").arg(m_table.master, key), {row[0]});
                !d)
                return d;
        return m_ctx.work.exec(QString("DELETE FROM main.%1 WHERE チェック = 1").arg(m_table.work));
    });
    if (reportFailure(r))
        m_model->refresh();
}
