#pragma once
// The month's invoice of a customer (締め請求): every 納品書 delivered in the period that closes
// in the month, grouped by 納品書, the tax once per rate over the period, and the balance carried
// from the customer's last monthly invoice. No widgets here.

#include "documents/Conversion.h"

// out.refusal: no closing day set, or nothing delivered in the period; out.alreadyMade: the
// invoices some of these 納品書 are already on.
DbResult monthlyInvoice(QuoteDeskContext &ctx, const QString &customer, const QDate &month, Conversion &out);

// The customers who have a closing day, by name.
DbResult closingCustomers(Db &main, QStringList &out);
