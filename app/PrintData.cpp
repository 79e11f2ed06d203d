// The print button: the window's values become the print record, then the sheet's preview.

#include "app/FrmQuoteDesk.h"

#include "estimate/EstimateTab.h"
#include "masters/SettingsTab.h"
#include "print/PrintPreview.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateTab.h"
#include "ui_SettingsTab.h"
#include "documents/DocumentPanel.h"
#include "masters/BankStore.h"
#include "values/Closing.h"
#include "values/InvoiceRules.h"


// A delivery note's and an invoice's own fields, and the 納品書 headings of an invoice that
// bills several.
static void addLaterKind(PrintRecord &r, const Estimate &e, const BankSettings &bank)
{
    r.kind = e.kind;
    r.tradeDate = e.tradeDate;
    r.dueDate = e.dueDate;
    r.sources = sourcesCaption(e.sources);
    r.note = e.note;
    if (e.kind != DocKind::Invoice)
        return;
    r.bank = bank.printed();
    for (const BankAccount *a : {&bank.first, &bank.second})
        if (!a->isEmpty())
            r.accounts << PrintAccount{a->bank, a->branch, a->type, a->number, a->holder};
    for (const DocLink &s : e.sources)
        if (s.kind == DocKind::Delivery)
            r.deliveries << std::pair{s.number, s.date};
    r.withheld = e.withheld;
    if (e.withheld && r.grand)
        r.headline = *r.grand - *e.withheld;
    if (e.isClosing()) { // the amount asked carries the balance over, with no new tax on it
        r.periodFrom = e.periodFrom;
        r.periodTo = e.periodTo;
        r.previousBilled = e.previousBilled;
        r.received = e.received;
        r.credited = e.credited;
        r.headline = ClosingBalance{e.previousBilled, e.received, e.credited}.billed(r.headline.value_or(Money()));
    }
    QVector<PrintLine> lines;
    int last = 0;
    const bool several = e.sources.size() > 1;
    for (int i = 0; i < e.lines.size() && i < r.lines.size(); ++i) {
        const int from = e.lines[i].deliveryNumber;
        if (several && from > 0 && from != last) {
            QString day;
            for (const DocLink &s : e.sources)
                if (s.number == from)
                    day = s.date;
            lines << PrintLine{QStringLiteral("納品書 No.%1（納品日 %2）").arg(from).arg(day)};
            lines.back().heading = true;
        }
        last = from;
        lines << r.lines[i];
        for (const DocLink &s : e.sources)
            if (from > 0 && s.number == from)
                lines.back().delivered = s.date;
    }
    r.lines = lines; // the sheet drops the empty rows that no longer fit its first page
}

bool FrmQuoteDesk::printRecord(PrintRecord &r)
{
    EstimateTab *tab = shownDocument();
    Estimate e;
    if (!tab->windowEstimate(e))
        return false;
    r = PrintRecord();
    r.date = e.date.isValid() ? e.date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
    r.customerName = e.customerName;
    r.customerInfo = e.customerInfo;
    // The settings tab's boxes as they stand, stored or not.
    r.companyName = settingsTab()->ui->txt自社名->text();
    r.companyInfo = settingsTab()->ui->txt自社情報->toPlainText();
    r.subject = e.subject;
    r.deliveryDate = e.deliveryDate;
    r.validity = e.validity;
    r.paymentTerms = e.paymentTerms;
    r.deliveryPlace = e.deliveryPlace;
    r.net = e.net;
    r.tax = e.tax;
    r.grand = e.grand;
    r.headline = e.grand;
    r.honorific = e.honorific.isEmpty() ? QStringLiteral("様") : e.honorific;
    r.registrationNumber = settingsTab()->ui->txt登録番号->text().trimmed();
    for (const EstimateLine &l : e.lines) {
        r.lines << PrintLine{l.name, l.quantity, l.unit.toString(), l.price, l.amount, l.reduced && !l.exempt, l.exempt};
        r.lines.back().kind = l.kind;
        r.lines.back().heading = l.kind == RowKind::Heading;
    }
    const Totals &totals = tab->totals();
    r.taxMode = tab->rules().mode;
    r.standardRate = tab->rules().rate;
    for (const RateTotal &t : totals.used)
        r.rates << PrintRate{t.rate, t.reduced, t.base, t.tax};
    r.exempt = totals.exempt;
    // The tab's own state, stored or not, as with the company name.
    r.number = tab->ui->txtNo->text();
    // A delivery note and an invoice always name their number: the two are linked by it.
    r.printNumber = settingsTab()->ui->chk見積番号印刷->isChecked() || e.kind != DocKind::Estimate;
    r.seal = settingsTab()->seal();
    r.storedVersion = tab->shownVersion();
    r.withXml = settingsTab()->xmlWithIssue();
    if (e.kind != DocKind::Estimate) {
        BankSettings bank;
        reportFailure(readBankSettings(m_ctx.main, bank), QStringLiteral("振込先を読込"));
        addLaterKind(r, e, bank);
    }
    return true;
}

// An invoice claims to be a 適格請求書 only under a registration number of the right form;
// without one it is issued, after asking, as a plain invoice that claims nothing.
static bool qualifyInvoice(PrintRecord &r)
{
    if (r.kind == DocKind::Receipt) { // it names the number when it has one; it claims nothing else
        if (const auto check = invoicerules::checkRegistration(r.registrationNumber);
            check == invoicerules::Registration::Empty || check == invoicerules::Registration::BadForm)
            r.registrationNumber.clear();
        else
            r.registrationNumber = invoicerules::normalisedRegistration(r.registrationNumber);
        return true;
    }
    if (r.kind != DocKind::Invoice && r.kind != DocKind::Credit)
        return true;
    switch (invoicerules::checkRegistration(r.registrationNumber)) {
    case invoicerules::Registration::Valid:
        r.registrationNumber = invoicerules::normalisedRegistration(r.registrationNumber);
        return true;
    case invoicerules::Registration::BadCheckDigit: // an individual's number may not follow it
        r.registrationNumber = invoicerules::normalisedRegistration(r.registrationNumber);
        return Msg(QStringLiteral("伝票"), QStringLiteral("確認"),
                   QStringLiteral("登録番号 %1 の先頭の検査数字が法人番号の規則に合いません。個人事業者の番号であればこのままで"
                                  "構いません。適格%2として発行しますか")
                       .arg(r.registrationNumber, kindNames(r.kind).label));
    default:
        break;
    }
    const QString why = r.registrationNumber.trimmed().isEmpty()
                            ? QStringLiteral("登録番号が設定されていません")
                            : QStringLiteral("登録番号「%1」は T と 13 桁の数字ではありません").arg(r.registrationNumber.trimmed());
    if (!Msg(QStringLiteral("伝票"), QStringLiteral("確認"),
             why + QStringLiteral("。この%1は適格%1になりません（登録番号を印刷しません）。適格%1ではない%1として"
                                  "発行しますか").arg(kindNames(r.kind).label)))
        return false;
    r.qualified = false;
    r.registrationNumber.clear();
    return true;
}

void FrmQuoteDesk::SetPrnData見積書A4(bool preview)
{
    // The company and the seal as stored now; the estimate on screen keeps the rules it has.
    EstimateTab *tab = shownDocument();
    if (refreshSettings() && !(tab->rules() == TaxRules{m_ctx.taxMode, m_ctx.taxRate, m_ctx.rounding}))
        m_status->showMessage(QStringLiteral("設定が他の端末で変更されました。表示中の見積書はこれまでの税区分・税率・端数処理のままです"));
    PrintRecord record;
    if (!preview || !printRecord(record) || !qualifyInvoice(record))
        return;
    Estimate e;
    e.customerName = record.customerName;
    for (const PrintLine &l : record.lines)
        e.lines << EstimateLine{l.name, l.quantity, {}, l.price, l.amount};
    // What is issued stays in the archive for good: nothing empty goes there.
    if (isEmptyEstimate(e)) {
        record.kind == DocKind::Estimate ? Msg(QStringLiteral("印刷"), QStringLiteral("空の見積書"))
                                         : Msg(QStringLiteral("印刷"), QStringLiteral("空の伝票"), kindNames(record.kind).label);
        return;
    }

    // Below ¥10,000 a credit note need not be issued; the user may still want one.
    if (record.kind == DocKind::Credit && record.grand && -record.grand->raw() < 10000 * Money::kScale &&
        !Msg(QStringLiteral("伝票"), QStringLiteral("確認"),
             QStringLiteral("返還金額が税込 1 万円未満（¥%1）のため、返還請求書の交付は不要です（少額な返還インボイスの交付義務の免除）。"
                            "それでも発行しますか")
                 .arg((-*record.grand).toGroupedString())))
        return;
    const QString name = sheetPdfName(record.number, record.customerName, record.kind);
    showEstimatePreview(record, name, this, &m_ctx.main);
}
