#include "platform/interrupt_signals.h"

#include <csignal>
#include <mutex>
#include <qt_windows.h>

namespace cablemeter {

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

} // namespace cablemeter
