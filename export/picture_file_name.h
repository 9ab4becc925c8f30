#pragma once

#include <QString>

namespace cablemeter {

// The screen a record kind is drawn on, as a word for file names ("level", "spect", ...); empty
// for a kind without a screen.
QString screenName(int kind);

// A record name made safe as part of a file name on any file system: letters, digits, '-' and
// '_' are kept, blanks at the ends dropped, every other character becomes '_'.
QString fileNameSafe(const QString& name);

// "slot07-level-LVL-01.png": the slot, the screen and the record's name (left out when nothing of
// it is left), with the picture format as extension.
QString pictureFileName(int slot, int kind, const QString& name, const QString& format);

} // namespace cablemeter
