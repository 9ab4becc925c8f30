#include "export/report_pdf.h"

#include "export/report_html.h"
#include "export/report_reading.h"
#include "export/screen_drawing.h"
#include "platform/screen_font.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

namespace cablemeter {

namespace {

constexpr int kDotsPerInch = 300;
constexpr double kMarginMillimetres = 16.0;
constexpr double kFooterMillimetres = 8.0;
constexpr double kMillimetresPerInch = 25.4;
constexpr double kBodyFontPoints = 9.5;
constexpr double kFooterFontPoints = 8.0;
// The screens are shown 1.5 times their size at 96 dpi (127 mm wide) and embedded at twice their
// size, each pixel a 2 x 2 block, so that a viewer's smoothing blurs no more than a block's edge.
constexpr int kPictureWidth = 480;
constexpr int kEmbeddedScale = 2;

QPageSize pageSize(PaperSize paper)
{
    return QPageSize(paper == PaperSize::Letter ? QPageSize::Letter : QPageSize::A4);
}

QString pictureName(const ReportedRecord& record)
{
    return QStringLiteral("screen-%1.png").arg(record.entry.slot);
}

QFont reportFont(double points)
{
    QFont font(screenFontFamily());
    font.setPointSizeF(points);
    // Letter spacing, however small (a few 64ths of a device pixel), turns off ligatures: "fl"
    // stays two letters that a search in the PDF finds.
    constexpr double kLigatureBreakingSpacing = 0.05;
    font.setLetterSpacing(QFont::AbsoluteSpacing, kLigatureBreakingSpacing);
    return font;
}

} // namespace

QByteArray pdfReport(const ReportHeading& heading, const QList<ReportedRecord>& records,
                     PaperSize paper)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kDotsPerInch);
    writer.setPageLayout(QPageLayout(
        pageSize(paper), QPageLayout::Portrait,
        QMarginsF(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres, kMarginMillimetres),
        QPageLayout::Millimeter));
    writer.setTitle(heading.title);
    writer.setCreator(QStringLiteral("cablemeter " CABLEMETER_VERSION));

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    document.setDefaultFont(reportFont(kBodyFontPoints));
    for (const ReportedRecord& record : records) {
        if (!record.screen.isNull())
            document.addResource(QTextDocument::ImageResource, QUrl(pictureName(record)),
                                 pixelScaled(record.screen, kEmbeddedScale));
    }
    const ReportHtml html(ReportHtml::Target::RichText, pictureName, kPictureWidth);
    document.setHtml(html.html(heading, records));

    const QRectF paintArea = writer.pageLayout().paintRectPixels(kDotsPerInch);
    const double footerHeight = kFooterMillimetres / kMillimetresPerInch * kDotsPerInch;
    const QSizeF body(paintArea.width(), paintArea.height() - footerHeight);
    document.setPageSize(body);

    QPainter painter(&writer);
    // Without this hint Qt may store the screens as JPEG.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    const QRectF footer(0, body.height(), body.width(), footerHeight);
    const int pages = document.pageCount();
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.translate(0, -page * body.height());
        document.drawContents(&painter, QRectF(QPointF(0, page * body.height()), body));
        painter.restore();
        painter.setFont(reportFont(kFooterFontPoints));
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom, heading.title);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("page %1 of %2").arg(page + 1).arg(pages));
    }
    painter.end();
    return buffer.data();
}

} // namespace cablemeter
