#pragma once
// The kinds of document the program writes, and the names each kind's data goes under. The
// estimate's names are those the first stored files were laid out with; every later kind's
// follow the same pattern, so that a kind is added here and nowhere else.

#include <QString>
#include <array>
#include <optional>

enum class DocKind { Estimate = 1, Delivery = 2, Invoice = 3, Credit = 4, Receipt = 5 };

inline constexpr std::array<DocKind, 5> kAllKinds{DocKind::Estimate, DocKind::Delivery, DocKind::Invoice, DocKind::Credit,
                                                   DocKind::Receipt};

// The kinds that came after the estimate, in the order the files gained them.
inline constexpr std::array<DocKind, 4> kLaterKinds{DocKind::Delivery, DocKind::Invoice, DocKind::Credit, DocKind::Receipt};

// The lines a document holds, and the rows of its grid.
constexpr int kDetailRows = 30;

struct KindNames {
    DocKind kind;
    int code;             // stored where a kind is a number (伝票区分, links)
    QString label;        // 見積書: the page's caption, the sheet's title, the archive's kind
    QString header;       // 見積書ヘッダ
    QString lines;        // 見積書
    QString index;        // 見積書索引
    QString counter;      // 最大見積書番号, a column of 自社情報
    QString work;         // w明細: the grid's rows in the work file
    QString screen;       // w画面: the unstored header in the work file
    QString page;         // Tab見積書: the page's object name
    QString saveFunction; // the server's save
};

inline const KindNames &kindNames(DocKind kind)
{
    static const std::array<KindNames, 5> names{{
        {DocKind::Estimate, 1, "見積書", "見積書ヘッダ", "見積書", "見積書索引", "最大見積書番号", "w明細", "w画面",
         "Tab見積書", "quotedesk_save"},
        {DocKind::Delivery, 2, "納品書", "納品書ヘッダ", "納品書", "納品書索引", "最大納品書番号", "w納品書明細",
         "w納品書画面", "Tab納品書", "quotedesk_save_delivery"},
        {DocKind::Invoice, 3, "請求書", "請求書ヘッダ", "請求書", "請求書索引", "最大請求書番号", "w請求書明細",
         "w請求書画面", "Tab請求書", "quotedesk_save_invoice"},
        {DocKind::Credit, 4, "返還請求書", "返還請求書ヘッダ", "返還請求書", "返還請求書索引", "最大返還請求書番号",
         "w返還請求書明細", "w返還請求書画面", "Tab返還請求書", "quotedesk_save_credit"},
        {DocKind::Receipt, 5, "領収書", "領収書ヘッダ", "領収書", "領収書索引", "最大領収書番号", "w領収書明細", "w領収書画面",
         "Tab領収書", "quotedesk_save_receipt"},
    }};
    return names[int(kind) - 1];
}

inline std::optional<DocKind> kindFromCode(int code)
{
    if (code < 1 || code > int(kAllKinds.size()))
        return std::nullopt;
    return DocKind(code);
}

inline std::optional<DocKind> kindFromLabel(const QString &label)
{
    for (DocKind k : kAllKinds)
        if (kindNames(k).label == label)
            return k;
    return std::nullopt;
}
