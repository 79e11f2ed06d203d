#pragma once
// The floor a save is measured against: the rows a 30-line save stores, every value bound as a
// save binds it, written by the engine alone in one transaction of two statements.

#include "estimate/EstimateValues.h"
#include "store/Db.h"

#include <QDate>

inline Estimate thirtyLines(int number, int salt)
{
    Estimate e;
    e.number = number;
    e.date = QDate(2026, 12, 8);
    e.customerName = QStringLiteral("顧客00001");
    for (int r = 0; r < 30; ++r)
        e.lines << EstimateLine{QStringLiteral("商品%1").arg((r * 7 + salt) % 10000, 5, 10, QChar('0')), double(r + 1),
                                QStringLiteral("個"), Money::fromYen(100), Money::fromYen(100 * (r + 1))};
    return e;
}

inline DbResult writeSameRows(Db &db, const Estimate &e)
{
    return db.transaction([&]() -> DbResult {
        const QVariantList header{e.number, e.date.toString(QStringLiteral("yyyy/MM/dd")), e.customerName, QString(""),
                                  QString(""), QString(""), QString(""), QString(""), QString(""), 0, 0, 0,
                                  QString(), QString(), 10, QString()};
        // The columns both engines have (the server's version column takes its default).
        if (DbResult r = db.exec("INSERT INTO 見積書ヘッダ (伝票番号, 日付, 顧客名, 顧客情報, 件名, 支払条件, 納期, 受渡場所, "
                                 "有効期限, 消費税, 税抜計, 合計, 敬称, 税区分, 税率, 端数処理) VALUES (?, ?, ?, ?, ?, ?, "
                                 "?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                 header);
            !r)
            return r;
        QVariantList binds;
        QStringList rows;
        for (const EstimateLine &l : e.lines) {
            binds << e.number << header[1] << e.customerName << int(rows.size()) << l.name << *l.quantity << l.unit
                  << l.price->raw() << l.amount->raw() << 0 << 0;
            rows << QStringLiteral("(?, ?, ?, ?, 1, ?, ?, ?, ?, ?, ?, ?)");
        }
        return db.exec("INSERT INTO 見積書 (伝票番号, 日付, 顧客名, 行番号, 伝票区分, 品名, 数量, 単位, 単価, 金額, 非課税, "
                       "軽減) VALUES " + rows.join(", "),
                       binds);
    });
}
