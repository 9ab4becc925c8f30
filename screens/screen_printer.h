#pragma once

#include <QString>

#include <initializer_list>

namespace cablemeter {

class Picture;

// Composes the screens' text lines on the picture: items printed one after the other, numbers
// in the number text, and the lines that several screens share.
class ScreenPrinter {
public:
    explicit ScreenPrinter(Picture& picture) : m_picture(picture) {}

    void text(const QString& item);
    void number(double value);
    // The next item starts at the next print zone.
    void nextZone();
    void endLine();

    // A line of items, ended.
    void line(std::initializer_list<QString> items);
    void emptyLine();

    // label + name, e.g. "  CHA C21".
    void channelLine(const QString& label, const QString& name);
    // label + the frequency in MHz + " MHz"; frequency in units of 10 kHz.
    void frequencyLine(int frequency, const QString& label = QStringLiteral(" "));
    // "  " + the level in the record's unit + the unit; nothing for a unit code without a unit.
    // level in tenths of a dB µV.
    void levelLine(int unitCode, int level);
    // label + the ratio in dB + " dB"; tenths in tenths of a dB.
    void ratioLine(const QString& label, int tenths);

private:
    Picture& m_picture;
};

// Frequencies are kept in units of 10 kHz, levels and ratios in tenths.
inline constexpr double kFrequencyUnitsPerMHz = 100.0;
inline constexpr double kTenthsPerUnit = 10.0;

} // namespace cablemeter
