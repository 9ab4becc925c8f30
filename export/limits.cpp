#include "export/limits.h"

#include "catalogue/record_kinds.h"
#include "platform/regular_file.h"
#include "screens/record_fields.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <cmath>
#include <utility>

namespace cablemeter {

namespace {

// A hand-edited file is a few lines long; anything far larger is not a limits file.
constexpr qint64 kLargestLimitsFile = 1024 * 1024;
// Larger values are no measurement of the meter's and could not be held in tenths.
constexpr double kLargestValue = 100000.0;
constexpr double kTenths = 10.0;

constexpr int kMicrovoltUnitCode = 0;
constexpr int kMillivoltUnitCode = 1;
constexpr int kMilliwattUnitCode = 2;

enum class ValueUnit { Level, Decibel, Volt };

struct KeyRule {
    const char* key;
    LimitedValue value;
    LimitBound bound;
    ValueUnit unit;
};

constexpr KeyRule kLevelMin{"level min", LimitedValue::Level, LimitBound::Minimum,
                            ValueUnit::Level};
constexpr KeyRule kLevelMax{"level max", LimitedValue::Level, LimitBound::Maximum,
                            ValueUnit::Level};

struct SectionRule {
    const char* word;  // the section's first word
    ValuesShape shape; // the records it covers: those of the kind with this screen
    bool hasChannelTypes;
    QList<KeyRule> keys;
};

const QList<SectionRule>& sectionRules()
{
    static const QList<SectionRule> rules = {
        {"level", ValuesShape::Level, true, {kLevelMin, kLevelMax}},
        {"freq", ValuesShape::Freq, false, {kLevelMin, kLevelMax}},
        {"digi", ValuesShape::Digi, false, {kLevelMin, kLevelMax}},
        {"scan", ValuesShape::Scan, false, {kLevelMin, kLevelMax}},
        {"tilt",
         ValuesShape::Tilt,
         true,
         {kLevelMin,
          kLevelMax,
          {"tilt max", LimitedValue::Tilt, LimitBound::Maximum, ValueUnit::Decibel}}},
        {"volt",
         ValuesShape::Volt,
         false,
         {{"ac min", LimitedValue::AcVoltage, LimitBound::Minimum, ValueUnit::Volt},
          {"ac max", LimitedValue::AcVoltage, LimitBound::Maximum, ValueUnit::Volt},
          {"dc min", LimitedValue::DcVoltage, LimitBound::Minimum, ValueUnit::Volt},
          {"dc max", LimitedValue::DcVoltage, LimitBound::Maximum, ValueUnit::Volt},
          {"battery min", LimitedValue::Battery, LimitBound::Minimum, ValueUnit::Volt}}},
        {"c/n",
         ValuesShape::CN,
         true,
         {{"c/n min", LimitedValue::CarrierToNoise, LimitBound::Minimum, ValueUnit::Decibel}}},
        {"v/a",
         ValuesShape::VA,
         false,
         {kLevelMin,
          kLevelMax,
          {"v/a min", LimitedValue::VideoToAudio, LimitBound::Minimum, ValueUnit::Decibel},
          {"v/a max", LimitedValue::VideoToAudio, LimitBound::Maximum, ValueUnit::Decibel}}},
    };
    return rules;
}

QString kindWords()
{
    QStringList words;
    for (const SectionRule& rule : sectionRules())
        words << QLatin1String(rule.word);
    return words.join(QStringLiteral(", "));
}

QString keyNames(const SectionRule& rule)
{
    QStringList keys;
    for (const KeyRule& key : rule.keys)
        keys << QLatin1String(key.key);
    return keys.join(QStringLiteral(", "));
}

// The screens' unit code of a level unit as a technician writes it, in any case.
std::optional<int> levelUnitCode(const QString& unit)
{
    const QString folded = unit.toLower().replace(QChar(0x00B5), QLatin1Char('u'));
    if (folded == QLatin1String("dbuv"))
        return kMicrovoltUnitCode;
    if (folded == QLatin1String("dbmv"))
        return kMillivoltUnitCode;
    if (folded == QLatin1String("dbm"))
        return kMilliwattUnitCode;
    return std::nullopt;
}

QString unitAdvice(ValueUnit unit)
{
    switch (unit) {
    case ValueUnit::Level:
        return QStringLiteral("dBuV, dBmV or dBm");
    case ValueUnit::Decibel:
        return QStringLiteral("dB");
    case ValueUnit::Volt:
        return QStringLiteral("V");
    }
    return {};
}

// Reads the lines of a limits file one by one into `limits`.
class LimitsParser {
public:
    bool parse(const QString& text);
    Limits takeLimits() { return std::move(m_limits); }
    QString error() const { return m_error; }

private:
    bool parseLine(const QString& line);
    bool parseSection(const QString& inside);
    bool parseLimit(const QString& key, const QString& value);
    bool parseValue(const KeyRule& rule, const QString& text, Limit& limit);
    bool checkRanges();
    bool fail(const QString& what)
    {
        m_error = QStringLiteral("line %1: %2").arg(m_lineNumber).arg(what);
        return false;
    }

    Limits m_limits;
    const SectionRule* m_kind = nullptr;
    int m_lineNumber = 0;
    QString m_error;
};

bool LimitsParser::parse(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        ++m_lineNumber;
        if (!parseLine(line))
            return false;
    }
    return checkRanges();
}

bool LimitsParser::parseLine(const QString& line)
{
    const QString content = line.section(QLatin1Char('#'), 0, 0).trimmed();
    if (content.isEmpty())
        return true;
    if (content.startsWith(QLatin1Char('['))) {
        if (!content.endsWith(QLatin1Char(']')))
            return fail(QStringLiteral("a section \"%1\" needs its closing \"]\"").arg(content));
        return parseSection(content.mid(1, content.size() - 2).simplified());
    }
    const qsizetype equals = content.indexOf(QLatin1Char('='));
    if (equals < 0)
        return fail(QStringLiteral("\"%1\" is neither a [section] nor a \"key = value\" line")
                        .arg(content));
    return parseLimit(content.left(equals).simplified().toLower(),
                      content.mid(equals + 1).trimmed());
}

bool LimitsParser::parseSection(const QString& inside)
{
    const QStringList words = inside.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString name = QLatin1Char('[') + inside + QLatin1Char(']');
    m_kind = nullptr;
    for (const SectionRule& rule : sectionRules()) {
        if (!words.isEmpty() && words.first() == QLatin1String(rule.word))
            m_kind = &rule;
    }
    if (!m_kind)
        return fail(QStringLiteral("%1 names no record kind with limits; the kinds are %2")
                        .arg(name, kindWords()));
    LimitSection section{m_kind->shape, std::nullopt, name, m_lineNumber, {}};
    if (words.size() > 2)
        return fail(QStringLiteral("%1 has more words than a kind and a channel type").arg(name));
    if (words.size() == 2) {
        if (!m_kind->hasChannelTypes)
            return fail(QStringLiteral("%1: %2 records have no channel type; write [%2]")
                            .arg(name, QLatin1String(m_kind->word)));
        if (words.at(1) != QLatin1String("analogue") && words.at(1) != QLatin1String("digital"))
            return fail(QStringLiteral("%1: the channel type is analogue or digital, not \"%2\"")
                            .arg(name, words.at(1)));
        section.digital = words.at(1) == QLatin1String("digital");
    }
    for (const LimitSection& earlier : std::as_const(m_limits.sections)) {
        if (earlier.shape == section.shape && earlier.digital == section.digital)
            return fail(QStringLiteral("%1 is there already on line %2; keep its limits together")
                            .arg(name)
                            .arg(earlier.line));
    }
    m_limits.sections.append(section);
    return true;
}

bool LimitsParser::parseLimit(const QString& key, const QString& value)
{
    if (!m_kind)
        return fail(QStringLiteral("\"%1\" comes before any [section]").arg(key));
    LimitSection& section = m_limits.sections.last();
    const KeyRule* rule = nullptr;
    for (const KeyRule& candidate : m_kind->keys) {
        if (key == QLatin1String(candidate.key))
            rule = &candidate;
    }
    if (!rule)
        return fail(QStringLiteral("%1 has no limit \"%2\"; its limits are %3")
                        .arg(section.name, key, keyNames(*m_kind)));
    for (const Limit& earlier : std::as_const(section.limits)) {
        if (earlier.key == key)
            return fail(
                QStringLiteral("\"%1\" is set already on line %2").arg(key).arg(earlier.line));
    }
    Limit limit{rule->value, rule->bound, 0, key, value, -1, m_lineNumber};
    if (!parseValue(*rule, value, limit))
        return false;
    section.limits.append(limit);
    return true;
}

bool LimitsParser::parseValue(const KeyRule& rule, const QString& text, Limit& limit)
{
    static const QRegularExpression form(QStringLiteral(R"(^([+-]?[0-9]+(?:\.[0-9]+)?)\s*(\S*)$)"));
    const QRegularExpressionMatch match = form.match(text);
    const QString advice = unitAdvice(rule.unit);
    if (!match.hasMatch())
        return fail(QStringLiteral("%1 = \"%2\" is not a number and a unit (%3)")
                        .arg(limit.key, text, advice));
    const QString number = match.captured(1);
    const QString unit = match.captured(2);
    if (number.contains(QLatin1Char('.')) && number.section(QLatin1Char('.'), 1).size() > 1)
        return fail(
            QStringLiteral("%1 = %2: the meter measures in tenths; give at most one decimal")
                .arg(limit.key, text));
    const double value = number.toDouble();
    if (std::fabs(value) > kLargestValue)
        return fail(QStringLiteral("%1 = %2 is out of range").arg(limit.key, text));
    if (unit.isEmpty())
        return fail(QStringLiteral("%1 = %2 needs its unit: %3").arg(limit.key, text, advice));
    limit.tenths = int(std::lround(value * kTenths));
    if (rule.unit == ValueUnit::Level) {
        const std::optional<int> unitCode = levelUnitCode(unit);
        if (!unitCode)
            return fail(
                QStringLiteral("%1 = %2: a level's unit is %3").arg(limit.key, text, advice));
        limit.writtenUnitCode = *unitCode;
        limit.tenths += levelUnit(*unitCode)->zeroLevel;
        return true;
    }
    if (unit.compare(advice, Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("%1 = %2: its unit is %3").arg(limit.key, text, advice));
    if (value < 0 && rule.unit == ValueUnit::Volt)
        return fail(
            QStringLiteral("%1 = %2: a voltage here cannot be negative").arg(limit.key, text));
    if (value < 0 && rule.value == LimitedValue::Tilt)
        return fail(QStringLiteral("%1 = %2: a tilt cannot be negative").arg(limit.key, text));
    return true;
}

// Within a section a minimum above its maximum can never pass.
bool LimitsParser::checkRanges()
{
    for (const LimitSection& section : std::as_const(m_limits.sections)) {
        for (const Limit& minimum : section.limits) {
            for (const Limit& maximum : section.limits) {
                if (minimum.value == maximum.value && minimum.bound == LimitBound::Minimum &&
                    maximum.bound == LimitBound::Maximum && minimum.tenths > maximum.tenths) {
                    m_lineNumber = minimum.line;
                    return fail(QStringLiteral("%1 = %2 is above %3 = %4 (line %5)")
                                    .arg(minimum.key, minimum.written, maximum.key, maximum.written)
                                    .arg(maximum.line));
                }
            }
        }
    }
    return true;
}

} // namespace

std::optional<Limits> parseLimits(const QString& text, QString& error)
{
    LimitsParser parser;
    if (!parser.parse(text)) {
        error = parser.error();
        return std::nullopt;
    }
    return parser.takeLimits();
}

LimitsLoading loadLimits(const QString& path, Limits& limits, QString& error)
{
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, FileOpening::ReadOnly, reason)) {
        error = QStringLiteral("Cannot read the limits file %1: %2").arg(path, reason);
        return LimitsLoading::Unreadable;
    }
    if (file.size() > kLargestLimitsFile) {
        error = QStringLiteral("%1 is %2 bytes long: too long for a limits file")
                    .arg(path)
                    .arg(file.size());
        return LimitsLoading::Mistaken;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("Cannot read the limits file %1: %2").arg(path, file.errorString());
        return LimitsLoading::Unreadable;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        error = QStringLiteral("The limits file %1 is not UTF-8 text").arg(path);
        return LimitsLoading::Mistaken;
    }
    QString mistake;
    std::optional<Limits> parsed = parseLimits(text, mistake);
    if (!parsed) {
        error = QStringLiteral("The limits file %1 has a mistake: %2").arg(path, mistake);
        return LimitsLoading::Mistaken;
    }
    limits = std::move(*parsed);
    limits.file = path;
    return LimitsLoading::Loaded;
}

} // namespace cablemeter
