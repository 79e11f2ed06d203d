// A child process for the tests that cannot run inside the test process: start-up as
// another user, and actions killed at a chosen write. Every question is answered Yes and
// every message is printed as "MSG: <text>".
//
//   qd_child start <data folder>          start-up only; exit code as the program's
//   qd_child save|register|delete|wipe|issue|hint|edit|backup|upgrade|convert|payment <data folder>
//   qd_child race <data folder> [N]       N (500) new estimates over Nos. 1 to 5; prints the counts
//   qd_child type <data folder>           an estimate typed and left unstored; prints TYPED and waits to be killed

#include "app/FrmQuoteDesk.h"
#include "app/ProcessEnd.h"
#include "app/Startup.h"
#include "estimate/EstimateStore.h"
#include "documents/PaymentStore.h"
#include "estimate/EstimateTab.h"
#include "masters/CustomerTab.h"
#include "masters/SettingsTab.h"
#include "masters/BackupPanel.h"
#include "hints/HintStore.h"
#include "print/PrintPreview.h"
#include "ui/WorkTableModel.h"
#include "ui/DataGrid.h"
#include "ui/MessageCatalogue.h"
#include "ui_EstimateTab.h"

#include <QApplication>
#include <QPrinter>
#include <QTimer>
#include <cstdio>

namespace {

void fillEstimate(FrmQuoteDesk &w)
{
    EstimateTab *tab = w.estimateTab();
    tab->ui->txtNo->setText("7");
    tab->ui->cmb顧客名->setEditText("新しい顧客");
    WorkTableModel *m = w.findChild<DataGrid *>("Grid明細")->dataControl();
    for (int r = 0; r < 5; ++r) {
        m->setData(m->index(r, Col品名), QString("新商品%1").arg(r), Qt::EditRole);
        m->setData(m->index(r, Col数量), "2", Qt::EditRole);
        m->setData(m->index(r, Col単価), "100", Qt::EditRole);
    }
}

// Another desktop saving new estimates over the same few numbers: each one the window would
// propose as new, so each number taken meanwhile is asked about and moved to the next free one.
int race(FrmQuoteDesk &w, int saves)
{
    EstimateStore store(w.context());
    int saved = 0, asked = 0, failed = 0;
    for (int i = 0; i < saves; ++i) {
        Estimate e;
        e.number = i % 5 + 1;
        e.customerName = QString("並行%1").arg(i);
        for (int line = 0; line < 30; ++line)
            e.lines << EstimateLine{QString("品%1").arg(line), 1.0, QString("個"), Money::fromYen(line), Money::fromYen(line)};
        DbResult r = store.save(e);
        if (r.code == sqlitecode::TakenElsewhere) {
            ++asked;
            int moved = 0;
            r = store.saveUnderNextNumber(e, nullptr, &moved);
        }
        r ? ++saved : ++failed;
        if (!r)
            std::printf("ERROR: %s\n", qPrintable(r.error));
    }
    std::printf("SAVED %d ASKED %d FAILED %d\n", saved, asked, failed);
    return failed == 0 ? 0 : 2;
}

int act(const QString &action, FrmQuoteDesk &w)
{
    if (action == "race")
        return race(w, qEnvironmentVariableIntValue("QUOTEDESK_RACE_SAVES") > 0
                           ? qEnvironmentVariableIntValue("QUOTEDESK_RACE_SAVES") : 500);
    if (action == "save") {
        fillEstimate(w);
        return w.estimateTab()->Entry見積書() ? 0 : 2;
    }
    if (action == "register") {
        WorkTableModel *m = w.customerTab()->dat顧客;
        for (int r = 0; r < 3; ++r)
            m->setData(m->index(r, 1), QString("登録顧客%1").arg(r), Qt::EditRole);
        w.customerTab()->Entry顧客情報();
        return 0;
    }
    if (action == "delete") {
        w.estimateTab()->ui->txtNo->setText("3");
        w.estimateTab()->Delete見積書();
        return 0;
    }
    if (action == "wipe") {
        w.settingsTab()->Data初期化();
        return 0;
    }
    if (action == "payment") { // one payment over the three seeded invoices
        Payment p{QDate(2026, 12, 1), QStringLiteral("甲社"), Money::fromYen(440), QStringLiteral("振込"),
                  {{11, Money::fromYen(1000)}, {12, Money::fromYen(2000)}, {13, Money::fromYen(500)}}};
        return PaymentStore(w.context().main).record(p) ? 0 : 2;
    }
    if (action == "convert") { // estimate No.3 becomes invoice No.1, stored
        if (!w.convertStored(DocKind::Estimate, {3}, DocKind::Invoice))
            return 2;
        return w.documentTab(DocKind::Invoice)->Entry見積書() ? 0 : 2;
    }
    if (action == "backup")
        return w.settingsTab()->backups()->makeCopy() ? 0 : 2;
    if (action == "upgrade") // opening the older file was the action
        return w.isLoaded() ? 0 : 2;
    if (action == "hint") { // replaces the hint seeded as "古いヒント"
        const bool stored = HintStore(w.context().work).store("FrmQuoteDesk", "cmdHint", "見積書", "新しいヒント").ok;
        std::printf("EDITED\n"); // the syncs of closing the files come after: not the hint's
        std::fflush(stdout);
        return stored ? 0 : 2;
    }
    if (action == "edit") { // ten grid edits: the work rows only
        WorkTableModel *m = w.findChild<DataGrid *>("Grid明細")->dataControl();
        for (int i = 0; i < 10; ++i)
            m->setData(m->index(i, Col数量), QString::number(i + 1), Qt::EditRole);
        std::printf("EDITED\n"); // what comes after (closing the files) is not the edits'
        std::fflush(stdout);
        return 0;
    }
    if (action == "type") {
        fillEstimate(w);
        w.estimateTab()->ui->txt件名->setText("打ちかけの件名");
        QTimer::singleShot(1000, [] { // long enough for the screen to be kept
            std::printf("TYPED\n");
            std::fflush(stdout);
        });
        return QApplication::exec();
    }
    if (action == "issue") {
        w.estimateTab()->ui->txtNo->setText("3");
        w.estimateTab()->Read見積書();
        PrintRecord record;
        if (!w.printRecord(record))
            return 2;
        const rpt見積書 sheet(record);
        QPrinter printer;
        PrintPreview preview(sheet, &printer, "issued.pdf", nullptr, &w.context().main);
        return preview.savePdf(w.context().dataFolder + "../issued.pdf") ? 0 : 2;
    }
    return 3;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3)
        return 3;
    setMsgPresenter([](const MsgEntry &e) {
        std::printf("MSG: %s\n", qPrintable(e.text));
        std::fflush(stdout);
        return true;
    });
    setEndOwnProcessHook([](QWidget *) {});
    const QString action = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (action == "start") {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
        return runQuoteDesk(folder);
    }
    FrmQuoteDesk w(folder);
    if (!w.isLoaded()) {
        std::printf("MSG: %s\n", qPrintable(w.loadError()));
        return 1;
    }
    return act(action, w);
}
