#include "masters/SettingsTab.h"
#include "store/SafeFile.h"
#include "values/SealSize.h"
#include "store/Engine.h"
#include "ui_SettingsTab.h"

#include "ui/MessageCatalogue.h"
#include "ui/Boxes.h"
#include "ui/ColourDialog.h"
#include "ui/FileChooser.h"
#include "masters/SettingsStore.h"
#include "values/Totals.h"

#include "store/Integrity.h"
#include "masters/BackupPanel.h"
#include "masters/BankPanel.h"
#include "ui/BackgroundRun.h"
#include "store/Wipe.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <tuple>
#include <QKeyEvent>
#include <QCheckBox>
#include <QLabel>
#include <QSettings>

SettingsTab::SettingsTab(QuoteDeskContext &ctx, QWidget *parent)
    : QWidget(parent), ui(new Ui::SettingsTab), m_ctx(ctx)
{
    ui->setupUi(this);
    // The tax mode is chosen from the list only: typed characters and Delete are dropped.
    ui->cmb税区分->installEventFilter(this);
    ui->cmb税区分->setAttribute(Qt::WA_InputMethodEnabled, false);
    ui->num白紙罫線色->setSubject(ui->Label24->text());
    if (ctx.main.isOpen())
        ui->lbl保存先->setText(QStringLiteral("データの保存先: ") + engineOf(ctx.main).description(ctx.main));

    // Reading back after a No would throw away what the user typed on the tab.
    connect(ui->cmd設定登録, &QPushButton::clicked, this, [this] {
        if (Entry設定())
            Read設定();
    });
    connect(ui->cmd設定クリア, &QPushButton::clicked, this, [this] { Clear設定(); });
    connect(ui->cmd設定読込, &QPushButton::clicked, this, [this] { Read設定(); });
    connect(ui->cmd設定削除, &QPushButton::clicked, this, [this] { Delete設定(); });
    connect(ui->Pic罫線色, &ColourSwatch::clicked, this, [this] { pickLineColour(); });
    connect(ui->cmd一括削除7, &QPushButton::clicked, this, [this] { Data初期化(); });
    m_backups = new BackupPanel(ctx, this);
    ui->settingsLayout->insertWidget(ui->settingsLayout->indexOf(ui->lblInfo), m_backups);
    m_bank = new BankPanel(ctx, this);
    ui->settingsLayout->insertWidget(ui->settingsLayout->indexOf(m_backups), m_bank);
    m_bank->load();
    // A desktop's own choice, kept with its window place: which desktop issues digital invoices.
    m_xml = new QCheckBox(QStringLiteral("請求書・返還請求書を発行するとき（PDF保存・印刷）、電子インボイス（JP PINT の XML）も書き出して控えに残す（この端末）"), this);
    m_xml->setObjectName(QStringLiteral("chkXML同時出力"));
    m_xml->setChecked(QSettings().value(QStringLiteral("einvoice/withIssue"), false).toBool());
    ui->settingsLayout->insertWidget(ui->settingsLayout->indexOf(m_backups), m_xml);
    connect(m_xml, &QCheckBox::toggled, this, [](bool on) { QSettings().setValue(QStringLiteral("einvoice/withIssue"), on); });
    connect(ui->cmd社印, &QPushButton::clicked, this, [this] { chooseSeal(); });
    connect(ui->cmd社印削除, &QPushButton::clicked, this, [this] { setSeal({}); });
    // Rules that are most likely a leftover, said where they are chosen.
    auto *warning = new QLabel(this);
    warning->setObjectName(QStringLiteral("lbl税率注意"));
    warning->setStyleSheet(QStringLiteral("color: #b00000;"));
    ui->taxRules->insertWidget(ui->taxRules->count() - 1, warning);
    connect(ui->cmb税率, &QComboBox::currentTextChanged, this, [warning](const QString &rate) {
        const int r = QString(rate).remove('%').toInt();
        warning->setText(r == 5 ? QStringLiteral("5% は 2014 年 3 月までの税率です（今は 10%）")
                         : r > 0 && r <= kReducedRate ? QStringLiteral("軽減税率（8%）が標準税率より低くありません")
                                                      : QString());
    });
}

SettingsTab::~SettingsTab() { delete ui; }

bool SettingsTab::eventFilter(QObject *watched, QEvent *event)
{
    // An input method's commit would otherwise pick the entry it starts (非 → 非課税).
    if (watched == ui->cmb税区分 && event->type() == QEvent::InputMethod)
        return true;
    if (watched == ui->cmb税区分 && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Delete || (!ke->text().isEmpty() && ke->text().at(0).isPrint()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsTab::setTaxModeText(const QString &mode)
{
    const int i = ui->cmb税区分->findText(mode);
    if (i >= 0)
        ui->cmb税区分->setCurrentIndex(i);
}

void SettingsTab::Clear設定()
{
    ui->cmb税区分->clear();
    ui->cmb税区分->addItems({QStringLiteral("外税"), QStringLiteral("内税"), QStringLiteral("非課税")});
    setTaxModeText(QStringLiteral("外税"));
    ui->cmb税率->clear();
    ui->cmb税率->addItems({QStringLiteral("5%"), QStringLiteral("8%"), QStringLiteral("10%")});
    ui->cmb端数処理->clear();
    ui->cmb端数処理->addItems({QStringLiteral("切捨て"), QStringLiteral("四捨五入"), QStringLiteral("切上げ")});
    showRules(5, QStringLiteral("四捨五入"));
    ui->txt登録番号->clear();
    ui->num白紙罫線色->setValue(1);
    ui->Pic罫線色->setColourValue(0);
}

void SettingsTab::showRules(int rate, const QString &rounding)
{
    ui->cmb税率->setCurrentIndex(ui->cmb税率->findText(QString::number(rate) + QStringLiteral("%")));
    ui->cmb端数処理->setCurrentIndex(ui->cmb端数処理->findText(rounding));
}

void SettingsTab::Read設定()
{
    std::optional<CompanySettings> stored;
    const auto was = std::make_tuple(m_ctx.taxMode, m_ctx.taxRate, m_ctx.rounding);
    if (!reportFailure(loadSettings(m_ctx, stored)))
        return;
    showSettings(stored);
    if (std::tie(m_ctx.taxMode, m_ctx.taxRate, m_ctx.rounding) != was)
        emit taxModeChanged();
}

void SettingsTab::showSettings(const std::optional<CompanySettings> &stored)
{
    m_read = stored;
    setTaxModeText(m_ctx.taxMode);
    showRules(m_ctx.taxRate, m_ctx.rounding);
    ui->txt登録番号->setText(m_ctx.registrationNumber);
    ui->chk見積番号印刷->setChecked(stored && stored->printNumber);
    setSeal(stored ? stored->seal : QByteArray());
    if (stored) {
        ui->txt自社名->setText(m_ctx.companyName);
        ui->txt自社情報->setPlainText(m_ctx.companyInfo);
        ui->num白紙罫線色->setValue(stored->lineColour);
        ui->Pic罫線色->setColourValue(stored->lineColour);
    }
}

CompanySettings SettingsTab::shownSettings() const
{
    CompanySettings s;
    s.name = ui->txt自社名->text();
    s.info = ui->txt自社情報->toPlainText();
    s.taxMode = ui->cmb税区分->currentText();
    s.lineColour = ui->num白紙罫線色->value();
    s.taxRate = ui->cmb税率->currentText().chopped(1).toInt();
    s.rounding = ui->cmb端数処理->currentText();
    s.registrationNumber = ui->txt登録番号->text().trimmed();
    s.printNumber = ui->chk見積番号印刷->isChecked();
    s.seal = m_seal;
    return s;
}

bool SettingsTab::hasEdits() const
{
    const CompanySettings s = shownSettings();
    const CompanySettings read = m_read.value_or(CompanySettings{});
    return s.name != read.name || s.info != read.info || s.lineColour != read.lineColour ||
           s.registrationNumber != read.registrationNumber || s.printNumber != read.printNumber || s.seal != read.seal ||
           s.taxMode != (read.taxMode.isEmpty() ? m_ctx.taxMode : read.taxMode) || s.taxRate != m_ctx.taxRate ||
           s.rounding != m_ctx.rounding;
}

bool SettingsTab::Entry設定()
{
    if (!Msg(QStringLiteral("登録"), QStringLiteral("確認"), QStringLiteral("設定")))
        return false;
    const CompanySettings s = shownSettings();
    // A number that fails its check is most likely mistyped; it is still the user's to store.
    if (!s.registrationNumber.isEmpty() && !isValidRegistrationNumber(s.registrationNumber))
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("登録番号「%1」は T と 13 桁の数字の形になっていないか、検査数字が合いません。"
                           "このまま登録しますので、番号を確かめてください。")
                .arg(s.registrationNumber));
    // Only what was changed here, and nothing another desktop changed meanwhile without a question.
    auto ask = [](const SettingConflict &c) {
        return Msg(QStringLiteral("登録"), QStringLiteral("設定他端末変更"),
                   QStringLiteral("「%1」は他の端末で「%2」に変更されています。この端末の「%3」").arg(c.field, c.theirs, c.mine));
    };
    SettingsStore store(m_ctx.main);
    return reportFailure(m_read ? store.write(s, *m_read, ask) : store.write(s), QStringLiteral("設定を登録"));
}

void SettingsTab::Delete設定()
{
    if (!Msg(QStringLiteral("削除"), QStringLiteral("データ確認"), QStringLiteral("設定")))
        return;
    if (reportFailure(SettingsStore(m_ctx.main).reset()))
        Read設定();
}

void SettingsTab::pickLineColour()
{
    QWidget *owner = window();
    const int chosen = ChooseLineColour(owner, int(valueFromColour(owner->palette().color(QPalette::WindowText))));
    if (chosen == -1)
        return;
    ui->Pic罫線色->setColourValue(chosen);
    ui->num白紙罫線色->setValue(chosen);
}

void SettingsTab::Data初期化()
{
    const StoreEngine &engine = engineOf(m_ctx.main);
    const QString what = engine.shared() ? QStringLiteral("サーバーのすべてのデータを初期化します。"
                                                          "この QuoteDesk だけでなく、すべての端末の見積書・顧客・商品が消えます。")
                                         : QStringLiteral("すべてのデータを初期化します。");
    // Every desktop's data: Enter alone must not wipe it.
    if (!Msg(QStringLiteral("その他"), engine.shared() ? QStringLiteral("全端末確認") : QStringLiteral("確認"), what))
        return;
    // A copy of a damaged file would be no way back: the pages are checked first (the server checks its own).
    if (!engine.shared()) {
        IntegrityReport check;
        runInBackground(
            window(), QStringLiteral("データを確かめています"), [&] {
                check = checkIntegrity({m_ctx.permPath}, false);
                return DbResult{};
            },
            [] { return BackgroundProgress{}; }, [] {});
        if (!check.ok()) {
            Msg(QStringLiteral("その他"), QStringLiteral("注意"),
                QStringLiteral("データを初期化しませんでした。\n") + damagedFileAdvice(m_ctx.permPath, m_ctx.dataFolder));
            return;
        }
    }
    // A wipe cannot be undone: without a checked copy there is no wipe.
    if (DbResult r = m_backups->makeCopy(); !r) {
        if (r.code != sqlitecode::Cancelled)
            Msg(QStringLiteral("その他"), QStringLiteral("注意"),
                QStringLiteral("控えのコピーを作成できないため、データを初期化しませんでした。\n") + explainFailure(r));
        return;
    }
    if (!reportFailure(wipeAllData(m_ctx.main), QStringLiteral("データを初期化")))
        return;
    Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), QStringLiteral("すべてのデータを初期化しました"));
}

void SettingsTab::setSeal(const QByteArray &png)
{
    m_seal = png;
    QImage image;
    if (png.isEmpty() || !image.loadFromData(png, "PNG")) {
        ui->pic社印->clear();
        return;
    }
    ui->pic社印->setPixmap(QPixmap::fromImage(image.scaled(ui->pic社印->size() - QSize(4, 4), Qt::KeepAspectRatio,
                                                               Qt::SmoothTransformation)));
}

void SettingsTab::chooseSeal()
{
    const QString path = chooseFile(window(), FileDialog::OpenImage, QStringLiteral("社印の画像"), QString());
    if (path.isEmpty())
        return;
    QByteArray png;
    const DbResult read = readRegularFile(path, 4 * 1024 * 1024, png);
    if (!read && read.code != sqlitecode::TooLarge) {
        reportFailure(read, QStringLiteral("社印の画像を読込"));
        return;
    }
    QImage image;
    if (png.isEmpty() || !image.loadFromData(png, "PNG")) {
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            QStringLiteral("「%1」は社印として使える PNG 画像ではありません（4 MB まで）。").arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (const SealSize size = sealSize(png, image.size()); !size.stated)
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"),
            QStringLiteral("この画像には使える解像度（72〜1200 dpi）が記録されていないため、社印は幅 21 mm で印刷されます。"));
    setSeal(png); // stored with the other settings by 登録
}

bool SettingsTab::xmlWithIssue() const { return m_xml->isChecked(); }
