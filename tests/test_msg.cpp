// The message catalogue: every entry's wording, title, buttons and default, and the result rule.

#include "TestSupport.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

class MsgTest : public QObject {
    Q_OBJECT
private slots:
    void everyEntry_data();
    void everyEntry();
    void unknownShowsNothing();
    void resultRule();
    void realMessageBoxDefaults();
};

void MsgTest::everyEntry_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("style");
    const QString T = "甲";
    auto row = [](const char *c, const char *k, const QString &text, const char *title, int style) {
        QTest::addRow("%s/%s", c, k) << QString(c) << QString(k) << text << QString(title) << style;
    };
    row("登録", "確認", T + " を登録します。よろしいですか", "登録の確認", 36);
    row("登録", "データ確認", "データ " + T + " を登録します。よろしいですか", "登録の確認", 36);
    row("登録", "コード指定", "コードが指定されていません。コードを指定してください。", "登録注意", 64);
    row("登録", "完了", T + " を登録しました。", "登録完了", 64);
    row("登録", "完了2", "データ  " + T + " を登録しました。", "登録完了", 64);
    row("登録", "チェック", "入力必須項目が空白です。", "入力項目のチェック", 64);
    row("登録", "商品未登録", "登録商品データがありません。", "入力項目のチェック", 64);
    row("登録", "データなし", "登録がデータがありません。", "入力項目のチェック", 64);
    row("転記", "確認", T + " に転記します。よろしいですか", "登録の確認", 292);
    row("削除", "確認", "すべてのデータを削除します。よろしいですか", "削除の確認", 292);
    row("削除", "伝票確認", "伝票 " + T + " を削除します。よろしいですか", "削除の確認", 292);
    row("削除", "伝票確認2", T + " を削除します。よろしいですか", "削除の確認", 292);
    row("削除", "データ確認", "データ " + T + " を削除します。よろしいですか", "削除の確認", 292);
    row("削除", "指定確認", "指定された " + T + " を削除します。よろしいですか", "削除の確認", 292);
    row("削除", "伝票完了", "伝票 " + T + " を削除しました。", "削除の完了", 64);
    row("削除", "削除不可能", T + "削除できません。", "削除の拒否", 64);
    row("削除", "伝票完了2", T + " を削除しました。", "削除の完了", 64);
    row("削除", "完了", "データ " + T + " を削除しました。", "削除の完了", 64);
    row("削除", "削除不可", T + " にデータがあるため削除できません。メンテナンス機能で削除してください。", "削除不可", 64);
    row("入力", "上行空白", "上の行が空白です。データは連続して指定してください。", "入力注意", 64);
    row("入力", "区分なし", "区分が指定されていません。区分を指定してください", "入力注意", 48);
    row("入力", "必須入力なし", T + "指定されていません。確認してください", "入力注意", 48);
    row("入力", "重複", T + "が重複しています。確認してください", "入力注意", 48);
    row("入力", "範囲外", T + "が指定範囲外です。確認してください", "入力注意", 48);
    row("入力", "数字のみ", T + "には数字以外使用できません", "入力注意", 48);
    row("行指定", "無効行", "無効な行が指定されています。行指定をやり直してください。", "入力注意", 48);
    row("行指定", "指定なし", "行が指定されていません。行指定してください。", "入力注意", 48);
    row("行指定", "重複", "指定行は１回に１行です。行指定をやり直してください。", "入力注意", 48);
    row("行指定", "余白なし", "行挿入する余白はありません。", "行挿入注意", 48);
    row("クリア", "確認", "画面をクリアします。よろしいですか", "画面クリアの確認", 292);
    row("印刷", "確認", T + "を印刷します。よろしいですか", "印刷の確認", 292);
    row("その他", "コピー完了", T + "コピーしました。", "コピー完了", 64);
    row("その他", "読込み完了", T + "読込みしました。", "読込完了", 64);
    row("その他", "メッセージ", T, "メッセージ", 64);
    row("その他", "注意", T, "注意", 48);
    row("その他", "ファイルなし", T + "がありません。確認してください。", "ファイル確認", 64);
    row("その他", "確認", T + "、よろしいですか", "確認", 36);
}

void MsgTest::everyEntry()
{
    QFETCH(QString, category);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(int, style);
    Answers answers;
    Msg(category, key, "甲");
    QCOMPARE(answers.shown.size(), 1);
    const MsgEntry &e = answers.shown.first();
    QCOMPARE(e.text, text);
    QCOMPARE(e.title, title);
    QCOMPARE(e.styleValue(), style);
}

void MsgTest::unknownShowsNothing()
{
    Answers answers;
    QVERIFY(!Msg("行指定", "完了", "x")); // a key of other categories only
    QVERIFY(!Msg("不明", "確認", "x"));
    QVERIFY(!Msg("登録", "かくにん", "x"));
    QVERIFY(!Msg("削除", " 確認", "x")); // keys match exactly
    QVERIFY(answers.shown.isEmpty());
    QVERIFY(!msgLookup("印刷", "完了"));
}

void MsgTest::resultRule()
{
    Answers answers;
    answers.answer({true, false, true, true});
    QVERIFY(Msg("削除", "伝票確認", "5"));
    QVERIFY(!Msg("削除", "伝票確認", "5"));
    // Info and Warn entries are false whatever the presenter says.
    QVERIFY(!Msg("登録", "完了", "x"));
    QVERIFY(!Msg("その他", "注意", "x"));
    QCOMPARE(Msg("削除", "完了", "ヒント"), false);
    QCOMPARE(answers.shown.last().text, QString("データ ヒント を削除しました。"));
}

// The default presenter shows a real box; Enter takes its default button.
void MsgTest::realMessageBoxDefaults()
{
    struct Case {
        const char *cat, *key;
        bool expected;
    };
    for (const Case c : {Case{"削除", "伝票確認", false}, Case{"登録", "確認", true}, Case{"その他", "確認", true},
                         Case{"クリア", "確認", false}}) {
        QString title;
        QTimer::singleShot(50, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        QCOMPARE(Msg(c.cat, c.key, "7"), c.expected);
        QVERIFY(!title.isEmpty());
    }
    // Closing the box counts as No.
    QTimer::singleShot(50, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            QTest::keyClick(box, Qt::Key_Escape);
    });
    QVERIFY(!Msg("登録", "確認", "7"));
}

QTEST_MAIN(MsgTest)
#include "test_msg.moc"
