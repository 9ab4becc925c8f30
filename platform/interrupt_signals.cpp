#include "platform/interrupt_signals.h"

#include <QSocketNotifier>

#include <csignal>

#ifdef Q_OS_WIN
#include <mutex>
#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace cablemeter {

#ifdef Q_OS_WIN

namespace {

// The one instance the console handler reports to; the lock keeps it alive while a report is
// being queued from the handler's thread.
std::mutex g_instanceLock;
InterruptSignals* g_instance = nullptr;

// The system calls this on a thread it starts for the event, so it only queues a call to the
// instance on its own thread. Other events (closing the console, logging off, shutting down)
// keep their default: the program ends.
BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    const std::lock_guard lock(g_instanceLock);
    if (!g_instance)
        return FALSE;
    InterruptSignals* instance = g_instance;
    QMetaObject::invokeMethod(
        instance, [instance] { emit instance->interrupted(SIGINT); }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

InterruptSignals::InterruptSignals(QObject* parent) : QObject(parent)
{
    const std::lock_guard lock(g_instanceLock);
    g_instance = this;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptSignals::~InterruptSignals()
{
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    // A report already queued to this instance is dropped with it.
    const std::lock_guard lock(g_instanceLock);
    g_instance = nullptr;
}

#else // POSIX

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

#endif

} // namespace cablemeter
