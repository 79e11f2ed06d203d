// A received JP PINT invoice, read for the buyer: the parties, the dates, the lines and the tax
// breakdown as the file states them.

#include "einvoice/JpPint.h"

#include <QDate>
#include <QXmlStreamReader>

namespace jppint {
namespace {

Money yen(const QString &text) { return Money::parse(text).value_or(Money()); }

// A unit as the unit list names it, for the codes the program writes; any other code as it is.
QString unitName(const QString &code)
{
    static const QHash<QString, QString> names{{"H87", "個"}, {"C62", ""},   {"SET", "式"},  {"MTR", "m"},  {"MTK", "㎡"},
                                               {"KGM", "kg"}, {"HUR", "時間"}, {"DAY", "日"}, {"MON", "月"}, {"IE", "人"},
                                               {"PR", "足"},  {"XBX", "箱"},  {"XBG", "袋"}, {"XCS", "ケース"}};
    return names.value(code, code);
}

QString slashDay(const QString &iso)
{
    const QDate d = QDate::fromString(iso.left(10), Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("yyyy/MM/dd")) : iso;
}

// Where the reader is: the names of the open elements, without their prefixes.
struct Path {
    QStringList names;
    bool under(const QString &a) const { return names.contains(a); }
    bool endsWith(const QStringList &tail) const
    {
        return names.size() >= tail.size() && names.mid(names.size() - tail.size()) == tail;
    }
};

void take(const Path &p, const QString &value, Received &out, bool &firstTaxTotal)
{
    const QString leaf = p.names.last();
    if (p.names.size() == 2) { // the invoice's own fields
        if (leaf == QStringLiteral("ID"))
            out.number = value;
        else if (leaf == QStringLiteral("IssueDate"))
            out.issueDate = slashDay(value);
        else if (leaf == QStringLiteral("DueDate"))
            out.dueDate = slashDay(value);
        else if (leaf == QStringLiteral("InvoiceTypeCode"))
            out.typeCode = value;
        else if (leaf == QStringLiteral("Note"))
            out.note += (out.note.isEmpty() ? QString() : QStringLiteral("\n")) + value;
        return;
    }
    if (p.endsWith({"PartyLegalEntity", "RegistrationName"}))
        (p.under(QStringLiteral("AccountingSupplierParty")) ? out.seller : out.buyer) = value;
    else if (p.endsWith({"PartyTaxScheme", "CompanyID"}) && p.under(QStringLiteral("AccountingSupplierParty")) && out.sellerId.isEmpty())
        out.sellerId = value;
    else if (p.endsWith({"LegalMonetaryTotal", "TaxExclusiveAmount"}))
        out.net = yen(value);
    else if (p.endsWith({"LegalMonetaryTotal", "PayableAmount"}))
        out.payable = yen(value);
    else if (firstTaxTotal && p.names.size() == 3 && p.endsWith({"TaxTotal", "TaxAmount"}))
        out.tax = yen(value);
    else if (firstTaxTotal && p.endsWith({"TaxSubtotal", "TaxableAmount"}))
        out.rates.back().taxable = yen(value);
    else if (firstTaxTotal && p.endsWith({"TaxSubtotal", "TaxAmount"}))
        out.rates.back().tax = yen(value);
    else if (firstTaxTotal && p.endsWith({"TaxSubtotal", "TaxCategory", "ID"}))
        out.rates.back().category = value;
    else if (firstTaxTotal && p.endsWith({"TaxSubtotal", "TaxCategory", "Percent"}))
        out.rates.back().percent = value.toDouble();
    else if (p.names.value(1) == QStringLiteral("AllowanceCharge") && !out.charges.isEmpty()) {
        PrintLine &c = out.charges.back();
        if (p.endsWith({"AllowanceCharge", "ChargeIndicator"}))
            c.name.prepend(value == QStringLiteral("true") ? QStringLiteral("追加: ") : QStringLiteral("値引: "));
        else if (p.endsWith({"AllowanceCharge", "AllowanceChargeReason"}))
            c.name += value;
        else if (p.endsWith({"AllowanceCharge", "Amount"}))
            c.amount = yen(value);
        else if (p.endsWith({"TaxCategory", "ID"}))
            c.exempt = value != QStringLiteral("S");
        else if (p.endsWith({"TaxCategory", "Percent"}))
            c.reduced = value.toDouble() == kReducedRate;
    } else if (p.under(QStringLiteral("InvoiceLine")) && !out.lines.isEmpty()) {
        PrintLine &l = out.lines.back();
        if (p.endsWith({"InvoiceLine", "InvoicedQuantity"}))
            l.quantity = value.toDouble();
        else if (p.endsWith({"InvoiceLine", "LineExtensionAmount"}))
            l.amount = yen(value);
        else if (p.endsWith({"Item", "Name"}))
            l.name = value;
        else if (p.endsWith({"ClassifiedTaxCategory", "ID"}))
            l.exempt = value != QStringLiteral("S");
        else if (p.endsWith({"ClassifiedTaxCategory", "Percent"}))
            l.reduced = value.toDouble() == kReducedRate;
        else if (p.endsWith({"Price", "PriceAmount"}))
            l.price = yen(value);
    }
}

} // namespace

bool read(const QByteArray &xml, Received &out, QString *error)
{
    out = Received();
    QXmlStreamReader x(xml);
    Path path;
    bool firstTaxTotal = false;
    int taxTotals = 0;
    while (!x.atEnd()) {
        const auto token = x.readNext();
        if (token == QXmlStreamReader::StartElement) {
            path.names << x.name().toString();
            if (path.names.size() == 1 && path.names[0] != QStringLiteral("Invoice"))
                break;
            if (path.names.size() == 2 && path.names[1] == QStringLiteral("TaxTotal"))
                firstTaxTotal = ++taxTotals == 1;
            else if (firstTaxTotal && path.names.last() == QStringLiteral("TaxSubtotal"))
                out.rates << Received::Rate{};
            else if (path.names.size() == 2 && path.names[1] == QStringLiteral("InvoiceLine"))
                out.lines << PrintLine{}, out.lines.back().quantity = 1.0;
            else if (path.names.size() == 2 && path.names[1] == QStringLiteral("AllowanceCharge"))
                out.charges << PrintLine{};
            if (path.names.last() == QStringLiteral("InvoicedQuantity") && !out.lines.isEmpty())
                out.lines.back().unit = unitName(x.attributes().value(QStringLiteral("unitCode")).toString());
        } else if (token == QXmlStreamReader::Characters && !x.isWhitespace() && !path.names.isEmpty()) {
            take(path, x.text().toString().trimmed(), out, firstTaxTotal);
        } else if (token == QXmlStreamReader::EndElement && !path.names.isEmpty()) {
            // An allowance takes off what it names; a charge adds it.
            if (path.names.size() == 2 && path.names[1] == QStringLiteral("AllowanceCharge") && !out.charges.isEmpty() &&
                out.charges.back().name.startsWith(QStringLiteral("値引")) && out.charges.back().amount)
                out.charges.back().amount = -*out.charges.back().amount;
            if (path.names.size() == 2 && path.names[1] == QStringLiteral("TaxTotal"))
                firstTaxTotal = false;
            path.names.removeLast();
        }
    }
    QString why;
    if (x.hasError())
        why = QStringLiteral("XML として読めません（%1 行目: %2）").arg(x.lineNumber()).arg(x.errorString());
    else if (path.names.value(0) != QStringLiteral("Invoice") && out.number.isEmpty())
        why = QStringLiteral("UBL の請求書（Invoice）ではありません");
    else if (out.number.isEmpty() || out.lines.isEmpty())
        why = QStringLiteral("請求書番号か明細がありません");
    if (error)
        *error = why;
    return why.isEmpty();
}

PrintRecord sheetOf(const Received &r)
{
    PrintRecord s;
    s.kind = DocKind::Invoice;
    s.number = r.number;
    s.printNumber = true;
    s.date = r.issueDate;
    s.dueDate = r.dueDate;
    s.companyName = r.seller;
    s.customerName = r.buyer;
    s.honorific = QStringLiteral("御中");
    s.registrationNumber = r.sellerId;
    s.note = r.note;
    s.subject = QStringLiteral("受領した電子請求書（JP PINT）");
    s.taxMode = QStringLiteral("外税"); // the file's amounts are outside the tax
    s.standardRate = 10;
    s.lines = r.lines + r.charges;
    // A sheet holds every line a document may have: beyond that the rest is said, never left
    // out unsaid; the totals are the file's.
    if (s.lines.size() > kMaxRows) {
        const int rest = int(s.lines.size()) - (kMaxRows - 1);
        Money restAmount;
        for (int i = kMaxRows - 1; i < s.lines.size(); ++i)
            restAmount += s.lines[i].amount.value_or(Money());
        s.lines.resize(kMaxRows - 1);
        s.lines << PrintLine{QStringLiteral("ほか %1 行（受け取った XML のとおり）").arg(rest), std::nullopt, QString(), std::nullopt, restAmount};
    }
    Money exempt;
    bool anyExempt = false;
    for (const Received::Rate &rate : r.rates) {
        if (rate.category == QStringLiteral("S"))
            s.rates << PrintRate{int(rate.percent), rate.percent == kReducedRate, rate.taxable, rate.tax};
        else
            exempt += rate.taxable, anyExempt = true;
    }
    if (anyExempt)
        s.exempt = exempt;
    s.net = r.net;
    s.tax = r.tax;
    s.grand = r.net + r.tax;
    s.headline = r.payable;
    return s;
}

} // namespace jppint
