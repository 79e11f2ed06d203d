#include "masters/CustomerTab.h"
#include "ui_CustomerTab.h"

#include "ui/DataGrid.h"
#include "ui/WorkTableModel.h"
#include "values/Closing.h"

const MasterTable &customerMaster()
{
    // A CSV an older version wrote has the name and the details only.
    static const MasterTable t{"顧客マスタ", "w顧客マスタ", {"顧客名", "顧客情報", "支払期限規則", "源泉徴収", "締日"},
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
                                  {"源泉徴収", ColumnKind::YesNo, "源泉徴収", Qt::AlignCenter},
                                  {"締日", ColumnKind::Text, "締日"}},
                                 QStringLiteral("id"), this);
    dat顧客->setObjectName(QStringLiteral("dat顧客"));
    dat顧客->setAllowAppend(true);
    m_work = std::make_unique<MasterWork>(
        ctx, customerMaster(),
        ui->Grid顧客マスタ, dat顧客);
    m_work->refusal = [this] { return closingDayRefusal(); };

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
    grid->setColumnLayout(5, 800);
    grid->stretchColumn(2);
    ui->Grid顧客マスタ->setToolTip(QStringLiteral("請求書の支払期限: 「月末締め翌月末払い」「翌月末」「翌月10日」「30日」など。"
                                                "締日: 末日・5日・10日・15日・20日・25日（締め請求に使います）"));
}

QString CustomerTab::closingDayRefusal() const
{
    for (int row = 0; row < dat顧客->rowCount(); ++row) {
        const QString day = dat顧客->value(row, 5).toString();
        if (!dat顧客->value(row, 1).toString().trimmed().isEmpty() && !closingDayOf(day))
            return QStringLiteral("顧客「%1」の締日「%2」は使えません。末日・5日・10日・15日・20日・25日のどれかを入力してください。")
                .arg(dat顧客->value(row, 1).toString(), day);
    }
    return {};
}
