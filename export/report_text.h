#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace cablemeter {

struct ReportedRecord;

// A table of text cells; the first row is the header.
struct TextTable {
    QStringList header;
    QList<QStringList> rows;
};

// The record's kind as the summary names it: the list's label ("Title (tilt)" for the tilt
// record, "kind 20" for a kind with a blank label).
QString kindText(const ReportedRecord& record);
// The main values with their units, as records.csv has them: "C21, 471.25 MHz, 75.2 dBuv".
QString mainValuesText(const ReportedRecord& record);
// The values of a record's section: one row per value of a text screen ("Level", "75.2 dBuv"),
// or one row per tilt row, scan channel or spectrum point.
TextTable valuesTable(const ReportedRecord& record);
// The limits applied to a record: limit, value, verdict, note.
TextTable checksTable(const ReportedRecord& record);
// "22 records: 10 PASS, 3 FAIL, 1 true value unknown, 8 without a limit".
QString resultCountsText(const QList<ReportedRecord>& records);

} // namespace cablemeter
