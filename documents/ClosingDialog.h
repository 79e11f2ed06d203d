#pragma once
// 締め請求: which customer's month to close.

#include "store/Context.h"

#include <QDate>
#include <QDialog>
#include <functional>

class QComboBox;
class QDateEdit;

class ClosingDialog : public QDialog {
    Q_OBJECT
public:
    // The customers with a closing day offered; month proposed: the last one that has closed.
    ClosingDialog(QuoteDeskContext &ctx, const QString &customer, QWidget *parent = nullptr);
    QComboBox *customer = nullptr;
    QDateEdit *month = nullptr;
};

// Shows the dialog; true when the user chose to make the invoice. Replaceable for tests.
using ClosingRunner = std::function<bool(ClosingDialog &)>;
ClosingRunner setClosingRunner(ClosingRunner runner);
bool runClosing(ClosingDialog &dialog);
