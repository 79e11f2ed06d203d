#pragma once
// The settings tab: own company, tax mode and line colour in the one row of 自社情報.

#include "masters/SettingsStore.h"
#include "store/Context.h"
#include <QWidget>
#include <optional>

namespace Ui { class SettingsTab; }

class SettingsTab : public QWidget {
    Q_OBJECT
public:
    SettingsTab(QuoteDeskContext &ctx, QWidget *parent = nullptr);
    ~SettingsTab() override;

    Ui::SettingsTab *ui;

    void Clear設定();
    void Read設定();
    // True when the tab was stored.
    bool Entry設定();
    // Resets the stored settings to their defaults; the estimate counter is kept.
    void Delete設定();
    void pickLineColour();
    // Wipes every estimate, customer, product and the own-company row, after a copy.
    void Data初期化();
    class BackupPanel *backups() const { return m_backups; }
    class BankPanel *bank() const { return m_bank; }
    // The company seal as the tab holds it (stored by 登録); a PNG, or empty.
    QByteArray seal() const { return m_seal; }
    // Issuing an invoice or a credit note writes its digital invoice too.
    bool xmlWithIssue() const;
    void chooseSeal();
    void setSeal(const QByteArray &png);
    // The tab's boxes as settings, stored or not.
    CompanySettings shownSettings() const;
    // Whether the boxes differ from what was last read.
    bool hasEdits() const;
    // Shows settings read elsewhere, as Read設定 does, without telling the estimate.
    void showStored(const std::optional<CompanySettings> &stored) { showSettings(stored); }

signals:
    // The mode in effect changed: the totals on screen must follow it.
    void taxModeChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showSettings(const std::optional<CompanySettings> &stored);
    void setTaxModeText(const QString &mode);
    void showRules(int rate, const QString &rounding);
    QuoteDeskContext &m_ctx;
    QByteArray m_seal;
    std::optional<CompanySettings> m_read; // as last read: what a registration changes is measured from it
    class BackupPanel *m_backups = nullptr;
    class BankPanel *m_bank = nullptr;
    class QCheckBox *m_xml = nullptr;
};
