#pragma once
// Table definitions of the two data files, and the checks made when opening them.
//
// Money columns ("currency": 単価, 金額, 消費税, 税抜計, 合計) hold ten-thousandths of a yen
// as INTEGER, so sums and comparisons in SQL are exact; see Money.
// Yes/no columns are INTEGER 0/1 with default 0.

#include "store/Db.h"
#include <QStringList>
#include <functional>

namespace schema {

inline const QString kPermFileName = QStringLiteral("QuoteDesk.mdb");
inline const QString kWorkFileName = QStringLiteral("QuoteDeskWork.mdb");
// Alias under which the work handle sees the permanent file.
inline const QString kPermAlias = QStringLiteral("perm");

constexpr int kApplicationId = 0x51444B31; // "QDK1"
// A file's format: 1xx for the permanent file, 2xx for the work file (user_version).
constexpr int kPermVersion = 114;
constexpr int kWorkVersion = 207;

enum class FileKind { Permanent, Work };

inline int currentVersion(FileKind kind) { return kind == FileKind::Permanent ? kPermVersion : kWorkVersion; }
inline int firstVersion(FileKind kind) { return kind == FileKind::Permanent ? 101 : 201; }

// The statements that bring a file of version from to version from + 1.
struct UpgradeStep {
    int from;
    QStringList statements;
    // Run after the statements, inside the same transaction, for what SQL alone cannot do.
    std::function<DbResult(Db &)> then = {};
    // Space freed by the step is given back to the file system afterwards.
    bool compactAfter = false;
};
// The steps this program knows, oldest first.
QVector<UpgradeStep> upgradeSteps(FileKind kind);

QStringList tableNames(FileKind kind);
// Counts every change to the customer and product masters, so that their copies are re-read
// only when something changed.
QStringList changeCounterStatements();
// The same for the settings (自社情報), so that other desktops take a change before they compute.
QStringList settingsCounterStatements();
QStringList createStatements(FileKind kind);
QStringList laterWorkStatements();
QStringList moneyBackWorkStatements();
// Columns the later kinds brought to the settings (the bank accounts invoices name) and to the
// customers (how an invoice's due date is proposed, whether fees are withheld), with their types.
QStringList laterSettingsColumns();
// The payments' table and its index, for either engine.
QStringList paymentStatements(Db::Engine engine);
QStringList laterCustomerColumns();

// The prepared unit list (コードマスタ, kind 単位), into a new store of either engine.
DbResult insertUnitCodes(Db &db);
// Writes the tables (and the prepared code lists) into a new, empty file.
DbResult createFile(const QString &path, FileKind kind);
// Creates each of the two files in folder that does not exist yet; existing files stay untouched.
DbResult createMissingFiles(const QString &folder, QStringList *created = nullptr);
// Cheap identity check for an opened file: ours, the right kind, a version this program
// reads (this one's), its tables present.
DbResult verify(Db &db, FileKind kind, const QString &schemaName = QStringLiteral("main"));
// From the file's first bytes alone, before SQLite opens it (and may switch its journal or
// grow it): an SQLite file of ours and of this kind, else NotADb. An empty file is not ours.
DbResult checkHeader(const QString &path, FileKind kind);
// The file's version; a failure when the file is not ours or not of this kind.
DbResult versionOf(Db &db, FileKind kind, int &version);
// Brings an older file to target: a copy into backupFolder first, then every step in one
// transaction. A file of a newer version is refused; a current one is left untouched.
DbResult upgrade(Db &db, FileKind kind, const QString &backupFolder, const QVector<UpgradeStep> &steps,
                 int target, bool *upgraded = nullptr);

} // namespace schema
