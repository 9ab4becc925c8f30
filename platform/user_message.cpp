#include "platform/user_message.h"

#include <utility>

namespace cablemeter {

namespace {

const QString kLineBreak = QStringLiteral("\n");
const QString kParagraphBreak = QStringLiteral("\n\n");

} // namespace

UserMessage::UserMessage(QString whatHappened, QString whatToDo, QString detailLines)
    : what(std::move(whatHappened)), todo(std::move(whatToDo)), details(std::move(detailLines))
{
}

UserMessage::UserMessage(const QString& text)
{
    const qsizetype endOfFirstParagraph = text.indexOf(kParagraphBreak);
    const QString first = text.left(endOfFirstParagraph);
    if (endOfFirstParagraph >= 0)
        details = text.mid(endOfFirstParagraph + kParagraphBreak.size());
    const qsizetype endOfFirstLine = first.indexOf(kLineBreak);
    what = first.left(endOfFirstLine);
    if (endOfFirstLine >= 0)
        todo = first.mid(endOfFirstLine + kLineBreak.size());
}

QString UserMessage::text() const
{
    QString text = what;
    if (!todo.isEmpty())
        text += (text.isEmpty() ? QString() : kLineBreak) + todo;
    if (!details.isEmpty())
        text += (text.isEmpty() ? QString() : kParagraphBreak) + details;
    return text;
}

UserMessage UserMessage::withDetail(const QString& detail) const
{
    UserMessage message = *this;
    if (!detail.isEmpty())
        message.details += (details.isEmpty() ? QString() : kParagraphBreak) + detail;
    return message;
}

} // namespace cablemeter
