#include "masters/SettingsTab.h"
#include "ui_SettingsTab.h"

#include "ui/MessageCatalogue.h"
#include "ui/Boxes.h"
#include "ui/ColourDialog.h"

#include <QKeyEvent>

SettingsTab::SettingsTab(QuoteDeskContext &ctx, QWidget *parent)
    : QWidget(parent), ui(new Ui::SettingsTab), m_ctx(ctx)
{
    ui->setupUi(this);
    // The tax mode is chosen from the list only: typed characters and Delete are dropped.
    ui->cmb税区分->installEventFilter(this);
    ui->cmb税区分->setAttribute(Qt::WA_InputMethodEnabled, false);

    // Reading back after a No would throw away what the user typed on the tab.
    connect(ui->cmd設定登録, &QPushButton::clicked, this, [this] {
        if (Entry設定())
            Read設定();
    });
    connect(ui->cmd設定クリア, &QPushButton::clicked, this, [this] { Clear設定(); });
    connect(ui->cmd設定読込, &QPushButton::clicked, this, [this] { Read設定(); });
    connect(ui->cmd設定削除, &QPushButton::clicked, this, [this] { Delete設定(); });
    connect(ui->Pic罫線色, &ColourSwatch::clicked, this, [this] { pickLineColour(); });
}

SettingsTab::~SettingsTab() { delete ui; }

bool SettingsTab::eventFilter(QObject *watched, QEvent *event)
{
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
    ui->num白紙罫線色->setValue(1);
    ui->Pic罫線色->setColourValue(0);
}

void SettingsTab::Read設定()
{
    DbRows rows;
    DbResult r = m_ctx.main.select(
        QStringLiteral("SELECT 税区分, 自社名, 自社情報, LineColor1 FROM 自社情報 ORDER BY rowid LIMIT 1"), {}, rows);
    if (!reportFailure(r))
        return;
    if (rows.isEmpty()) {
        m_ctx.taxMode = QStringLiteral("外税");
        setTaxModeText(m_ctx.taxMode);
        return;
    }
    const DbRow &row = rows[0];
    m_ctx.taxMode = row[0].isNull() ? QStringLiteral("外税") : row[0].toString();
    setTaxModeText(m_ctx.taxMode);
    m_ctx.companyName = row[1].isNull() ? QString() : row[1].toString();
    ui->txt自社名->setText(m_ctx.companyName);
    m_ctx.companyInfo = row[2].isNull() ? QString() : row[2].toString();
    ui->txt自社情報->setPlainText(m_ctx.companyInfo);
    ui->num白紙罫線色->setValue(row[3].isNull() ? 0 : row[3].toLongLong());
    ui->Pic罫線色->setColourValue(ui->num白紙罫線色->value());
}

bool SettingsTab::Entry設定()
{
    if (!Msg(QStringLiteral("登録"), QStringLiteral("確認"), QStringLiteral("設定")))
        return false;
    // Empty boxes are stored as empty text, never Null.
    const QVariantList values{ui->txt自社名->text().isNull() ? QString("") : ui->txt自社名->text(),
                              ui->txt自社情報->toPlainText().isNull() ? QString("") : ui->txt自社情報->toPlainText(),
                              ui->cmb税区分->currentText().isNull() ? QString("") : ui->cmb税区分->currentText(),
                              ui->num白紙罫線色->value()};
    DbResult r = m_ctx.main.transaction([&]() -> DbResult {
        QVariant rowid;
        if (DbResult s = m_ctx.main.scalar(QStringLiteral("SELECT rowid FROM 自社情報 ORDER BY rowid LIMIT 1"), {}, rowid);
            !s)
            return s;
        if (rowid.isNull())
            return m_ctx.main.exec(
                QStringLiteral("INSERT INTO 自社情報 (自社名, 自社情報, 税区分, LineColor1) VALUES (?, ?, ?, ?)"), values);
        return m_ctx.main.exec(
            QStringLiteral("UPDATE 自社情報 SET 自社名 = ?, 自社情報 = ?, 税区分 = ?, LineColor1 = ? WHERE rowid = ?"),
            values + QVariantList{rowid});
    });
    return reportFailure(r);
}

void SettingsTab::Delete設定()
{
    if (!Msg(QStringLiteral("削除"), QStringLiteral("データ確認"), QStringLiteral("設定")))
        return;
    DbResult r = m_ctx.main.exec(QStringLiteral(
        "UPDATE 自社情報 SET 自社名 = NULL, 自社情報 = NULL, 税区分 = NULL, LineColor1 = NULL "
        "WHERE rowid = (SELECT rowid FROM 自社情報 ORDER BY rowid LIMIT 1)"));
    if (reportFailure(r))
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
