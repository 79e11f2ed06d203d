// What a page of a later kind adds to the estimate's: its own fields, the conversion buttons,
// its checks before storing, and how a converted document arrives on it.

#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"

#include "documents/DocumentPanel.h"
#include "documents/PaymentStore.h"
#include "masters/BankStore.h"
#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"

#include <QCompleter>
#include <QLabel>
#include <QPushButton>

QPushButton *EstimateTab::addButton(const QString &name, const QString &caption, const QString &tip)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setToolTip(tip);
    // Before the list and print buttons, after the spacer.
    ui->buttonsLayout->insertWidget(ui->buttonsLayout->indexOf(ui->cmd発行履歴), b);
    return b;
}

QPushButton *EstimateTab::addConvertButton(DocKind target, const QString &caption)
{
    const QString label = kindNames(target).label;
    const QString shown = caption.isEmpty() ? label : caption;
    auto *b = addButton(QStringLiteral("cmd%1作成").arg(shown), shown + QStringLiteral("作成"),
                        QStringLiteral("登録した%1から新しい%2を作ります").arg(this->label(), label));
    connect(b, &QPushButton::clicked, this, [this, target] { emit convertRequested(target); });
    return b;
}

void EstimateTab::setupKind()
{
    const DocKind k = kind();
    if (k == DocKind::Estimate) {
        addConvertButton(DocKind::Delivery);
        addConvertButton(DocKind::Invoice);
        auto *converted = new QLabel(this);
        converted->setObjectName(QStringLiteral("lbl変換済"));
        ui->totalsLayout->insertWidget(0, converted);
        return;
    }
    if (k == DocKind::Delivery)
        addConvertButton(DocKind::Invoice);
    if (k == DocKind::Invoice) {
        connect(addButton(QStringLiteral("cmd入金"), QStringLiteral("入金"), QStringLiteral("この顧客からの入金を記録し、請求書に割り当てます")),
                &QPushButton::clicked, this, &EstimateTab::paymentRequested);
        connect(addButton(QStringLiteral("cmd領収書作成"), QStringLiteral("領収書作成"),
                          QStringLiteral("この請求書への最新の入金から領収書を作ります")),
                &QPushButton::clicked, this, &EstimateTab::receiptRequested);
        connect(addButton(QStringLiteral("cmd締め請求"), QStringLiteral("締め請求"),
                          QStringLiteral("顧客の締日までの納品書から、その月の請求書を前回からの繰越とともに作ります")),
                &QPushButton::clicked, this, &EstimateTab::closingRequested);
        addConvertButton(DocKind::Credit, QStringLiteral("返還"))->setToolTip(QStringLiteral("返品・値引の返還請求書をこの請求書から作ります"));
        connect(addButton(QStringLiteral("cmdXML読込"), QStringLiteral("XML読込"),
                          QStringLiteral("受け取った電子請求書（JP PINT の XML）を表示し、受領した書類として保管します")),
                &QPushButton::clicked, this, &EstimateTab::xmlReadRequested);
    }
    if (k == DocKind::Invoice || k == DocKind::Credit)
        connect(addButton(QStringLiteral("cmdXML出力"), QStringLiteral("XML出力"),
                          QStringLiteral("登録した%1を電子インボイス（JP PINT の XML）として書類フォルダに書き出します").arg(label())),
                &QPushButton::clicked, this, &EstimateTab::xmlRequested);
    m_panel = new DocumentPanel(k, this);
    // Under the header's boxes, beside the own company's details, which span it too.
    ui->headerLayout->removeWidget(ui->lbl自社情報);
    ui->headerLayout->addWidget(ui->lbl自社情報, 3, 3, 6, 1);
    ui->headerLayout->addWidget(m_panel, 8, 0, 1, 3);
    if (k == DocKind::Invoice)
        m_panel->defaultNote = [this] {
            BankSettings bank;
            readBankSettings(m_ctx.main, bank); // none readable: no note proposed
            return bank.note;
        };
    m_panel->takeTodaysRules = [this] {
        takeSettingsRules();
        recomputeAmounts();
        Calc明細();
        m_panel->setRulesNotice(QString());
    };
    // The estimate's own fields that a delivery note or an invoice has no use for.
    for (QWidget *w : {static_cast<QWidget *>(ui->lbl有効期限), static_cast<QWidget *>(ui->txt有効期限),
                       static_cast<QWidget *>(ui->Lbl納期), static_cast<QWidget *>(ui->txt納期)})
        w->hide();
    if (k == DocKind::Delivery) {
        ui->Lbl受渡場所->setText(QStringLiteral("納品場所"));
    } else {
        if (k == DocKind::Invoice)
            ui->dt日付->setObjectName(QStringLiteral("dt請求日"));
        ui->Lbl受渡場所->hide();
        ui->txt受渡場所->hide();
    }
    if (k == DocKind::Receipt) {
        ui->Lbl支払条件->setText(QStringLiteral("支払方法"));
        ui->Lbl件名->setText(QStringLiteral("但し書き"));
        auto *methods = new QCompleter(QStringList{"振込", "現金", "クレジットカード", "小切手"}, ui->txt支払条件);
        methods->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        ui->txt支払条件->setCompleter(methods);
        ui->txt支払条件->setPlaceholderText(QStringLiteral("振込・現金・クレジットカード"));
    }
    ui->cmd発行履歴->setToolTip(QStringLiteral("PDF保存や印刷で発行した%1の控えを探して表示します").arg(label()));
}

void EstimateTab::showConverted(const Estimate &e)
{
    Clear見積書(true); // a fresh number of this kind
    const QString number = ui->txtNo->text();
    showHeaderTexts(e);
    ui->dt日付->setDate(QDate::currentDate());
    if (m_panel) // the customer's due date and withholding, as choosing the customer proposes them
        m_panel->customerChosen(m_store.customerInvoiceRule(e.customerName));
    reportFailure(m_store.rebuildWork(e.lines));
    reportFailure(dat明細->refresh());
    // The source's stored rules: its figures stay as agreed unless the user takes today's.
    m_rules = TaxRules{e.taxMode.isEmpty() ? m_ctx.taxMode : e.taxMode, e.taxRate > 0 ? e.taxRate : 5,
                       e.rounding.isEmpty() ? QStringLiteral("四捨五入") : e.rounding};
    m_ownRules = true;
    const TaxRules today{m_ctx.taxMode, m_ctx.taxRate, m_ctx.rounding};
    if (m_panel && !(today == m_rules))
        m_panel->setRulesNotice(QStringLiteral("元の%1の税の設定（%2 %3% %4）で作成しました。今日の設定は %5 %6% %7 です。")
                                    .arg(kindNames(e.sources.value(0).kind).label, m_rules.mode)
                                    .arg(m_rules.rate)
                                    .arg(m_rules.rounding, today.mode)
                                    .arg(today.rate)
                                    .arg(today.rounding));
    showTaxMode();
    Calc明細();
    ui->txtNo->setText(number);
    m_unchanged = Estimate(); // nothing of it is stored yet
    m_tracking = true;
    m_basis.reset();
}

bool EstimateTab::laterKindAccepts(const Estimate &e)
{
    if (!m_panel)
        return true;
    if (const QString refusal = m_panel->refusal(e); !refusal.isEmpty()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), refusal);
        return false;
    }
    const QString question = m_panel->question(e);
    return question.isEmpty() || Msg(QStringLiteral("伝票"), QStringLiteral("確認"), question);
}

void EstimateTab::showPaymentState(int number)
{
    if (!m_panel || !m_panel->payment)
        return;
    InvoiceBalance b;
    bool found = false;
    if (number <= 0 || !PaymentStore(m_ctx.main).balance(number, b, found) || !found) {
        m_panel->payment->clear();
        return;
    }
    const PayStatus s = b.status(QDate::currentDate());
    m_panel->payment->setText(s == PayStatus::Paid ? payStatusLabel(s)
                                                   : QStringLiteral("%1（残額 ¥%2）").arg(payStatusLabel(s), b.open().toGroupedString()));
}

void EstimateTab::showConversions(int number)
{
    showPaymentState(number);
    QVector<DocLink> into;
    if (!m_store.convertedInto(number, into) || into.isEmpty()) {
        setConvertedText(QString());
        return;
    }
    QStringList names;
    for (const DocLink &l : into)
        names << QStringLiteral("%1 No.%2").arg(kindNames(l.kind).label).arg(l.number);
    setConvertedText(QStringLiteral("変換済: ") + names.join(QStringLiteral("、")));
}

void EstimateTab::setConvertedText(const QString &text)
{
    if (m_panel)
        m_panel->setConverted(text);
    else if (auto *l = findChild<QLabel *>(QStringLiteral("lbl変換済")))
        l->setText(text);
}
