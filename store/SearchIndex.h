#pragma once
// The search index of stored estimates (見積書索引): the customer, subject and item names of each,
// derived from what is stored, so it can always be made anew from the estimates.

#include "store/Db.h"
#include "values/DocKind.h"

#include <functional>

namespace searchindex {

inline const QString kTable = QStringLiteral("見積書索引");
// The statements that create a kind's index, and that fill it from every stored document of it.
QString createStatement(DocKind kind = DocKind::Estimate);
QString fillStatement(DocKind kind = DocKind::Estimate);
// Text as the index holds it and a search looks for it: width and kana forms folded (NFKC:
// ＵＳＢ is USB, ﾉｰﾄ is ノート) and case folded, so that typing either form finds both.
QString fold(const QString &text);
// The indexed text of an estimate: its customer, subject and item names, one a line, and two
// line breaks after the last, so that every one or two characters begin some trigram; folded.
QString textOf(const QStringList &parts);
// Folds every indexed text that is not folded yet (an index filled in SQL); key: the column
// that names the estimate ("rowid" here, "伝票番号" on the server).
DbResult foldAll(Db &db, const QString &key, DocKind kind = DocKind::Estimate);

bool present(Db &db, DbResult *error = nullptr, DocKind kind = DocKind::Estimate);
// Drops whatever is left of each kind's index and makes it anew from the stored documents.
DbResult rebuild(Db &db);
// A failure that says the index, not the estimates, is damaged or gone.
bool isDamage(const DbResult &r);
// Runs op; when it fails on the index, rebuilds it and runs op once more (*rebuilt says so).
DbResult withRepair(Db &db, const std::function<DbResult()> &op, bool *rebuilt = nullptr);

// The sentence that tells the user the index was made anew.
QString rebuiltNotice();

} // namespace searchindex
