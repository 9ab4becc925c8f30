#pragma once

#include <QString>

namespace cablemeter {

// A message for the user: first one sentence saying what happened, naming the port or file as
// the user knows it; then one sentence saying what to do; below them the details (lists of
// ports or programs, the system's own error texts) that only some users need. The window shows
// the details behind its message box's "Show Details...", the command line after the two
// sentences.
struct UserMessage {
    QString what;
    QString todo;
    QString details;

    UserMessage() = default;
    UserMessage(QString whatHappened, QString whatToDo, QString detailLines = {});
    // A message as text() lays it out: the first line is what happened, the rest of the first
    // paragraph what to do, the paragraphs after it the details. Implicit, so that a text made
    // elsewhere shows as a message all the same.
    UserMessage(const QString& text); // NOLINT(google-explicit-constructor)

    bool isEmpty() const { return what.isEmpty() && todo.isEmpty() && details.isEmpty(); }
    // What happened and what to do, one line each, then a blank line and the details.
    QString text() const;
    // The same message with one more paragraph of details at the end.
    UserMessage withDetail(const QString& detail) const;
};

} // namespace cablemeter
