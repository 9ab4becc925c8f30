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

// The fault without its "@N" suffix.
std::optional<ReplyFault> parseKind(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    const QString& name = parts.first();
    if (parts.size() == 1) {
        if (name == QLatin1String("none"))
            return ReplyFault::none();
        if (name == QLatin1String("silent"))
            return ReplyFault::noAnswer();
        return std::nullopt;
    }
    const std::optional<int> first = positiveNumber(parts.at(1));
    if (!first)
        return std::nullopt;
    if (parts.size() == 3) {
        const std::optional<int> second = positiveNumber(parts.at(2));
        if (!second)
            return std::nullopt;
        if (name == QLatin1String("split"))
            return ReplyFault::splitReply(*first, *second);
        if (name == QLatin1String("stray-after"))
            return ReplyFault::strayAfter(*first, *second);
        return std::nullopt;
    }
    if (parts.size() != 2)
        return std::nullopt;
    if (name == QLatin1String("short") || name == QLatin1String("stall"))
        return ReplyFault::shortReply(*first);
    if (name == QLatin1String("long"))
        return ReplyFault::longReply(*first);
    if (name == QLatin1String("garbage"))
        return ReplyFault::garbage(*first);
    if (name == QLatin1String("delay"))
        return ReplyFault::delay(*first);
    if (name == QLatin1String("stray-before"))
        return ReplyFault::strayBefore(*first);
    if (name == QLatin1String("repeat"))
        return ReplyFault::repeat(*first);
    if (name == QLatin1String("noise"))
        return ReplyFault::noise(*first);
    return std::nullopt;
}

QString kindToString(const ReplyFault& fault)
{
    using Kind = ReplyFault::Kind;
    switch (fault.kind) {
    case Kind::None:
        return QStringLiteral("none");
    case Kind::NoAnswer:
        return QStringLiteral("silent");
    case Kind::ShortReply:
        return QStringLiteral("short:%1").arg(fault.bytes);
    case Kind::SplitReply:
        return QStringLiteral("split:%1:%2").arg(fault.bytes).arg(fault.milliseconds);
    case Kind::LongReply:
        return QStringLiteral("long:%1").arg(fault.bytes);
    case Kind::Garbage:
        return QStringLiteral("garbage:%1").arg(fault.bytes);
    case Kind::Delay:
        return QStringLiteral("delay:%1").arg(fault.milliseconds);
    case Kind::StrayAfter:
        return QStringLiteral("stray-after:%1:%2").arg(fault.bytes).arg(fault.milliseconds);
    case Kind::StrayBefore:
        return QStringLiteral("stray-before:%1").arg(fault.bytes);
    case Kind::Repeat:
        return QStringLiteral("repeat:%1").arg(fault.milliseconds);
    case Kind::Noise:
        return QStringLiteral("noise:%1").arg(fault.milliseconds);
    }
    return {};
}

} // namespace

std::optional<ReplyFault> ReplyFault::parse(const QString& text)
{
    const QStringList parts = text.trimmed().toLower().split(QLatin1Char('@'));
    if (parts.size() > 2)
        return std::nullopt;
    std::optional<ReplyFault> fault = parseKind(parts.first());
    if (!fault || parts.size() == 1)
        return fault;
    const std::optional<int> request = positiveNumber(parts.at(1));
    if (!request || fault->kind == Kind::None)
        return std::nullopt;
    return fault->onlyOnRequest(*request);
}

QString ReplyFault::toString() const
{
    const QString text = kindToString(*this);
    return onlyRequest == 0 ? text : QStringLiteral("%1@%2").arg(text).arg(onlyRequest);
}

QString ReplyFault::forms()
{
    return QStringLiteral(
        "  none              the normal reply (the default)\n"
        "  silent            no answer at all\n"
        "  short:N, stall:N  the first N bytes of the reply, then silence\n"
        "  split:N:MS        the first N bytes, a gap of MS ms, then the rest\n"
        "  long:N            the reply padded with filler to N bytes\n"
        "  garbage:N         N random bytes instead of the reply\n"
        "  delay:MS          the reply, MS ms late\n"
        "  stray-after:N:MS  the reply, then N random bytes MS ms after it\n"
        "  stray-before:N    N random bytes right before the reply\n"
        "  repeat:MS         the reply, then the same reply again MS ms after it\n"
        "  noise:MS          the reply, then random bytes at line speed for MS ms\n"
        "Add @N to strike only the Nth page request (counted from 1), e.g. stray-after:3:40@5;\n"
        "without it the fault strikes every page request.");
}

} // namespace cablemeter::sim
