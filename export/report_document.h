#pragma once

#include "export/report_heading.h"

#include <QByteArray>
#include <QList>

namespace cablemeter {

struct ReportedRecord;

// The whole report file in memory, in the format asked for, ready to be written at once.
QByteArray reportDocument(ReportFormat format, const ReportHeading& heading,
                          const QList<ReportedRecord>& records, PaperSize paper = PaperSize::A4);

// The report as one self-contained HTML file: the screens embedded as PNG data: URLs, shown
// pixel for pixel (image-rendering: pixelated), and no reference outside the file.
QByteArray htmlReport(const ReportHeading& heading, const QList<ReportedRecord>& records);

} // namespace cablemeter
