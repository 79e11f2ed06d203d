#pragma once
// The product tab: the product master through its work copy w商品マスタ.

#include "store/Context.h"
#include "masters/MasterWork.h"

#include <QWidget>
#include <memory>

namespace Ui { class ProductTab; }
class WorkTableModel;

class ProductTab : public QWidget {
    Q_OBJECT
public:
    ProductTab(QuoteDeskContext &ctx, QWidget *parent = nullptr);
    ~ProductTab() override;

    Ui::ProductTab *ui;
    WorkTableModel *dat商品 = nullptr;

    void formInit();
    void Read商品マスタ() { m_work->read(); }
    void Entry商品情報() { m_work->registerRows(); }
    void Delete商品() { m_work->deleteTicked(); }
    void Clear商品情報() { m_work->clear(); }

    // Rows read in or edited here that are not registered yet.
    bool hasUnregistered() const { return m_work->hasUnregistered(); }

private:
    std::unique_ptr<MasterWork> m_work;
};
