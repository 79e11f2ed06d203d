#pragma once
// The list of stored estimates (FrmEstimateList): search, open, duplicate, CSV out.

#include "estimate/EstimateList.h"

#include <QDialog>
#include <functional>

namespace Ui { class EstimateListDialog; }

class EstimateListDialog : public QDialog {
    Q_OBJECT
public:
    enum Choice { None, Open, Duplicate, Convert };
    static constexpr int kShown = 500; // newest first; a narrower search finds older ones

    // The list of one kind (chosen in cmb種別, starting at kind).
    EstimateListDialog(Db &main, QWidget *parent = nullptr, DocKind kind = DocKind::Estimate);
    ~EstimateListDialog() override;
    Ui::EstimateListDialog *ui;

    void refresh();
    // The date range: the month offset months from this one (0 this month, -1 the last).
    void setMonth(int offset);
    ListFilter filter() const;
    int currentNumber() const;
    Choice choice() const { return m_choice; }
    // The kind listed, and for Convert the kind to make and every number chosen.
    DocKind kind() const { return m_kind; }
    DocKind convertTarget() const { return m_target; }
    QVector<int> selectedNumbers() const;
    void setKind(DocKind kind);
    void choose(Choice c);
    bool exportCsv(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseCsvFile();
    void addKindControls();
    EstimateList m_list;
    Choice m_choice = None;
    DocKind m_kind, m_target = DocKind::Invoice;
};

// Shows the list and returns when it closes. Replaceable so tests run without a human.
using ListRunner = std::function<void(EstimateListDialog &)>;
ListRunner setListRunner(ListRunner runner);
void runList(EstimateListDialog &dialog);
