#pragma once
// The own-company row 自社情報 as plain values; no widgets here.

#include "store/Context.h"
#include "store/Db.h"

#include <functional>
#include <optional>

struct CompanySettings {
    QString name;
    QString info;
    QString taxMode;     // empty when Null
    qlonglong lineColour = 0;
    int taxRate = 0;              // 0 when Null (5 %)
    QString rounding;             // empty when Null (四捨五入)
    QString registrationNumber;
    bool printNumber = false; // the estimate number on the sheet
    QByteArray seal;          // PNG of the company seal, empty for none
};

// "T" and 13 digits whose first is the check digit of the other twelve.
bool isValidRegistrationNumber(const QString &number);

// One field another desktop changed since this one read it: what it holds now, what this
// desktop would write.
struct SettingConflict {
    QString field; // as the tab labels it
    QString theirs, mine;
    int index = 0;
};
// Whether this desktop's value should replace the other's.
using SettingConflictQuestion = std::function<bool(const SettingConflict &)>;

class SettingsStore {
public:
    explicit SettingsStore(Db &main) : m_db(main) {}
    // nullopt when no row is stored.
    DbResult read(std::optional<CompanySettings> &out);
    // Updates the first row, or adds one; empty texts are stored as empty text, never Null.
    DbResult write(const CompanySettings &s);
    // Only the fields that differ from basis (what this desktop read), each only while it still
    // holds what was read; a field changed elsewhere meanwhile is written after ask says so.
    DbResult write(const CompanySettings &s, const CompanySettings &basis, const SettingConflictQuestion &ask);
    // How often the settings have changed; -1 when it cannot be read.
    qlonglong changeCount();
    // Back to the defaults (Null); the estimate counter stays.
    DbResult reset();
    // How many backups the folder keeps (kKeptBackups when none is stored); written alone.
    static constexpr int kKeptBackups = 10;
    DbResult readKeptBackups(int &count);
    DbResult writeKeptBackups(int count);

private:
    Db &m_db;
};

// Reads the stored row into the values the window works with (the defaults where none is
// stored); what was read stays in `stored` for the settings tab to show.
DbResult loadSettings(QuoteDeskContext &ctx, std::optional<CompanySettings> &stored);
