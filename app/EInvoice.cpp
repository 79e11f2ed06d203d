// The digital invoice buttons: a stored invoice or credit note written as JP PINT XML, and a
// received one shown as a sheet.

#include "app/FrmQuoteDesk.h"

#include "documents/ReceivedDialog.h"
#include "einvoice/JpPint.h"
#include "estimate/EstimateTab.h"
#include "store/Numbering.h"
#include "store/SafeFile.h"
#include "ui/FileChooser.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateTab.h"
#include "values/InvoiceRules.h"

#include <QDir>

bool FrmQuoteDesk::exportXml(EstimateTab *tab)
{
    const EstimateNumber number = readEstimateNumber(tab->ui->txtNo->text());
    if (number.kind != EstimateNumber::Ok || tab->shownVersion() <= 0 || tab->hasUnstoredChanges()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"),
            QStringLiteral("XML は登録済みの%1から作ります。先に%1を登録してください。").arg(tab->label()));
        return false;
    }
    PrintRecord r;
    m_printFrom = tab;
    const bool read = printRecord(r);
    m_printFrom = nullptr;
    if (!read)
        return false;
    r.registrationNumber = invoicerules::normalisedRegistration(r.registrationNumber);
    QStringList errors, warnings;
    for (const jppint::Problem &p : jppint::check(r))
        (p.warning ? warnings : errors) << QStringLiteral("%1: %2").arg(p.field, p.text);
    if (!errors.isEmpty()) {
        Msg(QStringLiteral("伝票"), QStringLiteral("入力不可"),
            QStringLiteral("%1 No.%2 は XML にできません。\n%3").arg(tab->label()).arg(number.value).arg(errors.join('\n')));
        return false;
    }
    if (!warnings.isEmpty() &&
        !Msg(QStringLiteral("伝票"), QStringLiteral("確認"), warnings.join('\n') + QStringLiteral("\nこのまま XML を出力しますか")))
        return false;
    const QString path = QDir(documentsFolder()).filePath(QStringLiteral("%1No.%2.xml").arg(tab->label()).arg(number.value));
    if (!reportFailure(writeWholeFile(path, jppint::write(r)), QStringLiteral("XML ファイルを書き出")))
        return false;
    announceSaved(QStringLiteral("%1 No.%2 を電子インボイス（JP PINT）として書き出しました。").arg(tab->label()).arg(number.value), path);
    return true;
}

void FrmQuoteDesk::readXml()
{
    ReceivedDialog dialog(m_ctx.main, this);
    runReceived(dialog);
}
