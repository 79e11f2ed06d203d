#pragma once
// The estimate tab: header boxes, the 30-line item grid, totals, clearing and deleting.

#include "store/Context.h"
#include "store/Money.h"

#include <QWidget>

namespace Ui { class EstimateTab; }
class WorkTableModel;
class GridDropDown;
class QStringListModel;

// Columns of w明細 as the grid shows them.
enum DetailColumn { Col行番号 = 0, Col品名, Col数量, Col単位, Col単価, Col金額, Col非課税 };
constexpr int kDetailRows = 30;

class EstimateTab : public QWidget {
    Q_OBJECT
public:
    EstimateTab(QuoteDeskContext &ctx, QWidget *parent = nullptr);
    ~EstimateTab() override;

    Ui::EstimateTab *ui;
    WorkTableModel *dat明細 = nullptr;
    WorkTableModel *dat商品参照 = nullptr;
    GridDropDown *DD商品参照 = nullptr;

    // Binds the data controls and lays out the date box and the grid.
    void formInit();

    void Clear見積書(bool newEstimate);
    void Clear明細ワーク();
    void SetDD品名();
    void Seek商品();
    void Calc明細();
    void Delete見積書();
    void AddCmb顧客名();
    QVariant Seek顧客情報(const QString &name);

    // Product look-up: input (trimmed name) and result, overwritten by each look-up.
    QString seekName;
    QString seekUnit;
    Money seekPrice;
    bool seekExempt = false;

signals:
    void closeRequested();
    void hintRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cellCommitted(int row, int column);
    void lineAmount(int row);
    void blankOutOfRange(int row, int column, double limit);
    void gridKeyDown(int &key, Qt::KeyboardModifiers shift);
    void switchIme();
    void customerLeft();

    QuoteDeskContext &m_ctx;
    QStringListModel *m_customerNames = nullptr;
};
