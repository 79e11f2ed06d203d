#pragma once
// 照合 of the whole archive: every copy against its hash, every issue against the chain, the
// versions of each number in sequence, the customer index, the protections, and (in a file)
// the archive folder against the rows. Each break is named in Japanese for the person checking.

#include "store/Db.h"

#include <QVector>
#include <functional>

struct ArchiveBreak {
    enum Kind {
        ChangedCopy,   // the bytes no longer hash to what is stored with them
        MissingCopy,   // a version without its bytes
        ChangedRecord, // an issue's data no longer matches its place in the chain
        Missing,       // a version or an issue removed (a gap, a dangling reference, the latest gone)
        Inserted,      // a version no issue names, or one slipped in out of sequence
        BackDated,     // an issue dated before the one before it
        IndexRow,      // a customer missing from the search's index of names
        StrayFile,     // a file under data/archive that no row names
        Unprotected,   // a protection (trigger) of the archive is missing or off
    };
    Kind kind;
    QString text; // what a person reads
    qlonglong versionId = 0;
};

struct ArchiveAudit {
    qlonglong records = 0, versions = 0;
    QString head; // the chain's latest hash
    QVector<ArchiveBreak> breaks;
    bool sound() const { return breaks.isEmpty(); }
    bool has(ArchiveBreak::Kind kind) const;
    QString summary() const;
};

// progress(done, total) is asked as the copies are read; false from it stops the check
// (Cancelled). Rows only: nothing is written.
DbResult auditArchive(Db &db, ArchiveAudit &out, const std::function<bool(qlonglong, qlonglong)> &progress = {});

// Whether an exported 索引.csv still describes the archive: each listed version present with
// its hash, the head it ended with still in the chain, and as many issues up to that head.
DbResult compareWithIndex(Db &db, const QString &indexPath, ArchiveAudit &out);

// What the start checks on its thread: the protections, and files that no row names.
struct ArchiveStartCheck {
    QStringList unprotected;
    QStringList strayFiles;
    bool ok() const { return unprotected.isEmpty() && strayFiles.isEmpty(); }
    QString notice() const;
};
DbResult checkArchiveAtStart(Db &db, ArchiveStartCheck &out);
