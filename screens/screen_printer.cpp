#include "screens/screen_printer.h"

#include "platform/picture.h"
#include "screens/number_text.h"
#include "screens/record_fields.h"

namespace cablemeter {

void ScreenPrinter::text(const QString& item)
{
    m_picture.print(item);
}

void ScreenPrinter::number(double value)
{
    m_picture.print(numberText(value));
}

void ScreenPrinter::nextZone()
{
    m_picture.nextPrintZone();
}

void ScreenPrinter::endLine()
{
    m_picture.newLine();
}

void ScreenPrinter::line(std::initializer_list<QString> items)
{
    for (const QString& item : items)
        text(item);
    endLine();
}

void ScreenPrinter::emptyLine()
{
    endLine();
}

void ScreenPrinter::channelLine(const QString& label, const QString& name)
{
    line({label, name});
}

void ScreenPrinter::frequencyLine(int frequency, const QString& label)
{
    text(label);
    number(frequency / kFrequencyUnitsPerMHz);
    text(QStringLiteral(" MHz"));
    endLine();
}

void ScreenPrinter::levelLine(int unitCode, int level)
{
    const std::optional<LevelUnit> unit = levelUnit(unitCode);
    if (!unit)
        return;
    text(QStringLiteral("  "));
    number(convertedLevel(level, *unit) / kTenthsPerUnit);
    text(QLatin1Char(' ') + unit->name);
    endLine();
}

void ScreenPrinter::ratioLine(const QString& label, int tenths)
{
    text(label);
    number(tenths / kTenthsPerUnit);
    text(QStringLiteral(" dB"));
    endLine();
}

} // namespace cablemeter
