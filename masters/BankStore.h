#pragma once
// The accounts an invoice asks to be paid into, and its default note, as plain values kept in
// the settings row; no widgets here.

#include "store/Db.h"

#include <QStringList>

struct BankAccount {
    QString bank, branch, type, number, holder; // type: 普通 or 当座
    bool isEmpty() const { return bank.isEmpty() && branch.isEmpty() && number.isEmpty() && holder.isEmpty(); }
    // "○○銀行 △△支店 普通 1234567 カ）ヤマダ": as the invoice prints it.
    QString printed() const;
};

struct BankSettings {
    BankAccount first, second;
    QString note; // proposed as a new invoice's 備考
    // "銀行名", "口座番号", …: the field of an account that cannot be printed as it is, or empty.
    QString refusal() const;
    // Both accounts as one line, the second after " / ".
    QString printed() const;
};

DbResult readBankSettings(Db &main, BankSettings &out);
// Written alone, in one statement: the rest of the settings row stays as it is.
DbResult writeBankSettings(Db &main, const BankSettings &s);
