#pragma once

#include "export/catalogue_entry.h"
#include "export/record_values.h"

#include <QString>

namespace cablemeter {

// One listed record as the export writes it: its catalogue entry, the picture drawn of it and
// its decoded values.
struct ExportedRecord {
    CatalogueEntry entry;
    QString pictureFile; // empty when the kind has no screen
    RecordValues values;
};

} // namespace cablemeter
