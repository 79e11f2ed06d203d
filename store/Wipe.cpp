#include "store/Wipe.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"


DbResult wipeAllData(Db &main)
{
    return main.transaction([&]() -> DbResult {
        // Every kind's documents and their links go; the archive of what was issued stays.
        QStringList tables{"顧客マスタ", "商品マスタ", "自社情報", "伝票連携", "入金"};
        for (DocKind kind : kAllKinds)
            tables << kindNames(kind).lines << kindNames(kind).header;
        for (const QString &table : tables)
            if (DbResult r = main.exec(QStringLiteral("DELETE FROM ") + table); !r)
                return r;
        // Made anew (empty) rather than emptied: a damaged index must not stop the wipe.
        return engineOf(main).rebuildSearchIndex(main);
    });
}
