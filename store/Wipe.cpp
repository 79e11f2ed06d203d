#include "store/Wipe.h"
#include "store/Engine.h"
#include "store/SearchIndex.h"


DbResult wipeAllData(Db &main)
{
    return main.transaction([&]() -> DbResult {
        for (const char *table : {"顧客マスタ", "商品マスタ", "自社情報", "見積書", "見積書ヘッダ"})
            if (DbResult r = main.exec(QStringLiteral("DELETE FROM ") + QString::fromUtf8(table)); !r)
                return r;
        // Made anew (empty) rather than emptied: a damaged index must not stop the wipe.
        return engineOf(main).rebuildSearchIndex(main);
    });
}
