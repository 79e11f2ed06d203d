#pragma once
// A document's page (the estimate's, a delivery note's, an invoice's): header boxes, the item grid, totals; saving, loading, clearing
// and deleting go through EstimateStore.

#include "estimate/EstimateStore.h"
#include "store/Numbering.h"

#include <QWidget>
#include <memory>

namespace Ui { class EstimateTab; }
class WorkTableModel;
class GridDropDown;
class QStringListModel;
class QTimer;
class QPushButton;
class DocumentPanel;

// Columns of w明細 as the grid shows them.
enum DetailColumn { Col行番号 = 0, Col品名, Col数量, Col単位, Col単価, Col金額, Col非課税, Col軽減 };

class EstimateTab : public QWidget {
    Q_OBJECT
public:
    // A page of one kind of document: the estimate's, or a later kind's with its own fields.
    EstimateTab(QuoteDeskContext &ctx, QWidget *parent = nullptr, DocKind kind = DocKind::Estimate);
    ~EstimateTab() override;
    DocKind kind() const { return m_store.kind(); }
    QString label() const { return m_store.names().label; }
    // The later kinds' fields (nullptr on the estimate's page).
    DocumentPanel *panel() const { return m_panel; }
    // Shows a new, unstored document made from others (a conversion): under the next number.
    void showConverted(const Estimate &e);

    Ui::EstimateTab *ui;
    WorkTableModel *dat明細 = nullptr;
    WorkTableModel *dat商品参照 = nullptr;
    GridDropDown *DD商品参照 = nullptr;

    // Binds the data controls and lays out the date box and the grid.
    void formInit();

    void Clear見積書(bool newEstimate);
    // The item drop-down and the customer list as a new estimate has them: re-read from their
    // masters at their first use after a reset, and only when a master changed meanwhile.
    void ensureLists();
    void ensureProductList();
    void ensureCustomerList();
    // The clear button: asks first when something on screen is not stored.
    void clearRequested();
    void Clear明細ワーク();
    // The work rows blank again as the program ends, so that the next start writes nothing.
    void leaveBlank()
    {
        m_store.rebuildWork();
        m_store.clearScreen(); // a normal close leaves nothing to recover
    }
    void SetDD品名();
    void Seek商品();
    void Calc明細();
    void Delete見積書();
    void AddCmb顧客名();
    QVariant Seek顧客情報(const QString &name);
    // Asks, then stores the estimate on screen; true when it was stored.
    bool Entry見積書();
    // Shows the estimate stored under the number in txtNo, or a blank one under it.
    void Read見積書();
    // Turns the estimate on screen into a new, unstored one under the next free number.
    void Copy見積書();
    // The list of stored estimates; the one chosen there is opened (or copied).
    void openList();
    // Grid lines: a blank line moves the ones below down (the grid grows when its last row is
    // filled; refused only at the most a document holds); a deleted line's followers move up and
    // a blank last line follows.
    void insertLine(int row);
    void deleteLine(int row);
    // The row becomes a heading, a subtotal, a discount, a note or an item again (one step to undo).
    void setRowKind(int row, RowKind kind);
    RowKind rowKind(int row) const;
    // The work table's column that holds each row's kind: always the last.
    int kindColumn() const;

    // The estimate as the window shows it, with the work rows; false when the grid could
    // not be written or read (already reported). Without commitEdits, an open cell or a date
    // being typed stays as it is and nothing is reported.
    bool windowEstimate(Estimate &e, bool commitEdits = true);

    // What a crash left unstored in the work file, read before the first reset blanks its
    // lines; offered back once the window is up.
    std::optional<UnstoredScreen> takeUnstoredScreen();
    void offerRecovery(const UnstoredScreen &s);
    EstimateStore &store() { return m_store; }
    // True when the estimate on screen differs from what the window last set, loaded or stored.
    bool hasUnstoredChanges();

    // Product look-up: input (trimmed name) and result, overwritten by each look-up.
    QString seekName;
    QString seekUnit;
    Money seekPrice;
    bool seekExempt = false;
    bool seekReduced = false;

    // The rules the totals on screen follow: the settings' for a new estimate, a stored
    // estimate's own once it is loaded.
    const TaxRules &rules() const { return m_rules; }
    // The settings changed: a new estimate follows them, a loaded one keeps its own.
    void settingsChanged();
    // The own company's name and details as the settings have them.
    void showCompany();
    // The figures as the last Calc明細 found them; rates is empty for a single rate.
    const QVector<RateTotal> &rateTotals() const { return m_totals.rates; }
    const Totals &totals() const { return m_totals; }

signals:
    void closeRequested();
    // The stored document on screen is to become a document of kind.
    void convertRequested(DocKind kind);
    // Chosen in the list: stored documents of kind to become one of target; one to open.
    void listConversion(DocKind kind, const QVector<int> &numbers, DocKind target);
    void openRequested(DocKind kind, int number);
    // The invoice page's 入金 button.
    void paymentRequested();
    // A receipt for the latest payment against this invoice.
    void receiptRequested();
    // The month's invoice of a customer from the 納品書 of the period.
    void closingRequested();
    // The stored invoice or credit note as a digital invoice (JP PINT XML); a received one read.
    void xmlRequested();
    void xmlReadRequested();
    void hintRequested();
    void printRequested();
    void issuedListRequested();
    // The number or the customer on screen changed (for the window's title).
    void captionChanged(const QString &number, const QString &customer);
    // A line for the window's status line.
    void statusMessage(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void blankHeader();
    void showHeader(const Estimate &e);
    void showHeaderTexts(const Estimate &e); // all but the three totals
    void numberLeft();
    bool refuseNumber(const EstimateNumber &n);
    void cellCommitted(int row, int column);
    bool acceptEdit(int row, int column, const QVariant &value);
    bool lineIsFilled(int row) const;
    void setupRowKinds();
    // A row appended once the last one is filled, so that there is always one to type into.
    void growAfter(int row);
    // The grid holds rows rows (a paste of many): the work table grows, the grid re-reads it.
    void growTo(int rows);
    // Each subtotal row shows what its items add up to now.
    void showSubtotals(const QVector<EstimateLine> &lines);
    // Asks before what is on screen and not stored is replaced by what subject names.
    bool mayReplaceScreen(const QString &subject);
    void lineAmount(int row);
    void nameCommitted(int row);
    // Says which field cannot hold the value; the cell keeps what it had.
    bool refuseEdit(int row, int column, const QString &field);
    // The line amounts again, after the rules they are rounded by changed.
    void recomputeAmounts();
    void gridKeyDown(int &key, Qt::KeyboardModifiers shift);
    void switchIme();
    void customerLeft();
    void toFirstLine();
    void markUnchanged();
    // Keeps the screen in the work file a moment after it changed (and forgets it once it
    // is stored or cleared).
    void watchScreen();
    void keepScreen();
    void forgetScreen();
    void restoreScreen(const UnstoredScreen &s);
    // Undo: the grid's lines before each change, and after each undone one.
    void watchUndo();
    QVector<EstimateLine> gridLines() const;
    void rememberLines();
    void forgetUndo();
    void stepLines(bool back);
    bool checkEdit(int row, int column, const QVariant &value);
    void setupKeyboard();
    void setupKind();
    // A delivery note's or an invoice's own refusals and questions before it is stored.
    bool laterKindAccepts(const Estimate &e);
    // "変換済: 請求書 No.3": what the stored document was converted into.
    void showConversions(int number);
public:
    // An invoice's payment state beside its fields (nothing for other kinds).
    void showPaymentState(int number);

private:
    void setConvertedText(const QString &text);
    QPushButton *addConvertButton(DocKind target, const QString &caption = {});
    QPushButton *addButton(const QString &name, const QString &caption, const QString &tip);
    void showTaxMode();
    void takeSettingsRules();
    void showRates();
    DbResult storeChecked(const Estimate &e, QString &done);
    // The save question, naming the estimate and whether it replaces a stored one.
    bool askToStore(const Estimate &e, int number);

    QuoteDeskContext &m_ctx;
    EstimateStore m_store;
    DocumentPanel *m_panel = nullptr;
    QStringListModel *m_customerNames = nullptr;
    // txtNo as the window last set or loaded it: leaving the box unchanged reloads nothing.
    QString m_shownNumber;

public:
    // What the screen's number holds as far as this window knows: the version it read, 0 for a
    // new estimate or a number typed and not read. Issuing checks it.
    qlonglong shownVersion() const;

private:
    // What was stored under m_shownNumber when the window read it (0: nothing, a new estimate).
    qlonglong m_storedVersion = 0;
    bool m_inNumberCheck = false;
    Estimate m_unchanged; // what "nothing to store" looks like
    TaxRules m_rules;
    bool m_ownRules = false; // a stored estimate's rules are on screen
    Totals m_totals;
    bool m_tracking = false;
    QTimer *m_keepTimer = nullptr;
    bool m_screenKept = false; // this run wrote the screen to the work file
    using GridRows = QVector<QVector<QVariant>>;
    QVector<GridRows> m_undo, m_redo;
    bool m_inPaste = false, m_restoring = false;
    // The stored estimate this one was loaded or copied from: values it still carries
    // unchanged are not written back over the masters.
    std::optional<Estimate> m_basis;
    // A reset makes the lists due; what the masters' change counts were when last read.
    bool m_productsDue = false, m_customersDue = false;
    qlonglong m_productsRead = -2, m_customersRead = -2;
};
