#include "sim/reply_fault.h"

#include <QStringList>

namespace cablemeter::sim {

namespace {

using Kind = ReplyFault::Kind;

// Which field of the fault a number of its command-line form fills, and how --help names it.
enum class Field { Bytes, Milliseconds };
struct Number {
    Field field;
    const char* placeholder;
};
const Number kCount{Field::Bytes, "N"};
const Number kMilliseconds{Field::Milliseconds, "MS"};
const Number kRate{Field::Bytes, "RATE"};

// Every command-line form of a fault, once: its name, its numbers, and its help.
struct FaultForm {
    Kind kind;
    const char* name;
    QList<Number> numbers;
    const char* help;

    // The form as --help shows it, e.g. "split:N:MS".
    QString synopsis() const
    {
        QString text = QLatin1String(name);
        for (const Number& number : numbers)
            text += QLatin1Char(':') + QLatin1String(number.placeholder);
        return text;
    }
};

const QList<FaultForm>& faultForms()
{
    static const QList<FaultForm> forms = {
        {Kind::None, "none", {}, "the normal reply (the default)"},
        {Kind::NoAnswer, "silent", {}, "no answer at all"},
        {Kind::ShortReply, "short", {kCount}, "the first N bytes, then silence"},
        {Kind::ShortReply, "stall", {kCount}, "the same as short:N"},
        {Kind::SplitReply,
         "split",
         {kCount, kMilliseconds},
         "the first N bytes, a pause of MS ms, then the rest"},
        {Kind::LongReply, "long", {kCount}, "the reply padded with filler to N bytes"},
        {Kind::Garbage, "garbage", {kCount}, "N random bytes instead of the reply"},
        {Kind::Delay, "delay", {kMilliseconds}, "the reply, MS ms late"},
        {Kind::StrayAfter,
         "stray-after",
         {kCount, kMilliseconds},
         "the reply, then N random bytes MS ms after it"},
        {Kind::StrayBefore, "stray-before", {kCount}, "N random bytes right before the reply"},
        {Kind::Repeat,
         "repeat",
         {kMilliseconds},
         "the reply, then the same reply again MS ms after it"},
        {Kind::Noise,
         "noise",
         {kMilliseconds},
         "the reply, then random bytes at line speed for MS ms"},
        {Kind::Corrupt, "corrupt", {kCount}, "the reply with its byte N (from 0) inverted"},
        {Kind::LoseByte, "lose", {kCount}, "the reply without its byte N (from 0)"},
        {Kind::Previous, "previous", {}, "the reply to the request before, in place of this one's"},
        {Kind::WrongBaud,
         "baud",
         {kRate},
         "the reply sent at RATE baud: garbled, with line errors"},
    };
    return forms;
}

// A positive whole number, or nullopt.
std::optional<int> positiveNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

int& fieldOf(ReplyFault& fault, Field field)
{
    return field == Field::Bytes ? fault.bytes : fault.milliseconds;
}

// The fault without its "@N" suffix.
std::optional<ReplyFault> parseKind(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    for (const FaultForm& form : faultForms()) {
        if (parts.first() != QLatin1String(form.name) || parts.size() != form.numbers.size() + 1)
            continue;
        ReplyFault fault{form.kind, 0, 0};
        for (qsizetype n = 0; n < form.numbers.size(); ++n) {
            const std::optional<int> number = positiveNumber(parts.at(n + 1));
            if (!number)
                return std::nullopt;
            fieldOf(fault, form.numbers[n].field) = *number;
        }
        return fault;
    }
    return std::nullopt;
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
    QString text;
    for (const FaultForm& form : faultForms()) {
        if (form.kind != kind)
            continue;
        text = QLatin1String(form.name);
        ReplyFault copy = *this;
        for (const Number& number : form.numbers)
            text += QLatin1Char(':') + QString::number(fieldOf(copy, number.field));
        break;
    }
    return onlyRequest == 0 ? text : QStringLiteral("%1@%2").arg(text).arg(onlyRequest);
}

QString ReplyFault::forms()
{
    constexpr int kSynopsisWidth = 18;
    QStringList lines;
    for (const FaultForm& form : faultForms())
        lines << QStringLiteral("  %1%2")
                     .arg(form.synopsis(), -kSynopsisWidth)
                     .arg(QLatin1String(form.help));
    lines << QStringLiteral(
        "Add @N to strike only the Nth page request (counted from 1), e.g. "
        "stray-after:3:40@5;\nwithout it the fault strikes every page request.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace cablemeter::sim
