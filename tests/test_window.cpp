// The main window: its controls, captions, grids, input method switching, start and close.

#include "TestSupport.h"
#include "ui/InputMethod.h"
#include "app/Startup.h"
#include "estimate/EstimateTab.h"
#include "masters/CustomerTab.h"
#include "masters/ProductTab.h"
#include "masters/SettingsTab.h"
#include "print/EstimateSheet.h"
#include "ui/WorkTableModel.h"
#include "ui_EstimateTab.h"
#include "ui_SettingsTab.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void titleAndTabs();
    void controlsCaptionsAndTips();
    void gridLayouts();
    void gridFormats();
    void imeFollowsColumn();
    void closeSequence();
    void missingOrForeignFileIsRefused_data();
    void missingOrForeignFileIsRefused();
    void colourDialogCancelKeepsColour();
    void pagesBuiltAtFirstUse();
};

void WindowTest::titleAndTabs()
{
    TempData data;
    Window w(data.folder());
    QVERIFY(w->isLoaded());
    QCOMPARE(w->windowTitle(), QString("No.1 - 見積書 KALMIR Ver 1.20")); // the estimate on screen, then the program
    auto *tabs = w.find<QTabWidget>("SSTab1");
    const QStringList captions{"見積書", "納品書", "請求書", "返還", "領収書", "顧　客", "商　品", "設定・情報"};
    QCOMPARE(tabs->count(), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        QCOMPARE(tabs->tabText(i), captions[i]);
    QVERIFY(w.find<QLabel>("lblInfo")->text().startsWith("見積書 Ver 1.20 LastUpdate2007/04/04\n"));
    QVERIFY(!w.find<QLabel>("lblSupport")->text().isEmpty());
    tabs->setCurrentIndex(7); // the banner is drawn when its tab is first shown
    QVERIFY(!w.find<QLabel>("Image2")->pixmap().isNull());
    QVERIFY(w.find<QWidget>("PBar"));
    // Shown, the tabs take the height; the status line keeps to one line.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.w.get()));
    auto *status = w.find<QWidget>("statusLine");
    QVERIFY(status->height() <= status->sizeHint().height());
    QVERIFY(tabs->geometry().bottom() + status->height() + 24 >= w->height());
}

void WindowTest::controlsCaptionsAndTips()
{
    TempData data;
    Window w(data.folder());
    struct C {
        const char *name, *caption, *tip;
    };
    const C buttons[] = {
        {"cmd登録", "登録", "画面上の伝票を登録保存します"},
        {"cmd削除", "削除", "画面上の伝票を削除します。一度削除するともとに戻せません。"},
        {"cmdクリア", "クリア", "伝票情報を画面上から消去します。登録済みの伝票は無くなりません。"},
        {"cmd印刷", "印刷", "印刷します"},
        {"cmd閉じる", "閉じる", "見積書を終了します。伝票の登録は忘れてませんか"},
        {"cmd顧客読込", "読込", "顧客情報を明細に読込みます。顧客名や「かな」の一部でも絞り込めます。"},
        {"cmd顧客登録", "登録", "顧客情報を登録します"},
        {"cmd顧客削除", "削除", "チェックマークのある行の顧客データを削除します。"},
        {"cmd顧客クリア", "クリア", "顧客情報画面を消去します。登録済みデータは削除されません。"},
        {"cmd商品読込", "読込", "商品情報を読込みます。品名や「かな」の一部を指定して絞り込むこともできます。"},
        {"cmd商品登録", "登録", "商品情報を登録します。"},
        {"cmd商品削除", "削除", "チェックマークを付けた商品情報を削除します。複数削除もできます。"},
        {"cmd商品クリア", "クリア", "商品情報画面を消去します。登録済みデータは削除されません。"},
        {"cmd設定登録", "登録", "設定情報を登録します。見積書画面のデータは登録されません。"},
        {"cmd設定クリア", "クリア", "設定画面の情報を消去します。登録済みデータは消去されません。"},
        {"cmd設定読込", "読込", "設定を読込みます"},
        {"cmd設定削除", "削除", "設定情報を削除し初期値に戻します。"},
        {"cmd一括削除7", "実行", ""},
    };
    for (const C &b : buttons) {
        auto *button = w.find<QAbstractButton>(b.name);
        QCOMPARE(button->text(), QString(b.caption));
        const QString tip = button->toolTip();
        QVERIFY2(*b.tip ? tip.startsWith(QString(b.tip)) : tip.isEmpty(), b.name); // a shortcut may follow
        QCOMPARE(button->font().family(), QString("ＭＳ Ｐゴシック"));
    }
    const C labels[] = {{"Label13", "No.", ""},   {"Label4", "様", ""},         {"Lbl件名", "件　　　名", ""},
                        {"Lbl納期", "納　　期", ""}, {"Lbl支払条件", "支払条件", ""}, {"Lbl受渡場所", "受渡場所", ""},
                        {"lbl有効期限", "有効期限", ""}, {"Label9", "税抜計", ""},     {"Label10", "消費税", ""},
                        {"Label12", "税込合計", ""}, {"Label2", "自社名", ""},       {"Label3", "自社情報", ""},
                        {"Label1", "税区分", ""},    {"Label24", "白紙用紙の罫線の色", ""},
                        {"Label6", "すべてのデータを削除し初期状態に戻す", ""}};
    for (const C &l : labels) {
        auto *label = w.find<QLabel>(l.name);
        QCOMPARE(label->text(), QString(l.caption));
        QCOMPARE(label->font().family(), QString("ＭＳ Ｐゴシック"));
    }
    for (const char *name : {"txtNo", "dt日付", "cmb顧客名", "txt顧客情報", "txt件名", "txt納期", "txt支払条件",
                             "txt受渡場所", "txt有効期限", "Grid明細", "num税抜計", "num消費税", "num合計", "lbl自社名",
                             "lbl自社情報", "cmdHint", "Grid顧客マスタ", "Grid商品マスタ", "txt自社名", "txt自社情報",
                             "cmb税区分", "Pic罫線色", "num白紙罫線色"})
        QCOMPARE(w.find<QWidget>(name)->font().family(), QString("ＭＳ Ｐゴシック"));
    QCOMPARE(w.find<QWidget>("txt顧客情報")->toolTip(), QString("郵便番号、住所、電話番号などを記入"));
    for (const char *name : {"dat明細", "dat顧客", "dat商品", "dat商品参照", "DD商品参照"})
        QVERIFY2(w->findChild<QObject *>(name), name);
    // The font names map onto fonts with Japanese glyphs.
    QCOMPARE(QFontInfo(w.find<QWidget>("cmd登録")->font()).family(), QString("IPAPGothic"));
    QCOMPARE(QFontInfo(QFont("ＭＳ Ｐ明朝")).family(), QString("IPAPMincho"));
    auto *date = w.find<DateBox>("dt日付");
    QCOMPARE(date->displayFormat(), QString("yyyy年MM月dd日"));
    QCOMPARE(date->width(), 132);
}

void WindowTest::gridLayouts()
{
    TempData data;
    Window w(data.folder());
    struct Col {
        const char *grid;
        int index;
        const char *caption;
        int widthPx;
        bool visible;
        Qt::Alignment align;
    };
    const Qt::Alignment L = Qt::AlignLeft | Qt::AlignVCenter, R = Qt::AlignRight | Qt::AlignVCenter,
                        C = Qt::AlignCenter;
    const Col cols[] = {
        {"Grid顧客マスタ", 0, "", 24, true, C},        {"Grid顧客マスタ", 1, "顧客名", 219, true, L},
        {"Grid顧客マスタ", 2, "顧客情報", 144, true, L},  {"Grid商品マスタ", 0, "", 25, true, C},
        {"Grid商品マスタ", 1, "品　　　名", 363, true, L}, {"Grid商品マスタ", 2, "単位", 45, true, C},
        {"Grid商品マスタ", 3, "単　価", 78, true, R},     {"Grid商品マスタ", 4, "非課税", 56, true, C},
        {"Grid明細", 0, "行番号", 0, false, R},          {"Grid明細", 1, "品　　  名", 293, true, L},
        {"Grid明細", 2, "数量", 67, true, R},            {"Grid明細", 3, "単位", 48, true, C},
        {"Grid明細", 4, "単価", 67, true, R},            {"Grid明細", 5, "金　額", 83, true, R},
        {"Grid明細", 6, "非課税", 33, true, C},
    };
    for (const Col &c : cols) {
        auto *grid = w.find<DataGrid>(c.grid);
        QCOMPARE(grid->model()->headerData(c.index, Qt::Horizontal).toString(), QString(c.caption));
        QCOMPARE(grid->isColumnHidden(c.index), !c.visible);
        // The layout's widths are minimums; a stretched column shares the spare width instead.
        const bool stretched = grid->horizontalHeader()->sectionResizeMode(c.index) == QHeaderView::Stretch;
        if (c.visible && !stretched)
            QVERIFY2(grid->columnWidth(c.index) >= c.widthPx, c.grid);
        QCOMPARE(Qt::Alignment(grid->model()->index(0, c.index).data(Qt::TextAlignmentRole).toInt()), c.align);
    }
    // The line grid has its 30 rows and no new-row line; the master grids offer one.
    auto *detail = w.find<DataGrid>("Grid明細");
    for (const auto &[col, widest] : {std::pair{2, "-999,999.99"}, {4, "-99,999,999"}, {5, "-9,999,999,999"}})
        QVERIFY(detail->fontMetrics().horizontalAdvance(widest) < detail->columnWidth(col));
    QVERIFY(detail->horizontalHeader()->fontMetrics().horizontalAdvance("非課税") < detail->columnWidth(6));
    QCOMPARE(detail->model()->rowCount(), 30);
    QCOMPARE(w.find<DataGrid>("Grid顧客マスタ")->model()->rowCount(), 1);
    QCOMPARE(w.find<DataGrid>("Grid商品マスタ")->model()->rowCount(), 1);
    // Yes/no columns are tick boxes.
    QCOMPARE(detail->model()->index(0, 6).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(detail->model()->flags(detail->model()->index(0, 6)) & Qt::ItemIsUserCheckable);
}

void WindowTest::gridFormats()
{
    TempData data;
    {
        Db work("fmt");
        QVERIFY(work.open(data.perm()));
        QVERIFY(work.exec("INSERT INTO 商品マスタ (品名, 単価) VALUES ('a', ?), ('b', 0), ('c', NULL)",
                          {Money::fromYen(1234567).raw()}));
    }
    Window w(data.folder());
    w.find<QAbstractButton>("cmd商品読込")->click(); // reads the master into the work copy
    auto *model = w.find<DataGrid>("Grid商品マスタ")->model();
    QCOMPARE(model->index(0, 3).data().toString(), QString("1,234,567"));
    QCOMPARE(model->index(1, 3).data().toString(), QString()); // 0 shows empty
    QCOMPARE(model->index(2, 3).data().toString(), QString());
    QCOMPARE(model->index(0, 3).data(Qt::EditRole).toString(), QString("1234567"));
}

void WindowTest::imeFollowsColumn()
{
    TempData data;
    Window w(data.folder());
    w->show();
    auto *detail = w.find<DataGrid>("Grid明細");
    const bool expected[] = {false, true, false, true, false, false, false};
    for (int col = 1; col <= 6; ++col) {
        detail->setCurrentCell(2, col);
        QCOMPARE(detail->testAttribute(Qt::WA_InputMethodEnabled), expected[col]);
    }
    // An editor opened on a text column takes the open state with it.
    detail->setCurrentCell(0, 1);
    detail->edit(detail->currentIndex());
    QVERIFY(detail->openEditor());
    QVERIFY(detail->openEditor()->testAttribute(Qt::WA_InputMethodEnabled));
    detail->flushEditor();
    detail->setCurrentCell(0, 2);
    detail->edit(detail->currentIndex());
    QVERIFY(!detail->openEditor()->testAttribute(Qt::WA_InputMethodEnabled));
    detail->flushEditor();
    // Focus on the grid switches by the current column too.
    detail->setCurrentCell(0, 4);
    SetImeOpen(detail, 1);
    emit detail->focusReceived();
    QVERIFY(!detail->testAttribute(Qt::WA_InputMethodEnabled));

    for (const char *name : {"Grid顧客マスタ", "Grid商品マスタ"}) {
        auto *grid = w.find<DataGrid>(name);
        const int cols = grid->model()->columnCount();
        for (int col = 0; col < cols; ++col) {
            grid->setCurrentCell(0, col);
            QCOMPARE(grid->testAttribute(Qt::WA_InputMethodEnabled), col == 1 || col == 2);
        }
    }
}

void WindowTest::closeSequence()
{
    TempData data;
    Window w(data.folder());
    w->show();
    QWidget other;
    other.setWindowTitle("hint");
    other.show();
    QVERIFY(w->context().main.isOpen());
    w.find<QAbstractButton>("cmd閉じる")->click();
    QCOMPARE(w.endCalls, 1);
    QVERIFY(!w->context().main.isOpen());
    QVERIFY(!w->context().work.isOpen());
    QVERIFY(!other.isVisible());
    QVERIFY(!w->isVisible());
    // Both files are released: another connection can write them at once.
    Db perm("after-close");
    QVERIFY(data.openPerm(perm));
    QVERIFY(perm.exec("BEGIN EXCLUSIVE"));
    QVERIFY(perm.exec("COMMIT"));
}

void WindowTest::missingOrForeignFileIsRefused_data()
{
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("how");
    QTest::newRow("work missing") << schema::kWorkFileName << "missing";
    QTest::newRow("permanent missing") << schema::kPermFileName << "missing";
    QTest::newRow("work is text") << schema::kWorkFileName << "text";
    QTest::newRow("permanent is the work file") << schema::kPermFileName << "swapped";
}

void WindowTest::missingOrForeignFileIsRefused()
{
    QFETCH(QString, broken);
    QFETCH(QString, how);
    TempData data;
    const QString path = data.folder() + broken;
    QFile::remove(path);
    if (how == "text") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("plain text\n");
    } else if (how == "swapped") {
        QVERIFY(QFile::copy(data.work(), path));
    }
    const QStringList before = QDir(data.folder()).entryList(QDir::Files);
    QMap<QString, QDateTime> times;
    for (const QString &f : before)
        times[f] = QFileInfo(data.folder() + f).lastModified();
    Answers answers;
    QCOMPARE(runQuoteDesk(data.folder()), 1);
    QCOMPARE(answers.shown.size(), 1);
    const MsgEntry &e = answers.shown.first();
    QCOMPARE(e.category + e.key, QString("その他注意"));
    QVERIFY2(e.text.contains(broken), qPrintable(e.text));
    QVERIFY(e.text.split('\n').last().size() > 0); // the engine's own text
    QCOMPARE(QDir(data.folder()).entryList(QDir::Files), before); // nothing created
    for (const QString &f : before)
        QCOMPARE(QFileInfo(data.folder() + f).lastModified(), times[f]);
}

void WindowTest::colourDialogCancelKeepsColour()
{
    TempData data;
    Window w(data.folder());
    w->show();
    auto *swatch = w.find<ColourSwatch>("Pic罫線色");
    auto *number = w.find<IntegerBox>("num白紙罫線色");
    const qlonglong before = number->value();
    bool sawWhiteCustoms = false;
    QTimer::singleShot(100, [&] {
        auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        sawWhiteCustoms = dialog->parentWidget() == w.w.get() && QColorDialog::customColor(0) == QColor(Qt::white) &&
                          QColorDialog::customColor(15) == QColor(Qt::white);
        dialog->reject();
    });
    emit swatch->clicked();
    QVERIFY(sawWhiteCustoms);
    QCOMPARE(number->value(), before);

    // Choosing a colour sets both the swatch and the number, nothing stored yet.
    QTimer::singleShot(100, [] {
        if (auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget())) {
            dialog->setCurrentColor(QColor(0x10, 0x20, 0x30));
            dialog->accept();
        }
    });
    emit swatch->clicked();
    QCOMPARE(number->value(), 0x10 + 256 * 0x20 + 65536 * 0x30);
    QCOMPARE(swatch->colourValue(), number->value());
}

QTEST_MAIN(WindowTest)
#include "test_window.moc"

// The pages behind the first are built when first opened; until then the stored settings rule
// the estimate, the print and the close, and a page built late is wired like one built early.
void WindowTest::pagesBuiltAtFirstUse()
{
    TempData data;
    QVERIFY(seedPerm(data, "INSERT INTO 自社情報 (自社名, 税区分, 税率, 端数処理, 見積番号印刷) "
                           "VALUES ('甲社', '内税', 10, '切捨て', 1)"));
    {
        Window w(data.folder());
        auto pages = [&] {
            return int(!!w->findChild<CustomerTab *>()) + int(!!w->findChild<ProductTab *>()) +
                   int(!!w->findChild<SettingsTab *>());
        };
        QCOMPARE(pages(), 0);
        QCOMPARE(w->findChild<QLabel *>("lbl自社名")->text(), QString("甲社"));
        // Nothing typed and no page opened: the window closes without a question.
        Answers answers;
        QVERIFY(w->close());
        QVERIFY(answers.shown.isEmpty());
        QCOMPARE(w.endCalls, 1);
    }
    Window w(data.folder());
    typeCell(w->findChild<DataGrid *>("Grid明細"), 0, 5, "1099");
    QCOMPARE(w->findChild<NumberBox *>("num消費税")->text(), QString("99")); // 内税 at 10 %, cut down
    // The print takes the stored settings; the settings page then shows them, mode kept.
    PrintRecord r;
    QVERIFY(w->printRecord(r));
    QCOMPARE(r.companyName, QString("甲社"));
    QVERIFY(r.printNumber);
    auto *mode = w->findChild<QComboBox *>("cmb税区分");
    QVERIFY(mode);
    QCOMPARE(mode->currentText(), QString("内税"));
    QCOMPARE(w->findChild<QComboBox *>("cmb税率")->currentText(), QString("10%"));
    QCOMPARE(w->context().taxRate, 10);

    // A customer registered on a page opened late reaches the estimate's list.
    auto *tabs = w->findChild<QTabWidget *>("SSTab1");
    tabs->setCurrentIndex(5);
    auto *grid = w->findChild<DataGrid *>("Grid顧客マスタ");
    QVERIFY(grid);
    typeCell(grid, 0, 1, "乙商事");
    Answers answers;
    w->findChild<QAbstractButton *>("cmd顧客登録")->click();
    QVERIFY(w->findChild<QComboBox *>("cmb顧客名")->findText("乙商事") >= 0);
    // A product typed on its page and not registered is asked about at closing; No keeps it open.
    tabs->setCurrentIndex(6);
    typeCell(w->findChild<DataGrid *>("Grid商品マスタ"), 0, 1, "ボルト");
    answers.shown.clear();
    answers.answer({false});
    QVERIFY(!w->close());
    QVERIFY(answers.sawKey("その他", "終了確認"));
    QCOMPARE(w.endCalls, 0);
}
