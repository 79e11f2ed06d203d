#pragma once
// The digital invoice (デジタルインボイス): an invoice or a credit note as a JP PINT 1.1.3 file
// (UBL 2.1, urn:peppol:pint:billing-1@jp-1), made from the very figures its sheet prints, and
// read back from such a file. Plain values in and out, no widgets.

#include "print/EstimateSheet.h"
#include "values/Totals.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace jppint {

// What the program's own checks find before a file is written. A warning is asked about; an
// error refuses, naming the field.
struct Problem {
    QString field;
    QString text;
    bool warning = false;
};

// The checks stricter than the official rules: a document of the two kinds, at least one line,
// whole-yen taxes that sum to the sheet's tax, totals that add up, a registration number of the
// right form (its check digit a warning), a buyer with an electronic address, no withholding
// (the rules have nothing to say it with).
QVector<Problem> check(const PrintRecord &r);

// The file; empty when check() finds an error.
QByteArray write(const PrintRecord &r);

// The 13 digits that name a party on the network (scheme 0188, the corporate number): the
// registration number without its T, or the first such number in the party's details.
QString endpointOf(const QString &registration, const QString &details);

// UN/ECE rec. 20 code of a unit as the unit list names it; H87 (piece) for a count, C62 (one)
// for anything unknown.
QString unitCode(const QString &unit);

// A JP PINT invoice as received: what the viewer shows and the archive indexes.
struct Received {
    QString number, issueDate, dueDate, typeCode, seller, sellerId, buyer, note;
    Money net, tax, payable;
    struct Rate {
        QString category;
        double percent = 0;
        Money taxable, tax;
    };
    QVector<Rate> rates;
    QVector<PrintLine> lines;
    // The document's own allowances (negative) and charges, each as a line after the others.
    QVector<PrintLine> charges;
};
// False (with the reason) when the bytes are no UBL invoice.
bool read(const QByteArray &xml, Received &out, QString *error = nullptr);
// The received invoice as a sheet of the buyer's: seller and buyer as the file names them.
PrintRecord sheetOf(const Received &r);

} // namespace jppint
