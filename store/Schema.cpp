#include "store/Schema.h"
#include "store/ArchiveSchema.h"
#include "store/SearchIndex.h"
#include "store/Backups.h"
#include "store/Owed.h"
#include "store/ReceivedArchive.h"
#include "store/Tables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace schema {

// One row at most: the document on screen while it differs from what is stored; its lines are
// the kind's work rows. The later kinds keep their own header fields and links besides.
static QString screenTableStatement(DocKind kind = DocKind::Estimate)
{
    QString extra;
    if (kind != DocKind::Estimate)
        extra = QStringLiteral(", 取引日 TEXT, 支払期限 TEXT, 源泉徴収 INTEGER, 備考 TEXT, 連携 TEXT, 税区分 TEXT, 税率 INTEGER, "
                               "端数処理 TEXT");
    if (kind == DocKind::Invoice)
        extra += QStringLiteral(", 請求期間開始 TEXT, 請求期間終了 TEXT, 前回請求額 INTEGER, 入金額 INTEGER, 返還額 INTEGER");
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id INTEGER PRIMARY KEY CHECK (id = 1), 伝票番号 TEXT, 元版 INTEGER, 日付 TEXT, "
                          "顧客名 TEXT, 顧客情報 TEXT, 件名 TEXT, 支払条件 TEXT, 納期 TEXT, 受渡場所 TEXT, 有効期限 TEXT, "
                          "敬称 TEXT, 時刻 TEXT%2)")
        .arg(kindNames(kind).screen, extra);
}

// The grid's rows of a kind; the later kinds' also name the 納品書 a row came from.
static QString workLinesStatement(DocKind kind)
{
    return QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, 行番号 INTEGER, 品名 TEXT, 数量 REAL, 単位 TEXT, "
                          "単価 INTEGER, 金額 INTEGER, 非課税 INTEGER NOT NULL DEFAULT 0, 軽減 INTEGER NOT NULL DEFAULT 0%2, 行種別 TEXT)")
        .arg(kindNames(kind).work, kind == DocKind::Estimate ? QString() : QStringLiteral(", 納品書番号 INTEGER"));
}

// The later kinds: their tables, counters, links and search indexes, into a file that has the
// estimate's. The customer's invoice rules and the settings' bank accounts come with them.
static QStringList kindStatements(std::initializer_list<DocKind> kinds)
{
    QStringList s;
    for (DocKind kind : kinds)
        s << tables::header(kind).createStatement(Db::Engine::Sqlite) << tables::lines(kind).createStatement(Db::Engine::Sqlite)
          << searchindex::createStatement(kind)
          << QStringLiteral("ALTER TABLE 自社情報 ADD COLUMN %1 INTEGER").arg(kindNames(kind).counter);
    return s;
}

static QStringList laterKindStatements()
{
    QStringList s = kindStatements({DocKind::Delivery, DocKind::Invoice});
    s << tables::links().createStatement(Db::Engine::Sqlite) << QStringLiteral("CREATE INDEX 伝票連携_元 ON 伝票連携 (元種別, 元番号)");
    for (const QString &column : laterSettingsColumns())
        s << QStringLiteral("ALTER TABLE 自社情報 ADD COLUMN %1").arg(column);
    for (const QString &column : laterCustomerColumns())
        s << QStringLiteral("ALTER TABLE 顧客マスタ ADD COLUMN %1").arg(column);
    return s;
}

QStringList paymentStatements(Db::Engine engine)
{
    return {tables::payments().createStatement(engine, engine == Db::Engine::Postgres),
            QStringLiteral("CREATE INDEX %1入金_請求書 ON 入金 (請求書番号)")
                .arg(engine == Db::Engine::Postgres ? QStringLiteral("IF NOT EXISTS ") : QString())};
}

// Credit notes and receipts, each numbered on its own like the others; the customers' closing day.
static QStringList moneyBackStatements()
{
    return kindStatements({DocKind::Credit, DocKind::Receipt}) + QStringList{"ALTER TABLE 顧客マスタ ADD COLUMN 締日 TEXT"};
}

// Columns added to a table made by an earlier step, which a file made since already has.
static DbResult addMissing(Db &db, const QString &table, const QStringList &definitions)
{
    DbRows rows;
    if (DbResult r = db.select(QStringLiteral("SELECT name FROM pragma_table_info(?)"), {table}, rows); !r)
        return r;
    QSet<QString> present;
    for (const DbRow &row : rows)
        present.insert(row[0].toString());
    for (const QString &d : definitions)
        if (!present.contains(d.section(' ', 0, 0)))
            if (DbResult r = db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, d)); !r)
                return r;
    return {};
}

// Each document's lines of every kind get their 行種別 (heading, subtotal, discount, note).
static DbResult addRowKinds(Db &db, bool work)
{
    for (DocKind kind : kAllKinds)
        if (DbResult r = addMissing(db, work ? kindNames(kind).work : kindNames(kind).lines, {QStringLiteral("行種別 TEXT")}); !r)
            return r;
    return {};
}

static const QStringList kClosingColumns{"請求期間開始 TEXT", "請求期間終了 TEXT", "前回請求額 INTEGER", "入金額 INTEGER",
                                           "返還額 INTEGER"};

QStringList laterSettingsColumns()
{
    return {"銀行名 TEXT", "支店名 TEXT", "口座種別 TEXT", "口座番号 TEXT", "口座名義 TEXT", "銀行名2 TEXT", "支店名2 TEXT",
            "口座種別2 TEXT", "口座番号2 TEXT", "口座名義2 TEXT", "振込備考 TEXT"};
}

QStringList laterCustomerColumns() { return {"支払期限規則 TEXT", "源泉徴収 INTEGER NOT NULL DEFAULT 0"}; }


QStringList tableNames(FileKind kind)
{
    if (kind == FileKind::Permanent)
        return {"見積書ヘッダ", "見積書", "顧客マスタ", "商品マスタ", "自社情報", "コードマスタ", "見積書索引",
                "発行版", "発行記録", "発行取引先", "変更番号", "納品書ヘッダ", "納品書", "納品書索引", "請求書ヘッダ", "請求書",
                "請求書索引", "伝票連携", "入金", "返還請求書ヘッダ", "返還請求書", "返還請求書索引", "領収書ヘッダ", "領収書",
                "領収書索引", "売掛残", "売掛期日", "受領書類", "発行XML"};
    return {"w明細", "w顧客マスタ", "w商品マスタ", "w商品参照", "ClHint", "w画面", "w納品書明細", "w納品書画面", "w請求書明細",
            "w請求書画面", "w返還請求書明細", "w返還請求書画面", "w領収書明細", "w領収書画面"};
}

QStringList changeCounterStatements()
{
    QStringList s{"CREATE TABLE 変更番号 (表 TEXT PRIMARY KEY, 番号 INTEGER NOT NULL) WITHOUT ROWID",
                  "INSERT INTO 変更番号 (表, 番号) VALUES ('顧客マスタ', 0), ('商品マスタ', 0)"};
    for (const char *table : {"顧客マスタ", "商品マスタ"})
        for (const char *event : {"INSERT", "UPDATE", "DELETE"})
            s << QString("CREATE TRIGGER %1_%2_変更 AFTER %2 ON %1 BEGIN UPDATE 変更番号 SET 番号 = 番号 + 1 "
                         "WHERE 表 = '%1'; END")
                     .arg(QString::fromUtf8(table), QString::fromUtf8(event));
    return s;
}

QStringList settingsCounterStatements()
{
    // The estimate counter lives in the same row; its raise is no change of the settings.
    const QString columns = QStringLiteral("自社名, 自社情報, 税区分, LineColor1, 税率, 端数処理, 登録番号, 見積番号印刷, 社印");
    const QString count = QStringLiteral("BEGIN UPDATE 変更番号 SET 番号 = 番号 + 1 WHERE 表 = '自社情報'; END");
    return {"INSERT INTO 変更番号 (表, 番号) VALUES ('自社情報', 0) ON CONFLICT DO NOTHING",
            "CREATE TRIGGER IF NOT EXISTS 自社情報_変更 AFTER UPDATE OF " + columns + " ON 自社情報 " + count,
            "CREATE TRIGGER IF NOT EXISTS 自社情報_追加 AFTER INSERT ON 自社情報 " + count,
            "CREATE TRIGGER IF NOT EXISTS 自社情報_削除 AFTER DELETE ON 自社情報 " + count};
}

QStringList createStatements(FileKind kind)
{
    if (kind == FileKind::Permanent) {
        return QStringList{
            tables::header(DocKind::Estimate).createStatement(Db::Engine::Sqlite),
            tables::lines(DocKind::Estimate).createStatement(Db::Engine::Sqlite),
            tables::customers().createStatement(Db::Engine::Sqlite),
            "CREATE INDEX 顧客マスタ_顧客名 ON 顧客マスタ (顧客名)",
            tables::products().createStatement(Db::Engine::Sqlite),
            "CREATE INDEX 商品マスタ_品名 ON 商品マスタ (品名)",
            tables::settings().createStatement(Db::Engine::Sqlite),
            tables::codes().createStatement(Db::Engine::Sqlite),
            searchindex::createStatement(),
        } + archiveschema::fileStatements() + changeCounterStatements() + settingsCounterStatements() + laterKindStatements() +
               paymentStatements(Db::Engine::Sqlite) + moneyBackStatements() + owed::statements(Db::Engine::Sqlite) +
               receivedarchive::statements(Db::Engine::Sqlite);
    }
    return QStringList{
        workLinesStatement(DocKind::Estimate),
        "CREATE TABLE w顧客マスタ (id INTEGER PRIMARY KEY, チェック INTEGER NOT NULL DEFAULT 0, "
        "顧客名 TEXT, 顧客情報 TEXT)",
        "CREATE TABLE w商品マスタ (id INTEGER PRIMARY KEY, チェック INTEGER NOT NULL DEFAULT 0, "
        "品名 TEXT, 単位 TEXT, 単価 INTEGER, 非課税 INTEGER NOT NULL DEFAULT 0, 軽減 INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE w商品参照 (id INTEGER PRIMARY KEY, 品名 TEXT, 単位 TEXT, 単価 INTEGER, "
        "非課税 INTEGER NOT NULL DEFAULT 0, ふりがな TEXT, 軽減 INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE ClHint (FormName TEXT NOT NULL, CtlName TEXT NOT NULL, FormTitle TEXT, "
        "Contents TEXT, PRIMARY KEY (FormName, CtlName))",
        screenTableStatement(),
    } + laterWorkStatements() + moneyBackWorkStatements();
}

QStringList moneyBackWorkStatements()
{
    QStringList s;
    for (DocKind kind : {DocKind::Credit, DocKind::Receipt})
        s << workLinesStatement(kind) << screenTableStatement(kind);
    return s << QStringLiteral("ALTER TABLE w顧客マスタ ADD COLUMN 締日 TEXT");
}

QStringList laterWorkStatements()
{
    QStringList s;
    for (DocKind kind : {DocKind::Delivery, DocKind::Invoice})
        s << workLinesStatement(kind) << screenTableStatement(kind);
    for (const QString &column : laterCustomerColumns()) // the customers' page edits them too
        s << QStringLiteral("ALTER TABLE w顧客マスタ ADD COLUMN %1").arg(column);
    return s;
}

// Units offered from the start; the rest of the 100 slots stay free for units users type.
static const QStringList kUnits = {"個", "本", "枚", "台", "式", "箱", "セット", "件", "組", "袋",
                                   "冊", "足", "着", "巻", "缶", "ケース", "m", "㎡", "kg", "時間",
                                   "日", "月", "人", "回", "食"};
constexpr int kUnitSlots = 100;

DbResult insertUnitCodes(Db &db)
{
    for (int code = 1; code <= kUnitSlots; ++code) {
        QVariant name = code <= kUnits.size() ? QVariant(kUnits[code - 1]) : QVariant(QString());
        if (DbResult r = db.exec("INSERT INTO コードマスタ (kcode, code, sname) VALUES (?, ?, ?)",
                                 {QStringLiteral("単位"), code, name});
            !r)
            return r;
    }
    return {};
}

DbResult createFile(const QString &path, FileKind kind)
{
    Db db(QStringLiteral("schema-create"));
    if (DbResult r = db.create(path); !r)
        return r;
    return db.transaction([&]() -> DbResult {
        for (const QString &sql : createStatements(kind))
            if (DbResult r = db.exec(sql); !r)
                return r;
        if (kind == FileKind::Permanent)
            if (DbResult r = insertUnitCodes(db); !r)
                return r;
        const int version = kind == FileKind::Permanent ? kPermVersion : kWorkVersion;
        if (DbResult r = db.exec(QString("PRAGMA application_id = %1").arg(kApplicationId)); !r)
            return r;
        return db.exec(QString("PRAGMA user_version = %1").arg(version));
    });
}

DbResult createMissingFiles(const QString &folder, QStringList *created)
{
    if (!QDir().mkpath(folder))
        return DbResult::failure(QString("cannot create folder %1").arg(folder));
    const std::pair<QString, FileKind> files[] = {{kPermFileName, FileKind::Permanent},
                                                  {kWorkFileName, FileKind::Work}};
    for (const auto &[name, kind] : files) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path))
            continue;
        // Build beside the target and rename, so an interrupted run leaves no half file.
        const QString tmp = path + ".new";
        QFile::remove(tmp);
        if (DbResult r = createFile(tmp, kind); !r) {
            QFile::remove(tmp);
            return DbResult::failure(path + ": " + r.error);
        }
        if (!QFile::rename(tmp, path))
            return DbResult::failure(QString("cannot rename %1").arg(tmp));
        if (created)
            created->append(path);
    }
    return {};
}

QVector<UpgradeStep> upgradeSteps(FileKind kind)
{
    // Version 2: today's consumption tax (rate, rounding, registration number, reduced-rate
    // lines, honorific). New columns only; Null in them means the rules as first specified.
    if (kind == FileKind::Permanent)
        return {{101,
                 {"ALTER TABLE 自社情報 ADD COLUMN 税率 INTEGER", "ALTER TABLE 自社情報 ADD COLUMN 端数処理 TEXT",
                  "ALTER TABLE 自社情報 ADD COLUMN 登録番号 TEXT",
                  "ALTER TABLE 商品マスタ ADD COLUMN 軽減 INTEGER NOT NULL DEFAULT 0",
                  "ALTER TABLE 顧客マスタ ADD COLUMN 敬称 TEXT",
                  "ALTER TABLE 見積書 ADD COLUMN 軽減 INTEGER NOT NULL DEFAULT 0",
                  "ALTER TABLE 見積書ヘッダ ADD COLUMN 敬称 TEXT", "ALTER TABLE 見積書ヘッダ ADD COLUMN 税区分 TEXT",
                  "ALTER TABLE 見積書ヘッダ ADD COLUMN 税率 INTEGER", "ALTER TABLE 見積書ヘッダ ADD COLUMN 端数処理 TEXT"}},
                // Version 3: the search index of the estimate list, filled from what is stored.
                {102, {searchindex::createStatement(), searchindex::fillStatement()}},
                // Version 4: the sheet's estimate number and company seal, both off until chosen.
                {103, {"ALTER TABLE 自社情報 ADD COLUMN 見積番号印刷 INTEGER", "ALTER TABLE 自社情報 ADD COLUMN 社印 BLOB"}},
                // Version 5: the archive of issued estimates, append-only.
                {104, archiveschema::fileStatementsV5()},
                // Version 6: a change counter per master.
                {105, changeCounterStatements()},
                // Version 7: the search index's texts end in two line breaks (short searches use it).
                {106, {"DELETE FROM 見積書索引", searchindex::fillStatement()}},
                // Version 8: the index holds its texts folded (width, kana forms, case).
                {107, {}, [](Db &db) { return searchindex::foldAll(db, QStringLiteral("rowid")); }},
                // Version 9: the chain over every issue, its bytes under data/archive, how many
                // backups are kept, a change counter of the settings; the file shrinks by the
                // bytes that left it.
                {108, settingsCounterStatements(), archiveschema::upgradeFile, true},
                // Version 10: delivery notes and invoices beside the estimates, each numbered on its
                // own, with the documents each was made from.
                {109, laterKindStatements()},
                // Version 11: payments against invoices.
                {110, paymentStatements(Db::Engine::Sqlite)},
                // Version 12: credit notes and receipts.
                {111, moneyBackStatements(), [](Db &db) { return addMissing(db, "請求書ヘッダ", kClosingColumns); }},
                // Version 13: what each invoice still asks, kept by the file itself; the documents received.
                {112, owed::statements(Db::Engine::Sqlite) + owed::fillStatements() + receivedarchive::statements(Db::Engine::Sqlite)},
                // Version 14: documents of more than 30 lines, with headings, subtotals, discounts
                // and notes; an older program refuses the file rather than cut what it cannot show.
                {113, {}, [](Db &db) { return addRowKinds(db, false); }}};
    return {{201,
             {"ALTER TABLE w明細 ADD COLUMN 軽減 INTEGER NOT NULL DEFAULT 0",
              "ALTER TABLE w商品マスタ ADD COLUMN 軽減 INTEGER NOT NULL DEFAULT 0",
              "ALTER TABLE w商品参照 ADD COLUMN 軽減 INTEGER NOT NULL DEFAULT 0"}},
            // Version 3: kept with a write-ahead log (set as it is opened); no table changes.
            {202, {}},
            // Version 4: the header of an estimate not yet stored, kept as it is typed.
            {203, {screenTableStatement()}},
            // Version 5: the grids and unstored headers of delivery notes and invoices.
            {204, laterWorkStatements()},
            // Version 6: the grids and unstored headers of credit notes and receipts.
            {205, moneyBackWorkStatements(), [](Db &db) { return addMissing(db, "w請求書画面", kClosingColumns); }},
            // Version 7: the kind of each grid row.
            {206, {}, [](Db &db) { return addRowKinds(db, true); }}};
}

DbResult checkHeader(const QString &path, FileKind kind)
{
    QFile file(path); // not yet opened by SQLite here: closing it drops no lock of ours
    if (!file.open(QIODevice::ReadOnly))
        return DbResult::failure(file.errorString(), sqlitecode::CantOpen, path);
    const QByteArray head = file.read(100);
    auto be32 = [&](int at) {
        return int((quint32(uchar(head[at])) << 24) | (quint32(uchar(head[at + 1])) << 16) |
                   (quint32(uchar(head[at + 2])) << 8) | quint32(uchar(head[at + 3])));
    };
    if (head.size() < 100 || !head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return DbResult::failure(QStringLiteral("file is not a database"), sqlitecode::NotADb, path);
    // A version written since the last checkpoint may still be in the log: only its kind counts here.
    if (be32(68) != kApplicationId || be32(60) / 100 != currentVersion(kind) / 100)
        return DbResult::failure(QStringLiteral("not a QuoteDesk data file of this kind"), sqlitecode::NotADb, path);
    return {};
}

DbResult versionOf(Db &db, FileKind kind, int &version)
{
    QVariant appId, v;
    if (DbResult r = db.scalar(QStringLiteral("PRAGMA main.application_id"), {}, appId); !r)
        return r;
    if (DbResult r = db.scalar(QStringLiteral("PRAGMA main.user_version"), {}, v); !r)
        return r;
    version = v.toInt();
    if (appId.toInt() != kApplicationId || version / 100 != currentVersion(kind) / 100)
        return DbResult::failure(QStringLiteral("not a QuoteDesk data file of this kind"), sqlitecode::NotADb, db.path());
    return {};
}

DbResult upgrade(Db &db, FileKind kind, const QString &backupFolder, const QVector<UpgradeStep> &steps, int target,
                 bool *upgraded)
{
    if (upgraded)
        *upgraded = false;
    int version = 0;
    if (DbResult r = versionOf(db, kind, version); !r)
        return r;
    if (version > target)
        return DbResult::failure(QString("file version %1 is newer than this program's %2").arg(version).arg(target),
                                 sqlitecode::NewerVersion, db.path());
    if (version == target)
        return {};
    // A copy first: an upgrade is a change the user did not ask for.
    const QString stem = QString("%1-v%2-%3").arg(QFileInfo(db.path()).completeBaseName()).arg(version).arg(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    if (DbResult r = writeBackup(db, backupFolder, stem); !r)
        return r;
    bool compact = false;
    DbResult r = db.transaction([&]() -> DbResult {
        for (int v = version; v < target; ++v) {
            const auto step = std::find_if(steps.begin(), steps.end(), [v](const UpgradeStep &s) { return s.from == v; });
            if (step == steps.end())
                return DbResult::failure(QString("no upgrade from version %1").arg(v), 0, db.path());
            for (const QString &sql : step->statements)
                if (DbResult e = db.exec(sql); !e)
                    return e;
            if (step->then)
                if (DbResult e = step->then(db); !e)
                    return e;
            compact = compact || step->compactAfter;
        }
        return db.exec(QString("PRAGMA main.user_version = %1").arg(target));
    });
    if (r && upgraded)
        *upgraded = true;
    // Outside the transaction, as it must be; a kill meanwhile leaves the upgraded file whole.
    if (r && compact)
        r = db.exec(QStringLiteral("VACUUM"));
    return r;
}

DbResult verify(Db &db, FileKind kind, const QString &schemaName)
{
    QVariant appId, version;
    if (DbResult r = db.scalar(QString("PRAGMA %1.application_id").arg(schemaName), {}, appId); !r)
        return r;
    if (DbResult r = db.scalar(QString("PRAGMA %1.user_version").arg(schemaName), {}, version); !r)
        return r;
    if (appId.toInt() != kApplicationId || version.toInt() != currentVersion(kind))
        return DbResult::failure(QStringLiteral("not a QuoteDesk data file of this kind"), sqlitecode::NotADb, db.path());
    DbRows rows;
    if (DbResult r = db.select(QString("SELECT name FROM %1.sqlite_master WHERE type = 'table'").arg(schemaName),
                               {}, rows);
        !r)
        return r;
    QSet<QString> present;
    for (const DbRow &row : rows)
        present.insert(row.value(0).toString());
    // The search index is derived from the estimates: a missing one is made anew, not refused.
    for (const QString &t : tableNames(kind))
        if (!present.contains(t) && t != searchindex::kTable)
            return DbResult::failure(QString("table %1 is missing").arg(t), sqlitecode::NotADb, db.path());
    return {};
}

} // namespace schema
