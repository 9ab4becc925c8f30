#pragma once

#include "screens/record_fields.h"

namespace cablemeter {

class ScreenPrinter;

// A level measurement of a digital channel (kind 5): the common fields of its first data page;
// its channel type code plays no part.
using DigiRecord = CommonFields;

DigiRecord decodeDigi(const PageBuffer& firstDataPage);
void printDigi(ScreenPrinter& printer, const DigiRecord& record);

} // namespace cablemeter
