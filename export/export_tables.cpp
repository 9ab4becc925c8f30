#include "export/export_tables.h"

#include "export/exported_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace cablemeter {

namespace {

const QString kSlot = QStringLiteral("slot");
const QString kKind = QStringLiteral("kind");
const QString kPoints = QStringLiteral("points");
const QString kRecords = QStringLiteral("records");
constexpr int kSignificantDigits = 15;

// Every record's catalogue columns, then its values.
QJsonObject recordObject(const ExportedRecord& record)
{
    QJsonObject object = record.values.fields;
    object[kSlot] = record.entry.slot;
    object[QStringLiteral("name")] = plainText(record.entry.name);
    object[kKind] = record.entry.kind;
    object[QStringLiteral("label")] = record.entry.label;
    object[QStringLiteral("stamp")] = record.entry.stamp;
    object[QStringLiteral("picture")] = record.pictureFile;
    return object;
}

const QStringList& recordColumns()
{
    static const QStringList columns = QStringList{kSlot,
                                                   QStringLiteral("name"),
                                                   kKind,
                                                   QStringLiteral("label"),
                                                   QStringLiteral("stamp"),
                                                   QStringLiteral("picture")} +
                                       recordValueColumns();
    return columns;
}

QString cellText(const QJsonValue& value)
{
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', kSignificantDigits);
    return csvField(value.toString());
}

QByteArray table(const QStringList& columns, const QList<QJsonObject>& rows)
{
    QString text = columns.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const QJsonObject& row : rows) {
        QStringList cells;
        for (const QString& column : columns)
            cells << cellText(row.value(column));
        text += cells.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QJsonObject pointRow(const ExportedRecord& record, QJsonObject point)
{
    point[kSlot] = record.entry.slot;
    point[kKind] = record.entry.kind;
    return point;
}

} // namespace

QByteArray recordsCsv(const QList<ExportedRecord>& records)
{
    QList<QJsonObject> rows;
    for (const ExportedRecord& record : records)
        rows.append(recordObject(record));
    return table(recordColumns(), rows);
}

QByteArray pointsCsv(const QList<ExportedRecord>& records)
{
    QList<QJsonObject> rows;
    for (const ExportedRecord& record : records) {
        for (const QJsonObject& point : record.values.points)
            rows.append(pointRow(record, point));
    }
    return table(QStringList{kSlot, kKind} + pointColumns(), rows);
}

QByteArray recordsJson(const QList<ExportedRecord>& records)
{
    QJsonArray array;
    for (const ExportedRecord& record : records) {
        QJsonObject object = recordObject(record);
        QJsonArray points;
        for (const QJsonObject& point : record.values.points)
            points.append(point);
        if (!points.isEmpty())
            object[kPoints] = points;
        array.append(object);
    }
    return QJsonDocument(QJsonObject{{kRecords, array}}).toJson(QJsonDocument::Indented);
}

QString csvField(const QString& text)
{
    static const QString needsQuotes = QStringLiteral(",\"\r\n");
    // A spreadsheet takes a cell starting with one of these for a formula: the cell gets a
    // leading quote and is quoted, as spreadsheet tools recommend.
    static const QString startsFormula = QStringLiteral("=+-@\t\r");
    const bool formula = !text.isEmpty() && startsFormula.contains(text.front());
    bool quoted = formula;
    for (const QChar c : needsQuotes)
        quoted = quoted || text.contains(c);
    if (!quoted)
        return text;
    QString escaped = formula ? QLatin1Char('\'') + text : text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace cablemeter
