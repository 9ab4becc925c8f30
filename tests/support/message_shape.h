#pragma once

#include "platform/user_message.h"

#include <QRegularExpression>
#include <QString>
#include <QTest>

namespace cablemeter::testing {

// Whether a text is one sentence on one line: it ends with a full stop and no sentence ends
// inside it.
inline bool isOneSentence(const QString& text)
{
    static const QRegularExpression sentenceEnd(QStringLiteral("[.!?] [A-Z]"));
    return !text.isEmpty() && text.endsWith(QLatin1Char('.')) &&
           !text.contains(QLatin1Char('\n')) && !text.contains(sentenceEnd);
}

// Every message first says in one sentence what happened, naming `name` (the port or the file
// as the user knows it), then in one sentence what to do, ending with `retry` when that is
// given; the details below repeat no instruction. Failures are reported through QTest: the
// caller returns when QTest::currentTestFailed().
inline void checkMessageShape(const UserMessage& message, const QString& name,
                              const QString& retry = {})
{
    const QString text = message.text();
    QVERIFY2(isOneSentence(message.what), qPrintable(text));
    QVERIFY2(message.what.contains(name),
             qPrintable(QStringLiteral("\"%1\" is not named first in:\n%2").arg(name, text)));
    QVERIFY2(isOneSentence(message.todo), qPrintable(text));
    QVERIFY2(message.todo.at(0).isUpper(), qPrintable(text));
    QCOMPARE(text.section(QLatin1Char('\n'), 0, 0), message.what);
    QCOMPARE(text.section(QLatin1Char('\n'), 1, 1), message.todo);
    QVERIFY2(!message.details.contains(message.todo), qPrintable(text));
    if (!retry.isEmpty()) {
        QVERIFY2(message.todo.endsWith(retry + QLatin1Char('.')), qPrintable(text));
        QVERIFY2(text.count(retry) == 1, qPrintable(text));
    }
}

} // namespace cablemeter::testing
