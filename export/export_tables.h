#pragma once

#include <QByteArray>
#include <QList>

namespace cablemeter {

struct ExportedRecord;

// The tables' file names in the export's folder.
inline constexpr char kRecordsCsvName[] = "records.csv";
inline constexpr char kPointsCsvName[] = "points.csv";
inline constexpr char kRecordsJsonName[] = "records.json";

// records.csv: one row per record (slot, name, kind, label, stamp, picture, then the values).
QByteArray recordsCsv(const QList<ExportedRecord>& records);
// points.csv: one row per tilt row, scan channel or spectrum point (slot, kind, then the point).
QByteArray pointsCsv(const QList<ExportedRecord>& records);
// records.json: {"records": [...]}, each record with its columns and its "points".
QByteArray recordsJson(const QList<ExportedRecord>& records);

// A CSV field: quoted when it holds a comma, a quote or a line break, quotes doubled. A text
// that a spreadsheet would take for a formula (starting with = + - @, tab or CR) gets a leading
// single quote and is quoted. Numbers do not pass through here and stay numbers.
QString csvField(const QString& text);

} // namespace cablemeter
