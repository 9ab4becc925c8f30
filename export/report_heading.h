#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace cablemeter {

// What the first page of a report says about it, besides its records.
struct ReportHeading {
    QString title;        // the site or job, as the technician names it
    QDateTime madeAt;     // when the report was made
    QString source;       // the meter's device, or the flash image file
    QString imageSha256;  // hex; only for a report from a flash image file
    QString verification; // whether the copy was verified, in words
    QString limits;       // the limits file, or that there were none
};

enum class ReportFormat { Pdf, Html };
enum class PaperSize { A4, Letter };

// The format a report file's name asks for: ".pdf" or ".html" (".htm"), in any case.
std::optional<ReportFormat> reportFormatFor(const QString& path);

} // namespace cablemeter
