#include "masters/CustomerTab.h"
#include "ui_CustomerTab.h"

#include "ui/DataGrid.h"
#include "ui/WorkTableModel.h"

const MasterTable &customerMaster()
{
    // A CSV an older version wrote has the name and the details only.
    static const MasterTable t{"顧客マスタ", "w顧客マスタ", {"顧客名", "顧客情報", "支払期限規則", "源泉徴収"},
                               QStringLiteral("顧客情報"), {}, {"源泉徴収"}, 2};
    return t;
}

CustomerTab::CustomerTab(QuoteDeskContext &ctx, QWidget *parent) : QWidget(parent), ui(new Ui::CustomerTab)
{
    ui->setupUi(this);
    dat顧客 = new WorkTableModel(ctx.work, QStringLiteral("w顧客マスタ"),
                                 {{"チェック", ColumnKind::YesNo, QString(), Qt::AlignCenter},
                                  {"顧客名", ColumnKind::Text, "顧客名"},
                                  {"顧客情報", ColumnKind::Text, "顧客情報"},
                                  {"支払期限規則", ColumnKind::Text, "請求書の支払期限"},
                                  {"源泉徴収", ColumnKind::YesNo, "源泉徴収", Qt::AlignCenter}},
                                 QStringLiteral("id"), this);
    dat顧客->setObjectName(QStringLiteral("dat顧客"));
    dat顧客->setAllowAppend(true);
    m_work = std::make_unique<MasterWork>(
        ctx, customerMaster(),
        ui->Grid顧客マスタ, dat顧客);

    connect(ui->cmd顧客読込, &QPushButton::clicked, this, [this] {
        if (m_work->mayDiscard())
            Read顧客マスタ();
    });
    connect(ui->cmd顧客登録, &QPushButton::clicked, this, [this] { Entry顧客情報(); });
    connect(ui->cmd顧客削除, &QPushButton::clicked, this, [this] { Delete顧客(); });
    connect(ui->cmd顧客クリア, &QPushButton::clicked, this, [this] {
        if (m_work->mayDiscard())
            Clear顧客情報();
    });
    connect(ui->cmd顧客CSV出力, &QPushButton::clicked, this, [this] { m_work->exportCsv(); });
    connect(ui->cmd顧客CSV読込, &QPushButton::clicked, this, [this] { m_work->importCsv(); });
}

CustomerTab::~CustomerTab() { delete ui; }

void CustomerTab::formInit()
{
    DataGrid *grid = ui->Grid顧客マスタ;
    grid->setTabStops({1, 2});
    grid->setDataControl(dat顧客);
    grid->setColumnLayout(0, 360);
    grid->setColumnLayout(1, 3284.788);
    grid->setColumnLayout(2, 2160);
    grid->setColumnLayout(3, 2000);
    grid->setColumnLayout(4, 700);
    grid->stretchColumn(2);
    ui->Grid顧客マスタ->setToolTip(QStringLiteral("請求書の支払期限: 「月末締め翌月末払い」「月末締め翌々月末払い」「30日」など"));
}
