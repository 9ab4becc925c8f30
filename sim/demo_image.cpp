#include "sim/demo_image.h"

#include <algorithm>
#include <cmath>

namespace cablemeter::sim {

namespace {

constexpr int kPageBytes = 256;
constexpr int kFirstSlotPage = 512;
constexpr int kPagesPerSlot = 16;
constexpr char kErased = char(0xFF);
constexpr int kEmptyKind = 255;
constexpr int kSpectrumPointsPerPage = 127;
constexpr int kTiltRowBytes = 16;

enum Kind {
    kLevelNoScreen = 2,
    kLevel = 3,
    kFrequency = 4,
    kDigital = 5,
    kSpectrum = 6,
    kScan = 7,
    kTilt = 8,
    kVoltage = 9,
    kCarrierToNoise = 10,
    kVideoAudio = 11,
    kAuto = 12,
    kBlankLabel = 20,
};

enum Unit { kDbMicrovolt = 0, kDbMillivolt = 1, kDbm = 2 };
enum ChannelType { kAnalogue = 0, kVision = 1, kDigitalChannel = 2 };

int headerPage(int slot)
{
    return kFirstSlotPage + kPagesPerSlot * slot;
}

// Page byte N (1..256) of `page` lives at offset 256 * page + N - 1.
void putByte(QByteArray& image, int page, int pageByte, int value)
{
    image[qsizetype(page) * kPageBytes + pageByte - 1] = char(value & 0xFF);
}

void putWord(QByteArray& image, int page, int pageByte, int value)
{
    putByte(image, page, pageByte, value >> 8);
    putByte(image, page, pageByte + 1, value);
}

void putTriple(QByteArray& image, int page, int pageByte, int value)
{
    putByte(image, page, pageByte, value >> 16);
    putWord(image, page, pageByte + 1, value);
}

void putText(QByteArray& image, int page, int pageByte, const QByteArray& text)
{
    for (int i = 0; i < text.size(); ++i)
        putByte(image, page, pageByte + i, text.at(i));
}

// A different, plausible time stamp for every slot (day, month, year, hour, minute, second).
std::array<int, 6> stampFor(int slot)
{
    const int year = slot % 5 == 4 ? 25 : 26;
    return {1 + (slot * 7 + 11) % 28, 1 + (slot + 6) % 12,  year, 9 + slot % 9,
            (5 + slot * 13) % 60,     (30 + slot * 29) % 60};
}

DemoRecord record(int slot, int kind, const char* name)
{
    DemoRecord result;
    result.slot = slot;
    result.kind = kind;
    result.name = name;
    result.stamp = stampFor(slot);
    return result;
}

DemoRecord channelRecord(int slot, int kind, const char* name, int unit, int channelType,
                         const char* channel, int frequency, int level)
{
    DemoRecord result = record(slot, kind, name);
    result.unit = unit;
    result.channelType = channelType;
    result.channel = channel;
    result.frequency = frequency;
    result.level = level;
    return result;
}

DemoRecord videoAudio(int slot, const char* name, int unit, const char* channel, int frequency,
                      int videoLevel, int audioLevel)
{
    DemoRecord result =
        channelRecord(slot, kVideoAudio, name, unit, kVision, channel, frequency, videoLevel);
    result.audioOffset = 250; // one byte of 10 kHz steps: at most 2.55 MHz
    result.audioLevel = audioLevel;
    result.ratio = videoLevel - audioLevel;
    return result;
}

DemoRecord carrierToNoise(int slot, const char* name, int unit, int channelType,
                          const char* channel, int frequency, int level, int ratio)
{
    DemoRecord result =
        channelRecord(slot, kCarrierToNoise, name, unit, channelType, channel, frequency, level);
    result.carrierToNoise = ratio;
    return result;
}

DemoRecord voltage(int slot, const char* name, int ac, int dc, int battery)
{
    DemoRecord result = record(slot, kVoltage, name);
    result.acVoltage = ac;
    result.dcVoltage = dc;
    result.batteryVoltage = battery;
    return result;
}

// Levels rise towards high channels, like an amplifier's output with a positive tilt.
DemoRecord tilt(int slot, const char* name, int unit, int levelOffset)
{
    static const char* const channels[kDemoTiltRows] = {"C21", "C24", "C27", "C30", "D33", "D36",
                                                        "C39", "D42", "D45", "C48", "D52", "C60"};
    DemoRecord result = record(slot, kTilt, name);
    result.unit = unit;
    for (int row = 0; row < kDemoTiltRows; ++row) {
        const bool digital = channels[row][0] == 'D';
        const int analogueLevel = 705 + 11 * row + levelOffset;
        result.tilt.append({channels[row], digital, digital ? analogueLevel - 95 : analogueLevel});
    }
    return result;
}

// A sweep over 100 channels: analogue carriers in band I/III and the lower UHF, a digital block
// about 10 dB lower, empty channels at the noise floor, with a gentle tilt and some ripple.
DemoRecord scan(int slot, const char* name)
{
    DemoRecord result = record(slot, kScan, name);
    result.unit = kDbMicrovolt;
    for (int channel = 0; channel < kDemoScanChannels; ++channel) {
        const bool empty = (channel >= 8 && channel < 14) || channel >= 94 || channel % 17 == 5;
        const bool digital = channel >= 55 && channel < 85;
        const int ripple = int(std::lround(18 * std::sin(channel * 0.7)));
        int value = 690 + channel + ripple;
        if (digital)
            value -= 100;
        if (empty)
            value = 230 + (channel * 37) % 40;
        result.scan.append(value);
    }
    return result;
}

// A spectrum: noise around 30 dB uV, four analogue channels (vision carrier with its sound
// carrier 13 dB lower) and a flat-topped digital channel.
DemoRecord spectrum(int slot, const char* name)
{
    struct Carrier {
        int point;
        int peak; // tenths of a dB uV
    };
    static const Carrier carriers[] = {{30, 820}, {95, 790}, {160, 805}, {290, 770}};
    constexpr int kSoundOffset = 7;
    constexpr int kSoundDrop = 130;
    constexpr int kDigitalFrom = 215;
    constexpr int kDigitalTo = 240;
    constexpr int kDigitalTop = 610;

    DemoRecord result = record(slot, kSpectrum, name);
    result.unit = kDbMicrovolt;
    for (int point = 0; point < kDemoSpectrumPoints; ++point) {
        double value = 300 + 20 * std::sin(point * 1.7) + 12 * std::sin(point * 0.31);
        for (const Carrier& carrier : carriers) {
            const auto peakAt = [&](int at, double peak) {
                const double distance = point - at;
                value = std::max(value, peak - 55.0 * distance * distance);
            };
            peakAt(carrier.point, carrier.peak);
            peakAt(carrier.point + kSoundOffset, carrier.peak - kSoundDrop);
        }
        if (point >= kDigitalFrom && point <= kDigitalTo)
            value = std::max(value, kDigitalTop + 8 * std::sin(point * 2.3));
        result.spectrum.append(int(std::lround(value)));
    }
    return result;
}

void writeHeader(QByteArray& image, const DemoRecord& record)
{
    const int page = headerPage(record.slot);
    putByte(image, page, 2, record.kind);
    putText(image, page, 3, record.name);
    for (int i = 0; i < int(record.stamp.size()); ++i)
        putByte(image, page, 21 + i, record.stamp[i]);
}

void writeFirstDataPage(QByteArray& image, const DemoRecord& record)
{
    const int page = headerPage(record.slot) + 1;
    if (record.kind == kVoltage) {
        putWord(image, page, 17, record.acVoltage);
        putWord(image, page, 19, record.dcVoltage);
        putWord(image, page, 21, record.batteryVoltage);
        return;
    }
    putByte(image, page, 1, record.unit);
    putByte(image, page, 4, record.channelType);
    putText(image, page, 18, record.channel);
    // The frequency record keeps its frequency three bytes further on.
    putTriple(image, page, record.kind == kFrequency ? 24 : 21, record.frequency);
    putWord(image, page, 33, record.level);
    if (record.kind == kVideoAudio) {
        putByte(image, page, 32, record.audioOffset);
        putWord(image, page, 35, record.audioLevel);
        putWord(image, page, 37, record.ratio);
    }
    if (record.kind == kCarrierToNoise)
        putWord(image, page, 37, record.carrierToNoise & 0xFFFF); // two's complement
}

void writeTables(QByteArray& image, const DemoRecord& record)
{
    const int fourthDataPage = headerPage(record.slot) + 4;
    for (int row = 0; row < record.tilt.size(); ++row) {
        const DemoTiltRow& tiltRow = record.tilt.at(row);
        putText(image, fourthDataPage, kTiltRowBytes * row + 2, tiltRow.channel);
        putByte(image, fourthDataPage, kTiltRowBytes * row + 11, tiltRow.digital ? 1 : 0);
        putWord(image, fourthDataPage, kTiltRowBytes * row + 14, tiltRow.level);
    }
    for (int channel = 0; channel < record.scan.size(); ++channel)
        putWord(image, fourthDataPage, 2 * channel + 1, record.scan.at(channel));
    for (int point = 0; point < record.spectrum.size(); ++point) {
        const int page = fourthDataPage + point / kSpectrumPointsPerPage;
        putWord(image, page, 2 * (point % kSpectrumPointsPerPage) + 1, record.spectrum.at(point));
    }
}

} // namespace

QList<DemoRecord> demoRecords()
{
    return {
        channelRecord(0, kLevel, "LVL-01", kDbMicrovolt, kAnalogue, "C21", 47125, 752),
        channelRecord(1, kFrequency, "FRQ-01", kDbm, kAnalogue, "", 61200, 684),
        channelRecord(2, kDigital, "DIG-01", kDbMillivolt, kDigitalChannel, "D45", 66600, 615),
        spectrum(3, "SPC-01"),
        scan(4, "SCN-01"),
        tilt(5, "TLT-01", kDbMicrovolt, 0),
        voltage(6, "VLT-01", 652, 3, 74),
        carrierToNoise(7, "CNR-01", kDbMicrovolt, kVision, "S08", 15425, 738, 452),
        videoAudio(8, "V/A-01", kDbMicrovolt, "E05", 17525, 781, 651),
        channelRecord(9, kAuto, "AUTO01", kDbMicrovolt, kAnalogue, "C30", 54325, 702),
        channelRecord(10, kLevelNoScreen, "LVL-00", kDbMillivolt, kVision, "S10", 16825, 690),
        channelRecord(12, kLevel, "LVL-02", kDbMillivolt, kVision, "S08", 15425, 812),
        channelRecord(13, kLevel, "LVL-03", kDbm, kDigitalChannel, "D45", 66600, 598),
        channelRecord(14, kBlankLabel, "NOTE-1", kDbMicrovolt, kAnalogue, "C22", 47925, 700),
        record(15, kEmptyKind, "OLD-01"), // a deleted record: only its kind code was cleared
        channelRecord(16, kDigital, "DIG-02", kDbMicrovolt, kDigitalChannel, "D52", 72200, 645),
        tilt(17, "TLT-02", kDbMillivolt, 40),
        carrierToNoise(18, "CNR-02", kDbm, kDigitalChannel, "D45", 66600, 603, 384),
        videoAudio(19, "V/A-02", kDbMillivolt, "C21", 47125, 748, 612),
        channelRecord(20, kFrequency, "FRQ-02", kDbMicrovolt, kAnalogue, "", 11300, 801),
        voltage(21, "VLT-02", 0, 183, 69),
        channelRecord(22, kLevel, "LVL-04", kDbMicrovolt, kAnalogue, "C60", 78325, 883),
        videoAudio(24, "V/A-03", kDbm, "E05", 17525, 1112, 985),
        channelRecord(25, kDigital, "DIG-03", kDbm, kDigitalChannel, "D33", 56600, 1131),
        // Carrier below the noise: a negative C/N.
        carrierToNoise(26, "CNR-03", kDbMillivolt, kAnalogue, "E07", 18925, 262, -23),
        channelRecord(31, kLevel, "LVL-05", kDbMicrovolt, kVision, "S10", 16825, 705),
    };
}

QByteArray makeDemoImage()
{
    QByteArray image(kDemoImagePages * kPageBytes, kErased);
    for (const DemoRecord& record : demoRecords()) {
        // A stored record's pages start zeroed; only the fields it uses are set.
        image.replace(qsizetype(headerPage(record.slot)) * kPageBytes, kPagesPerSlot * kPageBytes,
                      QByteArray(kPagesPerSlot * kPageBytes, '\0'));
        writeHeader(image, record);
        if (record.kind == kEmptyKind)
            continue;
        writeFirstDataPage(image, record);
        writeTables(image, record);
    }
    return image;
}

} // namespace cablemeter::sim
