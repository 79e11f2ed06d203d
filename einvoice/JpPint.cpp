#include "einvoice/JpPint.h"

#include "values/InvoiceRules.h"

#include <QDate>
#include <QRegularExpression>
#include <QXmlStreamWriter>
#include <cmath>

namespace jppint {
namespace {

const QString kCac = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2");
const QString kCbc = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2");

QString isoDay(const QString &day)
{
    const QDate d = QDate::fromString(day, QStringLiteral("yyyy/MM/dd"));
    return d.isValid() ? d.toString(Qt::ISODate) : QString();
}

// One line as the file states it: outside the tax, in its category.
struct Line {
    QString name, unit, delivered;
    double quantity = 1;
    Money amount, price;
    QString category; // S or E
    int percent = 0;
};

// One category of the tax breakdown, exactly as the sheet's summary shows it.
struct Category {
    QString id;
    int percent = 0;
    Money taxable, tax;
};

bool inside(const PrintRecord &r) { return r.taxMode == QStringLiteral("内税"); }
bool taxed(const PrintRecord &r) { return r.taxMode == QStringLiteral("外税") || inside(r); }
int percentOf(const PrintRecord &r, const PrintLine &l) { return l.reduced ? kReducedRate : r.standardRate; }

QVector<Category> categoriesOf(const PrintRecord &r)
{
    QVector<Category> out;
    for (const PrintRate &rate : r.rates)
        out << Category{QStringLiteral("S"), rate.rate, inside(r) ? rate.base - rate.tax : rate.base, rate.tax};
    Money exempt = r.exempt.value_or(Money());
    if (!taxed(r))
        exempt = r.grand.value_or(Money());
    if (!exempt.isZero() || r.rates.isEmpty())
        out << Category{QStringLiteral("E"), 0, exempt, Money()};
    return out;
}

Money wholeYen(Money m) { return Money::fromRaw(m.raw() / Money::kScale * Money::kScale); }

// Inside the tax, each line's amount is taken out of its tax in proportion, whole yen, and what
// the rounding leaves goes to the largest line: the lines of a rate then add up to its taxable
// amount exactly as printed.
void takeTaxOut(QVector<Line> &lines, const QVector<Category> &categories)
{
    for (const Category &c : categories) {
        if (c.id != QStringLiteral("S"))
            continue;
        Money sum;
        int largest = -1;
        for (int i = 0; i < lines.size(); ++i) {
            Line &l = lines[i];
            if (l.category != c.id || l.percent != c.percent)
                continue;
            l.amount = wholeYen(Money::fromRaw(l.amount.raw() * 100 / (100 + c.percent)));
            sum += l.amount;
            if (largest < 0 || std::abs(l.amount.raw()) > std::abs(lines[largest].amount.raw()))
                largest = i;
        }
        if (largest >= 0)
            lines[largest].amount += c.taxable - sum;
    }
}

// A discount spread over the rates: one line per rate, in proportion to that rate's items.
QVector<Line> splitOver(const PrintRecord &r, const Line &discount)
{
    Money standard, reduced, exempt;
    for (const PrintLine &p : r.lines)
        if (p.kind == RowKind::Item && !p.heading && p.amount)
            (p.exempt || !taxed(r) ? exempt : p.reduced ? reduced : standard) += *p.amount;
    const QVector<Money> shares = shareInProportion(discount.amount, {standard, reduced, exempt});
    const std::pair<QString, int> categories[] = {{QStringLiteral("S"), r.standardRate}, {QStringLiteral("S"), kReducedRate},
                                                  {QStringLiteral("E"), 0}};
    QVector<Line> out;
    for (int i = 0; i < 3; ++i) {
        if (shares[i].isZero())
            continue;
        Line l = discount;
        l.amount = shares[i];
        std::tie(l.category, l.percent) = categories[i];
        l.quantity = l.amount.raw() < 0 ? -1.0 : 1.0;
        out << l;
    }
    return out;
}

QVector<Line> linesOf(const PrintRecord &r)
{
    QVector<Line> out;
    for (const PrintLine &p : r.lines) {
        if (p.heading || !countsInTotals(p.kind) || (p.name.trimmed().isEmpty() && !p.amount))
            continue; // headings, subtotals and notes are no lines of the invoice
        Line l{p.name, p.unit, p.delivered, p.quantity.value_or(1.0), p.amount.value_or(Money()), Money(), QStringLiteral("S"),
               percentOf(r, p)};
        if (p.exempt || !taxed(r))
            l.category = QStringLiteral("E"), l.percent = 0;
        if (isDiscount(p.kind) && (l.amount.raw() < 0) != (l.quantity < 0))
            l.quantity = -l.quantity; // a quantity that takes back, at a price that is never negative
        if (p.kind == RowKind::SplitDiscount)
            out << splitOver(r, l);
        else
            out << l;
    }
    if (inside(r))
        takeTaxOut(out, categoriesOf(r));
    for (Line &l : out) { // the price outside the tax, to the ten-thousandth of a yen
        const double q = l.quantity == 0 ? 1.0 : l.quantity;
        l.price = Money::fromRaw(std::llround(std::abs(double(l.amount.raw()) / q)));
    }
    return out;
}

// A number of the party: 13 digits after T, or after 法人番号, in text.
QString digitsIn(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("(?:[TＴ]|法人番号[:：\\s]*)([0-9０-９]{13})"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? m.captured(1).normalized(QString::NormalizationForm_KC) : QString();
}

class Writer {
public:
    explicit Writer(QByteArray *out) : x(out) { x.setAutoFormatting(true); }
    void text(const QString &name, const QString &value, const QString &attr = {}, const QString &attrValue = {})
    {
        x.writeStartElement(kCbc, name);
        if (!attr.isEmpty())
            x.writeAttribute(attr, attrValue);
        x.writeCharacters(value);
        x.writeEndElement();
    }
    void yen(const QString &name, Money m) { text(name, m.toPlainString(), QStringLiteral("currencyID"), QStringLiteral("JPY")); }
    void open(const QString &name) { x.writeStartElement(kCac, name); }
    void close() { x.writeEndElement(); }
    void taxScheme()
    {
        open(QStringLiteral("TaxScheme"));
        text(QStringLiteral("ID"), QStringLiteral("VAT"));
        close();
    }
    void category(const QString &element, const QString &id, int percent)
    {
        open(element);
        text(QStringLiteral("ID"), id);
        text(QStringLiteral("Percent"), QString::number(percent));
        if (id == QStringLiteral("E") && element == QStringLiteral("TaxCategory"))
            text(QStringLiteral("TaxExemptionReason"), QStringLiteral("非課税"));
        taxScheme();
        close();
    }
    QXmlStreamWriter x;
};

void writeParty(Writer &w, const QString &role, const QString &name, const QString &details, const QString &endpoint,
                const QString &registration)
{
    w.open(role);
    w.open(QStringLiteral("Party"));
    w.text(QStringLiteral("EndpointID"), endpoint, QStringLiteral("schemeID"), QStringLiteral("0188"));
    const QStringList lines = details.split('\n', Qt::SkipEmptyParts);
    QString street, zone, phone, mail;
    static const QRegularExpression zip(QStringLiteral("〒?\\s*([0-9０-９]{3}[-－ー][0-9０-９]{4})"));
    for (const QString &raw : lines) {
        const QString l = raw.trimmed();
        if (const auto m = zip.match(l); m.hasMatch() && zone.isEmpty())
            zone = m.captured(1).normalized(QString::NormalizationForm_KC), street += l.mid(m.capturedEnd()).trimmed();
        else if (l.contains(QStringLiteral("TEL"), Qt::CaseInsensitive) || l.startsWith(QStringLiteral("電話")))
            phone = l.section(QRegularExpression(QStringLiteral("[:：]|TEL|tel|電話")), -1).trimmed();
        else if (l.contains('@'))
            mail = l.section(QRegularExpression(QStringLiteral("[:：\\s]")), -1).trimmed();
        else if (street.isEmpty() && !digitsIn(l).size())
            street = l;
    }
    w.open(QStringLiteral("PostalAddress"));
    if (!street.isEmpty())
        w.text(QStringLiteral("StreetName"), street);
    if (!zone.isEmpty())
        w.text(QStringLiteral("PostalZone"), zone);
    w.open(QStringLiteral("Country"));
    w.text(QStringLiteral("IdentificationCode"), QStringLiteral("JP"));
    w.close();
    w.close();
    if (!registration.isEmpty()) {
        w.open(QStringLiteral("PartyTaxScheme"));
        w.text(QStringLiteral("CompanyID"), registration);
        w.taxScheme();
        w.close();
    }
    w.open(QStringLiteral("PartyLegalEntity"));
    w.text(QStringLiteral("RegistrationName"), name);
    w.close();
    if (!phone.isEmpty() || !mail.isEmpty()) {
        w.open(QStringLiteral("Contact"));
        if (!phone.isEmpty())
            w.text(QStringLiteral("Telephone"), phone);
        if (!mail.isEmpty())
            w.text(QStringLiteral("ElectronicMail"), mail);
        w.close();
    }
    w.close();
    w.close();
}

void writeHead(Writer &w, const PrintRecord &r)
{
    w.text(QStringLiteral("CustomizationID"), QStringLiteral("urn:peppol:pint:billing-1@jp-1"));
    w.text(QStringLiteral("ProfileID"), QStringLiteral("urn:peppol:bis:billing"));
    w.text(QStringLiteral("ID"), r.number);
    w.text(QStringLiteral("IssueDate"), isoDay(r.date));
    if (!isoDay(r.dueDate).isEmpty())
        w.text(QStringLiteral("DueDate"), isoDay(r.dueDate));
    w.text(QStringLiteral("InvoiceTypeCode"), QStringLiteral("380"));
    QStringList notes;
    if (!r.subject.trimmed().isEmpty())
        notes << QStringLiteral("件名: ") + r.subject.trimmed();
    if (r.kind == DocKind::Credit)
        notes << QStringLiteral("返還請求書") + (r.sources.isEmpty() ? QString() : QStringLiteral("（%1）").arg(r.sources));
    if (!r.note.trimmed().isEmpty())
        notes << r.note.trimmed();
    if (!notes.isEmpty())
        w.text(QStringLiteral("Note"), notes.join('\n'));
    w.text(QStringLiteral("DocumentCurrencyCode"), QStringLiteral("JPY"));
    // A transaction's date is named by every 適格請求書: the period closed, else the trade date,
    // else the invoice's own; it takes in every 納品日 of its lines.
    QString from = isoDay(r.periodFrom), to = isoDay(r.periodTo);
    if (to.isEmpty())
        to = isoDay(r.tradeDate).isEmpty() ? isoDay(r.date) : isoDay(r.tradeDate);
    if (from.isEmpty())
        from = to;
    for (const PrintLine &l : r.lines)
        if (const QString day = isoDay(l.delivered); !day.isEmpty())
            from = std::min(from, day), to = std::max(to, day);
    w.open(QStringLiteral("InvoicePeriod"));
    w.text(QStringLiteral("StartDate"), from);
    w.text(QStringLiteral("EndDate"), to);
    w.close();
    for (const auto &[number, day] : r.deliveries) {
        w.open(QStringLiteral("AdditionalDocumentReference"));
        w.text(QStringLiteral("ID"), QStringLiteral("納品書No.%1").arg(number));
        w.text(QStringLiteral("DocumentDescription"), QStringLiteral("納品書（納品日 %1）").arg(day));
        w.close();
    }
}

void writePayment(Writer &w, const PrintRecord &r)
{
    for (const PrintAccount &a : r.accounts) {
        w.open(QStringLiteral("PaymentMeans"));
        w.text(QStringLiteral("PaymentMeansCode"), QStringLiteral("30"), QStringLiteral("name"), QStringLiteral("Credit transfer"));
        w.open(QStringLiteral("PayeeFinancialAccount"));
        w.text(QStringLiteral("ID"), a.number);
        if (!a.holder.isEmpty())
            w.text(QStringLiteral("Name"), a.holder);
        w.open(QStringLiteral("FinancialInstitutionBranch"));
        w.text(QStringLiteral("ID"), QStringLiteral("%1 %2 %3").arg(a.bank, a.branch, a.type).simplified());
        w.close();
        w.close();
        w.close();
    }
}

void writeTotals(Writer &w, const QVector<Category> &categories, const QVector<Line> &lines)
{
    Money tax, net;
    for (const Category &c : categories)
        tax += c.tax;
    for (const Line &l : lines)
        net += l.amount;
    w.open(QStringLiteral("TaxTotal"));
    w.yen(QStringLiteral("TaxAmount"), tax);
    for (const Category &c : categories) {
        w.open(QStringLiteral("TaxSubtotal"));
        w.yen(QStringLiteral("TaxableAmount"), c.taxable);
        w.yen(QStringLiteral("TaxAmount"), c.tax);
        w.category(QStringLiteral("TaxCategory"), c.id, c.percent);
        w.close();
    }
    w.close();
    w.open(QStringLiteral("LegalMonetaryTotal"));
    w.yen(QStringLiteral("LineExtensionAmount"), net);
    w.yen(QStringLiteral("TaxExclusiveAmount"), net);
    w.yen(QStringLiteral("TaxInclusiveAmount"), net + tax);
    w.yen(QStringLiteral("PayableAmount"), net + tax);
    w.close();
}

void writeLines(Writer &w, const QVector<Line> &lines)
{
    int n = 0;
    for (const Line &l : lines) {
        w.open(QStringLiteral("InvoiceLine"));
        w.text(QStringLiteral("ID"), QString::number(++n));
        w.text(QStringLiteral("InvoicedQuantity"), QString::number(l.quantity, 'g', 12), QStringLiteral("unitCode"), unitCode(l.unit));
        w.yen(QStringLiteral("LineExtensionAmount"), l.amount);
        if (const QString day = isoDay(l.delivered); !day.isEmpty()) {
            w.open(QStringLiteral("InvoicePeriod"));
            w.text(QStringLiteral("StartDate"), day);
            w.text(QStringLiteral("EndDate"), day);
            w.close();
        }
        w.open(QStringLiteral("Item"));
        w.text(QStringLiteral("Name"), l.name.trimmed().isEmpty() ? QStringLiteral("（品名なし）") : l.name.trimmed());
        w.category(QStringLiteral("ClassifiedTaxCategory"), l.category, l.percent);
        w.close();
        w.open(QStringLiteral("Price"));
        w.yen(QStringLiteral("PriceAmount"), l.price);
        w.close();
        w.close();
    }
}

} // namespace

QString endpointOf(const QString &registration, const QString &details)
{
    const QString own = digitsIn(registration);
    return own.isEmpty() ? digitsIn(details) : own;
}

QString unitCode(const QString &unit)
{
    static const QHash<QString, QString> codes{
        {"個", "H87"}, {"本", "H87"}, {"枚", "H87"}, {"台", "H87"}, {"冊", "H87"}, {"着", "H87"}, {"点", "H87"},
        {"式", "SET"}, {"セット", "SET"}, {"組", "SET"}, {"足", "PR"}, {"m", "MTR"}, {"㎡", "MTK"}, {"kg", "KGM"},
        {"時間", "HUR"}, {"日", "DAY"}, {"月", "MON"}, {"人", "IE"}, {"箱", "XBX"}, {"袋", "XBG"}, {"ケース", "XCS"},
        {"缶", "XCX"}, {"巻", "XRO"}};
    const QString key = unit.trimmed();
    if (key.isEmpty())
        return QStringLiteral("H87");
    return codes.value(key, QStringLiteral("C62"));
}

namespace {

// Who and when: the kind, the number and date, the parties and what the rules cannot say.
void checkParties(const PrintRecord &r, QVector<Problem> &out)
{
    auto error = [&](const QString &field, const QString &text) { out << Problem{field, text}; };
    if (r.kind != DocKind::Invoice && r.kind != DocKind::Credit)
        error(QStringLiteral("種別"), QStringLiteral("デジタルインボイスにできるのは請求書と返還請求書です"));
    if (r.number.trimmed().isEmpty())
        error(QStringLiteral("伝票番号"), QStringLiteral("伝票番号がありません"));
    if (isoDay(r.date).isEmpty())
        error(QStringLiteral("日付"), QStringLiteral("日付がありません"));
    if (r.companyName.trimmed().isEmpty())
        error(QStringLiteral("自社名"), QStringLiteral("設定の自社名がありません"));
    if (r.customerName.trimmed().isEmpty())
        error(QStringLiteral("顧客名"), QStringLiteral("顧客名がありません"));
    switch (invoicerules::checkRegistration(r.registrationNumber)) {
    case invoicerules::Registration::Valid: break;
    case invoicerules::Registration::BadCheckDigit:
        out << Problem{QStringLiteral("登録番号"),
                       QStringLiteral("登録番号 %1 の検査数字が法人番号の規則に合いません（個人事業者の番号であれば構いません）")
                           .arg(r.registrationNumber),
                       true};
        break;
    default:
        error(QStringLiteral("登録番号"), QStringLiteral("登録番号（T と 13 桁の数字）が設定にありません"));
    }
    if (endpointOf(QString(), r.customerInfo).isEmpty())
        error(QStringLiteral("顧客情報"), QStringLiteral("相手先を電子的に示す番号がありません。顧客情報に相手先の登録番号（T と 13 桁）か"
                                                     "法人番号（法人番号 と 13 桁）を書いてください"));
    if (r.withheld && !r.withheld->isZero())
        error(QStringLiteral("源泉徴収"), QStringLiteral("JP PINT 1.1.3 には源泉徴収税額を表す項目がありません。源泉徴収のある請求書は"
                                                     "XML にできません（PDF で発行してください）"));
}

// The figures: lines, whole-yen taxes per rate that add up to the sheet's, totals that agree.
void checkFigures(const PrintRecord &r, QVector<Problem> &out)
{
    auto error = [&](const QString &field, const QString &text) { out << Problem{field, text}; };
    const QVector<Line> lines = linesOf(r);
    if (lines.isEmpty())
        error(QStringLiteral("明細"), QStringLiteral("明細が 1 行もありません"));
    Money tax, net;
    for (const Category &c : categoriesOf(r)) {
        if (c.tax.raw() % Money::kScale)
            error(QStringLiteral("消費税"), QStringLiteral("税率 %1% の消費税額 %2 が円単位ではありません").arg(c.percent).arg(c.tax.toPlainString()));
        tax += c.tax;
        Money sum;
        for (const Line &l : lines)
            if (l.category == c.id && l.percent == c.percent)
                sum += l.amount;
        if (sum != c.taxable)
            error(QStringLiteral("金額"), QStringLiteral("税率 %1% の明細の合計 %2 が対象額 %3 と合いません")
                                            .arg(c.percent).arg(sum.toPlainString(), c.taxable.toPlainString()));
    }
    for (const Line &l : lines)
        net += l.amount;
    if (tax != r.tax.value_or(Money()))
        error(QStringLiteral("消費税"), QStringLiteral("税率ごとの消費税の合計 %1 が消費税 %2 と合いません")
                                          .arg(tax.toPlainString(), r.tax.value_or(Money()).toPlainString()));
    if (net + tax != r.grand.value_or(Money()))
        error(QStringLiteral("合計"), QStringLiteral("税抜の合計 %1 と消費税 %2 の和が合計 %3 と合いません")
                                        .arg(net.toPlainString(), tax.toPlainString(), r.grand.value_or(Money()).toPlainString()));
}

} // namespace

QVector<Problem> check(const PrintRecord &r)
{
    QVector<Problem> out;
    checkParties(r, out);
    checkFigures(r, out);
    return out;
}

QByteArray write(const PrintRecord &r)
{
    for (const Problem &p : check(r))
        if (!p.warning)
            return {};
    QByteArray out;
    Writer w(&out);
    w.x.writeStartDocument();
    w.x.writeDefaultNamespace(QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"));
    w.x.writeNamespace(kCac, QStringLiteral("cac"));
    w.x.writeNamespace(kCbc, QStringLiteral("cbc"));
    w.x.writeStartElement(QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"), QStringLiteral("Invoice"));
    writeHead(w, r);
    const QString registration = invoicerules::normalisedRegistration(r.registrationNumber);
    writeParty(w, QStringLiteral("AccountingSupplierParty"), r.companyName, r.companyInfo, endpointOf(registration, QString()),
               registration);
    writeParty(w, QStringLiteral("AccountingCustomerParty"), r.customerName, r.customerInfo, endpointOf(QString(), r.customerInfo),
               QString());
    writePayment(w, r);
    const QVector<Line> lines = linesOf(r);
    writeTotals(w, categoriesOf(r), lines);
    writeLines(w, lines);
    w.x.writeEndElement();
    w.x.writeEndDocument();
    return out;
}

} // namespace jppint
