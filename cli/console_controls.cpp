#include "cli/console_controls.h"

#include "cli/console_output.h"

namespace cablemeter::cli {

namespace {
constexpr int kPercent = 100;
}

ConsoleControls::ConsoleControls(bool drawProgress) : m_drawProgress(drawProgress) {}

void ConsoleControls::setStatusText(const QString& text)
{
    endProgressLine();
    m_status = text;
    printMessage(text);
}

void ConsoleControls::setProgressValue(int value)
{
    // A percentage is drawn after the status it belongs to ("Read Files ... 42 %"), not alone.
    if (!m_drawProgress || !m_progressVisible || m_progressMaximum <= 0 || m_status.isEmpty())
        return;
    printProgress(
        QStringLiteral("\r%1 %2 %").arg(m_status).arg(value * kPercent / m_progressMaximum));
    m_progressLineOpen = true;
}

void ConsoleControls::appendListLine(const QString& line)
{
    endProgressLine();
    m_lines.append(line);
    // Names come from the meter as stored, control characters and all.
    printLine(withVisibleControlCharacters(line));
}

void ConsoleControls::reportError(const QString&, const UserMessage& message)
{
    ++m_reportedErrors;
    if (m_errorsSilenced)
        return;
    endProgressLine();
    printProblem(message.text());
}

PortAdvice ConsoleControls::portAdvice() const
{
    return {QStringLiteral("give the meter's device with --port"),
            QStringLiteral("run the command again")};
}

void ConsoleControls::endProgressLine()
{
    if (m_progressLineOpen)
        printProgress(QStringLiteral("\n"));
    m_progressLineOpen = false;
}

} // namespace cablemeter::cli
