#include "export/report_text.h"

#include "catalogue/record_kinds.h"
#include "export/report_reading.h"

#include <QJsonObject>

#include <algorithm>

namespace cablemeter {

namespace {

constexpr int kLevelDecimals = 1;
constexpr int kFrequencyDecimals = 2;

const QString kUnitColumn = QStringLiteral("unit");

// How a value column of records.csv reads in the report.
struct ValueColumn {
    const char* column;
    const char* label;
    int decimals;     // -1: text
    const char* unit; // nullptr: the record's level unit
};

const ValueColumn kValueColumns[] = {
    {"channel", "Channel", -1, ""},
    {"frequency_mhz", "Frequency", kFrequencyDecimals, "MHz"},
    {"level", "Level", kLevelDecimals, nullptr},
    {"cn_db", "C/N", kLevelDecimals, "dB"},
    {"audio_frequency_mhz", "Audio frequency", kFrequencyDecimals, "MHz"},
    {"audio_level", "Audio level", kLevelDecimals, nullptr},
    {"va_db", "V/A", kLevelDecimals, "dB"},
    {"ac_v", "AC", kLevelDecimals, "V"},
    {"dc_v", "DC", kLevelDecimals, "V"},
    {"battery_v", "Battery", kLevelDecimals, "V"},
    {"level_raw_tenths_dbuv", "Level as stored", 0, "tenths of a dB\u00b5V (unknown unit code)"},
    {"audio_level_raw_tenths_dbuv", "Audio level as stored", 0,
     "tenths of a dB\u00b5V (unknown unit code)"},
};

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString cellText(const QJsonObject& fields, const ValueColumn& column)
{
    const QJsonValue value = fields.value(QLatin1String(column.column));
    if (column.decimals < 0)
        return value.toString();
    const QString unit =
        column.unit ? QString::fromUtf8(column.unit) : fields.value(kUnitColumn).toString();
    return fixed(value.toDouble(), column.decimals) + QLatin1Char(' ') + unit;
}

// A point's level in the unit its table's header names, or as stored when its unit code names
// none.
QString pointLevel(const QJsonObject& point)
{
    if (point.contains(QStringLiteral("value")))
        return fixed(point.value(QStringLiteral("value")).toDouble(), kLevelDecimals);
    return QStringLiteral("%1 as stored")
        .arg(point.value(QStringLiteral("value_raw_tenths_dbuv")).toInt());
}

// The points of a table share their unit, which heads their column.
QString levelHeader(const ReportedRecord& record)
{
    const QString unit = record.values.fields.value(kUnitColumn).toString();
    return unit.isEmpty() ? QStringLiteral("Level as stored") : unit;
}

QString pointIndex(const QJsonObject& point)
{
    return QString::number(point.value(QStringLiteral("index")).toInt());
}

QString pointsSummary(const ReportedRecord& record, const QString& noun)
{
    const QList<QJsonObject>& points = record.values.points;
    QList<double> levels;
    for (const QJsonObject& point : points) {
        if (point.contains(QStringLiteral("value")))
            levels.append(point.value(QStringLiteral("value")).toDouble());
    }
    QString text = QStringLiteral("%1 %2").arg(points.size()).arg(noun);
    if (!levels.isEmpty())
        text += QStringLiteral(", %1 to %2 %3")
                    .arg(fixed(*std::min_element(levels.begin(), levels.end()), kLevelDecimals),
                         fixed(*std::max_element(levels.begin(), levels.end()), kLevelDecimals),
                         record.values.fields.value(kUnitColumn).toString());
    return text;
}

// Whether the record's values have this shape; a kind without a screen has no values.
bool hasShape(const ReportedRecord& record, ValuesShape shape)
{
    const KindScreen* screen = kindScreen(record.entry.kind);
    return screen && screen->shape == shape;
}

} // namespace

QString kindText(const ReportedRecord& record)
{
    // The list calls the tilt record "Title".
    if (hasShape(record, ValuesShape::Tilt))
        return record.entry.label + QStringLiteral(" (tilt)");
    if (record.entry.label.isEmpty())
        return QStringLiteral("kind %1").arg(record.entry.kind);
    return record.entry.label;
}

QString mainValuesText(const ReportedRecord& record)
{
    if (hasShape(record, ValuesShape::Tilt))
        return pointsSummary(record, QStringLiteral("rows"));
    if (hasShape(record, ValuesShape::Scan))
        return pointsSummary(record, QStringLiteral("channels"));
    if (hasShape(record, ValuesShape::Spect))
        return pointsSummary(record, QStringLiteral("points"));
    QStringList parts;
    for (const ValueColumn& column : kValueColumns) {
        if (!record.values.fields.contains(QLatin1String(column.column)))
            continue;
        const QString text = cellText(record.values.fields, column);
        // The channel and the frequency speak for themselves; other values are named.
        const bool named = column.decimals >= 0 &&
                           QLatin1String(column.column) != "frequency_mhz" &&
                           QLatin1String(column.column) != "level";
        parts << (named ? QLatin1String(column.label) + QLatin1Char(' ') + text : text);
    }
    return parts.join(QStringLiteral(", "));
}

TextTable valuesTable(const ReportedRecord& record)
{
    TextTable table;
    const QList<QJsonObject>& points = record.values.points;
    if (hasShape(record, ValuesShape::Tilt)) {
        table.header = {QStringLiteral("Row"), QStringLiteral("Channel"), QStringLiteral("Type"),
                        levelHeader(record)};
        for (const QJsonObject& point : points)
            table.rows.append({pointIndex(point), point.value(QStringLiteral("channel")).toString(),
                               point.value(QStringLiteral("type")).toString(), pointLevel(point)});
        return table;
    }
    const bool scan = hasShape(record, ValuesShape::Scan);
    if (scan || hasShape(record, ValuesShape::Spect)) {
        table.header = {scan ? QStringLiteral("Channel") : QStringLiteral("Point"),
                        levelHeader(record)};
        for (const QJsonObject& point : points)
            table.rows.append({pointIndex(point), pointLevel(point)});
        return table;
    }
    table.header = {QStringLiteral("Quantity"), QStringLiteral("Value")};
    for (const ValueColumn& column : kValueColumns) {
        if (record.values.fields.contains(QLatin1String(column.column)))
            table.rows.append(
                {QLatin1String(column.label), cellText(record.values.fields, column)});
    }
    return table;
}

TextTable checksTable(const ReportedRecord& record)
{
    TextTable table;
    table.header = {QStringLiteral("Limit"), QStringLiteral("Value"), QStringLiteral("Verdict"),
                    QStringLiteral("Note")};
    for (const LimitCheck& check : record.checks)
        table.rows.append({check.limit, check.value, verdictWord(check.verdict), check.note});
    return table;
}

QString resultCountsText(const QList<ReportedRecord>& records)
{
    int passed = 0;
    int failed = 0;
    int unknown = 0;
    int unchecked = 0;
    for (const ReportedRecord& record : records) {
        if (record.checks.isEmpty()) {
            ++unchecked;
            continue;
        }
        switch (overallVerdict(record.checks)) {
        case Verdict::Pass:
            ++passed;
            break;
        case Verdict::Fail:
            ++failed;
            break;
        case Verdict::Unknown:
            ++unknown;
            break;
        }
    }
    return QStringLiteral("%1 records: %2 PASS, %3 FAIL, %4 true value unknown, %5 without a limit")
        .arg(records.size())
        .arg(passed)
        .arg(failed)
        .arg(unknown)
        .arg(unchecked);
}

} // namespace cablemeter
