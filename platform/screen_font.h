#pragma once

#include <QString>

namespace cablemeter {

// The face every screen is drawn in: FreeSans, compiled into the program so that every machine
// draws the same pixels. Loads it on the first call; a program built without it stops with a
// message rather than drawing in some system face.
QString screenFontFamily();

} // namespace cablemeter
