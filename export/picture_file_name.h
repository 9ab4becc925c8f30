#pragma once

#include <QString>

namespace cablemeter {

// A record name made safe as part of a file name on any file system: letters, digits, '-' and
// '_' are kept, blanks at the ends dropped, every other character becomes '_'.
QString fileNameSafe(const QString& name);

// "slot07-level-LVL-01.png": the slot, the screen of the kind and the record's name (left out when
// nothing of it is left), with the picture format as extension. Only kinds with a screen have a
// picture.
QString pictureFileName(int slot, int kind, const QString& name, const QString& format);

} // namespace cablemeter
