#include "hints/HintWindow.h"
#include "ui_HintWindow.h"

#include "hints/HintStore.h"
#include "ui/Boxes.h"
#include "ui/MessageCatalogue.h"

Hint::Hint(QuoteDeskContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::HintWindow), m_ctx(ctx)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("Hint"));
    setWindowTitle(QStringLiteral("ヒント        "));
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette face = ui->txtContents->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    ui->txtContents->setPalette(face);

    connect(ui->cmd編集, &QPushButton::clicked, this, [this] { toggleEdit(); });
    connect(ui->cmd登録, &QPushButton::clicked, this, [this] {
        if (Msg(QStringLiteral("登録"), QStringLiteral("確認"), QStringLiteral("ヒント")) && EntryHint())
            Msg(QStringLiteral("登録"), QStringLiteral("完了"), QStringLiteral("ヒント"));
    });
    connect(ui->cmd削除, &QPushButton::clicked, this, [this] {
        if (Msg(QStringLiteral("削除"), QStringLiteral("確認"), QStringLiteral("ヒント")) && Deleteヒント())
            Msg(QStringLiteral("削除"), QStringLiteral("完了"), QStringLiteral("ヒント"));
    });
    connect(ui->cmdクリア, &QPushButton::clicked, this, [this] { ui->txtContents->setPlainText(QString()); });
    connect(ui->cmd閉じる, &QPushButton::clicked, this, &QWidget::close);

    // Loading: the pair of the request, its stored text, viewing state, focus in the text.
    ui->lblFormName->setText(ctx.hint.formName);
    ui->lblFormTitle->setText(ctx.hint.formTitle);
    ui->lblCtlName->setText(ctx.hint.controlName);
    setEditColour(kViewing);
    ReadHint();
    ui->txtContents->setFocus();
}

Hint::~Hint() { delete ui; }

// Every statement keys on the labels, not on the request, which a later press may change.
QString Hint::formName() const { return ui->lblFormName->text(); }
QString Hint::controlName() const { return ui->lblCtlName->text(); }

void Hint::ReadHint()
{
    if (formName().isEmpty() || controlName().isEmpty())
        return;
    QString contents;
    bool found = false;
    reportFailure(HintStore(m_ctx.work).read(formName(), controlName(), contents, found));
    if (found)
        ui->txtContents->setPlainText(contents);
}

bool Hint::EntryHint()
{
    if (formName().isEmpty() || controlName().isEmpty())
        return false;
    return reportFailure(HintStore(m_ctx.work).store(formName(), controlName(), ui->lblFormTitle->text(),
                                                     ui->txtContents->toPlainText()),
                         QStringLiteral("ヒントを登録"));
}

bool Hint::Deleteヒント()
{
    if (formName().isEmpty() || controlName().isEmpty())
        return false;
    if (!reportFailure(HintStore(m_ctx.work).remove(formName(), controlName()), QStringLiteral("ヒントを削除")))
        return false;
    ui->txtContents->setPlainText(QString());
    return true;
}

void Hint::setEditColour(int colour)
{
    m_editColour = colour;
    const QColor c = colourFromValue(colour);
    ui->cmd編集->setStyleSheet(QStringLiteral("background-color: %1;").arg(c.name()));
    ui->txtContents->setReadOnly(colour == kViewing);
}

void Hint::toggleEdit()
{
    setEditColour(m_editColour == kViewing ? kEditing : kViewing);
    ui->txtContents->setFocus();
}
