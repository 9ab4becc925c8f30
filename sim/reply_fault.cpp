#include "sim/reply_fault.h"

#include <QStringList>

namespace cablemeter::sim {

namespace {

// A positive whole number, or nullopt.
std::optional<int> positiveNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<ReplyFault> ReplyFault::parse(const QString& text)
{
    const QStringList parts = text.trimmed().toLower().split(QLatin1Char(':'));
    const QString& name = parts.first();
    if (parts.size() == 1) {
        if (name == QLatin1String("none"))
            return none();
        if (name == QLatin1String("silent"))
            return noAnswer();
        return std::nullopt;
    }
    const std::optional<int> first = positiveNumber(parts.at(1));
    if (!first)
        return std::nullopt;
    if (parts.size() == 3 && name == QLatin1String("split")) {
        const std::optional<int> gap = positiveNumber(parts.at(2));
        return gap ? std::optional(splitReply(*first, *gap)) : std::nullopt;
    }
    if (parts.size() != 2)
        return std::nullopt;
    if (name == QLatin1String("short"))
        return shortReply(*first);
    if (name == QLatin1String("long"))
        return longReply(*first);
    if (name == QLatin1String("garbage"))
        return garbage(*first);
    if (name == QLatin1String("delay"))
        return delay(*first);
    return std::nullopt;
}

QString ReplyFault::toString() const
{
    switch (kind) {
    case Kind::None:
        return QStringLiteral("none");
    case Kind::NoAnswer:
        return QStringLiteral("silent");
    case Kind::ShortReply:
        return QStringLiteral("short:%1").arg(bytes);
    case Kind::SplitReply:
        return QStringLiteral("split:%1:%2").arg(bytes).arg(milliseconds);
    case Kind::LongReply:
        return QStringLiteral("long:%1").arg(bytes);
    case Kind::Garbage:
        return QStringLiteral("garbage:%1").arg(bytes);
    case Kind::Delay:
        return QStringLiteral("delay:%1").arg(milliseconds);
    }
    return {};
}

} // namespace cablemeter::sim
