#include "app/FrmQuoteDesk.h"
#include "server/ServerEngine.h"

#include "app/GuideWindow.h"
#include "archive/IssuedListDialog.h"
#include "app/ProcessEnd.h"
#include "ui/MessageCatalogue.h"
#include "ui/Boxes.h"
#include "ui/ServerWaitDialog.h"
#include "ui/Fonts.h"
#include "estimate/EstimateTab.h"
#include "hints/HintWindow.h"
#include "masters/CustomerTab.h"
#include "masters/ProductTab.h"
#include "masters/SettingsTab.h"
#include "documents/ReceivablesDialog.h"
#include "masters/SettingsStore.h"
#include "masters/SetupDialog.h"
#include "store/ArchiveAudit.h"
#include "store/DataFiles.h"
#include "store/Engine.h"
#include "store/ServerConfig.h"
#include "store/Integrity.h"
#include "store/SearchIndex.h"
#include "ui_EstimateTab.h"
#include "ui_SettingsTab.h"

#include <QApplication>
#include <QThread>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

FrmQuoteDesk::FrmQuoteDesk(const QString &dataFolder, QWidget *parent) : QWidget(parent)
{
    serverstore::install(); // the folder may name a server
    setObjectName(QStringLiteral("FrmQuoteDesk"));
    installFontSubstitutions();
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    // A server's answer may keep the window waiting: the cursor says so (the window's thread only).
    Db::setWaitHook([](bool waiting) {
        if (QThread::currentThread() != qApp->thread())
            return;
        if (waiting)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    installServerWaitDialog();
    m_loaded = openFiles(dataFolder);
    if (!m_loaded)
        return;
    buildWindow();
    setWindowTitle(kCaption + kVersion);
    m_settingsRead = SettingsStore(m_ctx.main).changeCount();
    std::optional<CompanySettings> stored;
    reportFailure(loadSettings(m_ctx, stored));
    m_ctx.refreshSettings = [this] { return refreshSettings(); };
    FormInit();
    m_recovered = m_estimate->takeUnstoredScreen(); // before the reset blanks its lines
    m_estimate->Clear見積書(true);
}

FrmQuoteDesk::~FrmQuoteDesk()
{
    m_ctx.closing = true;
    m_ctx.main.close();
    m_ctx.work.close();
}

bool FrmQuoteDesk::openFiles(const QString &dataFolder)
{
    m_ctx.dataFolder = dataFolder;
    m_ctx.permPath = QDir(dataFolder).filePath(schema::kPermFileName);
    m_ctx.workPath = QDir(dataFolder).filePath(schema::kWorkFileName);
    auto fail = [this](const DbResult &r) {
        m_loadError = QStringLiteral("QuoteDesk を起動できません。\n") + explainFailure(r);
        m_ctx.main.close();
        m_ctx.work.close();
        return false;
    };
    if (DbResult r = checkDataFolder(dataFolder); !r)
        return fail(r);
    // An office's server, when the folder names one; else the folder's own file.
    std::optional<ServerConfig> server;
    if (DbResult r = readServerFile(dataFolder, server); !r)
        return fail(r);
    if (server) {
        m_ctx.permPath.clear(); // no permanent file in this folder
        if (DbResult r = openServerData(m_ctx.main, *server); !r)
            return fail(r);
    } else if (DbResult r = openDataFile(m_ctx.main, m_ctx.permPath, schema::FileKind::Permanent, &m_notices); !r) {
        return fail(r);
    }
    // The work tables stay in the folder: grid edits never wait on a network.
    if (DbResult r = openDataFile(m_ctx.work, m_ctx.workPath, schema::FileKind::Work); !r)
        return fail(r);
    // On a file, the work handle reads the masters for its work copies, in one transaction with its own tables.
    if (!server)
        if (DbResult r = m_ctx.work.attach(m_ctx.permPath, schema::kPermAlias); !r)
            return fail(r);
    removeStaleSuperJournals(dataFolder);
    return true;
}

static QPixmap bannerPixmap()
{
    QPixmap pm(360, 48);
    pm.fill(QColor(0x1f, 0x4e, 0x79));
    QPainter p(&pm);
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 14, QFont::Bold));
    p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("QuoteDesk 使い方ガイド"));
    return pm;
}

void FrmQuoteDesk::placeWindow()
{
    // Fits any screen (1280 x 720, or 1920 x 1080 at 150 %); then where the user left it.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    resize(std::min(1000, screen.width() * 95 / 100), std::min(760, screen.height() * 92 / 100));
    const QByteArray saved = QSettings().value(QStringLiteral("window/geometry")).toByteArray();
    if (!saved.isEmpty())
        restoreGeometry(saved);
}

void FrmQuoteDesk::showCaption(const QString &number, const QString &customer)
{
    QString doc = QStringLiteral("No.") + number;
    if (!customer.trimmed().isEmpty())
        doc += QStringLiteral(" ") + customer.trimmed() + QStringLiteral(" 様");
    setWindowTitle(doc + QStringLiteral(" - ") + kCaption + kVersion);
}

// Drawn like the menu entry's icon, without an image plug-in for SVG.
static QIcon drawnWindowIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x1f, 0x4e, 0x79), 3));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(10, 4, 44, 56), 4, 4);
    p.fillRect(QRectF(11, 5, 42, 12), QColor(0x1f, 0x4e, 0x79));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe8, 0xa3, 0x17));
    p.drawEllipse(QPointF(44, 49), 9, 9);
    // The yen sign as strokes: text would load a font before the window is up.
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(39.5, 43), QPointF(44, 49));
    p.drawLine(QPointF(48.5, 43), QPointF(44, 49));
    p.drawLine(QPointF(44, 49), QPointF(44, 55.5));
    p.drawLine(QPointF(40.5, 50), QPointF(47.5, 50));
    p.drawLine(QPointF(40.5, 53), QPointF(47.5, 53));
    return QIcon(pm);
}

void FrmQuoteDesk::buildWindow()
{
    setWindowIcon(drawnWindowIcon());
    placeWindow();
    auto *layout = new QVBoxLayout(this);
    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    m_estimate = new EstimateTab(m_ctx, SSTab1);
    SSTab1->addTab(m_estimate, QStringLiteral("見積書"));
    // The other pages are built when they are first wanted: the window is up sooner.
    m_pages[0] = m_estimate;
    QStringList captions;
    for (DocKind k : kLaterKinds)
        captions << (k == DocKind::Credit ? QStringLiteral("返還") : kindNames(k).label);
    for (const QString &caption : captions + QStringList{"顧　客", "商　品", "設定・情報"}) {
        auto *holder = new QWidget(SSTab1);
        new QVBoxLayout(holder);
        holder->layout()->setContentsMargins(0, 0, 0, 0);
        SSTab1->addTab(holder, caption);
    }
    connect(SSTab1, &QTabWidget::currentChanged, this, &FrmQuoteDesk::pageShown);
    // Its size is not measured from the pages (hidden ones need no measuring before they are
    // shown); the stretch gives it all the height the status line does not need.
    layout->addWidget(SSTab1, 1);
    SSTab1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    PBar = new QProgressBar(this); // kept for the layout of the original window; nothing drives it
    PBar->setObjectName(QStringLiteral("PBar"));
    PBar->hide();
    layout->addWidget(PBar);
    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setSizeGripEnabled(false);
    layout->addWidget(m_status);

    connectDocument(m_estimate);
    new QShortcut(QKeySequence(Qt::Key_F1), this, this, &FrmQuoteDesk::openGuide);
    auto *owed = new QShortcut(QKeySequence(Qt::Key_F5), this, this, [this] {
        ReceivablesDialog dialog(m_ctx.main, this);
        runReceivables(dialog);
    });
    owed->setObjectName(QStringLiteral("key売掛"));
}

void FrmQuoteDesk::pageShown(int index)
{
    if (index > 0 && index < kCustomerPage)
        documentTab(DocKind(index + 1));
    else if (index == kCustomerPage)
        customerTab();
    else if (index == kProductPage)
        productTab();
    else if (index == kSettingsPage && settingsTab()->ui->Image2->pixmap().isNull())
        settingsTab()->ui->Image2->setPixmap(bannerPixmap()); // drawn when first seen
}

void FrmQuoteDesk::buildAllPages()
{
    customerTab();
    productTab();
    settingsTab();
}

CustomerTab *FrmQuoteDesk::customerTab()
{
    if (!m_customers && m_loaded) {
        m_customers = new CustomerTab(m_ctx);
        SSTab1->widget(kCustomerPage)->layout()->addWidget(m_customers);
        m_customers->formInit();
        m_customers->Clear顧客情報();
        connect(m_customers, &CustomerTab::mastersChanged, m_estimate, &EstimateTab::AddCmb顧客名);
    }
    return m_customers;
}

ProductTab *FrmQuoteDesk::productTab()
{
    if (!m_products && m_loaded) {
        m_products = new ProductTab(m_ctx);
        SSTab1->widget(kProductPage)->layout()->addWidget(m_products);
        m_products->formInit();
        m_products->Clear商品情報();
    }
    return m_products;
}

SettingsTab *FrmQuoteDesk::settingsTab()
{
    if (m_settings || !m_loaded)
        return m_settings;
    m_settings = new SettingsTab(m_ctx);
    SSTab1->widget(kSettingsPage)->layout()->addWidget(m_settings);
    m_settings->ui->lblInfo->setText(QStringLiteral("見積書 Ver ") + kVersion + QStringLiteral(" LastUpdate") +
                                     kLastUpdate + QStringLiteral("\n") +
                                     QStringLiteral("見積書タブで明細を入力し、「登録」で保存、「印刷」で見積書を印刷します。"));
    m_settings->ui->lblSupport->setText(QStringLiteral("ご不明な点は、下のバナーから使い方ガイドをご覧ください。"));
    m_settings->Clear設定();
    m_settings->Read設定();
    QComboBox *tax = m_settings->ui->cmb税区分;
    tax->clear();
    tax->addItems({QStringLiteral("内税"), QStringLiteral("外税"), QStringLiteral("非課税")});
    // The mode in effect, not "外税": storing the tab again must not quietly change it.
    tax->setCurrentIndex(tax->findText(m_ctx.taxMode));
    connect(m_settings, &SettingsTab::taxModeChanged, this, [this] {
        for (EstimateTab *t : documentTabs())
            t->settingsChanged();
    });
    connect(m_settings->ui->Image2, &ClickLabel::clicked, this, &FrmQuoteDesk::openGuide);
    m_settings->ui->Image2->setMinimumSize(360, 48);
    return m_settings;
}

void FrmQuoteDesk::FormInit()
{
    m_estimate->formInit();
}

void FrmQuoteDesk::openGuide()
{
    if (!m_guide)
        m_guide = new GuideWindow(this);
    m_guide->show();
    m_guide->raise();
    m_guide->activateWindow();
}

Hint *FrmQuoteDesk::hintWindow() const { return m_hint; }

void FrmQuoteDesk::showHint()
{
    m_ctx.hint = {objectName(), QStringLiteral("cmdHint"), windowTitle()};
    if (!m_hint)
        m_hint = new Hint(m_ctx, this);
    m_hint->show();
    m_hint->raise();
    m_hint->activateWindow();
}

void FrmQuoteDesk::bringToFront()
{
    showNormal();
    raise();
    activateWindow();
    QApplication::alert(this);
}

void FrmQuoteDesk::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shown || !m_loaded)
        return;
    m_shown = true;
    QTimer::singleShot(0, this, &FrmQuoteDesk::afterFirstShow);
}

void FrmQuoteDesk::afterFirstShow()
{
    for (const QString &notice : std::as_const(m_notices))
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), notice);
    if (const auto recovered = std::exchange(m_recovered, std::nullopt))
        m_estimate->offerRecovery(*recovered);
    if (m_offerSetup)
        setupIfNew();
    // A damaged page is found before it hurts, without keeping the user waiting for it.
    m_integrity = new IntegrityWatch(this);
    connect(m_integrity, &IntegrityWatch::finished, this, &FrmQuoteDesk::integrityChecked);
    // The server checks its own pages; the folder's files are checked here.
    QStringList files{m_ctx.workPath};
    if (!m_ctx.permPath.isEmpty())
        files.prepend(m_ctx.permPath);
    m_integrity->start(files, !m_ctx.permPath.isEmpty());
}

// Another desktop registered settings: the rules, the company and the seal are read again; the
// settings tab shows them unless it holds edits of its own.
bool FrmQuoteDesk::refreshSettings()
{
    const qlonglong now = SettingsStore(m_ctx.main).changeCount();
    if (now == m_settingsRead)
        return false;
    std::optional<CompanySettings> stored;
    if (!reportFailure(loadSettings(m_ctx, stored)))
        return false;
    m_settingsRead = now;
    if (m_settings && !m_settings->hasEdits())
        m_settings->showStored(stored);
    for (EstimateTab *t : documentTabs())
        t->showCompany();
    return true;
}

void FrmQuoteDesk::setupIfNew()
{
    std::optional<CompanySettings> stored;
    if (!SettingsStore(m_ctx.main).read(stored) || !needsSetup(stored) || !offerSetup(m_ctx.main, this))
        return;
    reportFailure(loadSettings(m_ctx, stored));
    if (m_settings)
        m_settings->Read設定();
    m_estimate->settingsChanged();
    m_estimate->showCompany();
}

void FrmQuoteDesk::integrityChecked(const IntegrityReport &report)
{
    if (m_unloaded)
        return;
    for (const QString &file : report.damagedFiles)
        Msg(QStringLiteral("その他"), QStringLiteral("注意"),
            damagedFileAdvice(file, m_ctx.dataFolder) + QStringLiteral("\n\n詳細: ") + report.detail);
    QString archive = report.archiveNotice;
    ArchiveStartCheck onServer; // the server's protections, asked of it once the window is up
    if (m_ctx.permPath.isEmpty() && checkArchiveAtStart(m_ctx.main, onServer))
        archive = onServer.notice();
    if (!archive.isEmpty())
        Msg(QStringLiteral("その他"), QStringLiteral("注意"), archive);
    if (report.indexDamaged && !report.damagedFiles.contains(m_ctx.permPath) &&
        reportFailure(searchindex::rebuild(m_ctx.main), QStringLiteral("検索用の索引を作り直")))
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), searchindex::rebuiltNotice());
}

void FrmQuoteDesk::closeEvent(QCloseEvent *event)
{
    // A slip of the mouse must not drop an estimate that was never stored.
    const QVector<EstimateTab *> pages = documentTabs();
    const bool unstored = m_estimate && (std::any_of(pages.begin(), pages.end(), [](EstimateTab *t) { return t->hasUnstoredChanges(); }) ||
                                         (m_customers && m_customers->hasUnregistered()) ||
                                         (m_products && m_products->hasUnregistered()));
    if (!m_unloaded && unstored && !Msg(QStringLiteral("その他"), QStringLiteral("終了確認"))) {
        event->ignore();
        return;
    }
    QSettings().setValue(QStringLiteral("window/geometry"), saveGeometry());
    unload();
    event->accept();
}

void FrmQuoteDesk::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_ctx.closing = true;
    // Nothing may report against handles that are closing.
    setFailuresQuiet(true);
    if (m_ctx.main.isOpen())
        engineOf(m_ctx.main).tidyAtClose(m_ctx.main);
    for (EstimateTab *t : documentTabs())
        t->leaveBlank();
    m_ctx.main.close();
    m_ctx.work.close();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (*it == this || !(*it)->isVisible())
            continue;
        (*it)->close();
        QCoreApplication::processEvents();
    }
    setFailuresQuiet(false);
    EndOwnProcess(this);
}
