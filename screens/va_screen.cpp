#include "screens/va_screen.h"

#include "screens/record_fields.h"
#include "screens/screen_frame.h"

namespace cablemeter {

namespace {

constexpr double kVAFontPoints = 24.0;
constexpr int kAudioOffsetByte = 32;
constexpr int kAudioLevelByte = 35;
constexpr int kRatioByte = 37;

} // namespace

VARecord decodeVA(const PageBuffer& firstDataPage)
{
    const CommonFields common = decodeCommonFields(firstDataPage);
    VARecord record;
    record.unitCode = common.unitCode;
    record.channelName = common.channelName;
    record.videoFrequency = common.frequency;
    record.audioOffset = pageByte(firstDataPage, kAudioOffsetByte);
    record.videoLevel = common.level;
    const int storedAudioLevel = bigEndian16(firstDataPage, kAudioLevelByte);
    record.audioLevel = flooredLevel(storedAudioLevel);
    record.ratio = bigEndian16(firstDataPage, kRatioByte);
    record.videoLevelRaised = common.levelRaised;
    record.audioLevelRaised = raisedToFloor(storedAudioLevel);
    return record;
}

void printVA(ScreenPrinter& printer, const VARecord& record)
{
    printer.channelLine(kAnalogueVideoLabel, record.channelName);
    printer.frequencyLine(record.videoFrequency, QStringLiteral("Video "));
    printer.levelLine(record.unitCode, record.videoLevel);
    printer.frequencyLine(record.videoFrequency + record.audioOffset, QStringLiteral("Audio "));
    printer.levelLine(record.unitCode, record.audioLevel);
    printer.ratioLine(QStringLiteral("  V/A:"), record.ratio);
}

bool DrawVA(ScreenContext& context, int m)
{
    return drawOnePageScreen(context, m, decodeVA, printVA, kVAFontPoints);
}

} // namespace cablemeter
