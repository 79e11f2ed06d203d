#pragma once
// The main window: opens the data files, holds the shared state and wires the four tabs.

#include "estimate/EstimateStore.h"
#include "store/Context.h"

#include <QPointer>
#include <QWidget>

class QTabWidget;
class QProgressBar;
class QStatusBar;
class EstimateTab;
class CustomerTab;
class ProductTab;
class SettingsTab;
class Hint;
class GuideWindow;
class IntegrityWatch;
struct IntegrityReport;
struct PrintRecord;

inline const QString kVersion = QStringLiteral("1.20");
inline const QString kLastUpdate = QStringLiteral("2007/04/04");
inline const QString kCaption = QStringLiteral("見積書 KALMIR Ver ");

class FrmQuoteDesk : public QWidget {
    Q_OBJECT
public:
    explicit FrmQuoteDesk(const QString &dataFolder, QWidget *parent = nullptr);
    ~FrmQuoteDesk() override;

    // False when a data file could not be opened; loadError() names it with the engine's text.
    bool isLoaded() const { return m_loaded; }
    QString loadError() const { return m_loadError; }

    QuoteDeskContext &context() { return m_ctx; }
    EstimateTab *estimateTab() const { return m_estimate; }
    // The page of a kind, built at its first use; the estimate's page for the estimate.
    EstimateTab *documentTab(DocKind kind);
    // The pages built so far, the estimate's first.
    QVector<EstimateTab *> documentTabs() const;
    // The page a print is for: the one whose button was pressed, else the document page shown
    // (the estimate's when another page is).
    EstimateTab *shownDocument() const;
    // A new document of target made from stored sources of kind (several 納品書 of one
    // customer make one invoice), shown on target's page; false when refused or declined.
    bool convertStored(DocKind kind, const QVector<int> &numbers, DocKind target);
    // The other pages, built at their first use.
    CustomerTab *customerTab();
    ProductTab *productTab();
    SettingsTab *settingsTab();
    void buildAllPages();

    void FormInit();
    // The print record from the window (false when the grid could not be read, reported).
    bool printRecord(PrintRecord &record);
    // Fills the print record and shows the sheet in its preview.
    void SetPrnData見積書A4(bool preview);
    // Close sequence: both handles, every other window, then the end of the program.
    void unload();
    void bringToFront();
    // The program's own start: a folder nobody has set up yet is offered the set-up once the
    // window is up.
    void offerSetupWhenShown() { m_offerSetup = true; }
    // The hint button: opens the hint window, or only raises it when it is open.
    void showHint();
    Hint *hintWindow() const;

    // What start-up had to repair and the user hears once the window is up.
    const QStringList &startNotices() const { return m_notices; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    bool openFiles(const QString &dataFolder);
    bool refreshSettings();
    qlonglong m_settingsRead = -1;
    void buildWindow();
    void pageShown(int index);
    // A page per kind, in the kinds' order, then the masters and the settings.
    static constexpr int kCustomerPage = int(kAllKinds.size()), kProductPage = kCustomerPage + 1,
                         kSettingsPage = kCustomerPage + 2;
    static int pageOf(DocKind kind) { return int(kind) - 1; }
    void connectDocument(EstimateTab *tab);
    // The page's stored document becomes one of target: stored first, after asking, when it is not.
    void convertFrom(EstimateTab *tab, DocKind target);
    void openDocument(DocKind kind, int number);
    void recordPayment(EstimateTab *tab);
    void makeReceipt(EstimateTab *tab);
    bool closeMonth(const QString &customer);
    // The stored document on tab as 請求書No.N.xml in the documents folder; false when refused
    // (said why), declined or not written. The documents received, to find, read and keep.
    bool exportXml(EstimateTab *tab);
    void readXml();
    bool showConversion(struct Conversion &c, DocKind target, const QString &from);
    std::array<EstimateTab *, kAllKinds.size()> m_pages{}; // the estimate's first, the others once built
    EstimateTab *m_printFrom = nullptr; // the page whose print button was pressed
    void openGuide();
    void placeWindow();
    void showCaption(const QString &number, const QString &customer);
    // Once the window is up: the notices, then the check of the files on a thread of its own.
    void afterFirstShow();
    void integrityChecked(const IntegrityReport &report);

    QuoteDeskContext m_ctx;
    bool m_loaded = false;
    bool m_unloaded = false;
    QString m_loadError;
    QTabWidget *SSTab1 = nullptr;
    QProgressBar *PBar = nullptr;
    QStatusBar *m_status = nullptr;
    EstimateTab *m_estimate = nullptr;
    CustomerTab *m_customers = nullptr;
    ProductTab *m_products = nullptr;
    SettingsTab *m_settings = nullptr;
    QPointer<Hint> m_hint;
    QPointer<GuideWindow> m_guide;
    QStringList m_notices;
    std::optional<UnstoredScreen> m_recovered; // offered once the window is up
    bool m_shown = false;
    bool m_offerSetup = false;
    void setupIfNew();
    IntegrityWatch *m_integrity = nullptr;
};
