#include "store/Engine.h"

const StoreEngine &engineOf(const Db &db)
{
    return db.engine() == Db::Engine::Postgres ? postgresEngine() : sqliteEngine();
}
