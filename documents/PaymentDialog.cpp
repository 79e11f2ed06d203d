#include "documents/PaymentDialog.h"

#include "ui/Boxes.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

static Replaceable<void(PaymentDialog &)> g_paymentRunner([](PaymentDialog &d) { d.exec(); });

PaymentRunner setPaymentRunner(PaymentRunner runner) { return g_paymentRunner.replace(std::move(runner)); }

void runPayment(PaymentDialog &dialog) { g_paymentRunner(dialog); }

namespace {
enum PaymentColumn { PayNo, PayDate, PayDue, PayBilled, PayOpen, PayNow, PayColumns };

QString yenText(Money m) { return m.isZero() ? QStringLiteral("0") : m.toGroupedString(); }
} // namespace

PaymentDialog::PaymentDialog(QuoteDeskContext &ctx, const QString &customer, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_store(ctx.main), m_customer(customer)
{
    setObjectName(QStringLiteral("dlg入金"));
    setWindowTitle(QStringLiteral("入金 - ") + customer);
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    date = new DateBox(this);
    date->setObjectName(QStringLiteral("dt入金日"));
    date->setDate(QDate::currentDate());
    amount = new QLineEdit(this);
    amount->setObjectName(QStringLiteral("txt入金額"));
    fee = new QLineEdit(this);
    fee->setObjectName(QStringLiteral("txt振込手数料"));
    fee->setPlaceholderText(QStringLiteral("差し引かれた振込手数料"));
    memo = new QLineEdit(this);
    memo->setObjectName(QStringLiteral("txt摘要"));
    form->addRow(QStringLiteral("入金日"), date);
    form->addRow(QStringLiteral("入金額"), amount);
    form->addRow(QStringLiteral("振込手数料"), fee);
    form->addRow(QStringLiteral("摘要"), memo);
    layout->addLayout(form);
    invoices = new QTableWidget(this);
    invoices->setObjectName(QStringLiteral("tbl消込"));
    invoices->setColumnCount(PayColumns);
    invoices->setHorizontalHeaderLabels({"請求書", "請求日", "お支払期限", "請求額", "残額", "今回の入金"});
    invoices->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(invoices, 1);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("記録"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmd入金登録"));
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cmd閉じる"));
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (recordShown())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(amount, &QLineEdit::textChanged, this, &PaymentDialog::propose);
    connect(fee, &QLineEdit::textChanged, this, &PaymentDialog::propose);
    reportFailure(m_store.invoices(customer, m_open), QStringLiteral("請求書の残額を読込"));
    invoices->setRowCount(m_open.size());
    for (int r = 0; r < m_open.size(); ++r) {
        const InvoiceBalance &b = m_open[r];
        const QString cells[] = {QStringLiteral("No.%1").arg(b.number), b.date.toString(QStringLiteral("yyyy/MM/dd")),
                                 b.due.toString(QStringLiteral("yyyy/MM/dd")), yenText(b.owed()), yenText(b.open()), QString()};
        for (int c = 0; c < PayColumns; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c != PayNow)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            invoices->setItem(r, c, item);
        }
    }
}

// The amount and the fee over the open invoices, the oldest first.
void PaymentDialog::propose()
{
    const Money received = Money::parse(amount->text()).value_or(Money()) + Money::parse(fee->text()).value_or(Money());
    QVector<Money> open;
    for (const InvoiceBalance &b : std::as_const(m_open))
        open << b.open();
    const QVector<Money> split = splitOldestFirst(received, open);
    for (int r = 0; r < split.size(); ++r)
        invoices->item(r, PayNow)->setText(split[r].isZero() ? QString() : split[r].toPlainString());
}

Payment PaymentDialog::payment() const
{
    Payment p{date->hasDate() ? date->date() : QDate(), m_customer, Money::parse(fee->text()).value_or(Money()),
              memo->text().trimmed(), {}};
    Money feeLeft = p.fee;
    for (int r = 0; r < m_open.size(); ++r) {
        Money now = Money::parse(invoices->item(r, PayNow)->text()).value_or(Money());
        // The fee settles as the money does, on the first invoices: what came in is the rest.
        const Money fromFee = std::min(now, feeLeft);
        feeLeft = feeLeft - fromFee;
        if (!now.isZero())
            p.allocations << std::pair{m_open[r].number, now - fromFee};
    }
    return p;
}

bool PaymentDialog::recordShown()
{
    const Payment p = payment();
    if (p.allocations.isEmpty() && p.fee.isZero()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), QStringLiteral("入金額を入力してください（どの請求書への入金かを下の表で指定します）。"));
        return false;
    }
    for (const QString &q : m_store.questions(p))
        if (!Msg(QStringLiteral("伝票"), QStringLiteral("確認"), q))
            return false;
    return reportFailure(m_store.record(p, &m_number), QStringLiteral("入金を記録"));
}
