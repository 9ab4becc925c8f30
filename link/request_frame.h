#pragma once

#include <QByteArray>

namespace cablemeter {

// Every request starts with this byte, followed by the command, the parameter count, the
// parameters and a checksum (the sum of all bytes before it, modulo 256).
inline constexpr quint8 kRequestStart = 0xAA;
inline constexpr quint8 kReadPageCommand = 0xFA;
inline constexpr quint8 kBeepCommand = 0x03;
inline constexpr quint8 kBeepParameter = 0xFF;

// Page numbers the request can carry: a signed 16-bit number that is not negative.
inline constexpr int kHighestPage = 0x7FFF;

QByteArray requestFrame(quint8 command, const QByteArray& parameters);
// AA FA 02 hi lo checksum
QByteArray pageRequest(int flashPage);
// AA 03 01 FF AD
QByteArray beepRequest();

} // namespace cablemeter
