#include "export/limit_checks.h"

#include "screens/screen_printer.h"

#include <QStringList>

#include <algorithm>

namespace cablemeter {

namespace {

// Failing values a check names before it only counts the rest.
constexpr int kNamedFailures = 12;

QString tenthsText(int tenths)
{
    return QString::number(tenths / kTenthsPerUnit, 'f', 1);
}

QString levelText(int level, const LevelUnit& unit)
{
    return tenthsText(convertedLevel(level, unit)) + QLatin1Char(' ') + unit.name;
}

QString unitOf(LimitedValue value)
{
    switch (value) {
    case LimitedValue::AcVoltage:
    case LimitedValue::DcVoltage:
    case LimitedValue::Battery:
        return QStringLiteral("V");
    default:
        return QStringLiteral("dB");
    }
}

bool violates(int value, const Limit& limit)
{
    return limit.bound == LimitBound::Minimum ? value < limit.tenths : value > limit.tenths;
}

QString limitText(const LimitSection& section, const Limit& limit,
                  const std::optional<LevelUnit>& unit)
{
    QString text = limit.key;
    if (section.digital)
        text += *section.digital ? QStringLiteral(" (digital)") : QStringLiteral(" (analogue)");
    if (limit.value != LimitedValue::Level)
        return text + QLatin1Char(' ') + tenthsText(limit.tenths) + QLatin1Char(' ') +
               unitOf(limit.value);
    if (!unit)
        return text + QLatin1Char(' ') + limit.written;
    text += QLatin1Char(' ') + levelText(limit.tenths, *unit);
    if (levelUnit(limit.writtenUnitCode)->name != unit->name)
        text += QStringLiteral(" (%1 as written)").arg(limit.written);
    return text;
}

QString whyUnknown(const MeasuredLevel& level, const LevelUnit& unit)
{
    switch (level.shown) {
    case LevelShown::RaisedToFloor:
        return QStringLiteral("%1 is shown raised to the screens' floor of %2: its true value is "
                              "unknown")
            .arg(level.where, levelText(kLevelFloor, unit));
    case LevelShown::HeldToRange:
        return QStringLiteral("%1 lies outside the screen's range and is shown at its edge: its "
                              "true value is unknown")
            .arg(level.where);
    default:
        return {};
    }
}

const QString kNoUnit = QStringLiteral("the record's unit code names no unit, so the screens show "
                                       "no level: the true value is unknown");

// A level and where it is, when the record has more than the one.
QString placedLevel(const MeasuredLevel& level, const LevelUnit& unit, bool several)
{
    const QString text = levelText(level.level, unit);
    return several ? QStringLiteral("%1 (%2)").arg(text, level.where) : text;
}

QString failureList(const QList<const MeasuredLevel*>& failing, int covered)
{
    QStringList names;
    for (const MeasuredLevel* level : failing) {
        if (names.size() == kNamedFailures) {
            names << QStringLiteral("and %1 more").arg(failing.size() - kNamedFailures);
            break;
        }
        names << level->where;
    }
    return QStringLiteral("%1 of %2 fail: %3")
        .arg(failing.size())
        .arg(covered)
        .arg(names.join(QStringLiteral(", ")));
}

// Checks one limit of one section against one record.
class RecordCheck {
public:
    RecordCheck(const RecordMeasurements& measured, const LimitSection& section)
        : m_measured(measured), m_section(section)
    {
        for (const MeasuredLevel& level : measured.levels) {
            if (section.covers(level.digital))
                m_levels.append(&level);
        }
    }

    std::optional<LimitCheck> check(const Limit& limit) const
    {
        switch (limit.value) {
        case LimitedValue::Level:
            return levelCheck(limit);
        case LimitedValue::Tilt:
            return tiltCheck(limit);
        case LimitedValue::CarrierToNoise:
            return m_section.covers(m_measured.digital)
                       ? scalarCheck(limit, m_measured.carrierToNoise)
                       : std::nullopt;
        case LimitedValue::VideoToAudio:
            return scalarCheck(limit, m_measured.videoToAudio);
        case LimitedValue::AcVoltage:
            return scalarCheck(limit, m_measured.ac);
        case LimitedValue::DcVoltage:
            return scalarCheck(limit, m_measured.dc);
        case LimitedValue::Battery:
            return scalarCheck(limit, m_measured.battery);
        }
        return std::nullopt;
    }

private:
    LimitCheck started(const Limit& limit) const
    {
        LimitCheck check;
        check.limit = limitText(m_section, limit, m_measured.unit);
        return check;
    }

    std::optional<LimitCheck> levelCheck(const Limit& limit) const
    {
        if (m_levels.isEmpty())
            return std::nullopt;
        LimitCheck check = started(limit);
        if (!m_measured.unit)
            return unknownUnit(check);
        const LevelUnit& unit = *m_measured.unit;
        QList<const MeasuredLevel*> failing;
        QList<const MeasuredLevel*> unknown;
        for (const MeasuredLevel* level : m_levels) {
            if (!level->trueValueKnown())
                unknown.append(level);
            else if (violates(level->level, limit))
                failing.append(level);
        }
        // The value that decides a minimum is the lowest, a maximum's the highest.
        const auto extreme = [&limit](const QList<const MeasuredLevel*>& levels) {
            const auto lower = [](const MeasuredLevel* a, const MeasuredLevel* b) {
                return a->level < b->level;
            };
            return limit.bound == LimitBound::Minimum
                       ? *std::min_element(levels.begin(), levels.end(), lower)
                       : *std::max_element(levels.begin(), levels.end(), lower);
        };
        const bool several = m_levels.size() > 1;
        if (!failing.isEmpty()) {
            check.verdict = Verdict::Fail;
            check.value = placedLevel(*extreme(failing), unit, several);
            if (several)
                check.note = failureList(failing, int(m_levels.size()));
        } else if (!unknown.isEmpty()) {
            check.verdict = Verdict::Unknown;
            check.value = placedLevel(*unknown.first(), unit, several);
            check.note = whyUnknown(*unknown.first(), unit);
        } else {
            check.verdict = Verdict::Pass;
            check.value = placedLevel(*extreme(m_levels), unit, several);
        }
        return check;
    }

    // The largest level minus the smallest, over the rows this section covers.
    std::optional<LimitCheck> tiltCheck(const Limit& limit) const
    {
        if (m_levels.isEmpty())
            return std::nullopt;
        LimitCheck check = started(limit);
        if (!m_measured.unit)
            return unknownUnit(check);
        const auto lower = [](const MeasuredLevel* a, const MeasuredLevel* b) {
            return a->level < b->level;
        };
        const MeasuredLevel* lowest = *std::min_element(m_levels.begin(), m_levels.end(), lower);
        const MeasuredLevel* highest = *std::max_element(m_levels.begin(), m_levels.end(), lower);
        const int tilt = highest->level - lowest->level;
        check.value =
            QStringLiteral("%1 dB (%2 to %3)").arg(tenthsText(tilt), lowest->where, highest->where);
        for (const MeasuredLevel* level : m_levels) {
            if (!level->trueValueKnown()) {
                check.verdict = Verdict::Unknown;
                check.note = whyUnknown(*level, *m_measured.unit);
                return check;
            }
        }
        check.verdict = violates(tilt, limit) ? Verdict::Fail : Verdict::Pass;
        return check;
    }

    std::optional<LimitCheck> scalarCheck(const Limit& limit, std::optional<int> value) const
    {
        if (!value)
            return std::nullopt;
        LimitCheck check = started(limit);
        check.value = tenthsText(*value) + QLatin1Char(' ') + unitOf(limit.value);
        check.verdict = violates(*value, limit) ? Verdict::Fail : Verdict::Pass;
        return check;
    }

    static LimitCheck unknownUnit(LimitCheck check)
    {
        check.verdict = Verdict::Unknown;
        check.value = QStringLiteral("not shown");
        check.note = kNoUnit;
        return check;
    }

    const RecordMeasurements& m_measured;
    const LimitSection& m_section;
    QList<const MeasuredLevel*> m_levels;
};

QString limitNames(const QList<LimitCheck>& checks, Verdict verdict)
{
    QStringList names;
    for (const LimitCheck& check : checks) {
        if (check.verdict == verdict)
            names << check.limit;
    }
    return names.join(QStringLiteral("; "));
}

} // namespace

QList<LimitCheck> checkLimits(int kind, const RecordMeasurements& measured, const Limits& limits)
{
    QList<LimitCheck> checks;
    const KindScreen* screen = kindScreen(kind);
    if (!screen)
        return checks;
    for (const LimitSection& section : limits.sections) {
        if (section.shape != screen->shape)
            continue;
        const RecordCheck record(measured, section);
        for (const Limit& limit : section.limits) {
            if (std::optional<LimitCheck> check = record.check(limit))
                checks.append(*check);
        }
    }
    return checks;
}

QString verdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("PASS");
    case Verdict::Fail:
        return QStringLiteral("FAIL");
    case Verdict::Unknown:
        return QStringLiteral("UNKNOWN");
    }
    return {};
}

Verdict overallVerdict(const QList<LimitCheck>& checks)
{
    const auto has = [&checks](Verdict verdict) {
        return std::any_of(checks.begin(), checks.end(),
                           [verdict](const LimitCheck& check) { return check.verdict == verdict; });
    };
    if (has(Verdict::Fail))
        return Verdict::Fail;
    return has(Verdict::Unknown) ? Verdict::Unknown : Verdict::Pass;
}

QString recordVerdict(const QList<LimitCheck>& checks)
{
    if (checks.isEmpty())
        return QStringLiteral("-");
    switch (overallVerdict(checks)) {
    case Verdict::Fail:
        return QStringLiteral("FAIL: ") + limitNames(checks, Verdict::Fail);
    case Verdict::Unknown:
        return QStringLiteral("true value unknown: ") + limitNames(checks, Verdict::Unknown);
    case Verdict::Pass:
        break;
    }
    return verdictWord(Verdict::Pass);
}

} // namespace cablemeter
