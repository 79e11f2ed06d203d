#include "documents/MonthlyInvoice.h"

#include "documents/PaymentStore.h"
#include "values/Closing.h"
#include "values/InvoiceRules.h"

#include <QSqlQuery>

namespace {

const QString kClosingDay = QStringLiteral("yyyy/MM/dd");

// What the last monthly invoice asked: its balance carried plus its own total, less withheld.
Money askedBy(const Estimate &last)
{
    const Money own = last.grand.value_or(Money()) - last.withheld.value_or(Money());
    return ClosingBalance{last.previousBilled, last.received, last.credited}.billed(own);
}

} // namespace

DbResult monthlyInvoice(QuoteDeskContext &ctx, const QString &customer, const QDate &month, Conversion &out)
{
    out = {};
    EstimateStore invoices(ctx, DocKind::Invoice);
    const CustomerInvoiceRule rule = invoices.customerInvoiceRule(customer);
    const std::optional<int> day = closingDayOf(rule.closingDay);
    if (!rule.found || !day || *day < 0) {
        out.refusal = QStringLiteral("顧客「%1」に締日が設定されていません。顧客タブで締日（末日・5日・10日・15日・20日・25日）を"
                                     "設定してください。").arg(customer);
        return {};
    }
    const ClosingPeriod period = closingPeriod(*day, month);
    QVector<int> delivered;
    if (DbResult r = EstimateStore(ctx, DocKind::Delivery).deliveredBetween(customer, period.from, period.to, delivered); !r)
        return r;
    if (delivered.isEmpty()) {
        out.refusal = QStringLiteral("顧客「%1」の %2〜%3 の納品書がありません。")
                          .arg(customer, period.from.toString(kClosingDay), period.to.toString(kClosingDay));
        return {};
    }
    if (DbResult r = convertDocuments(ctx, DocKind::Delivery, delivered, DocKind::Invoice, out); !r || !out.refusal.isEmpty())
        return r;
    Estimate last;
    if (DbResult r = invoices.lastClosingBefore(customer, period.from, last); !r)
        return r;
    Estimate &doc = out.document;
    doc.periodFrom = period.from.toString(kClosingDay);
    doc.periodTo = period.to.toString(kClosingDay);
    doc.tradeDate = doc.periodTo;
    if (const auto due = invoicerules::dueDateBy(rule.dueRule, period.to))
        doc.dueDate = due->toString(kClosingDay);
    if (last.number > 0) { // the first monthly invoice carries nothing over
        doc.previousBilled = askedBy(last);
        const QDate since = QDate::fromString(last.periodTo, kClosingDay);
        PaymentStore payments(ctx.main);
        if (DbResult r = payments.receivedBetween(customer, since, period.to, doc.received); !r)
            return r;
        return payments.creditedBetween(customer, since, period.to, doc.credited);
    }
    return {};
}

DbResult closingCustomers(Db &main, QStringList &out)
{
    out.clear();
    return main.forEachRow("SELECT DISTINCT 顧客名 FROM 顧客マスタ WHERE coalesce(締日, '') <> '' ORDER BY 顧客名", {},
                           [&](const QSqlQuery &q) { out << q.value(0).toString(); });
}
