#include "masters/BankPanel.h"

#include "store/Context.h"
#include "ui/MessageCatalogue.h"
#include "values/InvoiceRules.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

BankPanel::BankPanel(QuoteDeskContext &ctx, QWidget *parent) : QGroupBox(QStringLiteral("振込先（請求書に印刷）"), parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("grp振込先"));
    auto *grid = new QGridLayout(this);
    m_first = addAccount(grid, 0, QString());
    m_second = addAccount(grid, 1, QStringLiteral("2"));
    m_note = new QLineEdit(this);
    m_note->setObjectName(QStringLiteral("txt振込備考"));
    m_note->setPlaceholderText(QStringLiteral("例: 振込手数料は貴社にてご負担ください"));
    grid->addWidget(new QLabel(QStringLiteral("請求書の備考"), this), 2, 0);
    grid->addWidget(m_note, 2, 1, 1, 7);
    auto *save = new QPushButton(QStringLiteral("振込先を登録"), this);
    save->setObjectName(QStringLiteral("cmd振込先登録"));
    grid->addWidget(save, 2, 8, 1, 2);
    connect(save, &QPushButton::clicked, this, [this] { store(); });
}

BankPanel::Fields BankPanel::addAccount(QGridLayout *grid, int row, const QString &suffix)
{
    auto box = [&](const QString &name, const QString &caption, int column, int width) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name + suffix);
        grid->addWidget(new QLabel(caption, this), row, column);
        grid->addWidget(e, row, column + 1);
        e->setMinimumWidth(width);
        return e;
    };
    Fields f{};
    f.bank = box(QStringLiteral("txt銀行名"), suffix.isEmpty() ? QStringLiteral("銀行名") : QStringLiteral("銀行名 2"), 0, 110);
    f.branch = box(QStringLiteral("txt支店名"), QStringLiteral("支店名"), 2, 90);
    f.type = new QComboBox(this);
    f.type->setObjectName(QStringLiteral("cmb口座種別") + suffix);
    f.type->addItems({QStringLiteral("普通"), QStringLiteral("当座")});
    grid->addWidget(f.type, row, 4);
    f.number = box(QStringLiteral("txt口座番号"), QStringLiteral("口座番号"), 5, 70);
    f.number->setMaxLength(7);
    f.holder = box(QStringLiteral("txt口座名義"), QStringLiteral("名義（カナ）"), 7, 140);
    for (QLineEdit *e : {f.number, f.holder})
        connect(e, &QLineEdit::editingFinished, this, [this, e] { checkTyped(e); });
    return f;
}

// Said when the box is left, the text kept for the user to mend.
void BankPanel::checkTyped(QLineEdit *box)
{
    const QString t = box->text();
    if (t.trimmed().isEmpty() || !box->isModified())
        return;
    box->setModified(false);
    const bool number = box->objectName().startsWith(QStringLiteral("txt口座番号"));
    if (number ? invoicerules::validAccountNumber(t) : invoicerules::validAccountName(t))
        return;
    Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"),
        number ? QStringLiteral("口座番号は 7 桁の数字で入力してください（「%1」）。").arg(t)
               : QStringLiteral("口座名義はカタカナで入力してください（「%1」）。").arg(t));
}

BankSettings BankPanel::shown() const
{
    auto account = [](const Fields &f) {
        return BankAccount{f.bank->text().trimmed(), f.branch->text().trimmed(), f.type->currentText(),
                           f.number->text().trimmed(), f.holder->text().trimmed()};
    };
    return {account(m_first), account(m_second), m_note->text().trimmed()};
}

void BankPanel::load()
{
    BankSettings s;
    reportFailure(readBankSettings(m_ctx.main, s), QStringLiteral("振込先を読込"));
    auto show = [](const Fields &f, const BankAccount &a) {
        f.bank->setText(a.bank);
        f.branch->setText(a.branch);
        f.type->setCurrentIndex(std::max(0, f.type->findText(a.type)));
        f.number->setText(a.number);
        f.holder->setText(a.holder);
    };
    show(m_first, s.first);
    show(m_second, s.second);
    m_note->setText(s.note);
}

bool BankPanel::store()
{
    const BankSettings s = shown();
    if (const QString refusal = s.refusal(); !refusal.isEmpty()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"), refusal);
        return false;
    }
    if (!reportFailure(writeBankSettings(m_ctx.main, s), QStringLiteral("振込先を登録")))
        return false;
    Msg(QStringLiteral("登録"), QStringLiteral("完了"), QStringLiteral("振込先"));
    return true;
}
