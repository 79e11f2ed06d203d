#include "masters/SetupDialog.h"
#include "ui/MessageCatalogue.h"
#include "ui/Replaceable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

static Replaceable<int(SetupDialog &)> g_setupRunner([](SetupDialog &d) { return d.exec(); });

SetupRunner setSetupRunner(SetupRunner r) { return g_setupRunner.replace(std::move(r)); }

SetupDialog::SetupDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlg初期設定"));
    setWindowTitle(QStringLiteral("はじめての設定"));
    setMinimumWidth(480); // the registration number's check reads on one or two lines
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("見積書に印刷する自社の情報と、消費税の計算方法を設定します。"
                                            "あとで「設定・情報」タブから変更できます。"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("txt自社名"));
    m_info = new QPlainTextEdit(this);
    m_info->setObjectName(QStringLiteral("txt自社情報"));
    m_info->setPlaceholderText(QStringLiteral("〒、住所、電話番号など"));
    m_info->setMaximumHeight(80);
    m_info->setTabChangesFocus(true);
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("txt登録番号"));
    m_number->setPlaceholderText(QStringLiteral("T1234567890123"));
    m_check = new QLabel(this);
    m_check->setObjectName(QStringLiteral("lbl登録番号確認"));
    m_check->setWordWrap(true);
    auto combo = [this](const char *name, const QStringList &items, const QString &chosen) {
        auto *c = new QComboBox(this);
        c->setObjectName(QString::fromUtf8(name));
        c->addItems(items);
        c->setCurrentText(chosen);
        return c;
    };
    // Today's rules proposed: 10 %, food and drink at the reduced 8 %, the tax rounded down.
    m_mode = combo("cmb税区分", {"外税", "内税", "非課税"}, QStringLiteral("外税"));
    m_rate = combo("cmb税率", {"10%", "8%", "5%"}, QStringLiteral("10%"));
    m_rounding = combo("cmb端数処理", {"切捨て", "四捨五入", "切上げ"}, QStringLiteral("切捨て"));
    form->addRow(QStringLiteral("自社名"), m_name);
    form->addRow(QStringLiteral("自社情報"), m_info);
    form->addRow(QStringLiteral("登録番号"), m_number);
    form->addRow(QString(), m_check);
    form->addRow(QStringLiteral("税区分"), m_mode);
    form->addRow(QStringLiteral("標準税率"), m_rate);
    form->addRow(QStringLiteral("端数処理"), m_rounding);
    form->addRow(QString(), new QLabel(QStringLiteral("軽減税率（8%）の明細は「軽減」に印を付けます。"), this));
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *store = buttons->addButton(QStringLiteral("登録"), QDialogButtonBox::AcceptRole);
    store->setObjectName(QStringLiteral("cmd登録"));
    QPushButton *skip = buttons->addButton(QStringLiteral("あとで設定する"), QDialogButtonBox::RejectRole);
    skip->setObjectName(QStringLiteral("cmdスキップ"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_number, &QLineEdit::textChanged, this, &SetupDialog::checkNumber);
}

// As typed through an input method: full-width, perhaps with spaces between the digits.
static QString plainNumber(const QString &typed)
{
    return typed.normalized(QString::NormalizationForm_KC).remove(QRegularExpression(QStringLiteral("\\s"))).toUpper();
}

void SetupDialog::checkNumber()
{
    const QString t = plainNumber(m_number->text());
    static const QRegularExpression form(QStringLiteral("^T[0-9]{13}$"));
    if (t.isEmpty())
        m_check->clear();
    else if (!form.match(t).hasMatch())
        m_check->setText(QStringLiteral("T と 13 桁の数字で入力してください。"));
    else if (!isValidRegistrationNumber(t)) // individuals' numbers may not follow the check
        m_check->setText(QStringLiteral("検査数字が合いません。番号を確かめてください（個人事業者の番号はそのまま登録できます）。"));
    else
        m_check->setText(QStringLiteral("正しい形式の登録番号です。"));
}

CompanySettings SetupDialog::settings() const
{
    CompanySettings s;
    s.name = m_name->text().trimmed();
    s.info = m_info->toPlainText();
    s.taxMode = m_mode->currentText();
    s.taxRate = m_rate->currentText().chopped(1).toInt();
    s.rounding = m_rounding->currentText();
    s.registrationNumber = plainNumber(m_number->text());
    return s;
}

bool needsSetup(const std::optional<CompanySettings> &stored) { return !stored || stored->name.isNull(); }

bool offerSetup(Db &main, QWidget *parent)
{
    SetupDialog dialog(parent);
    // Skipped: an empty company is stored, so the start does not ask again; the rules stay
    // the defaults.
    const CompanySettings s = g_setupRunner(dialog) == QDialog::Accepted ? dialog.settings() : CompanySettings{};
    return reportFailure(SettingsStore(main).write(s), QStringLiteral("設定を登録"));
}
