// The estimate tab after a crash: the screen is kept in the work file while it is not stored,
// and offered back at the next start.

#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"
#include "documents/DocumentPanel.h"
#include "ui/Boxes.h"

#include <QCheckBox>

#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"
#include "ui/WorkTableModel.h"

#include <QTimer>

void EstimateTab::watchScreen()
{
    m_keepTimer = new QTimer(this);
    m_keepTimer->setSingleShot(true);
    m_keepTimer->setInterval(300); // typing keeps restarting it: one write a pause
    connect(m_keepTimer, &QTimer::timeout, this, &EstimateTab::keepScreen);
    auto later = [this] { m_keepTimer->start(); };
    for (QLineEdit *box : {ui->txtNo, ui->txt件名, ui->txt納期, ui->txt支払条件, ui->txt受渡場所, ui->txt有効期限})
        connect(box, &QLineEdit::textChanged, this, later);
    connect(ui->txt顧客情報, &QPlainTextEdit::textChanged, this, later);
    connect(ui->cmb顧客名, &QComboBox::editTextChanged, this, later);
    connect(ui->cmb敬称, &QComboBox::currentIndexChanged, this, later);
    connect(ui->dt日付, &QDateEdit::dateChanged, this, later);
    connect(dat明細, &WorkTableModel::userEdited, this, later);
    connect(dat明細, &QAbstractItemModel::modelReset, this, later);
    if (m_panel) { // a delivery note's and an invoice's own fields
        for (QDateEdit *date : {static_cast<QDateEdit *>(m_panel->tradeDate), static_cast<QDateEdit *>(m_panel->dueDate)})
            if (date)
                connect(date, &QDateEdit::dateChanged, this, later);
        if (m_panel->withholding)
            connect(m_panel->withholding, &QCheckBox::toggled, this, later);
        if (m_panel->note)
            connect(m_panel->note, &QLineEdit::textChanged, this, later);
    }
}

void EstimateTab::keepScreen()
{
    if (!m_tracking || m_ctx.closing)
        return;
    Estimate now;
    if (!windowEstimate(now, false))
        return;
    if (!sameContent(now, m_unchanged)) {
        // The work file is kept without syncing: this costs the typing nothing.
        m_screenKept = bool(m_store.writeScreen({ui->txtNo->text(), m_storedVersion, now, QDateTime::currentDateTime()}));
    } else {
        forgetScreen();
    }
}

void EstimateTab::forgetScreen()
{
    if (m_keepTimer)
        m_keepTimer->stop();
    if (m_screenKept && m_store.clearScreen())
        m_screenKept = false;
}

std::optional<UnstoredScreen> EstimateTab::takeUnstoredScreen()
{
    std::optional<UnstoredScreen> s;
    m_store.readScreen(s); // nothing to offer when the file cannot tell
    return s;
}

void EstimateTab::offerRecovery(const UnstoredScreen &s)
{
    QStringList what{QStringLiteral("No.") + s.number};
    if (!s.estimate.customerName.isEmpty())
        what << s.estimate.customerName;
    if (s.at.isValid())
        what << s.at.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
    if (Msg(QStringLiteral("その他"), QStringLiteral("復元確認"), what.join(QStringLiteral("、"))))
        restoreScreen(s);
    else
        reportFailure(m_store.clearScreen());
}

void EstimateTab::restoreScreen(const UnstoredScreen &s)
{
    // As if the number had been typed (a stored estimate keeps its rules and version), then
    // the screen as it was over it.
    ui->txtNo->setText(s.number);
    Read見積書();
    const Estimate &e = s.estimate;
    showHeaderTexts(e);
    reportFailure(m_store.rebuildWork(e.lines));
    dat明細->refresh();
    Calc明細();
    keepScreen(); // still unstored: kept until it is
}
