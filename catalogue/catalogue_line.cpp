#include "catalogue/catalogue_line.h"

#include "catalogue/catalogue_layout.h"
#include "catalogue/record_kinds.h"
#include "screens/windows1252.h"

#include <array>
#include <cstdint>

namespace cablemeter {

namespace {

constexpr int kLargestShownStampPart = 153;
constexpr int kSmallestTwoDigitPart = 10;

// The label of the listed kinds that have none of their own.
constexpr char kBlankLabel[] = "     ";

// What follows each of the six stamp parts: a date, five blanks, a time.
constexpr std::array<const char*, kStampLength> kStampSeparators = {"/", "/", "     ",
                                                                    ":", ":", ""};

std::uint8_t byteAt(QByteArrayView block, int offset)
{
    return std::uint8_t(block[offset]);
}

QString stampPart(int value)
{
    if (value > kLargestShownStampPart)
        value = 0;
    const QString digits = QString::number(value);
    return value < kSmallestTwoDigitPart ? QStringLiteral("0") + digits : digits;
}

} // namespace

QString kindLabel(int kind)
{
    const RecordKind* named = findRecordKind(kind);
    return QString::fromLatin1(named ? named->label : kBlankLabel);
}

QString recordName(QByteArrayView block)
{
    QString name;
    for (int i = 0; i < kNameLength; ++i)
        name += windows1252Char(byteAt(block, kNameOffset + i));
    return name;
}

QString stampText(QByteArrayView block)
{
    QString text;
    for (int part = 0; part < kStampLength; ++part)
        text += stampPart(byteAt(block, kStampOffset + part)) +
                QString::fromLatin1(kStampSeparators[part]);
    return text;
}

QString catalogueLine(QByteArrayView block)
{
    const QString gap = QStringLiteral("  ");
    return recordName(block) + gap + kindLabel(byteAt(block, kKindOffset)) + gap + stampText(block);
}

} // namespace cablemeter
