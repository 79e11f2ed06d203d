#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"

#include "ui/DataGrid.h"
#include "ui/InputMethod.h"
#include "ui/MessageCatalogue.h"
#include "values/Totals.h"
#include "store/Helpers.h"
#include "ui/WorkTableModel.h"
#include "documents/DocumentPanel.h"

#include <QAbstractButton>
#include <QCompleter>
#include <QShortcut>
#include <QDate>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringListModel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <utility>

namespace {
// Drawn rather than looked up in the icon theme, which costs start-up time.
QIcon hintIcon()
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2a, 0x6f, 0xb5));
    p.setPen(Qt::NoPen);
    p.drawEllipse(pm.rect().adjusted(1, 1, -1, -1));
    // The question mark as strokes: text would load a font before the window is up.
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath mark;
    mark.moveTo(7, 7.5);
    mark.cubicTo(7, 4, 13, 4, 13, 7.5);
    mark.cubicTo(13, 10, 10, 10, 10, 12.5);
    p.drawPath(mark);
    p.drawPoint(QPointF(10, 15.5));
    return QIcon(pm);
}

const Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
const Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
const Qt::Alignment kCentre = Qt::AlignCenter;
} // namespace

EstimateTab::EstimateTab(QuoteDeskContext &ctx, QWidget *parent, DocKind kind)
    : QWidget(parent), ui(new Ui::EstimateTab), m_ctx(ctx), m_store(ctx, kind)
{
    ui->setupUi(this);
    setObjectName(m_store.names().page);
    ui->cmdHint->setIcon(hintIcon());
    ui->num税抜計->setMinimumWidth(120);
    ui->num消費税->setMinimumWidth(100);
    ui->num合計->setMinimumWidth(120);
    ui->txtNo->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Captions take their own width; the boxes and the own-company column share the rest.
    for (QLabel *l : {ui->Label13, ui->Lbl件名, ui->Lbl納期, ui->Lbl支払条件, ui->Lbl受渡場所, ui->lbl有効期限})
        l->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    ui->headerLayout->setColumnMinimumWidth(3, 260);

    QVector<WorkColumn> columns{{"行番号", ColumnKind::Integer, "行番号", kRight},
                                {"品名", ColumnKind::Text, QStringLiteral("品　　  名"), kLeft},
                                {"数量", ColumnKind::Real, "数量", kRight, true},
                                {"単位", ColumnKind::Text, "単位", kCentre},
                                {"単価", ColumnKind::Currency, "単価", kRight, true},
                                {"金額", ColumnKind::Currency, QStringLiteral("金　額"), kRight, true},
                                {"非課税", ColumnKind::YesNo, "非課税", kCentre},
                                {"軽減", ColumnKind::YesNo, "軽減", kCentre}};
    if (kind != DocKind::Estimate) // the 納品書 a line came from: kept with the row, not shown
        columns << WorkColumn{"納品書番号", ColumnKind::Integer, "納品書", kRight};
    columns << WorkColumn{"行種別", ColumnKind::Text, "種別", kLeft}; // last: shown in the rows' margin
    dat明細 = new WorkTableModel(ctx.work, m_store.names().work, columns, QStringLiteral("行番号"), this);
    dat明細->setObjectName(QStringLiteral("dat明細"));
    dat商品参照 = new WorkTableModel(ctx.work, QStringLiteral("w商品参照"),
                                    {{"品名", ColumnKind::Text, "品名", kLeft},
                                     {"単位", ColumnKind::Text, "単位", kCentre},
                                     {"単価", ColumnKind::Currency, "単価", kRight, true},
                                     {"非課税", ColumnKind::YesNo, "非課税", kCentre},
                                     {"ふりがな", ColumnKind::Text, "ふりがな", kLeft},
                                     {"軽減", ColumnKind::YesNo, "軽減", kCentre}},
                                    QStringLiteral("id"), this);
    dat商品参照->setObjectName(QStringLiteral("dat商品参照"));
    DD商品参照 = new GridDropDown(dat商品参照, 0, this);
    DD商品参照->beforeUse = [this] { ensureProductList(); };
    DD商品参照->setObjectName(QStringLiteral("DD商品参照"));

    m_customerNames = new QStringListModel(this);
    ui->cmb顧客名->setModel(m_customerNames);
    // Suggest names without rewriting what the user types.
    ui->cmb顧客名->completer()->setCompletionMode(QCompleter::PopupCompletion);
    ui->cmb顧客名->completer()->setFilterMode(Qt::MatchContains); // 山田 finds 株式会社山田商店
    ui->cmb顧客名->installEventFilter(this);
    ui->txtNo->installEventFilter(this);
    ui->cmb敬称->addItems({QStringLiteral("様"), QStringLiteral("御中")});
    ui->Label4->hide(); // the honorific is chosen in cmb敬称 now; "様" stays its first entry
    ui->cmb敬称->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    ui->honorificLayout->addStretch();

    DataGrid *grid = ui->Grid明細;
    grid->keyDownHandler = [this](int &key, Qt::KeyboardModifiers shift) { gridKeyDown(key, shift); };
    connect(dat明細, &WorkTableModel::userEdited, this, &EstimateTab::cellCommitted);
    dat明細->editCheck = [this](int row, int column, const QVariant &v) { return acceptEdit(row, column, v); };
    // Tab and Enter walk the cells that are typed into; the amount and ticks by arrow or mouse.
    grid->setTabStops({Col品名, Col数量, Col単位, Col単価});
    grid->rowInsertHandler = [this](int row) { insertLine(row); };
    grid->rowDeleteHandler = [this](int row) { deleteLine(row); };
    connect(grid, &DataGrid::focusReceived, this, &EstimateTab::switchIme);
    connect(grid, &DataGrid::currentCellChanged, this, [this](int, int) { switchIme(); });
    connect(grid, &DataGrid::commitFailed, this, [](const QString &e) { reportFailure(DbResult::failure(e)); });

    connect(ui->cmd登録, &QPushButton::clicked, this, [this] { Entry見積書(); });
    connect(ui->cmd印刷, &QPushButton::clicked, this, &EstimateTab::printRequested);
    connect(ui->cmd一覧, &QPushButton::clicked, this, [this] { openList(); });
    connect(ui->cmd発行履歴, &QPushButton::clicked, this, &EstimateTab::issuedListRequested);
    connect(ui->cmd複写, &QPushButton::clicked, this, [this] { Copy見積書(); });
    connect(ui->cmdクリア, &QPushButton::clicked, this, [this] { clearRequested(); });
    connect(ui->cmd削除, &QPushButton::clicked, this, [this] { Delete見積書(); });
    connect(ui->cmd閉じる, &QPushButton::clicked, this, &EstimateTab::closeRequested);
    connect(ui->cmdHint, &QToolButton::clicked, this, &EstimateTab::hintRequested);
    auto caption = [this] { emit captionChanged(ui->txtNo->text(), ui->cmb顧客名->currentText()); };
    connect(ui->txtNo, &QLineEdit::textChanged, this, caption);
    connect(ui->cmb顧客名, &QComboBox::editTextChanged, this, caption);
    setupKeyboard();
    setupKind();
}

void EstimateTab::setupKeyboard()
{
    const std::pair<QKeySequence, QAbstractButton *> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_S), ui->cmd登録},
        {QKeySequence(Qt::CTRL | Qt::Key_P), ui->cmd印刷},
        {QKeySequence(Qt::CTRL | Qt::Key_N), ui->cmdクリア},
        {QKeySequence(Qt::Key_F3), ui->cmd一覧},
        {QKeySequence(Qt::Key_F4), ui->cmd発行履歴},
    };
    for (const auto &[key, button] : keys) {
        auto *shortcut = new QShortcut(key, this, button, &QAbstractButton::click, Qt::WidgetWithChildrenShortcut);
        shortcut->setObjectName(button->objectName() + QStringLiteral("Key"));
        button->setToolTip(button->toolTip() + QStringLiteral("（") + key.toString(QKeySequence::NativeText) +
                           QStringLiteral("）"));
    }
    // The header in the order it is seen, then the lines.
    QWidget *order[] = {ui->txtNo, ui->dt日付, ui->cmb顧客名, ui->txt顧客情報, ui->txt件名, ui->txt納期,
                        ui->txt支払条件, ui->txt受渡場所, ui->txt有効期限, ui->Grid明細};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void EstimateTab::showTaxMode()
{
    QString text = QStringLiteral("税区分: ") + m_rules.mode;
    if (m_rules.mode == QStringLiteral("外税") || m_rules.mode == QStringLiteral("内税"))
        text += QStringLiteral(" %1% %2").arg(m_rules.rate).arg(m_rules.rounding);
    ui->lbl税区分表示->setText(text);
}

void EstimateTab::showRates()
{
    QStringList lines;
    for (const RateTotal &r : m_totals.rates)
        lines << QStringLiteral("%1%対象%2 %3 消費税 %4")
                     .arg(r.rate)
                     .arg(r.reduced ? QStringLiteral("※") : QString())
                     .arg(r.base.toGroupedString().isEmpty() ? QStringLiteral("0") : r.base.toGroupedString())
                     .arg(r.tax.toGroupedString().isEmpty() ? QStringLiteral("0") : r.tax.toGroupedString());
    ui->lbl税率別->setText(lines.join(QStringLiteral("\n")));
    ui->lbl税率別->setVisible(!lines.isEmpty());
}

void EstimateTab::takeSettingsRules()
{
    m_rules = TaxRules{m_ctx.taxMode, m_ctx.taxRate, m_ctx.rounding};
    // What a receipt names was received: its amounts contain their tax, whatever the estimates use.
    if (kind() == DocKind::Receipt && m_rules.mode == QStringLiteral("外税"))
        m_rules.mode = QStringLiteral("内税");
    m_ownRules = false;
}

void EstimateTab::settingsChanged()
{
    if (m_ownRules)
        return; // a stored estimate keeps the rules it was computed with
    const QString before = m_rules.lineRounding();
    takeSettingsRules();
    if (m_rules.lineRounding() != before)
        recomputeAmounts();
    Calc明細();
}

void EstimateTab::markUnchanged()
{
    m_tracking = windowEstimate(m_unchanged);
    forgetScreen();
    forgetUndo(); // another document: nothing of the last one to undo
}

bool EstimateTab::hasUnstoredChanges()
{
    Estimate now;
    return m_tracking && windowEstimate(now) && !sameContent(now, m_unchanged);
}

EstimateTab::~EstimateTab() { delete ui; }

void EstimateTab::formInit()
{
    DataGrid *grid = ui->Grid明細;
    grid->setDataControl(dat明細);
    grid->setDropDown(Col品名, DD商品参照);
    grid->setColumnLayout(Col行番号, 0, false);
    grid->setColumnLayout(Col品名, 4400);
    grid->setColumnLayout(Col数量, 1000);
    grid->setColumnLayout(Col単位, 720.0001);
    grid->setColumnLayout(Col単価, 1000);
    grid->setColumnLayout(Col金額, 1244.976);
    grid->setColumnLayout(Col非課税, 500);
    // The widths above are minimums: the largest allowed values show whole.
    grid->fitColumn(Col数量, QStringLiteral("-999,999.99"));
    grid->fitColumn(Col単位, QStringLiteral("セット"));
    grid->fitColumn(Col単価, QStringLiteral("-99,999,999"));
    grid->fitColumn(Col金額, QStringLiteral("-9,999,999,999"));
    grid->fitColumn(Col非課税);
    grid->setColumnLayout(Col軽減, 500);
    grid->fitColumn(Col軽減);
    grid->stretchColumn(Col品名);
    if (kind() != DocKind::Estimate)
        grid->setColumnHidden(Col軽減 + 1, true); // the 納品書 a line came from: kept, not typed
    grid->setColumnHidden(kindColumn(), true);
    setupRowKinds();

    ui->dt日付->setDisplayFormat(QStringLiteral("yyyy年MM月dd日"));
    ui->dt日付->setFixedWidth(int(1980 / 15));
    watchScreen();
    watchUndo();
}

void EstimateTab::blankHeader()
{
    ui->num税抜計->clearValue();
    ui->num消費税->clearValue();
    ui->num合計->clearValue();
    ui->cmb顧客名->setEditText(QString());
    ui->txt顧客情報->setPlainText(QString());
    ui->txt件名->clear();
    ui->txt納期->clear();
    ui->txt支払条件->clear();
    ui->txt有効期限->clear();
    ui->txt受渡場所->clear();
    ui->dt日付->setDateText(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    showCompany();
    ui->cmb敬称->setCurrentIndex(0);
    if (m_panel)
        m_panel->clear();
    setConvertedText(QString());
}

void EstimateTab::showCompany()
{
    ui->lbl自社名->setText(m_ctx.companyName);
    ui->lbl自社情報->setText(m_ctx.companyInfo);
}

void EstimateTab::clearRequested()
{
    if (hasUnstoredChanges() && !Msg(QStringLiteral("クリア"), QStringLiteral("確認")))
        return;
    Clear見積書(true);
}

void EstimateTab::Clear見積書(bool newEstimate)
{
    blankHeader();
    Clear明細ワーク();
    if (newEstimate) {
        if (m_ctx.refreshSettings)
            m_ctx.refreshSettings();
        takeSettingsRules();
        m_basis.reset();
    }
    showTaxMode();
    m_totals = Totals();
    showRates();
    if (!newEstimate) {
        markUnchanged();
        return;
    }
    m_productsDue = m_customersDue = true; // read at first use, and only when changed
    if (ui->cmb顧客名->hasFocus())
        ensureCustomerList();
    DbResult r;
    const QVariant next = Proc管理(m_ctx.main, m_store.names().counter, QStringLiteral("Get"), 0, &r);
    reportFailure(r);
    ui->txtNo->setText(next.toString());
    m_shownNumber = ui->txtNo->text();
    m_storedVersion = 0;
    markUnchanged();
}

void EstimateTab::ensureLists()
{
    ensureProductList();
    ensureCustomerList();
}

void EstimateTab::ensureProductList()
{
    if (!std::exchange(m_productsDue, false))
        return;
    const qlonglong changes = m_store.changeCount(QStringLiteral("商品マスタ"));
    if (changes < 0 || changes != m_productsRead)
        SetDD品名();
    m_productsRead = changes;
}

void EstimateTab::ensureCustomerList()
{
    if (!std::exchange(m_customersDue, false))
        return;
    const qlonglong changes = m_store.changeCount(QStringLiteral("顧客マスタ"));
    if (changes < 0 || changes != m_customersRead)
        AddCmb顧客名();
    m_customersRead = changes;
}

void EstimateTab::Clear明細ワーク()
{
    reportFailure(m_store.rebuildWork());
    dat明細->refresh();
    toFirstLine();
}

void EstimateTab::toFirstLine()
{
    // The next line typed belongs in row 1, wherever the grid was scrolled to.
    ui->Grid明細->scrollToTop();
    ui->Grid明細->setCurrentCell(0, Col品名);
}

void EstimateTab::SetDD品名()
{
    reportFailure(m_store.reloadProductList());
    dat商品参照->refresh();
}

void EstimateTab::AddCmb顧客名()
{
    QStringList names;
    if (!reportFailure(m_store.customerNames(names)) || names.isEmpty())
        return; // an empty master leaves the list as it was
    const QString text = ui->cmb顧客名->currentText();
    m_customerNames->setStringList(names);
    ui->cmb顧客名->setCurrentIndex(-1);
    ui->cmb顧客名->setEditText(text);
}

QVariant EstimateTab::Seek顧客情報(const QString &name) { return m_store.customerDetails(name); }

void EstimateTab::customerLeft()
{
    const QString name = ui->cmb顧客名->currentText();
    if (name.isEmpty()) {
        ui->txt顧客情報->setPlainText(QString());
        return;
    }
    // Details typed for a customer not in the master stay as they are.
    const QVariant details = Seek顧客情報(name);
    if (!details.isNull())
        ui->txt顧客情報->setPlainText(details.toString());
    if (const QString honorific = m_store.customerHonorific(name); !honorific.isEmpty())
        ui->cmb敬称->setCurrentIndex(std::max(0, ui->cmb敬称->findText(honorific)));
    if (m_panel)
        m_panel->customerChosen(m_store.customerInvoiceRule(name));
}

bool EstimateTab::eventFilter(QObject *watched, QEvent *event)
{
    if (m_ctx.closing)
        return QWidget::eventFilter(watched, event);
    if (watched == ui->cmb顧客名 && event->type() == QEvent::FocusIn)
        ensureCustomerList();
    // The editable box keeps the focus itself; its text line is only a proxy.
    if (watched == ui->cmb顧客名 && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason)
            customerLeft();
    }
    // Switching to another program is not leaving the box; the user comes back to it.
    if (watched == ui->txtNo && event->type() == QEvent::FocusOut && !m_inNumberCheck) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            m_inNumberCheck = true;
            numberLeft();
            m_inNumberCheck = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}
