#include "documents/DocumentPanel.h"

#include "store/Helpers.h"
#include "ui/Boxes.h"
#include "values/Closing.h"
#include "values/InvoiceRules.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kPanelDay = QStringLiteral("yyyy/MM/dd");

QString dayText(const DateBox *f) { return f && f->hasDate() ? f->date().toString(kPanelDay) : QString(); }

void setDay(DateBox *f, const QString &text)
{
    if (!f)
        return;
    const QDate d = QDate::fromString(text, kPanelDay);
    d.isValid() ? f->setDate(d) : f->clearDate();
}

// The date each kind keeps beside its own: delivered, the transaction an invoice or a credit
// note goes back to, the payment a receipt is for.
QString tradeDateName(DocKind kind)
{
    switch (kind) {
    case DocKind::Delivery: return QStringLiteral("dt納品日");
    case DocKind::Receipt: return QStringLiteral("dt入金日");
    default: return QStringLiteral("dt取引日");
    }
}

QString tradeDateCaption(DocKind kind)
{
    switch (kind) {
    case DocKind::Delivery: return QStringLiteral("納品日");
    case DocKind::Credit: return QStringLiteral("元の取引年月日");
    case DocKind::Receipt: return QStringLiteral("入金日");
    default: return QStringLiteral("取引年月日");
    }
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    return l;
}
} // namespace

QString sourcesCaption(const QVector<DocLink> &sources)
{
    if (sources.isEmpty())
        return {};
    QStringList numbers;
    for (const DocLink &l : sources)
        numbers << QStringLiteral("No.%1").arg(l.number);
    return kindNames(sources.first().kind).label + ' ' + numbers.join(QStringLiteral(", ")) + QStringLiteral(" より");
}

DocumentPanel::DocumentPanel(DocKind kind, QWidget *parent) : QWidget(parent), m_kind(kind)
{
    setObjectName(QStringLiteral("pnl伝票"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    tradeDate = new DateBox(this);
    tradeDate->setObjectName(tradeDateName(kind));
    grid->addWidget(caption(tradeDateCaption(kind), this), 0, 0);
    grid->addWidget(tradeDate, 0, 1);
    if (kind == DocKind::Invoice)
        addInvoiceFields(grid);
    else if (kind != DocKind::Delivery)
        addNote(grid);
    sources = new QLabel(this);
    sources->setObjectName(QStringLiteral("lbl元伝票"));
    converted = new QLabel(this);
    converted->setObjectName(QStringLiteral("lbl変換済"));
    rulesNotice = new QLabel(this);
    rulesNotice->setObjectName(QStringLiteral("lbl税率注意"));
    rulesNotice->setStyleSheet(QStringLiteral("color: #a04000"));
    todaysRules = new QPushButton(QStringLiteral("今日の設定にする"), this);
    todaysRules->setObjectName(QStringLiteral("cmd今日の税率"));
    QObject::connect(todaysRules, &QPushButton::clicked, this, [this] {
        if (takeTodaysRules)
            takeTodaysRules();
    });
    grid->addWidget(sources, 2, 0, 1, 2);
    grid->addWidget(converted, 2, 2, 1, 3);
    grid->addWidget(rulesNotice, 3, 0, 1, 4);
    grid->addWidget(todaysRules, 3, 4);
    grid->setColumnStretch(5, 1);
    setRulesNotice(QString());
}

void DocumentPanel::addNote(QGridLayout *grid)
{
    note = new QLineEdit(this);
    note->setObjectName(QStringLiteral("txt備考"));
    note->setPlaceholderText(m_kind == DocKind::Credit ? QStringLiteral("例: 返品（破損のため）") : QStringLiteral("例: 入金 No.3"));
    grid->addWidget(caption(QStringLiteral("備考"), this), 1, 0);
    grid->addWidget(note, 1, 1, 1, 4);
}

void DocumentPanel::addInvoiceFields(QGridLayout *grid)
{
    dueDate = new DateBox(this);
    dueDate->setObjectName(QStringLiteral("dt支払期限"));
    grid->addWidget(caption(QStringLiteral("お支払期限"), this), 0, 2);
    grid->addWidget(dueDate, 0, 3);
    withholding = new QCheckBox(QStringLiteral("源泉徴収"), this);
    withholding->setObjectName(QStringLiteral("chk源泉徴収"));
    grid->addWidget(withholding, 0, 4);
    note = new QLineEdit(this);
    note->setObjectName(QStringLiteral("txt備考"));
    note->setPlaceholderText(QStringLiteral("例: 振込手数料は弊社にて負担いたします"));
    grid->addWidget(caption(QStringLiteral("備考"), this), 1, 0);
    grid->addWidget(note, 1, 1, 1, 4);
    QObject::connect(dueDate, &QDateEdit::dateChanged, this, [this] { m_dueTouched = !m_proposing; });
    QObject::connect(withholding, &QCheckBox::toggled, this, [this] { m_withholdingTouched = !m_proposing; });
    QObject::connect(tradeDate, &QDateEdit::dateChanged, this, [this](const QDate &d) { proposeDue(d); });
    payment = new QLabel(this);
    payment->setObjectName(QStringLiteral("lbl入金状況"));
    grid->addWidget(payment, 1, 5);
    closing = new QLabel(this);
    closing->setObjectName(QStringLiteral("lbl締め請求"));
    grid->addWidget(closing, 4, 0, 1, 6);
    closing->hide();
}

void DocumentPanel::showClosing()
{
    if (!closing)
        return;
    const Estimate &c = m_closing;
    const ClosingBalance b{c.previousBilled, c.received, c.credited};
    auto yen = [](Money m) { return m.isZero() ? QStringLiteral("0") : m.toGroupedString(); };
    closing->setText(!c.isClosing() ? QString()
                                    : QStringLiteral("締め請求 %1〜%2　前回御請求額 ¥%3　ご入金額 ¥%4　返還額 ¥%5　繰越金額 ¥%6")
                                          .arg(c.periodFrom, c.periodTo, yen(b.previous), yen(b.received),
                                               yen(b.credited), yen(b.carried())));
    closing->setVisible(c.isClosing());
}

void DocumentPanel::proposeDue(const QDate &delivered)
{
    if (!dueDate || m_dueTouched)
        return;
    if (const auto due = invoicerules::dueDateBy(m_dueRule, delivered)) {
        m_proposing = true;
        dueDate->setDate(*due);
        m_proposing = false;
    }
}

void DocumentPanel::show(const Estimate &e)
{
    m_proposing = true;
    setDay(tradeDate, e.tradeDate);
    setDay(dueDate, e.dueDate);
    if (withholding)
        withholding->setChecked(e.withholding);
    m_proposing = false;
    if (note)
        note->setText(e.note);
    m_sources = e.sources;
    m_closing = e;
    showClosing();
    sources->setText(sourcesCaption(e.sources));
    sources->setVisible(!sources->text().isEmpty());
    m_dueTouched = m_withholdingTouched = e.version > 0 || !e.dueDate.isEmpty(); // what it holds stays
}

void DocumentPanel::fill(Estimate &e, const Totals &totals) const
{
    e.tradeDate = dayText(tradeDate);
    e.dueDate = dayText(dueDate);
    e.withholding = withholding && withholding->isChecked();
    e.note = note ? withoutControls(note->text()) : QString();
    e.sources = m_sources;
    e.periodFrom = m_closing.periodFrom;
    e.periodTo = m_closing.periodTo;
    e.previousBilled = m_closing.previousBilled;
    e.received = m_closing.received;
    e.credited = m_closing.credited;
    // The base leaves the consumption tax out: an invoice shows it per rate.
    const Money base = totals.net.value_or(totals.grand.value_or(Money()));
    e.withheld = e.withholding ? std::optional<Money>(invoicerules::withholdingOn(base)) : std::nullopt;
}

void DocumentPanel::clear()
{
    m_proposing = true;
    tradeDate->setDate(QDate::currentDate());
    if (dueDate)
        dueDate->clearDate();
    if (withholding)
        withholding->setChecked(false);
    m_proposing = false;
    if (note)
        note->setText(defaultNote ? defaultNote() : QString());
    m_sources.clear();
    m_closing = Estimate();
    showClosing();
    sources->clear();
    sources->hide();
    setConverted(QString());
    setRulesNotice(QString());
    if (payment)
        payment->clear();
    m_dueTouched = m_withholdingTouched = false;
    m_dueRule.clear();
}

void DocumentPanel::customerChosen(const CustomerInvoiceRule &rule)
{
    m_dueRule = rule.dueRule;
    proposeDue(tradeDate->date());
    if (withholding && !m_withholdingTouched && rule.found) {
        m_proposing = true;
        withholding->setChecked(rule.withholding);
        m_proposing = false;
    }
}

void DocumentPanel::forgetSources()
{
    m_closing = Estimate(); // a copy closes no period
    showClosing();
    m_sources.clear();
    sources->clear();
    sources->hide();
}

void DocumentPanel::setConverted(const QString &text)
{
    converted->setText(text);
    converted->setVisible(!text.isEmpty());
}

void DocumentPanel::setRulesNotice(const QString &text)
{
    rulesNotice->setText(text);
    rulesNotice->setVisible(!text.isEmpty());
    todaysRules->setVisible(!text.isEmpty());
}

QString DocumentPanel::refusal(const Estimate &e) const
{
    if (m_kind == DocKind::Estimate || m_kind == DocKind::Delivery)
        return {};
    const bool anyLine = std::any_of(e.lines.begin(), e.lines.end(), [](const EstimateLine &l) { return !l.name.isEmpty(); });
    if (!anyLine)
        return QStringLiteral("明細のない%1は登録できません。明細を入力してください。").arg(kindNames(m_kind).label);
    if (m_kind == DocKind::Credit && e.grand && e.grand->raw() > 0)
        return QStringLiteral("返還請求書の金額（¥%1）がプラスです。返品・値引の金額はマイナスで入力してください。")
            .arg(e.grand->toGroupedString());
    if (m_kind == DocKind::Receipt && (!e.grand || e.grand->raw() <= 0))
        return QStringLiteral("領収書の受領金額が 0 円以下です。金額を確かめてください。");
    const QDate issued = e.date, due = QDate::fromString(e.dueDate, kPanelDay);
    if (issued.isValid() && due.isValid() && due < issued)
        return QStringLiteral("お支払期限（%1）が請求日（%2）より前です。お支払期限を確かめてください。")
            .arg(e.dueDate, issued.toString(kPanelDay));
    return {};
}

QString DocumentPanel::question(const Estimate &e) const
{
    if (m_kind != DocKind::Invoice)
        return {};
    const QDate delivered = QDate::fromString(e.tradeDate, kPanelDay), due = QDate::fromString(e.dueDate, kPanelDay);
    if (delivered.isValid() && due.isValid() && delivered.daysTo(due) > invoicerules::kLongestWaitDays)
        return QStringLiteral("お支払期限が納品（取引年月日 %1）から %2 日後です。中小の受注者への支払は納品から 60 日以内と"
                              "定められています（取適法）。このまま登録しますか")
            .arg(e.tradeDate)
            .arg(delivered.daysTo(due));
    return {};
}
