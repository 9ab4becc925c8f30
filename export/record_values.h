#pragma once

#include "export/record_measurements.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

namespace cablemeter {

class PageReader;

struct CatalogueEntry;

// The values of one record in plain units: MHz, volts, dB, levels in the record's unit.
struct RecordValues {
    // Column name -> value, only for the columns the record has (see recordValueColumns()).
    QJsonObject fields;
    // Tilt rows, scan channels or spectrum points, each with the columns of pointColumns() but
    // the slot and kind.
    QList<QJsonObject> points;
    // The same values as limits check them.
    RecordMeasurements measured;
};

// The value columns a record can have, in table order.
const QStringList& recordValueColumns();
// The columns of one point, in table order.
const QStringList& pointColumns();

// Reads the pages the record's screen reads and decodes them with the screen's own decoding.
// False, with reader.lastError() saying why, when a page did not arrive. A kind without a screen
// has no values.
bool decodeRecordValues(PageReader& reader, const CatalogueEntry& entry, RecordValues& values);

// Text as stored in the meter's fixed-width fields, without control characters (unused bytes
// are 0) and blanks at the ends.
QString plainText(const QString& stored);

} // namespace cablemeter
