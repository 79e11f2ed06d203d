#pragma once
#include <QHash>
// Stored estimates and the line-item work table, as plain values: no widgets here.

#include "store/Context.h"
#include "store/Engine.h"
#include "values/Totals.h"
#include "values/Money.h"
#include "values/RowKind.h"

#include <QDate>
#include <QDateTime>
#include <QVector>
#include <optional>
#include <utility>

struct EstimateLine {
    QString name;       // empty for an empty row
    std::optional<double> quantity;
    QVariant unit;      // text, or null
    std::optional<Money> price;
    std::optional<Money> amount;
    bool exempt = false;
    bool reduced = false; // taxed at the reduced rate
    // On an invoice: the 納品書 the line was delivered with; 0 for a line typed on it.
    int deliveryNumber = 0;
    RowKind kind = RowKind::Item;
    // Nothing typed and no kind chosen: where a document's stored lines end.
    bool isBlank() const { return name.isEmpty() && kind == RowKind::Item; }
};

// A document another was made from: an estimate, or the 納品書 an invoice bills.
struct DocLink {
    DocKind kind = DocKind::Estimate;
    int number = 0;
    QString date; // its date as stored (the 納品日 of a 納品書)
    bool operator==(const DocLink &) const = default;
};

// A document of any kind; an estimate uses none of the later kinds' fields.
struct Estimate {
    DocKind kind = DocKind::Estimate;
    int number = 0;
    QDate date;
    QString customerName, customerInfo, subject, paymentTerms, deliveryDate, deliveryPlace, validity;
    std::optional<Money> tax, net, grand; // as the boxes show them; nullopt is Null
    QString honorific;                    // "様" or "御中"; empty: Null, stored before there was a choice
    // The rules the figures were computed with; empty or 0: Null, stored before they were kept.
    QString taxMode, rounding;
    int taxRate = 0;
    QVector<EstimateLine> lines;
    // What was stored under the number when it was read: 0 for nothing (a new estimate).
    qlonglong version = 0;
    // The later kinds: the transaction's date (納品日, or the 取引年月日 an invoice names), the
    // invoice's due date, whether fees are withheld and what, a note, the sources.
    QString tradeDate, dueDate, note;
    bool withholding = false;
    std::optional<Money> withheld;
    QVector<DocLink> sources;
    // A monthly invoice: the period it closes (empty: not one) and its balance block.
    QString periodFrom, periodTo;
    Money previousBilled, received, credited;
    bool isClosing() const { return !periodTo.isEmpty(); }
};

// The estimate on screen as it was typed, not stored: under the number typed, over the stored
// version it was loaded from (0: a new one).
struct UnstoredScreen {
    QString number;
    qlonglong version = 0;
    Estimate estimate;
    QDateTime at;
};

struct ProductInfo {
    QString unit;
    Money price;
    bool exempt = false;
    bool reduced = false;
    bool found = false; // the name is in the master at all
};

struct CustomerInvoiceRule {
    bool found = false;
    QString dueRule; // see invoicerules::dueDateBy
    bool withholding = false;
    QString closingDay; // see closingDayOf
};

// What this desktop last read of each master row, as the window took it: a value still as read
// is not this desktop's change, so a save never writes it back over another desktop's.
struct MasterReads {
    QHash<QString, EstimateLine> products;                   // unit, price and marks as a line takes them
    QHash<QString, std::pair<QVariant, QString>> customers; // details, honorific
};

class EstimateStore {
public:
    explicit EstimateStore(QuoteDeskContext &ctx, DocKind kind = DocKind::Estimate) : m_ctx(ctx), m_kind(kind) {}
    DocKind kind() const { return m_kind; }
    const KindNames &names() const { return kindNames(m_kind); }

    // Registers the customer and the products of the lines, replaces whatever was stored
    // under the number and raises the counter: all of it, or nothing. basis: the stored
    // estimate e was loaded or copied from; a value e still carries unchanged from it only
    // fills a master row that does not exist yet, never overwrites one.
    // Unless overwrite, what is stored must still be e.version: otherwise nothing is written
    // and the code says whether the number was taken (TakenElsewhere) or the estimate changed
    // or deleted elsewhere (ChangedElsewhere).
    DbResult save(const Estimate &e, const Estimate *basis = nullptr, bool overwrite = false);
    // The same under the next number nobody holds; *number says which.
    DbResult saveUnderNextNumber(const Estimate &e, const Estimate *basis, int *number);
    // found is false when no header is stored under the number.
    DbResult load(int number, Estimate &out, bool &found);
    // Deletes what is stored under number while it is still version, what the window read
    // (else ChangedElsewhere, nothing deleted); -1 deletes whatever is stored.
    DbResult remove(int number, qlonglong version = -1);
    // The documents made from number of this kind, in the order they were stored.
    DbResult convertedInto(int number, QVector<DocLink> &into);
    // The customer's documents of this kind delivered (or dated) from..to, oldest first.
    DbResult deliveredBetween(const QString &customer, const QDate &from, const QDate &to, QVector<int> &out);
    // The customer's last monthly invoice closing before day; number 0 for none.
    DbResult lastClosingBefore(const QString &customer, const QDate &day, Estimate &out);
    // The documents of this kind whose note is note (a receipt names its payment there).
    DbResult receiptsNamed(const QString &note, QVector<DocLink> &out);
    // True once after a save or delete had to make the search index anew.
    bool takeIndexRebuilt() { return std::exchange(m_indexRebuilt, false); }

    // The kind's work table (w明細 for the estimate): the lines, then blank rows up to at least
    // kDetailRows and one blank row after the last line (at most kMaxRows rows in all).
    DbResult rebuildWork(const QVector<EstimateLine> &lines = {});
    // A blank work row at row (0-based) pushing the others down (a blank last row makes room,
    // else the table grows); and the reverse, a blank row appended as the last.
    DbResult insertWorkRow(int row);
    DbResult deleteWorkRow(int row);
    // Blank rows appended until the table has rows rows (never more than kMaxRows).
    DbResult growWork(int rows);
    // The row's kind in the work table.
    DbResult setWorkRowKind(int row, RowKind kind);
    // Every work row in order; a row whose name is blank after trimming has an empty name.
    DbResult readWork(QVector<EstimateLine> &rows);
    // The unstored screen in the work file: its header (the lines are the work rows).
    DbResult writeScreen(const UnstoredScreen &s);
    DbResult readScreen(std::optional<UnstoredScreen> &out);
    DbResult clearScreen();

    DbResult reloadProductList();
    // How often the master (顧客マスタ or 商品マスタ) has changed; -1 when it cannot be read.
    qlonglong changeCount(const QString &master);
    ProductInfo seekProduct(const QString &name);
    DbResult customerNames(QStringList &names);
    QVariant customerDetails(const QString &name);
    // The honorific last used for the customer; empty when none is known.
    QString customerHonorific(const QString &name);
    // How the customer's invoices are due and whether fees are withheld, as the master holds it.
    CustomerInvoiceRule customerInvoiceRule(const QString &name);

private:
    DbResult loadOnce(int number, Estimate &out, bool &found);
    DbResult saveOnce(const Estimate &e, const Estimate *basis, bool overwrite);
    DbResult removeOnce(int number, qlonglong version);
    // Runs a transaction again when the server broke a deadlock between two desktops.
    DbResult retried(const std::function<DbResult()> &transaction);
    EstimateRecord recordOf(const Estimate &e, const Estimate *basis, const MasterReads &reads) const;
    void readLaterFields(const DbRow &h, Estimate &out) const;
    DbResult readSources(Estimate &out);
    static void addMasterRows(EstimateRecord &out, const Estimate &e, const Estimate *basis, const MasterReads &reads);
    QuoteDeskContext &m_ctx;
    DocKind m_kind;
    MasterReads m_read;
    bool m_indexRebuilt = false;
};

// What the items and discounts add up to, by how each is taxed; headings, subtotals and notes
// count nothing. A split discount is shared over the rates in proportion to their items.
void sumLines(const QVector<EstimateLine> &lines, Money &total, TaxableSums &taxable);
// Each subtotal row's amount: the items since the last heading or subtotal; nullopt for the
// other rows.
QVector<std::optional<Money>> subtotalsOf(const QVector<EstimateLine> &lines);
// The lines with their subtotals as computed and no figures on headings and notes.
void settleRowKinds(QVector<EstimateLine> &lines);

// Whether two estimates hold the same header texts, date and lines (the number aside).
bool sameContent(const Estimate &a, const Estimate &b);

// Neither a customer nor a filled line: nothing worth storing or issuing.
bool isEmptyEstimate(const Estimate &e);

// Index of the first filled line that follows an empty one, or -1.
int firstLineAfterGap(const QVector<EstimateLine> &rows);
