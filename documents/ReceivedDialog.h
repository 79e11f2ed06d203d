#pragma once
// 受領書類: the electronic invoices received, found by their date, amount and sender; a file
// read (読込) is kept as received and shown as a sheet, read-only.

#include "store/ReceivedArchive.h"

#include <QDialog>

class QLineEdit;
class QTableWidget;

class ReceivedDialog : public QDialog {
    Q_OBJECT
public:
    ReceivedDialog(Db &main, QWidget *parent = nullptr);
    QLineEdit *from = nullptr, *to = nullptr, *min = nullptr, *max = nullptr, *partner = nullptr;
    QTableWidget *list = nullptr;

    void refresh();
    const QVector<ReceivedRow> &shown() const { return m_rows; }
    // A JP PINT file chosen, kept and shown; false when it could not be read or kept (said).
    bool readFile(const QString &path);
    // The row's bytes shown as their sheet.
    void showRow(int row);

private:
    ReceivedFilter filter() const;
    Db &m_db;
    QVector<ReceivedRow> m_rows;
};

using ReceivedRunner = std::function<void(ReceivedDialog &)>;
ReceivedRunner setReceivedRunner(ReceivedRunner runner);
void runReceived(ReceivedDialog &dialog);
