#include "export/record_values.h"

#include "catalogue/record_kinds.h"
#include "export/catalogue_entry.h"
#include "link/page_reader.h"
#include "screens/cn_screen.h"
#include "screens/digi_screen.h"
#include "screens/freq_screen.h"
#include "screens/level_screen.h"
#include "screens/record_fields.h"
#include "screens/scan_screen.h"
#include "screens/screen_printer.h"
#include "screens/spect_screen.h"
#include "screens/tilt_screen.h"
#include "screens/va_screen.h"
#include "screens/volt_screen.h"

namespace cablemeter {

namespace {

const QString kChannel = QStringLiteral("channel");
const QString kFrequency = QStringLiteral("frequency_mhz");
const QString kLevelColumn = QStringLiteral("level");
const QString kUnit = QStringLiteral("unit");
const QString kCarrierToNoise = QStringLiteral("cn_db");
const QString kAudioFrequency = QStringLiteral("audio_frequency_mhz");
const QString kAudioLevel = QStringLiteral("audio_level");
const QString kVideoToAudio = QStringLiteral("va_db");
const QString kAc = QStringLiteral("ac_v");
const QString kDc = QStringLiteral("dc_v");
const QString kBattery = QStringLiteral("battery_v");
// A level whose unit code names no unit, as stored: tenths of a dB µV.
const QString kRawLevel = QStringLiteral("level_raw_tenths_dbuv");
const QString kRawAudioLevel = QStringLiteral("audio_level_raw_tenths_dbuv");

const QString kIndex = QStringLiteral("index");
const QString kType = QStringLiteral("type");
const QString kValue = QStringLiteral("value");
const QString kRawValue = QStringLiteral("value_raw_tenths_dbuv");

constexpr int kMicrovoltUnitCode = 0;
constexpr int kDigitalChannelType = 2;

double megahertz(int frequency)
{
    return frequency / kFrequencyUnitsPerMHz;
}

double units(int tenths)
{
    return tenths / kTenthsPerUnit;
}

double levelIn(const LevelUnit& unit, int level)
{
    return units(convertedLevel(level, unit));
}

// In the record's unit; a unit code the screens do not know leaves the level and its unit
// empty and the stored level in a column of its own, rather than guess a unit.
void putLevel(QJsonObject& fields, int unitCode, int level, const QString& column = kLevelColumn,
              const QString& rawColumn = kRawLevel)
{
    if (const std::optional<LevelUnit> unit = levelUnit(unitCode)) {
        fields[column] = levelIn(*unit, level);
        fields[kUnit] = unit->name;
    } else {
        fields[rawColumn] = level;
    }
}

LevelShown shownLevel(const std::optional<LevelUnit>& unit, bool raisedToFloor)
{
    if (!unit)
        return LevelShown::WithoutUnit;
    return raisedToFloor ? LevelShown::RaisedToFloor : LevelShown::AsMeasured;
}

// A record with one level (and one channel type, where it has one).
void measureOneLevel(RecordMeasurements& measured, int unitCode, int level, bool raised,
                     std::optional<bool> digital = std::nullopt)
{
    measured.unit = levelUnit(unitCode);
    measured.digital = digital;
    measured.levels.append(
        {QStringLiteral("level"), level, shownLevel(measured.unit, raised), digital});
}

// The level screens show the channel only for a channel type with a label.
void putChannel(QJsonObject& fields, int channelTypeCode, const QString& name)
{
    if (channelLabel(channelTypeCode))
        fields[kChannel] = plainText(name);
}

void putCommon(QJsonObject& fields, const CommonFields& common)
{
    fields[kFrequency] = megahertz(common.frequency);
    putLevel(fields, common.unitCode, common.level);
}

QJsonObject point(int index, double value, const QString& unit)
{
    return {{kIndex, index}, {kValue, value}, {kUnit, unit}};
}

// Points of a graph, in dB µV; numbered from 1.
void appendGraphPoints(RecordValues& values, const int* first, int count)
{
    const LevelUnit microvolt = *levelUnit(kMicrovoltUnitCode);
    for (int i = 0; i < count; ++i)
        values.points.append(point(i + 1, units(first[i]), microvolt.name));
    values.fields[kUnit] = microvolt.name;
}

bool readPage(PageReader& reader, const CatalogueEntry& entry, int k)
{
    return reader.ReadFlash(dataPage(entry.slot, k));
}

bool decodeTilt(PageReader& reader, const CatalogueEntry& entry, RecordValues& values)
{
    if (!readPage(reader, entry, 1))
        return false;
    const std::optional<LevelUnit> unit = levelUnit(decodeTiltUnitCode(reader.pageBuffer()));
    if (!readPage(reader, entry, kTiltTablePage))
        return false;
    const TiltTable table = decodeTiltTable(reader.pageBuffer());
    for (int r = 0; r < kTiltRowCount; ++r) {
        QJsonObject row{{kIndex, r + 1}};
        if (unit) {
            row[kValue] = levelIn(*unit, table[r].level);
            row[kUnit] = unit->name;
        } else {
            row[kRawValue] = table[r].level;
        }
        row[kChannel] = plainText(table[r].channelName);
        row[kType] = table[r].digital ? QStringLiteral("digital") : QStringLiteral("analogue");
        values.points.append(row);
        const LevelShown shown = !unit                ? LevelShown::WithoutUnit
                                 : table[r].levelHeld ? LevelShown::HeldToRange
                                                      : LevelShown::AsMeasured;
        values.measured.levels.append(
            {QStringLiteral("row %1 %2").arg(r + 1).arg(plainText(table[r].channelName)),
             table[r].level, shown, table[r].digital});
    }
    values.measured.unit = unit;
    if (unit)
        values.fields[kUnit] = unit->name;
    return true;
}

bool decodeScanValues(PageReader& reader, const CatalogueEntry& entry, RecordValues& values)
{
    if (!readPage(reader, entry, kScanPage))
        return false;
    const ScanRecord record = decodeScan(reader.pageBuffer());
    appendGraphPoints(values, record.values.data(), kScanChannelCount);
    values.measured.unit = levelUnit(kMicrovoltUnitCode);
    for (int p = 0; p < kScanChannelCount; ++p) {
        const int value = record.values[p];
        values.measured.levels.append(
            {QStringLiteral("channel %1").arg(p + 1),
             value,
             scanBarHeld(value) ? LevelShown::HeldToRange : LevelShown::AsMeasured,
             {}});
    }
    return true;
}

bool decodeSpectrum(PageReader& reader, const CatalogueEntry& entry, RecordValues& values)
{
    std::array<int, kSpectrumPageCount * kSpectrumPointsPerPage> points{};
    for (int page = 0; page < kSpectrumPageCount; ++page) {
        if (!readPage(reader, entry, kFirstSpectrumPage + page))
            return false;
        const SpectrumPage pagePoints = decodeSpectrumPage(reader.pageBuffer());
        std::copy(pagePoints.begin(), pagePoints.end(),
                  points.begin() + page * kSpectrumPointsPerPage);
    }
    appendGraphPoints(values, points.data(), int(points.size()));
    return true;
}

// The records whose screen shows their first data page as text.
void decodeTextRecord(ValuesShape shape, const PageBuffer& page, RecordValues& values)
{
    QJsonObject& fields = values.fields;
    RecordMeasurements& measured = values.measured;
    switch (shape) {
    case ValuesShape::Level: {
        const LevelRecord record = decodeLevel(page);
        putChannel(fields, record.channelTypeCode, record.channelName);
        putCommon(fields, record);
        measureOneLevel(measured, record.unitCode, record.level, record.levelRaised,
                        digitalChannel(record.channelTypeCode));
        break;
    }
    case ValuesShape::Digi: {
        const DigiRecord record = decodeDigi(page);
        fields[kChannel] = plainText(record.channelName);
        putCommon(fields, record);
        measureOneLevel(measured, record.unitCode, record.level, record.levelRaised);
        break;
    }
    case ValuesShape::Freq: {
        const FreqRecord record = decodeFreq(page);
        fields[kFrequency] = megahertz(record.frequency);
        putLevel(fields, record.unitCode, record.level);
        measureOneLevel(measured, record.unitCode, record.level, record.levelRaised);
        break;
    }
    case ValuesShape::CN: {
        const CNRecord record = decodeCN(page);
        putChannel(fields, record.common.channelTypeCode, record.common.channelName);
        putCommon(fields, record.common);
        fields[kCarrierToNoise] = units(record.carrierToNoise);
        measured.unit = levelUnit(record.common.unitCode);
        measured.digital = digitalChannel(record.common.channelTypeCode);
        measured.carrierToNoise = record.carrierToNoise;
        break;
    }
    case ValuesShape::VA: {
        const VARecord record = decodeVA(page);
        fields[kChannel] = plainText(record.channelName);
        fields[kFrequency] = megahertz(record.videoFrequency);
        putLevel(fields, record.unitCode, record.videoLevel);
        fields[kAudioFrequency] = megahertz(record.videoFrequency + record.audioOffset);
        putLevel(fields, record.unitCode, record.audioLevel, kAudioLevel, kRawAudioLevel);
        fields[kVideoToAudio] = units(record.ratio);
        measured.unit = levelUnit(record.unitCode);
        measured.levels = {{QStringLiteral("video carrier"),
                            record.videoLevel,
                            shownLevel(measured.unit, record.videoLevelRaised),
                            {}},
                           {QStringLiteral("audio carrier"),
                            record.audioLevel,
                            shownLevel(measured.unit, record.audioLevelRaised),
                            {}}};
        measured.videoToAudio = record.ratio;
        break;
    }
    case ValuesShape::Volt: {
        const VoltRecord record = decodeVolt(page);
        fields[kAc] = units(record.ac);
        fields[kDc] = units(record.dc);
        fields[kBattery] = units(record.battery);
        measured.ac = record.ac;
        measured.dc = record.dc;
        measured.battery = record.battery;
        break;
    }
    case ValuesShape::Spect:
    case ValuesShape::Scan:
    case ValuesShape::Tilt:
        break; // graphs and tables: read by their own decoders
    }
}

} // namespace

const QStringList& recordValueColumns()
{
    static const QStringList columns = {
        kChannel,        kFrequency,  kLevelColumn,  kUnit, kCarrierToNoise,
        kAudioFrequency, kAudioLevel, kVideoToAudio, kAc,   kDc,
        kBattery,        kRawLevel,   kRawAudioLevel};
    return columns;
}

const QStringList& pointColumns()
{
    static const QStringList columns = {kIndex, kChannel, kType, kValue, kUnit, kRawValue};
    return columns;
}

bool decodeRecordValues(PageReader& reader, const CatalogueEntry& entry, RecordValues& values)
{
    values = {};
    const KindScreen* screen = kindScreen(entry.kind);
    if (!screen)
        return true;
    switch (screen->shape) {
    case ValuesShape::Tilt:
        return decodeTilt(reader, entry, values);
    case ValuesShape::Scan:
        return decodeScanValues(reader, entry, values);
    case ValuesShape::Spect:
        return decodeSpectrum(reader, entry, values);
    case ValuesShape::Level:
    case ValuesShape::Freq:
    case ValuesShape::Digi:
    case ValuesShape::Volt:
    case ValuesShape::CN:
    case ValuesShape::VA:
        break; // text: all on the first data page
    }
    if (!readPage(reader, entry, 1))
        return false;
    decodeTextRecord(screen->shape, reader.pageBuffer(), values);
    return true;
}

std::optional<bool> digitalChannel(int channelTypeCode)
{
    if (!channelLabel(channelTypeCode))
        return std::nullopt;
    return channelTypeCode == kDigitalChannelType;
}

QString plainText(const QString& stored)
{
    QString text;
    for (const QChar c : stored) {
        if (c.category() != QChar::Other_Control)
            text += c;
    }
    return text.trimmed();
}

} // namespace cablemeter
