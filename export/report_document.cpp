#include "export/report_document.h"

#include "export/report_html.h"
#include "export/report_pdf.h"
#include "export/report_reading.h"
#include "export/screen_drawing.h"
#include "platform/picture.h"

#include <QBuffer>
#include <QFileInfo>

namespace cablemeter {

namespace {

// A browser shows the screens twice their size, each pixel a 2 x 2 block.
constexpr int kHtmlScale = 2;

QString pngDataUrl(const QImage& image)
{
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    image.save(&png, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.data().toBase64());
}

} // namespace

std::optional<ReportFormat> reportFormatFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return ReportFormat::Html;
    return std::nullopt;
}

QByteArray htmlReport(const ReportHeading& heading, const QList<ReportedRecord>& records)
{
    const ReportHtml html(
        ReportHtml::Target::Browser,
        [](const ReportedRecord& record) {
            return pngDataUrl(pixelScaled(record.screen, kHtmlScale));
        },
        kHtmlScale * Picture::kWidth);
    return html.html(heading, records).toUtf8();
}

QByteArray reportDocument(ReportFormat format, const ReportHeading& heading,
                          const QList<ReportedRecord>& records, PaperSize paper)
{
    if (format == ReportFormat::Html)
        return htmlReport(heading, records);
    return pdfReport(heading, records, paper);
}

} // namespace cablemeter
