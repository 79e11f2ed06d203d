#include "masters/ProductTab.h"
#include "ui_ProductTab.h"

#include "ui/DataGrid.h"
#include "ui/WorkTableModel.h"

ProductTab::ProductTab(QuoteDeskContext &ctx, QWidget *parent) : QWidget(parent), ui(new Ui::ProductTab)
{
    ui->setupUi(this);
    dat商品 = new WorkTableModel(ctx.work, QStringLiteral("w商品マスタ"),
                                 {{"チェック", ColumnKind::YesNo, QString(), Qt::AlignCenter},
                                  {"品名", ColumnKind::Text, QStringLiteral("品　　　名")},
                                  {"単位", ColumnKind::Text, "単位", Qt::AlignCenter},
                                  {"単価", ColumnKind::Currency, QStringLiteral("単　価"),
                                   Qt::AlignRight | Qt::AlignVCenter, true},
                                  {"非課税", ColumnKind::YesNo, "非課税", Qt::AlignCenter},
                                  {"軽減", ColumnKind::YesNo, "軽減", Qt::AlignCenter}},
                                 QStringLiteral("id"), this);
    dat商品->setObjectName(QStringLiteral("dat商品"));
    dat商品->setAllowAppend(true);
    m_work = std::make_unique<MasterWork>(
        ctx, MasterTable{"商品マスタ", "w商品マスタ", {"品名", "単位", "単価", "非課税", "軽減"}, QStringLiteral("商品情報"),
                    {"単価"}, {"非課税", "軽減"}},
        ui->Grid商品マスタ, dat商品);

    connect(ui->cmd商品読込, &QPushButton::clicked, this, [this] {
        if (m_work->mayDiscard())
            Read商品マスタ();
    });
    connect(ui->cmd商品登録, &QPushButton::clicked, this, [this] { Entry商品情報(); });
    connect(ui->cmd商品削除, &QPushButton::clicked, this, [this] { Delete商品(); });
    connect(ui->cmd商品クリア, &QPushButton::clicked, this, [this] {
        if (m_work->mayDiscard())
            Clear商品情報();
    });
    connect(ui->cmd商品CSV出力, &QPushButton::clicked, this, [this] { m_work->exportCsv(); });
    connect(ui->cmd商品CSV読込, &QPushButton::clicked, this, [this] { m_work->importCsv(); });
}

ProductTab::~ProductTab() { delete ui; }

void ProductTab::formInit()
{
    DataGrid *grid = ui->Grid商品マスタ;
    grid->setTabStops({1, 2, 3});
    grid->setDataControl(dat商品);
    grid->setColumnLayout(0, 374);
    grid->setColumnLayout(1, 5444.788);
    grid->setColumnLayout(2, 675.2126);
    grid->setColumnLayout(3, 1170.142);
    grid->setColumnLayout(4, 840.189);
    grid->fitColumn(3, QStringLiteral("-99,999,999"));
    grid->fitColumn(4);
    grid->setColumnLayout(5, 600);
    grid->fitColumn(5);
    grid->stretchColumn(1);
}
