#pragma once

#include "export/limits.h"
#include "export/record_measurements.h"

#include <QList>
#include <QString>

namespace cablemeter {

enum class Verdict { Pass, Fail, Unknown };

// One limit applied to one record: the value that decides it, the limit in the record's unit
// and the verdict.
struct LimitCheck {
    QString limit; // "level min 60.0 dBuv", with the value as written when its unit differs
    QString value; // the deciding value, e.g. "52.3 dBuv (row 3 C30)"
    Verdict verdict = Verdict::Pass;
    QString note; // which values fail, or why the true value is unknown
};

// Every limit of the file that applies to a record of this kind with these values. A level the
// screens show raised to their floor or held to a graph's range passes no limit: its verdict is
// Unknown.
QList<LimitCheck> checkLimits(int kind, const RecordMeasurements& measured, const Limits& limits);

// The verdict word: "PASS", "FAIL" or "UNKNOWN".
QString verdictWord(Verdict verdict);

// A record's verdict for the summary: "-" when no limit applies, else "PASS", or "FAIL" naming
// the limits that failed, or "true value unknown" naming the limits that could not be judged.
QString recordVerdict(const QList<LimitCheck>& checks);
Verdict overallVerdict(const QList<LimitCheck>& checks);

} // namespace cablemeter
