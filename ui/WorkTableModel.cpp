#include "ui/WorkTableModel.h"
#include "store/Helpers.h"

#include <QStringList>
#include <cmath>

WorkTableModel::WorkTableModel(Db &db, const QString &table, const QVector<WorkColumn> &columns,
                               const QString &orderBy, QObject *parent)
    : QAbstractTableModel(parent), m_db(db), m_table(table), m_columns(columns), m_orderBy(orderBy)
{
}

void WorkTableModel::setAllowAppend(bool allow)
{
    beginResetModel();
    m_allowAppend = allow;
    endResetModel();
}

int WorkTableModel::columnOf(const QString &field) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].field == field)
            return i;
    return -1;
}

qlonglong WorkTableModel::rowId(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].id : 0;
}

bool WorkTableModel::isPending(int row) const
{
    return row >= 0 && row < m_rows.size() && m_rows[row].dirty;
}

QVariant WorkTableModel::fromSql(int column, const QVariant &v) const
{
    if (v.isNull())
        return m_columns[column].kind == ColumnKind::YesNo ? QVariant(false) : QVariant();
    switch (m_columns[column].kind) {
    case ColumnKind::Text: return v.toString();
    case ColumnKind::Integer: return v.toLongLong();
    case ColumnKind::Real: return v.toDouble();
    case ColumnKind::Currency: return QVariant::fromValue(Money::fromRaw(v.toLongLong()));
    case ColumnKind::YesNo: return v.toLongLong() != 0;
    }
    return v;
}

QVariant WorkTableModel::toSql(int column, const QVariant &v) const
{
    const ColumnKind kind = m_columns[column].kind;
    if (kind == ColumnKind::YesNo)
        return v.toBool() ? 1 : 0;
    if (v.isNull() || !v.isValid())
        return kind == ColumnKind::Text ? QVariant(QString()) : QVariant(QMetaType::fromType<qlonglong>());
    switch (kind) {
    case ColumnKind::Text: return v.toString();
    case ColumnKind::Integer: return v.toLongLong();
    case ColumnKind::Real: return v.toDouble();
    case ColumnKind::Currency:
        if (auto m = Money::fromSql(v); m && v.metaType() == QMetaType::fromType<Money>())
            return m->raw();
        if (auto m = Money::fromDouble(v.toDouble()))
            return m->raw();
        return QVariant(QMetaType::fromType<qlonglong>());
    case ColumnKind::YesNo: break;
    }
    return v;
}

DbResult WorkTableModel::refresh()
{
    QStringList fields;
    for (const WorkColumn &c : m_columns)
        fields << c.field;
    QVector<Row> rows;
    const int n = m_columns.size();
    DbResult r = m_db.forEachRow(
        QString("SELECT id, %1 FROM %2 ORDER BY %3, id").arg(fields.join(", "), m_table, m_orderBy), {},
        [&](const QSqlQuery &q) {
            Row row;
            row.id = q.value(0).toLongLong();
            row.values.resize(n);
            for (int c = 0; c < n; ++c)
                row.values[c] = fromSql(c, q.value(c + 1));
            rows.push_back(std::move(row));
        });
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
    return r;
}

DbResult WorkTableModel::commitRow(int row)
{
    if (row < 0 || row >= m_rows.size() || !m_rows[row].dirty)
        return {};
    Row &r = m_rows[row];
    QStringList fields, marks, sets;
    QVariantList binds;
    for (int c = 0; c < m_columns.size(); ++c) {
        fields << m_columns[c].field;
        marks << "?";
        sets << m_columns[c].field + " = ?";
        binds << toSql(c, r.values[c]);
    }
    DbResult res;
    if (r.id == 0) {
        QVariant id;
        res = m_db.exec(QString("INSERT INTO %1 (%2) VALUES (%3)").arg(m_table, fields.join(", "), marks.join(", ")),
                        binds, nullptr, &id);
        if (res)
            r.id = id.toLongLong();
    } else {
        binds << r.id;
        res = m_db.exec(QString("UPDATE %1 SET %2 WHERE id = ?").arg(m_table, sets.join(", ")), binds);
    }
    if (res)
        r.dirty = false;
    return res;
}

DbResult WorkTableModel::commitAll()
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (DbResult r = commitRow(i); !r)
            return r;
    return {};
}

QVariant WorkTableModel::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows[row].values[column];
}

bool WorkTableModel::ensureRow(int row)
{
    if (row >= 0 && row < m_rows.size())
        return true;
    if (!m_allowAppend || row != m_rows.size())
        return false;
    // The new-row line becomes a real (still unwritten) row; a fresh empty line follows it.
    beginInsertRows({}, row + 1, row + 1);
    m_rows.push_back(blankRow());
    endInsertRows();
    return true;
}

WorkTableModel::Row WorkTableModel::blankRow() const
{
    Row r;
    r.values.resize(m_columns.size());
    for (int c = 0; c < m_columns.size(); ++c)
        r.values[c] = fromSql(c, QVariant());
    r.dirty = true;
    return r;
}

int WorkTableModel::appendRow()
{
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back(blankRow());
    endInsertRows();
    return row;
}

void WorkTableModel::setValue(int row, int column, const QVariant &v)
{
    if (column < 0 || column >= m_columns.size() || !ensureRow(row))
        return;
    m_rows[row].values[column] = v;
    m_rows[row].dirty = true;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

QVariant WorkTableModel::fromText(int column, const QString &text) const
{
    const ColumnKind kind = m_columns[column].kind;
    if (kind == ColumnKind::Text) {
        const QString clean = withoutControls(text);
        return clean.isEmpty() ? QVariant() : QVariant(clean);
    }
    if (kind == ColumnKind::YesNo)
        return QVariant(text == "1" || text.compare("true", Qt::CaseInsensitive) == 0);
    if (normaliseNumberText(text).isEmpty())
        return {};
    if (kind == ColumnKind::Currency) {
        if (auto m = Money::parse(text))
            return QVariant::fromValue(*m);
        // Too large for money: kept as a number so range checks can refuse it.
        if (auto d = parseNumber(text))
            return *d;
        return {};
    }
    const auto d = parseNumber(text);
    if (!d)
        return {};
    if (kind == ColumnKind::Integer)
        return std::fabs(*d) < 9e18 ? QVariant(qlonglong(*d)) : QVariant(); // beyond 64 bits is no value
    return *d;
}

QString WorkTableModel::displayText(int column, const QVariant &v) const
{
    if (v.isNull() || !v.isValid())
        return {};
    const WorkColumn &c = m_columns[column];
    if (v.metaType() == QMetaType::fromType<Money>())
        return c.grouped ? v.value<Money>().toGroupedString() : v.value<Money>().toPlainString();
    switch (c.kind) {
    case ColumnKind::Text: return v.toString();
    case ColumnKind::YesNo: return {};
    default:
        // "#,###" would round 2.5 to "3": show a quantity's fraction rather than mislead.
        return c.grouped ? formatGrouped(v.toDouble(), 4) : QString::number(v.toDouble(), 'g', 15);
    }
}

int WorkTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_rows.size() + (m_allowAppend ? 1 : 0);
}

int WorkTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns.size();
}

QVariant WorkTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int col = index.column();
    const WorkColumn &c = m_columns[col];
    if (role == Qt::TextAlignmentRole)
        return int(c.alignment);
    if ((role == Qt::FontRole || role == Qt::BackgroundRole) && rowLook)
        return index.row() < m_rows.size() ? rowLook(index.row(), role) : QVariant();
    const bool newLine = index.row() >= m_rows.size();
    const QVariant v = newLine ? QVariant() : m_rows[index.row()].values[col];
    if (c.kind == ColumnKind::YesNo) {
        // A tick that cannot be set is not shown.
        if (role == Qt::CheckStateRole && (newLine || (cellLocked && cellLocked(index.row(), col))))
            return {};
        if (role == Qt::CheckStateRole)
            return QVariant(v.toBool() ? Qt::Checked : Qt::Unchecked);
        return {};
    }
    if (role == Qt::DisplayRole)
        return displayText(col, v);
    if (role == Qt::EditRole) {
        if (v.metaType() == QMetaType::fromType<Money>())
            return v.value<Money>().toPlainString();
        if (c.kind == ColumnKind::Real && !v.isNull())
            return QString::number(v.toDouble(), 'g', 15);
        return v.isNull() ? QString() : v.toString();
    }
    return {};
}

bool WorkTableModel::setData(const QModelIndex &index, const QVariant &v, int role)
{
    if (!index.isValid())
        return false;
    const int row = index.row(), col = index.column();
    QVariant newValue;
    if (role == Qt::CheckStateRole && m_columns[col].kind == ColumnKind::YesNo)
        newValue = v.toInt() == Qt::Checked;
    else if (role == Qt::EditRole && m_columns[col].kind != ColumnKind::YesNo)
        newValue = fromText(col, v.toString());
    else
        return false;
    if (row < m_rows.size() && m_rows[row].values[col] == newValue &&
        m_rows[row].values[col].isNull() == newValue.isNull())
        return true; // no change, no edit event
    if (row >= m_rows.size() && (newValue.isNull() || newValue == QVariant(false)))
        return true; // nothing typed on the new-row line
    if (editCheck && !editCheck(row, col, newValue))
        return false;
    setValue(row, col, newValue);
    emit userEdited(row, col);
    return true;
}

Qt::ItemFlags WorkTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (cellLocked && index.row() < m_rows.size() && cellLocked(index.row(), index.column()))
        return f;
    if (m_columns[index.column()].kind == ColumnKind::YesNo)
        return f | Qt::ItemIsUserCheckable;
    return f | Qt::ItemIsEditable;
}

QVariant WorkTableModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && section >= 0 && section < m_columns.size()) {
        if (role == Qt::DisplayRole)
            return m_columns[section].caption;
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
    }
    if (o == Qt::Vertical && role == Qt::DisplayRole) {
        if (section >= m_rows.size())
            return QStringLiteral("*");
        const QString caption = rowCaption ? rowCaption(section) : QString();
        return caption.isEmpty() ? QVariant(section + 1) : QVariant(QStringLiteral("%1 %2").arg(section + 1).arg(caption));
    }
    return QAbstractTableModel::headerData(section, o, role);
}

QVector<QVector<QVariant>> WorkTableModel::rowValues() const
{
    QVector<QVector<QVariant>> out;
    out.reserve(m_rows.size());
    for (const Row &r : m_rows)
        out << r.values;
    return out;
}
