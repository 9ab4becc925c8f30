#pragma once

#include "cli/catalogue_entry.h"
#include "cli/record_values.h"

#include <QString>

namespace cablemeter::cli {

// One listed record as the export writes it: its catalogue entry, the picture drawn of it and
// its decoded values.
struct ExportedRecord {
    CatalogueEntry entry;
    QString pictureFile; // empty when the kind has no screen
    RecordValues values;
};

} // namespace cablemeter::cli
