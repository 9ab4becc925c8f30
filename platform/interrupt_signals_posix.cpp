#include "platform/interrupt_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cablemeter {

namespace {

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM};

// The pipe's ends: [0] read on the event loop, [1] written by the handler.
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
    // No SA_RESTART: a system call blocked when Ctrl-C comes returns (EINTR) instead of holding
    // the program up until it completes.
    action.sa_flags = 0;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

InterruptSignals::InterruptSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep their default action: the program just ends
    m_signalPipeNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signalPipeNotifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1)
            emit interrupted(byte);
    });
    for (const int signalNumber : kWatchedSignals)
        setHandler(signalNumber, onTerminationSignal);
}

InterruptSignals::~InterruptSignals()
{
    if (m_signalPipeNotifier)
        m_signalPipeNotifier->setEnabled(false); // before its descriptor goes
    for (const int signalNumber : kWatchedSignals)
        setHandler(signalNumber, SIG_DFL);
    for (int& end : g_signalPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

} // namespace cablemeter
