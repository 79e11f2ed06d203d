#pragma once
// The first start of a new office: its name and details, its registration number (checked as
// typed) and today's tax rules, proposed and changeable; or skipped, keeping the defaults.

#include "masters/SettingsStore.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

class SetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetupDialog(QWidget *parent = nullptr);
    // What 登録 stores.
    CompanySettings settings() const;
    QLineEdit *nameBox() const { return m_name; }
    QLineEdit *numberBox() const { return m_number; }
    QLabel *numberCheck() const { return m_check; }

private:
    void checkNumber();
    QLineEdit *m_name, *m_number;
    QPlainTextEdit *m_info;
    QComboBox *m_mode, *m_rate, *m_rounding;
    QLabel *m_check;
};

// Whether the stored settings are those of a folder nobody has set up yet (a skipped set-up
// leaves an empty, not a missing, company name).
bool needsSetup(const std::optional<CompanySettings> &stored);
// Offers the set-up; true when something was stored (reported on failure). Replaceable so tests
// fill the dialog or skip it.
bool offerSetup(Db &main, QWidget *parent);
using SetupRunner = std::function<int(SetupDialog &)>;
SetupRunner setSetupRunner(SetupRunner runner);
