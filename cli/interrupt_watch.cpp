#include "cli/interrupt_watch.h"

#include "cli/exit_code.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cablemeter::cli {

namespace {

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM};

// The pipe's ends: [0] read by the notifier, [1] written by the handler.
int g_signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restart interrupted system calls: the program's reads and writes need not expect EINTR.
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep their default action: the program just ends
    m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptWatch::takePendingSignal);
    for (const int signalNumber : kWatchedSignals)
        setHandler(signalNumber, onTerminationSignal);
}

InterruptWatch::~InterruptWatch()
{
    if (m_notifier)
        m_notifier->setEnabled(false); // before its descriptor goes
    for (const int signalNumber : kWatchedSignals)
        setHandler(signalNumber, SIG_DFL);
    for (int& end : g_signalPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

int InterruptWatch::exitCode() const
{
    return kExitSignalBase + m_signalNumber;
}

void InterruptWatch::takePendingSignal()
{
    char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1) {
        if (m_signalNumber == 0) {
            m_signalNumber = byte;
            emit interrupted(m_signalNumber);
        }
    }
}

} // namespace cablemeter::cli
