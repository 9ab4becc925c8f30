#pragma once

#include "screens/record_fields.h"

namespace cablemeter {

class ScreenPrinter;

// A single-channel level measurement (kind 3): the common fields of its first data page.
using LevelRecord = CommonFields;

LevelRecord decodeLevel(const PageBuffer& firstDataPage);
void printLevel(ScreenPrinter& printer, const LevelRecord& record);

} // namespace cablemeter
