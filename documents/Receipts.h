#pragma once
// A receipt from a recorded payment: what was received, shared over the tax rates of the
// invoices it settled in proportion, each rate's tax contained in its amount. No widgets here.

#include "documents/Conversion.h"

// The receipt names its payment in its note: "入金 No.N".
QString receiptNote(int payment);

// The amounts of one invoice that a payment of part of it received, per rate, tax included:
// the shares add up to received exactly.
struct RateShare {
    int rate = 0;
    bool reduced = false, exempt = false;
    Money amount;
};
QVector<RateShare> sharesOf(const Estimate &invoice, Money received);

// out.alreadyMade: receipts already made for the same payment.
DbResult receiptForPayment(QuoteDeskContext &ctx, int payment, Conversion &out);
