#pragma once

#include "export/report_heading.h"

#include <QByteArray>
#include <QList>

namespace cablemeter {

struct ReportedRecord;

// The report as a PDF in memory: real text in the embedded FreeSans, the screens embedded
// losslessly, "page n of m" at the foot of every page.
QByteArray pdfReport(const ReportHeading& heading, const QList<ReportedRecord>& records,
                     PaperSize paper);

} // namespace cablemeter
