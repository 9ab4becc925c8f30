#pragma once

#include "link/page.h"

#include <QString>

namespace cablemeter {

// A record slot as its header page describes it, the way the record list shows it.
struct CatalogueEntry {
    int slot = 0;
    int kind = 0;
    QString name;  // six characters, as stored
    QString stamp; // the stamp as the list shows it, e.g. "08/12/25 09:05:30"; kept as text
    QString label; // the kind's label in the list, e.g. "Level", without trailing blanks
    QString line;  // the record list line

    // The record list shows only slots whose kind code names a record.
    bool listed() const;
};

CatalogueEntry catalogueEntry(int slot, const PageBuffer& headerPage);

} // namespace cablemeter
