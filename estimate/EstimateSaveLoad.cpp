// The estimate tab's save, load and delete: values move between the boxes and EstimateStore.

#include "estimate/EstimateTab.h"
#include "ui_EstimateTab.h"

#include "estimate/EstimateListDialog.h"
#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"
#include "store/Helpers.h"
#include "store/IssueArchive.h"
#include "store/SearchIndex.h"
#include "ui/WorkTableModel.h"
#include "documents/DocumentPanel.h"

namespace {
const QString kNumberSubject = QStringLiteral("伝票番号");
}

bool EstimateTab::refuseNumber(const EstimateNumber &n)
{
    switch (n.kind) {
    case EstimateNumber::Ok:
        return false;
    case EstimateNumber::Empty:
        Msg(QStringLiteral("入力"), QStringLiteral("必須入力なし"), kNumberSubject + QStringLiteral("が"));
        return true;
    case EstimateNumber::NotNumber:
        Msg(QStringLiteral("入力"), QStringLiteral("数字のみ"), kNumberSubject);
        return true;
    case EstimateNumber::OutOfRange:
        Msg(QStringLiteral("入力"), QStringLiteral("範囲外"), kNumberSubject);
        return true;
    }
    return true;
}

bool EstimateTab::windowEstimate(Estimate &e, bool commitEdits)
{
    if (commitEdits) {
        ui->Grid明細->flushEditor();
        if (!reportFailure(dat明細->commitAll()))
            return false;
        ui->dt日付->finishTyping();
    }
    e.date = ui->dt日付->hasDate() ? ui->dt日付->date() : QDate();
    e.customerName = withoutControls(ui->cmb顧客名->currentText());
    e.customerInfo = withoutControls(ui->txt顧客情報->toPlainText());
    e.subject = withoutControls(ui->txt件名->text());
    e.paymentTerms = withoutControls(ui->txt支払条件->text());
    e.deliveryDate = withoutControls(ui->txt納期->text());
    e.deliveryPlace = withoutControls(ui->txt受渡場所->text());
    e.validity = withoutControls(ui->txt有効期限->text());
    e.honorific = ui->cmb敬称->currentText();
    e.taxMode = rules().mode;
    e.taxRate = rules().rate;
    e.rounding = rules().rounding;
    // The amounts as the boxes show them: an empty box stores Null.
    e.tax = ui->num消費税->text().isEmpty() ? std::nullopt : ui->num消費税->value();
    e.net = ui->num税抜計->text().isEmpty() ? std::nullopt : ui->num税抜計->value();
    e.grand = ui->num合計->text().isEmpty() ? std::nullopt : ui->num合計->value();
    e.kind = kind();
    if (m_panel)
        m_panel->fill(e, m_totals);
    return commitEdits ? reportFailure(m_store.readWork(e.lines)) : bool(m_store.readWork(e.lines));
}

qlonglong EstimateTab::shownVersion() const { return ui->txtNo->text() == m_shownNumber ? m_storedVersion : 0; }

bool EstimateTab::Entry見積書()
{
    const EstimateNumber number = readEstimateNumber(ui->txtNo->text());
    if (refuseNumber(number))
        return false;
    Estimate e;
    if (!windowEstimate(e))
        return false;
    // A line below an empty one would silently be left out of the stored estimate.
    if (const int gap = firstLineAfterGap(e.lines); gap >= 0) {
        Msg(QStringLiteral("入力"), QStringLiteral("上行空白"));
        ui->Grid明細->setCurrentCell(gap, Col品名);
        return false;
    }
    if (isEmptyEstimate(e)) {
        kind() == DocKind::Estimate ? Msg(QStringLiteral("登録"), QStringLiteral("空の見積書"))
                                    : Msg(QStringLiteral("登録"), QStringLiteral("空の伝票"), label());
        return false;
    }
    if (!laterKindAccepts(e))
        return false;
    if (!askToStore(e, number.value))
        return false;
    e.number = number.value;
    e.version = m_storedVersion;
    QString done = QStringLiteral("No.%1 を登録しました").arg(e.number);
    DbResult r = storeChecked(e, done);
    if (m_store.takeIndexRebuilt())
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), searchindex::rebuiltNotice());
    if (r.code == sqlitecode::TakenElsewhere || r.code == sqlitecode::ChangedElsewhere ||
        r.code == sqlitecode::DeletedElsewhere)
        return false; // answered No: nothing stored, the screen as it was
    if (!reportFailure(r, label() + QStringLiteral("を登録")))
        return false;
    Clear見積書(true);
    ui->cmb顧客名->setFocus();
    emit statusMessage(done);
    return true;
}

bool EstimateTab::askToStore(const Estimate &e, int number)
{
    // A number typed and not yet read may hold a stored estimate all the same.
    bool stored = m_storedVersion > 0;
    if (!stored && ui->txtNo->text() != m_shownNumber) {
        Estimate old;
        reportFailure(m_store.load(number, old, stored), label() + QStringLiteral("を読込"));
    }
    QString subject = label() + QStringLiteral(" No.%1").arg(number);
    if (!e.customerName.trimmed().isEmpty())
        subject = e.customerName.trimmed() + e.honorific + QStringLiteral("の") + subject;
    return Msg(QStringLiteral("登録"), stored ? QStringLiteral("上書き確認") : QStringLiteral("見積確認"), subject);
}

// A save that finds the number taken or the estimate changed by another desktop asks first;
// done then says where it went.
DbResult EstimateTab::storeChecked(const Estimate &e, QString &done)
{
    const Estimate *basis = m_basis ? &*m_basis : nullptr;
    // A number typed and not yet read: saved over whatever it holds, as the question named it.
    const bool known = ui->txtNo->text() == m_shownNumber;
    DbResult r = m_store.save(e, basis, !known);
    const QString no = QStringLiteral("No.%1").arg(e.number);
    if (r.code == sqlitecode::TakenElsewhere && Msg(QStringLiteral("登録"), QStringLiteral("他端末登録"), no)) {
        int moved = 0;
        r = m_store.saveUnderNextNumber(e, basis, &moved);
        done = QStringLiteral("No.%1 は他の端末で登録されていたため、No.%2 として登録しました").arg(e.number).arg(moved);
    } else if ((r.code == sqlitecode::ChangedElsewhere && Msg(QStringLiteral("登録"), QStringLiteral("他端末変更"), no)) ||
               (r.code == sqlitecode::DeletedElsewhere && Msg(QStringLiteral("登録"), QStringLiteral("他端末削除"), no))) {
        r = m_store.save(e, basis, true);
    }
    return r;
}

void EstimateTab::numberLeft()
{
    const QString typed = ui->txtNo->text();
    if (typed.isEmpty() || typed == m_shownNumber)
        return;
    const EstimateNumber number = readEstimateNumber(typed);
    if (refuseNumber(number)) {
        ui->txtNo->clear();
        ui->txtNo->setFocus();
        return;
    }
    if (!mayReplaceScreen(QStringLiteral("No.%1").arg(number.value))) {
        ui->txtNo->setText(m_shownNumber); // the estimate on screen keeps its own number
        return;
    }
    Read見積書();
}

bool EstimateTab::mayReplaceScreen(const QString &subject)
{
    return !hasUnstoredChanges() || Msg(QStringLiteral("その他"), QStringLiteral("読込確認"), subject);
}

void EstimateTab::Read見積書()
{
    const EstimateNumber number = readEstimateNumber(ui->txtNo->text());
    if (number.kind != EstimateNumber::Ok)
        return;
    blankHeader();
    Estimate e;
    bool found = false;
    const DbResult r = m_store.load(number.value, e, found);
    reportFailure(r, label() + QStringLiteral("を読込"));
    m_shownNumber = ui->txtNo->text();
    m_storedVersion = found ? e.version : 0;
    m_basis.reset();
    showConversions(found ? number.value : 0);
    if (found) {
        showHeader(e);
        // Its own rules, so that later settings never change a stored estimate's figures.
        m_rules = TaxRules{e.taxMode.isEmpty() ? m_ctx.taxMode : e.taxMode, e.taxRate > 0 ? e.taxRate : 5,
                           e.rounding.isEmpty() ? QStringLiteral("四捨五入") : e.rounding};
        m_ownRules = true;
    } else {
        takeSettingsRules();
        if (r)
            emit statusMessage(QStringLiteral("No.%1 は未登録です。新しい%2として入力できます").arg(number.value).arg(label()));
    }
    showTaxMode();
    reportFailure(m_store.rebuildWork(found ? e.lines : QVector<EstimateLine>()));
    dat明細->refresh();
    toFirstLine();
    if (found)
        Calc明細();
    markUnchanged();
    if (found && m_tracking)
        m_basis = m_unchanged; // as the window shows it, honorific and all
}

void EstimateTab::showHeader(const Estimate &e)
{
    showHeaderTexts(e);
    ui->num消費税->setValue(e.tax);
    ui->num税抜計->setValue(e.net);
    ui->num合計->setValue(e.grand);
}

void EstimateTab::showHeaderTexts(const Estimate &e)
{
    if (e.date.isValid())
        ui->dt日付->setDate(e.date);
    else
        ui->dt日付->clearDate();
    ui->cmb顧客名->setEditText(e.customerName);
    ui->txt顧客情報->setPlainText(e.customerInfo);
    ui->txt納期->setText(e.deliveryDate);
    ui->txt受渡場所->setText(e.deliveryPlace);
    ui->txt有効期限->setText(e.validity);
    ui->txt支払条件->setText(e.paymentTerms);
    ui->txt件名->setText(e.subject);
    ui->cmb敬称->setCurrentIndex(std::max(0, ui->cmb敬称->findText(e.honorific)));
    if (m_panel)
        m_panel->show(e);
}

void EstimateTab::Copy見積書()
{
    ui->Grid明細->flushEditor();
    if (!reportFailure(dat明細->commitAll()))
        return;
    DbResult r;
    const QVariant next = Proc管理(m_ctx.main, m_store.names().counter, QStringLiteral("Get"), 0, &r);
    if (!reportFailure(r))
        return;
    ui->txtNo->setText(next.toString());
    m_shownNumber = ui->txtNo->text();
    m_storedVersion = 0;
    ui->dt日付->setDate(QDate::currentDate());
    takeSettingsRules(); // a new estimate follows today's settings
    if (m_panel) // a copy is made by hand: it was converted from nothing
        m_panel->forgetSources();
    setConvertedText(QString());
    Calc明細();
    m_unchanged = Estimate(); // nothing of it is stored yet
    m_tracking = true;
    ui->cmb顧客名->setFocus();
}

void EstimateTab::openList()
{
    EstimateListDialog dialog(m_ctx.main, this, kind());
    runList(dialog);
    if (dialog.choice() == EstimateListDialog::Convert) {
        emit listConversion(dialog.kind(), dialog.selectedNumbers(), dialog.convertTarget());
        return;
    }
    if (dialog.choice() == EstimateListDialog::Open && dialog.kind() != kind()) {
        emit openRequested(dialog.kind(), dialog.currentNumber());
        return;
    }
    if (dialog.choice() == EstimateListDialog::None ||
        !mayReplaceScreen(QStringLiteral("No.%1").arg(dialog.currentNumber())))
        return;
    ui->txtNo->setText(QString::number(dialog.currentNumber()));
    Read見積書();
    if (dialog.choice() == EstimateListDialog::Duplicate)
        Copy見積書();
}

void EstimateTab::Delete見積書()
{
    const QString typed = ui->txtNo->text();
    if (typed.isEmpty())
        return;
    // The delete acts on the number it reads, so only a plain number is accepted.
    const EstimateNumber number = readEstimateNumber(typed);
    if (refuseNumber(number))
        return;
    // What was issued stays in the archive; the question says so.
    int issued = 0;
    reportFailure(IssueArchive(m_ctx.main).versionCount(number.value, issued, kind()));
    const QString kept = issued > 0 ? QStringLiteral("（発行済みの控え %1 版は削除されずに残ります）").arg(issued) : QString();
    const bool asked = kind() == DocKind::Estimate
                           ? Msg(QStringLiteral("削除"), QStringLiteral("見積書確認"), QStringLiteral("No.%1").arg(number.value) + kept)
                           : Msg(QStringLiteral("削除"), QStringLiteral("種別確認"),
                                 QStringLiteral("%1 No.%2").arg(label()).arg(number.value) + kept);
    if (!asked)
        return;
    // The estimate on screen only while nobody changed it since; a number typed, whatever it holds.
    const qlonglong version = typed == m_shownNumber ? m_storedVersion : -1;
    DbResult r = m_store.remove(number.value, version);
    if (r.code == sqlitecode::ChangedElsewhere) {
        if (!Msg(QStringLiteral("削除"), QStringLiteral("他端末変更"), QStringLiteral("No.%1").arg(number.value)))
            return;
        r = m_store.remove(number.value, -1);
    } else if (r.code == sqlitecode::DeletedElsewhere) {
        r = {}; // what was asked for is done: the screen is cleared as after a delete
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"),
            QStringLiteral("No.%1 は他の端末ですでに削除されていました。").arg(number.value));
    }
    const bool removed = reportFailure(r, label() + QStringLiteral("を削除"));
    if (m_store.takeIndexRebuilt())
        Msg(QStringLiteral("その他"), QStringLiteral("メッセージ"), searchindex::rebuiltNotice());
    if (!removed)
        return;
    Clear見積書(true);
    ui->cmb顧客名->setFocus();
}
