#include "documents/ClosingDialog.h"

#include "documents/MonthlyInvoice.h"
#include "ui/Replaceable.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

static Replaceable<bool(ClosingDialog &)> g_closingRunner([](ClosingDialog &d) { return d.exec() == QDialog::Accepted; });

ClosingRunner setClosingRunner(ClosingRunner runner) { return g_closingRunner.replace(std::move(runner)); }

bool runClosing(ClosingDialog &dialog) { return g_closingRunner(dialog); }

ClosingDialog::ClosingDialog(QuoteDeskContext &ctx, const QString &shown, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlg締め請求"));
    setWindowTitle(QStringLiteral("締め請求"));
    auto *form = new QFormLayout(this);
    customer = new QComboBox(this);
    customer->setObjectName(QStringLiteral("cmb締め顧客"));
    customer->setEditable(true);
    QStringList names;
    closingCustomers(ctx.main, names); // none readable: the name is typed
    customer->addItems(names);
    customer->setCurrentText(shown);
    month = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    month->setObjectName(QStringLiteral("dt締め月"));
    month->setDisplayFormat(QStringLiteral("yyyy年M月"));
    form->addRow(QStringLiteral("顧客"), customer);
    form->addRow(QStringLiteral("締める月"), month);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("請求書を作成"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
