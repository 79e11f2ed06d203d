#pragma once
// The hint window: the user's notes for the window and control it was opened for.

#include "store/Context.h"

#include <QWidget>

namespace Ui { class HintWindow; }

class Hint : public QWidget {
    Q_OBJECT
public:
    static constexpr int kViewing = 13488593; // light grey: the text is read-only
    static constexpr int kEditing = 8421631;  // light red: the text can be edited

    // Takes the pair from the hint request once; parent: the window it belongs to.
    Hint(QuoteDeskContext &ctx, QWidget *parent = nullptr);
    ~Hint() override;

    Ui::HintWindow *ui;

    void ReadHint();
    // Both true when the store or delete succeeded (a failure is reported).
    bool EntryHint();
    bool Deleteヒント();
    void toggleEdit();
    int editColour() const { return m_editColour; }

private:
    void setEditColour(int colour);
    QString formName() const;
    QString controlName() const;
    QuoteDeskContext &m_ctx;
    int m_editColour = kViewing;
};
