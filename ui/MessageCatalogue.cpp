#include "ui/MessageCatalogue.h"

#include <QApplication>
#include "store/Integrity.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct Rule {
    const char *key;
    const char *before; // text before the caller's text
    const char *after;  // text after it
    bool useText;
    const char *title;
    MsgButtons buttons;
};

using B = MsgButtons;

const Rule k登録[] = {
    {"確認", "", " を登録します。よろしいですか", true, "登録の確認", B::AskYes},
    {"データ確認", "データ ", " を登録します。よろしいですか", true, "登録の確認", B::AskYes},
    {"コード指定", "コードが指定されていません。コードを指定してください。", "", false, "登録注意", B::Info},
    {"完了", "", " を登録しました。", true, "登録完了", B::Info},
    {"完了2", "データ  ", " を登録しました。", true, "登録完了", B::Info},
    {"チェック", "入力必須項目が空白です。", "", false, "入力項目のチェック", B::Info},
    {"商品未登録", "登録商品データがありません。", "", false, "入力項目のチェック", B::Info},
    {"データなし", "登録がデータがありません。", "", false, "入力項目のチェック", B::Info},
    // Beyond the original catalogue: several desktops on one server.
    {"他端末登録", "", " は他の端末で登録されました。新しい番号で登録しますか", true, "登録の確認", B::Ask},
    {"他端末変更", "", " は他の端末で変更されました。上書きしますか", true, "登録の確認", B::Ask},
    {"他端末削除", "", " は他の端末で削除されました。新しく登録しますか", true, "登録の確認", B::Ask},
    {"設定他端末変更", "", "で上書きしますか", true, "登録の確認", B::Ask},
    // An estimate's own question: whether it is new or replaces the stored one.
    {"見積確認", "", " を登録します。よろしいですか", true, "登録の確認", B::AskYes},
    {"上書き確認", "", " を上書きします。よろしいですか", true, "登録の確認", B::AskYes},
    {"空の見積書", "顧客名も明細もない見積書は登録できません。顧客名か明細を入力してください。", "", false,
     "入力項目のチェック", B::Info},
    {"空の伝票", "顧客名も明細もない", "は登録できません。顧客名か明細を入力してください。", true, "入力項目のチェック", B::Info},
};
const Rule k転記[] = {
    {"確認", "", " に転記します。よろしいですか", true, "登録の確認", B::Ask},
};
const Rule k削除[] = {
    {"確認", "すべてのデータを削除します。よろしいですか", "", false, "削除の確認", B::Ask},
    {"伝票確認", "伝票 ", " を削除します。よろしいですか", true, "削除の確認", B::Ask},
    {"伝票確認2", "", " を削除します。よろしいですか", true, "削除の確認", B::Ask},
    {"データ確認", "データ ", " を削除します。よろしいですか", true, "削除の確認", B::Ask},
    {"指定確認", "指定された ", " を削除します。よろしいですか", true, "削除の確認", B::Ask},
    {"伝票完了", "伝票 ", " を削除しました。", true, "削除の完了", B::Info},
    {"削除不可能", "", "削除できません。", true, "削除の拒否", B::Info},
    {"伝票完了2", "", " を削除しました。", true, "削除の完了", B::Info},
    {"完了", "データ ", " を削除しました。", true, "削除の完了", B::Info},
    {"削除不可", "", " にデータがあるため削除できません。メンテナンス機能で削除してください。", true, "削除不可",
     B::Info},
    {"他端末変更", "", " は他の端末で変更されました。削除しますか", true, "削除の確認", B::Ask},
    {"見積書確認", "見積書 ", " を削除します。よろしいですか", true, "削除の確認", B::Ask},
    // A delivery note's or an invoice's, named with its kind by the caller.
    {"種別確認", "", " を削除します。よろしいですか", true, "削除の確認", B::Ask},
};
const Rule k入力[] = {
    {"上行空白", "上の行が空白です。データは連続して指定してください。", "", false, "入力注意", B::Info},
    {"区分なし", "区分が指定されていません。区分を指定してください", "", false, "入力注意", B::Warn},
    {"必須入力なし", "", "指定されていません。確認してください", true, "入力注意", B::Warn},
    {"重複", "", "が重複しています。確認してください", true, "入力注意", B::Warn},
    {"範囲外", "", "が指定範囲外です。確認してください", true, "入力注意", B::Warn},
    {"数字のみ", "", "には数字以外使用できません", true, "入力注意", B::Warn},
};
const Rule k行指定[] = {
    {"無効行", "無効な行が指定されています。行指定をやり直してください。", "", false, "入力注意", B::Warn},
    {"指定なし", "行が指定されていません。行指定してください。", "", false, "入力注意", B::Warn},
    {"重複", "指定行は１回に１行です。行指定をやり直してください。", "", false, "入力注意", B::Warn},
    {"余白なし", "行挿入する余白はありません。", "", false, "行挿入注意", B::Warn},
};
const Rule kクリア[] = {
    {"確認", "画面をクリアします。よろしいですか", "", false, "画面クリアの確認", B::Ask},
};
const Rule k印刷[] = {
    {"確認", "", "を印刷します。よろしいですか", true, "印刷の確認", B::Ask},
    // Beyond the original catalogue: nothing to print on.
    {"プリンターなし", "プリンターが見つかりません。代わりにPDFファイルに保存しますか", "", false, "印刷", B::AskYes},
    {"空の見積書", "顧客名も明細もない見積書は印刷できません。顧客名か明細を入力してください。", "", false, "印刷",
     B::Info},
    {"空の伝票", "顧客名も明細もない", "は印刷できません。顧客名か明細を入力してください。", true, "印刷", B::Info},
    {"他端末変更発行", "", "。この画面の内容で発行しますか", true, "発行の確認", B::Ask},
};
const Rule kその他[] = {
    {"コピー完了", "", "コピーしました。", true, "コピー完了", B::Info},
    {"読込み完了", "", "読込みしました。", true, "読込完了", B::Info},
    {"メッセージ", "", "", true, "メッセージ", B::Info},
    {"注意", "", "", true, "注意", B::Warn},
    {"ファイルなし", "", "がありません。確認してください。", true, "ファイル確認", B::Info},
    {"確認", "", "、よろしいですか", true, "確認", B::AskYes},
    {"全端末確認", "", "、よろしいですか", true, "確認", B::Ask},
    // Removing old backups: what cannot be had back, No the default.
    {"控え削除確認", "", "を削除します。よろしいですか", true, "控えの削除", B::Ask},
    // Beyond the original catalogue: closing with an estimate that is not stored.
    {"終了確認", "保存されていない変更があります。終了してよろしいですか", "", false, "終了の確認", B::Ask},
    // Typing another number, or opening one from the list, over an estimate that is not stored.
    // Where a written file went, with a button that opens its folder.
    {"保存完了", "", "", true, "保存完了", B::InfoFolder},
    {"復元確認", "前回保存されなかった見積書があります（", "）。復元しますか", true, "復元の確認", B::AskYes},
    {"破棄確認", "", "に登録されていない変更があります。破棄してよろしいですか", true, "確認", B::Ask},
    {"読込確認", "保存されていない変更があります。画面の内容を破棄して ", " を表示します。よろしいですか", true,
     "読込の確認", B::Ask},
};

// Delivery notes and invoices: what a field cannot hold, what a conversion or an issue asks.
const Rule k伝票[] = {
    {"入力不可", "", "", true, "入力項目のチェック", B::Warn},
    {"確認", "", "", true, "確認", B::Ask},
    {"変換確認", "", "", true, "作成の確認", B::AskYes},
    {"お知らせ", "", "", true, "お知らせ", B::Info},
};

template <size_t N>
std::optional<MsgEntry> find(const Rule (&rules)[N], const QString &cat, const QString &key, const QString &text)
{
    for (const Rule &r : rules) {
        if (key != QString::fromUtf8(r.key))
            continue;
        MsgEntry e;
        e.category = cat;
        e.key = key;
        e.text = QString::fromUtf8(r.before) + (r.useText ? text : QString()) + QString::fromUtf8(r.after);
        e.title = QString::fromUtf8(r.title);
        e.buttons = r.buttons;
        return e;
    }
    return std::nullopt;
}

MsgPresenter &presenter()
{
    static MsgPresenter p = showMessageBox;
    return p;
}

} // namespace

int MsgEntry::styleValue() const
{
    switch (buttons) {
    case MsgButtons::Ask: return 292;
    case MsgButtons::AskYes: return 36;
    case MsgButtons::Info:
    case MsgButtons::InfoFolder: return 64;
    case MsgButtons::Warn: return 48;
    }
    return 0;
}

std::optional<MsgEntry> msgLookup(const QString &category, const QString &key, const QString &text)
{
    if (category == QStringLiteral("登録")) return find(k登録, category, key, text);
    if (category == QStringLiteral("転記")) return find(k転記, category, key, text);
    if (category == QStringLiteral("削除")) return find(k削除, category, key, text);
    if (category == QStringLiteral("入力")) return find(k入力, category, key, text);
    if (category == QStringLiteral("行指定")) return find(k行指定, category, key, text);
    if (category == QStringLiteral("クリア")) return find(kクリア, category, key, text);
    if (category == QStringLiteral("印刷")) return find(k印刷, category, key, text);
    if (category == QStringLiteral("その他")) return find(kその他, category, key, text);
    if (category == QStringLiteral("伝票")) return find(k伝票, category, key, text);
    return std::nullopt;
}

bool Msg(const QString &category, const QString &key, const QString &text)
{
    const auto entry = msgLookup(category, key, text);
    if (!entry)
        return false;
    const bool yes = presenter()(*entry);
    return (entry->isQuestion() || entry->buttons == MsgButtons::InfoFolder) && yes;
}

MsgPresenter setMsgPresenter(MsgPresenter p)
{
    MsgPresenter old = presenter();
    presenter() = p ? std::move(p) : MsgPresenter(showMessageBox);
    return old;
}

bool showMessageBox(const MsgEntry &e)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(e.title);
    box.setText(e.text);
    switch (e.buttons) {
    case MsgButtons::Ask:
    case MsgButtons::AskYes: {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(e.yesIsDefault() ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    case MsgButtons::Info:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::Warn:
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::InfoFolder: {
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        QPushButton *folder = box.addButton(QStringLiteral("フォルダーを開く"), QMessageBox::ActionRole);
        box.exec();
        return box.clickedButton() == folder;
    }
    }
    return box.exec() == QMessageBox::Yes;
}

static bool g_quietFailures = false;

void setFailuresQuiet(bool quiet) { g_quietFailures = quiet; }

// A server's failures: libpq's and the server's texts are English, the cause is told here.
static QString serverReasonOf(const DbResult &r, const QString &server)
{
    using namespace sqlitecode;
    const QString e = r.error.toLower();
    auto has = [&](const char *part) { return e.contains(QLatin1String(part)); };
    // Rights on a table, not on the connection: said before the connection's own reasons.
    if (r.code == NoPermission || r.state == QLatin1String("42501"))
        return QStringLiteral("サーバー「%1」のデータベースで、このユーザーに必要な権限がありません。データベースの管理者に権限の付与を依頼してください。")
            .arg(server);

    if (r.code == Cancelled)
        return QStringLiteral("サーバーの応答を待つのを取りやめました。何も変更されていません。画面の内容はそのままです。");
    // What the server said by its SQLSTATE, whatever language its text is in.
    if (r.state == QLatin1String("53100"))
        return QStringLiteral("サーバー「%1」のディスクの空き容量が足りないため、保存できませんでした。画面の内容はそのままです。"
                              "サーバーの管理者に空き容量を作ってもらってから、もう一度操作してください。").arg(server);
    if (r.state == QLatin1String("57014"))
        return QStringLiteral("サーバー「%1」の処理が制限時間を超えたため取り消しました。何も変更されていません。画面の内容はそのままです。"
                              "しばらく待ってから、もう一度操作してください。").arg(server);
    if (r.state == QLatin1String("53300"))
        return QStringLiteral("サーバー「%1」への接続が多すぎます。他の端末の QuoteDesk を閉じるか、しばらく待ってから操作してください。").arg(server);
    if (r.connectionLost() && r.code != CantOpen)
        return QStringLiteral("サーバー「%1」との接続が切れました。画面の内容はそのままです。ネットワークを確かめてから、もう一度操作してください。")
            .arg(server);
    // Connecting: the client library's words only choose the hint; nothing else depends on them.
    if (has("could not translate host name") || has("name or service not known"))
        return QStringLiteral("サーバー「%1」のホスト名が見つかりません。QuoteDesk.server のホスト名を確認してください。").arg(server);
    if (has("timeout expired") || has("timed out"))
        return QStringLiteral("サーバー「%1」から応答がありません。ネットワークとサーバーの状態を確認してください。").arg(server);
    if (has("connection refused") || has("no such file or directory"))
        return QStringLiteral("サーバー「%1」が接続を受け付けていません。サーバーが動いているか、ホスト名とポート番号を確認してください。")
            .arg(server);
    if (has("authentication") || has("no password") || has("permission denied") || has("role"))
        return QStringLiteral("サーバー「%1」に接続する権限がありません。ユーザー名と ~/.pgpass のパスワード、サーバーの設定を確認してください。")
            .arg(server);
    if (has("database") && has("does not exist"))
        return QStringLiteral("サーバー「%1」にそのデータベースがありません。QuoteDesk.server の dbname を確認してください。").arg(server);
    if (has("ssl"))
        return QStringLiteral("サーバー「%1」に SSL で接続できません。sslmode と証明書を確認してください。").arg(server);
    if (r.mayRetry())
        return QStringLiteral("他の端末の操作と重なりました。もう一度操作してください。");
    if (r.code == CantOpen)
        return QStringLiteral("サーバー「%1」に接続できません。サーバーが動いているか、QuoteDesk.server の内容とネットワークを確認してください。")
            .arg(server);
    if (r.code == NewerVersion)
        return QStringLiteral("サーバー「%1」のデータベースはこれより新しい版の QuoteDesk で作られています。新しい版の QuoteDesk をお使いください。")
            .arg(server);
    if (r.code == NotADb)
        return QStringLiteral("サーバー「%1」のデータベースは QuoteDesk 用に準備されていません。").arg(server);
    return QStringLiteral("サーバー「%1」のデータベースで問題が起きました。もう一度操作してください。").arg(server);
}

static QString reasonOf(const DbResult &r, const QString &file)
{
    using namespace sqlitecode;
    if (r.server)
        return serverReasonOf(r, r.file);
    const QString e = r.error.toLower();
    if (r.code == NotFound)
        return QStringLiteral("「%1」が見つかりません。データフォルダーにファイルがあるか確認してください。").arg(file);
    if (r.code == NewerVersion)
        return QStringLiteral("「%1」はこれより新しい版の QuoteDesk で作られたファイルです。新しい版の QuoteDesk をお使いください。")
            .arg(file);
    if (r.code == ReadOnly || e.contains("readonly"))
        return QStringLiteral("「%1」は読み取り専用です。ファイルとフォルダーに書き込みの権限があるか確認してください。").arg(file);
    if (r.code == Busy || r.code == Locked || e.contains("locked"))
        return QStringLiteral("「%1」は他のプログラムが使用中です。そのプログラムを終了してから、もう一度操作してください。").arg(file);
    if (r.code == NoPermission)
        return QStringLiteral("「%1」を読み書きする権限がありません。ファイルとフォルダーの権限を確認してください。").arg(file);
    if (r.code == NotRegular)
        return QStringLiteral("「%1」は通常のファイルではありません（装置やパイプなど）。ファイルを選び直してください。").arg(file);
    if (r.code == TooLarge)
        return QStringLiteral("「%1」は大きすぎるため読み込めません。ファイルを選び直してください。").arg(file);
    if (r.code == Full || e.contains("disk is full"))
        return QStringLiteral("ディスクの空き容量が足りません（「%1」）。不要なファイルを削除して空きを作ってから、もう一度操作してください。")
            .arg(file);
    if (r.code == Corrupt || r.code == NotADb || e.contains("malformed") || e.contains("not a database"))
        return QStringLiteral("「%1」が壊れているか、QuoteDesk のデータファイルではありません。"
                              "データフォルダーの backup にある控えから戻せます。").arg(file);
    if (r.code == IoErr || r.code == CantOpen)
        return QStringLiteral("「%1」を読み書きできません。ディスクとフォルダーの状態を確認してください。").arg(file);
    return QStringLiteral("「%1」の読み書きで問題が起きました。もう一度操作してください。").arg(file);
}

QString explainFailure(const DbResult &r, const QString &action)
{
    const QString file = r.file.isEmpty() ? QStringLiteral("データファイル") : QDir::toNativeSeparators(r.file);
    QString text = action.isEmpty() ? QString() : action + QStringLiteral("できませんでした。\n");
    text += reasonOf(r, file);
    if (!r.error.isEmpty())
        text += QStringLiteral("\n\n詳細: ") + r.error;
    return text;
}

bool reportFailure(const DbResult &r, const QString &action)
{
    if (r || g_quietFailures)
        return r.ok;
    QString text = explainFailure(r, action);
    // A damaged page met by an operation: the page check tells the file from its index.
    if (r.code == sqlitecode::Corrupt && QFileInfo(r.file).isFile()) {
        const IntegrityReport check = checkIntegrity({r.file}, false);
        if (!check.damagedFiles.isEmpty())
            text = (action.isEmpty() ? QString() : action + QStringLiteral("できませんでした。\n")) +
                   damagedFileAdvice(r.file, QFileInfo(r.file).absolutePath()) + QStringLiteral("\n\n詳細: ") + r.error;
    }
    Msg(QStringLiteral("その他"), QStringLiteral("注意"), text);
    return r.ok;
}
