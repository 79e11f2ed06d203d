#pragma once
#include "values/DocKind.h"
// 発行履歴 (FrmIssuedList): the archive of issued estimates, found by issue date, total and
// customer in any combination; a copy shown, verified against its hash, exported for an audit.

#include "store/IssueArchive.h"

#include <QDialog>
#include <functional>

namespace Ui { class IssuedListDialog; }

class IssuedListDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShown = 500; // newest first; a narrower search finds older ones

    // Lists the issues of kind first (cmb種別 chooses another, or every kind).
    IssuedListDialog(Db &main, QWidget *parent = nullptr, DocKind kind = DocKind::Estimate);
    ~IssuedListDialog() override;
    Ui::IssuedListDialog *ui;

    void refresh();
    IssueFilter filter() const;
    const QVector<IssuedRow> &rows() const { return m_rows; }
    // The current row's archived PDF, shown read-only.
    void openCurrent();
    // The whole archive checked (copies, chain, versions, index, protections); each listed row
    // 一致 or 不一致, every break told. The listed rows that do not match; -1 when it failed.
    int verifyListed();
    // Whether the archive still holds what an exported 索引.csv listed, up to its chain head.
    bool compareWithExport(const QString &indexPath);
    bool exportListed(const QString &folder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void amountTyped(class QLineEdit *box);
    bool auditWithProgress(struct ArchiveAudit &audit);
    IssueArchive m_archive;
    QVector<IssuedRow> m_rows;
};

// Shows a dialog and returns when it closes. Replaceable so tests run without a human.
using IssuedListRunner = std::function<void(IssuedListDialog &)>;
IssuedListRunner setIssuedListRunner(IssuedListRunner runner);
void runIssuedList(IssuedListDialog &dialog);
