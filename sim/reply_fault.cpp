#include "sim/reply_fault.h"

#include <QStringList>

namespace cablemeter::sim {

namespace {

using Kind = ReplyFault::Kind;

// Which field of the fault a number of its command-line form fills.
enum class Field { Bytes, Milliseconds };

// Every command-line form of a fault, once: its name, the fields its numbers fill, and its help.
struct FaultForm {
    Kind kind;
    const char* name;
    QList<Field> numbers;
    const char* synopsis; // the form as --help shows it
    const char* help;
};

const QList<FaultForm>& faultForms()
{
    static const QList<FaultForm> forms = {
        {Kind::None, "none", {}, "none", "the normal reply (the default)"},
        {Kind::NoAnswer, "silent", {}, "silent", "no answer at all"},
        {Kind::ShortReply, "short", {Field::Bytes}, "short:N", "the first N bytes, then silence"},
        {Kind::ShortReply, "stall", {Field::Bytes}, "stall:N", "the same as short:N"},
        {Kind::SplitReply,
         "split",
         {Field::Bytes, Field::Milliseconds},
         "split:N:MS",
         "the first N bytes, a pause of MS ms, then the rest"},
        {Kind::LongReply,
         "long",
         {Field::Bytes},
         "long:N",
         "the reply padded with filler to N bytes"},
        {Kind::Garbage,
         "garbage",
         {Field::Bytes},
         "garbage:N",
         "N random bytes instead of the reply"},
        {Kind::Delay, "delay", {Field::Milliseconds}, "delay:MS", "the reply, MS ms late"},
        {Kind::StrayAfter,
         "stray-after",
         {Field::Bytes, Field::Milliseconds},
         "stray-after:N:MS",
         "the reply, then N random bytes MS ms after it"},
        {Kind::StrayBefore,
         "stray-before",
         {Field::Bytes},
         "stray-before:N",
         "N random bytes right before the reply"},
        {Kind::Repeat,
         "repeat",
         {Field::Milliseconds},
         "repeat:MS",
         "the reply, then the same reply again MS ms after it"},
        {Kind::Noise,
         "noise",
         {Field::Milliseconds},
         "noise:MS",
         "the reply, then random bytes at line speed for MS ms"},
        {Kind::Corrupt,
         "corrupt",
         {Field::Bytes},
         "corrupt:N",
         "the reply with its byte N (from 0) inverted"},
        {Kind::LoseByte, "lose", {Field::Bytes}, "lose:N", "the reply without its byte N (from 0)"},
        {Kind::Previous,
         "previous",
         {},
         "previous",
         "the reply to the request before, in place of this one's"},
        {Kind::WrongBaud,
         "baud",
         {Field::Bytes},
         "baud:RATE",
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
            fieldOf(fault, form.numbers[n]) = *number;
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
        for (Field field : form.numbers)
            text += QLatin1Char(':') + QString::number(fieldOf(copy, field));
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
                     .arg(QLatin1String(form.synopsis), -kSynopsisWidth)
                     .arg(QLatin1String(form.help));
    lines << QStringLiteral(
        "Add @N to strike only the Nth page request (counted from 1), e.g. "
        "stray-after:3:40@5;\nwithout it the fault strikes every page request.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace cablemeter::sim
