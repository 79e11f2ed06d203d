#include "server/ServerIssue.h"
#include "store/Engine.h"
#include "server/ServerSchema.h"

namespace serverissue {

QString functionStatement()
{
    QStringList kinds, spaces;
    for (DocKind k : kAllKinds) {
        kinds << '\'' + kindNames(k).label + '\'';
        spaces << QStringLiteral("WHEN '%1' THEN %2").arg(kindNames(k).label).arg(serverschema::lockSpace(k));
    }
    // The chain's text is the program's own (archivechain::next): the fields joined by U+001F,
    // empty for what is missing, hashed as UTF-8.
    return QStringLiteral(R"SQL(
CREATE OR REPLACE FUNCTION quotedesk_issue(p_kind text, p_number bigint, p_expected bigint, p_when text, p_customer text,
    p_date text, p_total bigint, p_content bytea, p_sha text, p_pdf bytea, p_how text, OUT version bigint, OUT stored bigint)
LANGUAGE plpgsql AS $body$
DECLARE
    latest record;
    last record;
    at text := p_when;
    version_id bigint;
BEGIN
    IF p_kind NOT IN (%3) THEN
        RAISE EXCEPTION 'no such kind: %', p_kind;
    END IF;
    PERFORM pg_advisory_xact_lock(CASE p_kind %4 END, p_number::integer);
    PERFORM pg_advisory_xact_lock(%2, 0);
    EXECUTE format('SELECT coalesce((SELECT h.更新番号 FROM %I h WHERE h.伝票番号 = $1), 0)', p_kind || 'ヘッダ')
        INTO stored USING p_number;
    IF p_expected >= 0 AND stored <> p_expected THEN
        version := -1;
        RETURN;
    END IF;
    SELECT v.id, v.版, v.SHA256 INTO latest FROM 発行版 v WHERE v.種別 = p_kind AND v.伝票番号 = p_number ORDER BY v.版 DESC LIMIT 1;
    SELECT r.連鎖, r.発行日時 INTO last FROM 発行記録 r ORDER BY r.id DESC LIMIT 1;
    IF last.発行日時 IS NOT NULL AND last.発行日時 > at THEN
        at := last.発行日時;
    END IF;
    IF latest.id IS NOT NULL AND latest.SHA256 = p_sha THEN
        version_id := latest.id;
        version := latest.版;
    ELSE
        version := coalesce(latest.版, 0) + 1;
        INSERT INTO 発行版 (種別, 伝票番号, 版, 発行日時, 顧客名, 日付, 合計, 内容, SHA256)
            VALUES (p_kind, p_number, version, at, p_customer, p_date, p_total, p_content, p_sha) RETURNING id INTO version_id;
        INSERT INTO 発行PDF (版ID, PDF) VALUES (version_id, p_pdf);
        IF coalesce(p_customer, '') <> '' THEN
            INSERT INTO 発行取引先 (名) VALUES (p_customer) ON CONFLICT DO NOTHING;
        END IF;
    END IF;
    INSERT INTO 発行記録 (版ID, 発行日時, 方法, 連鎖) VALUES (version_id, at, p_how, encode(sha256(convert_to(concat_ws(chr(31),
        coalesce(last.連鎖, repeat('0', 64)), p_kind, p_number::text, version::text, at, coalesce(p_customer, ''),
        coalesce(p_total::text, ''), p_how, p_sha), 'UTF8')), 'hex'));
END $body$)SQL")
        .arg(serverschema::kLockSpace + 1)
        .arg(kinds.join(", "), spaces.join(' '));
}

DbResult record(Db &db, const Issue &i, int *version)
{
    DbRows rows;
    // Its own transaction: sent once; a reply lost on the way is reported, never sent again blindly.
    DbResult r = db.select("SELECT version, stored FROM quotedesk_issue(?, ?, ?, ?, ?, ?, ?::bigint, ?, ?, ?, ?)",
                           {i.kind, i.number, i.expected, i.when, i.customer, i.date, i.total, i.content, i.sha256, i.pdf, i.how},
                           rows, Db::OnLoss::Report);
    if (!r)
        return r;
    if (rows.isEmpty())
        return DbResult::failure(QStringLiteral("quotedesk_issue returned nothing"));
    if (rows[0][0].toLongLong() < 0)
        return estimateMismatch(i.number, i.expected, rows[0][1].toLongLong());
    if (version)
        *version = rows[0][0].toInt();
    return {};
}

} // namespace serverissue
