#include "sim/meter_traits.h"

#include <QStringList>

namespace cablemeter::sim {

std::optional<std::pair<std::chrono::milliseconds, std::chrono::milliseconds>>
MeterTraits::parseAnswerTime(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('-'));
    if (parts.size() > 2)
        return std::nullopt;
    bool fastOk = false;
    bool slowOk = false;
    const int fastest = parts.first().toInt(&fastOk);
    const int slowest = parts.last().toInt(&slowOk);
    if (!fastOk || !slowOk || fastest < 0 || slowest < fastest)
        return std::nullopt;
    return std::pair{std::chrono::milliseconds(fastest), std::chrono::milliseconds(slowest)};
}

std::optional<MeterTraits::FirstByte> MeterTraits::parseFirstByte(const QString& text)
{
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("constant"))
        return FirstByte::Constant;
    if (name == QLatin1String("counting"))
        return FirstByte::Counting;
    if (name == QLatin1String("random"))
        return FirstByte::Random;
    return std::nullopt;
}

} // namespace cablemeter::sim
