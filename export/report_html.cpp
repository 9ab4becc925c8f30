#include "export/report_html.h"

#include "export/record_values.h"
#include "export/report_reading.h"
#include "export/report_text.h"
#include "platform/picture.h"

#include <QLocale>

#include <algorithm>

namespace cablemeter {

namespace {

// Long lists of points are laid out in side-by-side column groups of about this many rows, in
// tables of at most kRowsPerTable rows: Qt's rich text lays out a table's cells in a time that
// grows with the square of their number.
constexpr int kRowsPerGroup = 25;
constexpr int kMostGroups = 6;
constexpr int kRowsPerTable = 16;

// Kept to what both a browser and Qt's rich text understand; browsers alone use the rest.
const QString kStyle = QStringLiteral(R"(
body { font-family: FreeSans, "Liberation Sans", Arial, Helvetica, sans-serif; font-size: 10pt;
       color: #111111; }
h1 { font-size: 18pt; margin-bottom: 6px; }
h2 { font-size: 13pt; margin-top: 18px; margin-bottom: 4px; }
h3 { font-size: 10.5pt; margin-top: 10px; margin-bottom: 3px; }
table { border-collapse: collapse; border-color: #9a9a9a; border-style: solid; }
th { background-color: #e6e6e6; text-align: left; font-weight: bold; }
th, td { border: 1px solid #9a9a9a; padding: 2px 5px; vertical-align: top; }
td.number { text-align: right; }
td.stamp { white-space: nowrap; }
.pass { color: #0a6b0a; font-weight: bold; }
.fail { color: #b00000; font-weight: bold; }
.unknown { color: #8a5200; font-weight: bold; }
.plain { color: #444444; }
p.note { color: #444444; }
img.screen { image-rendering: pixelated; border: 1px solid #777777; }
@media print { h2.record { break-before: page; } }
)");

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString verdictClass(const ReportedRecord& record)
{
    if (record.checks.isEmpty())
        return QStringLiteral("plain");
    switch (overallVerdict(record.checks)) {
    case Verdict::Pass:
        return QStringLiteral("pass");
    case Verdict::Fail:
        return QStringLiteral("fail");
    case Verdict::Unknown:
        return QStringLiteral("unknown");
    }
    return {};
}

QString verdictSpan(const QString& cssClass, const QString& text)
{
    return QStringLiteral("<span class=\"%1\">%2</span>").arg(cssClass, escaped(text));
}

QString checkClass(const QString& word)
{
    return word.toLower();
}

QString tableStart(bool fullWidth = false)
{
    return fullWidth ? QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                                      "width=\"100%\">")
                     : QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">");
}

QString headerRow(const QStringList& cells)
{
    QString row = QStringLiteral("<thead><tr>");
    for (const QString& cell : cells)
        row += QStringLiteral("<th>%1</th>").arg(escaped(cell));
    return row + QStringLiteral("</tr></thead>");
}

// A table; with `groups` above 1 its rows run down several side-by-side column groups, in tables
// of kRowsPerTable rows.
QString textTable(const TextTable& table, int groups = 1)
{
    const int rowCount = int(table.rows.size());
    const int rowsPerGroup = (rowCount + groups - 1) / groups;
    QStringList header;
    for (int g = 0; g < groups; ++g)
        header += table.header;
    const QString start = tableStart(groups > 1) + headerRow(header) + QStringLiteral("<tbody>");
    const QString end = QStringLiteral("</tbody></table>");
    QString html = start;
    for (int r = 0; r < rowsPerGroup; ++r) {
        if (groups > 1 && r > 0 && r % kRowsPerTable == 0)
            html += end + start;
        html += QStringLiteral("<tr>");
        for (int g = 0; g < groups; ++g) {
            const int index = g * rowsPerGroup + r;
            for (int c = 0; c < table.header.size(); ++c) {
                const QString cell = index < rowCount ? table.rows[index].value(c) : QString();
                html += QStringLiteral("<td>%1</td>").arg(escaped(cell));
            }
        }
        html += QStringLiteral("</tr>");
    }
    return html + end;
}

// Two-column lists of points (scan channels, spectrum points) are long and narrow.
int groupsFor(const TextTable& table)
{
    constexpr int kNarrowTable = 2;
    if (table.header.size() > kNarrowTable)
        return 1;
    const int groups = (int(table.rows.size()) + kRowsPerGroup - 1) / kRowsPerGroup;
    return std::clamp(groups, 1, kMostGroups);
}

QString checksHtml(const ReportedRecord& record)
{
    if (record.checks.isEmpty())
        return QStringLiteral("<p class=\"note\">No limit applies to this record.</p>");
    const TextTable table = checksTable(record);
    QString html = tableStart(true) + headerRow(table.header) + QStringLiteral("<tbody>");
    for (const QStringList& row : table.rows) {
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                    .arg(escaped(row[0]), escaped(row[1]), verdictSpan(checkClass(row[2]), row[2]),
                         escaped(row[3]));
    }
    return html + QStringLiteral("</tbody></table>");
}

QString factRow(const QString& name, const QString& value)
{
    return QStringLiteral("<tr><th>%1</th><td>%2</td></tr>").arg(escaped(name), escaped(value));
}

} // namespace

ReportHtml::ReportHtml(Target target, PictureSource pictureSource, int pictureWidth)
    : m_target(target), m_pictureSource(std::move(pictureSource)), m_pictureWidth(pictureWidth)
{
}

QString ReportHtml::sectionAnchor(const ReportedRecord& record)
{
    return QStringLiteral("slot-%1").arg(record.entry.slot);
}

QString ReportHtml::html(const ReportHeading& heading, const QList<ReportedRecord>& records) const
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta "
                                  "charset=\"utf-8\"><title>%1</title><style>%2</style></head>"
                                  "<body>\n")
                       .arg(escaped(heading.title), kStyle);
    html += firstPage(heading, records);
    for (const ReportedRecord& record : records) {
        if (!record.screen.isNull())
            html += recordSection(record);
    }
    return html + QStringLiteral("</body></html>\n");
}

QString ReportHtml::firstPage(const ReportHeading& heading,
                              const QList<ReportedRecord>& records) const
{
    QString html = QStringLiteral("<h1>%1</h1>\n").arg(escaped(heading.title));
    html += tableStart();
    html += factRow(QStringLiteral("Made"),
                    QLocale::c().toString(heading.madeAt, QStringLiteral("yyyy-MM-dd HH:mm:ss t")));
    html += factRow(QStringLiteral("Program"), QStringLiteral("cablemeter " CABLEMETER_VERSION));
    html += factRow(QStringLiteral("Source"), heading.source);
    if (!heading.imageSha256.isEmpty())
        html += factRow(QStringLiteral("Image SHA-256"), heading.imageSha256);
    html += factRow(QStringLiteral("Verified copy"), heading.verification);
    html += factRow(QStringLiteral("Limits"), heading.limits);
    html += factRow(QStringLiteral("Result"), resultCountsText(records));
    html += QStringLiteral("</table>\n<h2>Summary</h2>\n");
    return html + summaryTable(records);
}

QString ReportHtml::summaryTable(const QList<ReportedRecord>& records) const
{
    QString html =
        tableStart(true) +
        headerRow({QStringLiteral("Slot"), QStringLiteral("Name"), QStringLiteral("Kind"),
                   QStringLiteral("Stamp"), QStringLiteral("Values"), QStringLiteral("Verdict")}) +
        QStringLiteral("<tbody>");
    for (const ReportedRecord& record : records) {
        QString name = escaped(plainText(record.entry.name));
        if (!record.screen.isNull())
            name = QStringLiteral("<a href=\"#%1\">%2</a>").arg(sectionAnchor(record), name);
        html +=
            QStringLiteral(
                "<tr><td class=\"number\">%1</td><td>%2</td><td>%3</td><td class=\"stamp\">%4</td>"
                "<td>%5</td><td>%6</td></tr>\n")
                .arg(QString::number(record.entry.slot), name, escaped(kindText(record)),
                     escaped(record.entry.stamp), escaped(mainValuesText(record)),
                     verdictSpan(verdictClass(record), recordVerdict(record.checks)));
    }
    return html + QStringLiteral("</tbody></table>\n");
}

QString ReportHtml::recordSection(const ReportedRecord& record) const
{
    // Qt's rich text starts a page only where a block asks for it.
    const QString pageBreak = m_target == Target::RichText
                                  ? QStringLiteral(" style=\"page-break-before: always\"")
                                  : QString();
    const QString name = plainText(record.entry.name);
    QString html = QStringLiteral("<h2 class=\"record\" id=\"%1\"%2><a name=\"%1\"></a>Slot %3: "
                                  "%4 \u2013 %5</h2>\n")
                       .arg(sectionAnchor(record), pageBreak, QString::number(record.entry.slot),
                            escaped(name), escaped(kindText(record)));
    html += QStringLiteral("<p>Stored %1. Verdict: %2</p>\n")
                .arg(escaped(record.entry.stamp),
                     verdictSpan(verdictClass(record), recordVerdict(record.checks)));
    const int height = m_pictureWidth * Picture::kHeight / Picture::kWidth;
    html += QStringLiteral("<p><img class=\"screen\" src=\"%1\" width=\"%2\" height=\"%3\" "
                           "alt=\"The screen of slot %4\"></p>\n")
                .arg(escaped(m_pictureSource(record)))
                .arg(m_pictureWidth)
                .arg(height)
                .arg(record.entry.slot);
    const TextTable values = valuesTable(record);
    html += QStringLiteral("<h3>Values</h3>\n") + textTable(values, groupsFor(values));
    html += QStringLiteral("\n<h3>Limits</h3>\n") + checksHtml(record) + QLatin1Char('\n');
    return html;
}

} // namespace cablemeter
