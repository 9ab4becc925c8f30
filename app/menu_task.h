#pragma once

#include "platform/window_controls.h"

#include <QString>

#include <functional>

namespace cablemeter {

// A file or folder as messages name it: in full, with the system's separators.
QString shownPath(const QString& path);

// What the record list's menu tasks (the report, the export) share in the window: while one
// runs, the meter controls wait and the progress bar follows its reading; Esc or Quit asks it to
// stop; it ends by telling the user what it wrote, or why it wrote nothing.
class MenuTask {
public:
    using TellDone = std::function<void(const QString& title, const QString& message)>;

    // For as long as it lives the task runs: the controls wait, the progress bar starts at 0 and
    // the status line says `status`.
    class Running {
    public:
        Running(MenuTask& task, const QString& status);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        MenuTask& m_task;
        BusyScope m_busy;
    };

    MenuTask(WindowControls& controls, TellDone tellDone);

    bool isRunning() const { return m_running; }
    // Esc or Quit: the reading under way ends and nothing is kept. The caller also cancels the
    // link's wait.
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }

    void showProgress(int done, int total);
    void showStatus(const QString& text) { m_controls.setStatusText(text); }
    // The task wrote what it was to write: `title` in the status line and a message.
    void succeed(const QString& title, const QString& message);
    // The task wrote nothing (or could not clean up): `title` in the status line and a warning.
    void fail(const QString& title, const UserMessage& message);

private:
    WindowControls& m_controls;
    TellDone m_tellDone;
    bool m_running = false;
    bool m_cancelled = false;
};

} // namespace cablemeter
