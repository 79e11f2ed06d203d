#pragma once
// A new document from stored ones: an estimate's delivery note or invoice, a delivery note's
// invoice, or one invoice over several delivery notes of one customer. No widgets here.

#include "estimate/EstimateStore.h"

struct Conversion {
    Estimate document;            // unstored, number 0, dated today
    QString refusal;              // why it cannot be made (nothing else is set then)
    QVector<DocLink> alreadyMade; // documents of the target kind made from these sources before
};

// Reads the sources as stored now; one deleted meanwhile is refused, naming it.
DbResult convertDocuments(QuoteDeskContext &ctx, DocKind kind, const QVector<int> &numbers, DocKind target,
                          Conversion &out);
