// The window's pages of every kind: built at first use, wired alike, and the conversions
// between them.

#include "app/FrmQuoteDesk.h"

#include "archive/IssuedListDialog.h"
#include "documents/Conversion.h"
#include "documents/DocumentPanel.h"
#include "documents/PaymentDialog.h"
#include "documents/PaymentStore.h"
#include "documents/Receipts.h"
#include "documents/ClosingDialog.h"
#include "documents/MonthlyInvoice.h"

#include <QComboBox>
#include <QDateEdit>
#include "estimate/EstimateTab.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateTab.h"

#include <QStatusBar>
#include <QTabWidget>

QVector<EstimateTab *> FrmQuoteDesk::documentTabs() const
{
    QVector<EstimateTab *> out{m_estimate};
    for (DocKind k : kLaterKinds)
        if (EstimateTab *t = m_pages[pageOf(k)])
            out << t;
    return out;
}

EstimateTab *FrmQuoteDesk::shownDocument() const
{
    if (m_printFrom)
        return m_printFrom;
    const int page = SSTab1 ? SSTab1->currentIndex() : 0;
    if (page > 0 && page < int(m_pages.size()) && m_pages[page])
        return m_pages[page];
    return m_estimate;
}

EstimateTab *FrmQuoteDesk::documentTab(DocKind kind)
{
    if (kind == DocKind::Estimate || !m_loaded)
        return m_estimate;
    EstimateTab *&tab = m_pages[pageOf(kind)];
    if (tab)
        return tab;
    tab = new EstimateTab(m_ctx, nullptr, kind);
    SSTab1->widget(pageOf(kind))->layout()->addWidget(tab);
    connectDocument(tab);
    tab->formInit();
    // What a crash left unstored on this page is offered when the page is first seen.
    const std::optional<UnstoredScreen> recovered = tab->takeUnstoredScreen();
    tab->Clear見積書(true);
    if (recovered && m_shown)
        tab->offerRecovery(*recovered);
    return tab;
}

void FrmQuoteDesk::connectDocument(EstimateTab *tab)
{
    connect(tab, &EstimateTab::closeRequested, this, &QWidget::close);
    connect(tab, &EstimateTab::printRequested, this, [this, tab] {
        m_printFrom = tab;
        SetPrnData見積書A4(true);
        m_printFrom = nullptr;
    });
    connect(tab, &EstimateTab::hintRequested, this, &FrmQuoteDesk::showHint);
    connect(tab, &EstimateTab::issuedListRequested, this, [this, tab] {
        IssuedListDialog dialog(m_ctx.main, this, tab->kind());
        runIssuedList(dialog);
    });
    connect(tab, &EstimateTab::captionChanged, this, &FrmQuoteDesk::showCaption);
    connect(tab, &EstimateTab::statusMessage, m_status, [this](const QString &t) { m_status->showMessage(t); });
    connect(tab, &EstimateTab::convertRequested, this, [this, tab](DocKind target) { convertFrom(tab, target); });
    connect(tab, &EstimateTab::listConversion, this,
            [this](DocKind kind, const QVector<int> &numbers, DocKind target) { convertStored(kind, numbers, target); });
    connect(tab, &EstimateTab::openRequested, this, &FrmQuoteDesk::openDocument);
    connect(tab, &EstimateTab::paymentRequested, this, [this, tab] { recordPayment(tab); });
    connect(tab, &EstimateTab::receiptRequested, this, [this, tab] { makeReceipt(tab); });
    connect(tab, &EstimateTab::closingRequested, this, [this, tab] { closeMonth(tab->ui->cmb顧客名->currentText()); });
    connect(tab, &EstimateTab::xmlRequested, this, [this, tab] { exportXml(tab); });
    connect(tab, &EstimateTab::xmlReadRequested, this, [this] { readXml(); });
}

// The invoice on the page as stored, or 0 (said why) when there is none to pay or receipt.
static int storedInvoice(EstimateTab *tab, const QString &why)
{
    const EstimateNumber number = readEstimateNumber(tab->ui->txtNo->text());
    if (number.kind == EstimateNumber::Ok && tab->shownVersion() > 0 && !tab->hasUnstoredChanges())
        return number.value;
    Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), why + QStringLiteral("先に請求書を登録してください。"));
    return 0;
}

void FrmQuoteDesk::makeReceipt(EstimateTab *tab)
{
    const int invoice = storedInvoice(tab, QStringLiteral("領収書は登録済みの請求書への入金から作ります。"));
    int payment = 0;
    if (invoice == 0 || !reportFailure(PaymentStore(m_ctx.main).latestPaymentFor(invoice, payment), QStringLiteral("入金を読込")))
        return;
    if (payment == 0) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"),
            QStringLiteral("請求書 No.%1 への入金が記録されていません。先に「入金」で記録してください。").arg(invoice));
        return;
    }
    Conversion c;
    if (reportFailure(receiptForPayment(m_ctx, payment, c), QStringLiteral("領収書を作成")))
        showConversion(c, DocKind::Receipt, receiptNote(payment));
}

bool FrmQuoteDesk::closeMonth(const QString &shownCustomer)
{
    ClosingDialog dialog(m_ctx, shownCustomer, this);
    if (!runClosing(dialog))
        return false;
    const QString customer = dialog.customer->currentText().trimmed();
    Conversion c;
    if (!reportFailure(monthlyInvoice(m_ctx, customer, dialog.month->date(), c), QStringLiteral("締め請求の請求書を作成")))
        return false;
    return showConversion(c, DocKind::Invoice,
                          QStringLiteral("%1 の %2〜%3 の納品書").arg(customer, c.document.periodFrom, c.document.periodTo));
}

void FrmQuoteDesk::recordPayment(EstimateTab *tab)
{
    const EstimateNumber number{EstimateNumber::Ok, storedInvoice(tab, QStringLiteral("入金は登録済みの請求書に記録します。"))};
    if (number.value == 0)
        return;
    PaymentDialog dialog(m_ctx, tab->ui->cmb顧客名->currentText(), this);
    runPayment(dialog);
    if (dialog.recorded() > 0) {
        tab->showPaymentState(number.value);
        m_status->showMessage(QStringLiteral("入金 No.%1 を記録しました").arg(dialog.recorded()));
    }
}

void FrmQuoteDesk::convertFrom(EstimateTab *tab, DocKind target)
{
    const EstimateNumber number = readEstimateNumber(tab->ui->txtNo->text());
    if (number.kind != EstimateNumber::Ok)
        return;
    // Made from what is stored: a source not stored, or changed since, is stored first.
    if (tab->shownVersion() == 0 || tab->hasUnstoredChanges()) {
        if (!Msg(QStringLiteral("伝票"), QStringLiteral("変換確認"),
                 QStringLiteral("%1 No.%2 は登録されていないか、登録後に変更されています。登録してから%3を作りますか")
                     .arg(tab->label())
                     .arg(number.value)
                     .arg(kindNames(target).label)) ||
            !tab->Entry見積書())
            return;
    }
    convertStored(tab->kind(), {number.value}, target);
}

bool FrmQuoteDesk::convertStored(DocKind kind, const QVector<int> &numbers, DocKind target)
{
    if (numbers.isEmpty())
        return false;
    Conversion c;
    if (!reportFailure(convertDocuments(m_ctx, kind, numbers, target, c), kindNames(target).label + QStringLiteral("を作成")))
        return false;
    return showConversion(c, target, sourcesCaption(c.document.sources).chopped(3));
}

bool FrmQuoteDesk::showConversion(Conversion &c, DocKind target, const QString &from)
{
    if (!c.refusal.isEmpty()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), c.refusal);
        return false;
    }
    if (!c.alreadyMade.isEmpty()) {
        QStringList made;
        for (const DocLink &l : c.alreadyMade)
            made << QStringLiteral("%1 No.%2").arg(kindNames(l.kind).label).arg(l.number);
        // Partial deliveries are legitimate: asked, not refused.
        if (!Msg(QStringLiteral("伝票"), QStringLiteral("確認"),
                 QStringLiteral("%1 から作った%2があります（%3）。もう一度作りますか")
                     .arg(from, kindNames(target).label, made.join(QStringLiteral("、")))))
            return false;
    }
    EstimateTab *page = documentTab(target);
    SSTab1->setCurrentWidget(page->parentWidget());
    if (page->hasUnstoredChanges() &&
        !Msg(QStringLiteral("その他"), QStringLiteral("破棄確認"), kindNames(target).label + QStringLiteral("タブ")))
        return false;
    page->showConverted(c.document);
    m_status->showMessage(QStringLiteral("%1を作成しました。確かめて「登録」してください").arg(sourcesCaption(c.document.sources)));
    return true;
}

void FrmQuoteDesk::openDocument(DocKind kind, int number)
{
    EstimateTab *page = documentTab(kind);
    SSTab1->setCurrentWidget(kind == DocKind::Estimate ? static_cast<QWidget *>(page) : page->parentWidget());
    if (page->hasUnstoredChanges() && !Msg(QStringLiteral("その他"), QStringLiteral("読込確認"), QStringLiteral("No.%1").arg(number)))
        return;
    page->ui->txtNo->setText(QString::number(number));
    page->Read見積書();
}
