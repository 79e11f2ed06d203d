#pragma once
// The customer tab: the customer master through its work copy w顧客マスタ.

#include "store/Context.h"
#include "masters/MasterWork.h"

#include <QWidget>
#include <memory>

namespace Ui { class CustomerTab; }
class WorkTableModel;

// The customer master as its page and its CSV files have it.
const MasterTable &customerMaster();

class CustomerTab : public QWidget {
    Q_OBJECT
public:
    CustomerTab(QuoteDeskContext &ctx, QWidget *parent = nullptr);
    ~CustomerTab() override;

    Ui::CustomerTab *ui;
    WorkTableModel *dat顧客 = nullptr;

    void formInit();
    void Read顧客マスタ() { m_work->read(); }
    void Entry顧客情報()
    {
        m_work->registerRows();
        emit mastersChanged();
    }
    void Delete顧客()
    {
        m_work->deleteTicked();
        emit mastersChanged();
    }

signals:
    // The customer master may have changed: the estimate's customer list follows at once.
    void mastersChanged();

public:
    void Clear顧客情報() { m_work->clear(); }

    // Rows read in or edited here that are not registered yet.
    bool hasUnregistered() const { return m_work->hasUnregistered(); }

private:
    std::unique_ptr<MasterWork> m_work;
    QString closingDayRefusal() const;
};
