// The print button: the window's values become the print record, then the sheet's preview.

#include "app/FrmQuoteDesk.h"

#include "estimate/EstimateTab.h"
#include "masters/SettingsTab.h"
#include "print/PrintPreview.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateTab.h"
#include "ui_SettingsTab.h"

bool FrmQuoteDesk::printRecord(PrintRecord &r)
{
    Estimate e;
    if (!m_estimate->windowEstimate(e))
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
    for (const EstimateLine &l : e.lines)
        r.lines << PrintLine{l.name, l.quantity, l.unit.toString(), l.price, l.amount, l.reduced && !l.exempt, l.exempt};
    const Totals &totals = m_estimate->totals();
    r.taxMode = m_estimate->rules().mode;
    r.standardRate = m_estimate->rules().rate;
    for (const RateTotal &t : totals.used)
        r.rates << PrintRate{t.rate, t.reduced, t.base, t.tax};
    r.exempt = totals.exempt;
    // The tab's own state, stored or not, as with the company name.
    r.number = m_estimate->ui->txtNo->text();
    r.printNumber = settingsTab()->ui->chk見積番号印刷->isChecked();
    r.seal = settingsTab()->seal();
    r.storedVersion = m_estimate->shownVersion();
    return true;
}

void FrmQuoteDesk::SetPrnData見積書A4(bool preview)
{
    // The company and the seal as stored now; the estimate on screen keeps the rules it has.
    if (refreshSettings() && !(m_estimate->rules() == TaxRules{m_ctx.taxMode, m_ctx.taxRate, m_ctx.rounding}))
        m_status->showMessage(QStringLiteral("設定が他の端末で変更されました。表示中の見積書はこれまでの税区分・税率・端数処理のままです"));
    PrintRecord record;
    if (!preview || !printRecord(record))
        return;
    Estimate e;
    e.customerName = record.customerName;
    for (const PrintLine &l : record.lines)
        e.lines << EstimateLine{l.name, l.quantity, {}, l.price, l.amount};
    // What is issued stays in the archive for good: nothing empty goes there.
    if (isEmptyEstimate(e)) {
        Msg(QStringLiteral("印刷"), QStringLiteral("空の見積書"));
        return;
    }

    const QString name = sheetPdfName(m_estimate->ui->txtNo->text(), record.customerName);
    showEstimatePreview(record, name, this, &m_ctx.main);
}
