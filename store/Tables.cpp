#include "store/Tables.h"

namespace tables {

QStringList Table::names() const
{
    QStringList out;
    for (const Column &c : columns)
        out << c.name;
    return out;
}

int Table::indexOf(const QString &column) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name == column)
            return i;
    return -1;
}

static QString fileType(Type type)
{
    switch (type) {
    case Type::Real: return QStringLiteral("REAL");
    case Type::Text: return QStringLiteral("TEXT");
    case Type::Blob: return QStringLiteral("BLOB");
    default: return QStringLiteral("INTEGER");
    }
}

QString serverType(Type type)
{
    switch (type) {
    case Type::Real: return QStringLiteral("double precision");
    case Type::Text: return QStringLiteral("text");
    case Type::Blob: return QStringLiteral("bytea");
    default: return QStringLiteral("bigint");
    }
}

QString Table::createStatement(Db::Engine engine, bool ifMissing) const
{
    const bool server = engine == Db::Engine::Postgres;
    QStringList defs;
    if (server && serverRows == ServerRows::OnePerName)
        defs << QStringLiteral("id bigserial PRIMARY KEY");
    if (server && serverRows == ServerRows::OneRow)
        defs << QStringLiteral("id smallint PRIMARY KEY DEFAULT 1 CHECK (id = 1)");
    for (const Column &c : columns) {
        QString d = c.name + ' ' + (server ? serverType(c.type) : fileType(c.type));
        if (key.size() == 1 && key[0] == c.name)
            d += QStringLiteral(" PRIMARY KEY");
        if (server && serverRows == ServerRows::OnePerName && &c == &columns.first())
            d += QStringLiteral(" NOT NULL UNIQUE");
        if (c.notNull || c.type == Type::Flag)
            d += QStringLiteral(" NOT NULL");
        if (!c.defaultValue.isEmpty() || c.type == Type::Flag)
            d += QStringLiteral(" DEFAULT ") + (c.defaultValue.isEmpty() ? QStringLiteral("0") : c.defaultValue);
        defs << d;
    }
    if (server && versioned)
        defs << QStringLiteral("更新番号 bigint NOT NULL DEFAULT 1");
    if (key.size() > 1)
        defs << QStringLiteral("PRIMARY KEY (%1)").arg(key.join(", "));
    return QStringLiteral("CREATE TABLE %3%1 (%2)").arg(name, defs.join(", "), ifMissing ? QStringLiteral("IF NOT EXISTS ") : QString());
}

QStringList Table::serverTypes() const
{
    QStringList out;
    for (const Column &c : columns)
        out << (c.type == Type::Real ? QStringLiteral("float8") : serverType(c.type));
    return out;
}

const Table &customers()
{
    static const Table t{"顧客マスタ", {{"顧客名", Type::Text}, {"顧客情報", Type::Text}, {"敬称", Type::Text}}, {}, false,
                         ServerRows::OnePerName};
    return t;
}

const Table &products()
{
    static const Table t{"商品マスタ",
                         {{"品名", Type::Text}, {"単位", Type::Text}, {"単価", Type::Money}, {"非課税", Type::Flag},
                          {"軽減", Type::Flag}},
                         {}, false, ServerRows::OnePerName};
    return t;
}

const Table &settings()
{
    static const Table t{"自社情報",
                         {{"自社名", Type::Text}, {"自社情報", Type::Text}, {"税区分", Type::Text}, {"LineColor1", Type::Integer},
                          {"最大見積書番号", Type::Integer}, {"税率", Type::Integer}, {"端数処理", Type::Text},
                          {"登録番号", Type::Text}, {"見積番号印刷", Type::Integer}, {"社印", Type::Blob},
                          {"控え保持数", Type::Integer}},
                         {}, false, ServerRows::OneRow};
    return t;
}

const Table &codes()
{
    static const Table t{"コードマスタ",
                         {{"kcode", Type::Text, true}, {"code", Type::Integer, true}, {"sname", Type::Text}},
                         {"kcode", "code"}};
    return t;
}

const Table &payments()
{
    static const Table t{"入金",
                         {{"入金番号", Type::Integer, true}, {"行番号", Type::Integer, true}, {"日付", Type::Text},
                          {"顧客名", Type::Text}, {"請求書番号", Type::Integer, true}, {"金額", Type::Money, true},
                          {"手数料", Type::Money}, {"摘要", Type::Text}},
                         {"入金番号", "行番号"}};
    return t;
}

const Table &owed()
{
    // 期限順 sorts an invoice without a due date after every other; 顧客検索 is the name in lower
    // case, as the engine folds it, so that a search need not fold every row.
    static const Table t{"売掛残",
                         {{"伝票番号", Type::Integer, true}, {"顧客名", Type::Text}, {"日付", Type::Text}, {"支払期限", Type::Text},
                          {"期限順", Type::Text, true}, {"請求額", Type::Money, true}, {"入金済", Type::Money, true},
                          {"返還額", Type::Money, true}, {"残額", Type::Money, true}, {"顧客検索", Type::Text}},
                         {"伝票番号"}};
    return t;
}

QStringList laterHeaderColumns() { return {"取引日", "支払期限", "源泉徴収", "源泉税額", "備考"}; }

QStringList closingHeaderColumns() { return {"請求期間開始", "請求期間終了", "前回請求額", "入金額", "返還額"}; }

static Table headerOf(DocKind kind)
{
    Table t{kindNames(kind).header,
            {{"伝票番号", Type::Integer}, {"日付", Type::Text}, {"顧客名", Type::Text}, {"顧客情報", Type::Text},
             {"件名", Type::Text}, {"支払条件", Type::Text}, {"納期", Type::Text}, {"受渡場所", Type::Text},
             {"有効期限", Type::Text}, {"消費税", Type::Money}, {"税抜計", Type::Money}, {"合計", Type::Money},
             {"敬称", Type::Text}, {"税区分", Type::Text}, {"税率", Type::Integer}, {"端数処理", Type::Text}},
            {"伝票番号"},
            true};
    if (kind != DocKind::Estimate)
        t.columns += QVector<Column>{{"取引日", Type::Text}, {"支払期限", Type::Text}, {"源泉徴収", Type::Flag},
                                     {"源泉税額", Type::Money}, {"備考", Type::Text}};
    if (kind == DocKind::Invoice)
        t.columns += QVector<Column>{{"請求期間開始", Type::Text}, {"請求期間終了", Type::Text}, {"前回請求額", Type::Money},
                                     {"入金額", Type::Money}, {"返還額", Type::Money}};
    return t;
}

static Table linesOf(DocKind kind)
{
    Table t{kindNames(kind).lines,
            {{"伝票番号", Type::Integer, true}, {"顧客名", Type::Text}, {"日付", Type::Text}, {"行番号", Type::Integer, true},
             {"伝票区分", Type::Integer, true, QString::number(kindNames(kind).code)}, {"品名", Type::Text},
             {"数量", Type::Real}, {"単位", Type::Text}, {"単価", Type::Money}, {"金額", Type::Money},
             {"非課税", Type::Flag}, {"軽減", Type::Flag}},
            {"伝票番号", "伝票区分", "行番号"}};
    if (kind != DocKind::Estimate)
        t.columns << Column{"納品書番号", Type::Integer};
    t.columns << Column{"行種別", Type::Text}; // Null: an item, as every line was before
    return t;
}

const Table &header(DocKind kind)
{
    static const std::array<Table, 5> all{headerOf(DocKind::Estimate), headerOf(DocKind::Delivery),
                                          headerOf(DocKind::Invoice), headerOf(DocKind::Credit), headerOf(DocKind::Receipt)};
    return all[int(kind) - 1];
}

const Table &lines(DocKind kind)
{
    static const std::array<Table, 5> all{linesOf(DocKind::Estimate), linesOf(DocKind::Delivery), linesOf(DocKind::Invoice),
                                          linesOf(DocKind::Credit), linesOf(DocKind::Receipt)};
    return all[int(kind) - 1];
}

const Table &links()
{
    static const Table t{"伝票連携",
                         {{"種別", Type::Integer, true}, {"伝票番号", Type::Integer, true}, {"並び", Type::Integer, true},
                          {"元種別", Type::Integer, true}, {"元番号", Type::Integer, true}, {"元日付", Type::Text}},
                         {"種別", "伝票番号", "並び"}};
    return t;
}

} // namespace tables
