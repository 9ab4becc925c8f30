#include "cli/interrupt_watch.h"

#include "cli/exit_code.h"
#include "platform/interrupt_signals.h"

#include <QCoreApplication>

namespace cablemeter::cli {

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent)
{
    auto* signalSource = new InterruptSignals(this);
    connect(signalSource, &InterruptSignals::interrupted, this, &InterruptWatch::takeSignal);
}

bool InterruptWatch::interruptedNow()
{
    QCoreApplication::processEvents();
    return isInterrupted();
}

int InterruptWatch::exitCode() const
{
    return kExitSignalBase + m_signalNumber;
}

void InterruptWatch::takeSignal(int signalNumber)
{
    if (m_signalNumber != 0)
        return; // a second Ctrl-C while the first one is being handled changes nothing
    m_signalNumber = signalNumber;
    emit interrupted(m_signalNumber);
}

} // namespace cablemeter::cli
