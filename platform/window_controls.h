#pragma once

#include "platform/user_message.h"

#include <QString>

namespace cablemeter {

// The controls of the main window that the program's handlers read and set. The window
// implements it; tests use a recording fake.
class WindowControls {
public:
    virtual ~WindowControls() = default;

    // Status line (Text2): whole texts, spaces included.
    virtual void setStatusText(const QString& text) = 0;
    virtual QString statusText() const = 0;

    // Progress bar (ProgressBar1).
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressValue(int value) = 0;

    // Record list (List1).
    virtual void clearList() = 0;
    virtual int listCount() const = 0;
    virtual void appendListLine(const QString& line) = 0;
    virtual QString listLine(int row) const = 0;
    // The selected line, or -1 when none is selected.
    virtual int selectedListLine() const = 0;

    // While an operation talks to the meter, Read, the list, Open, Close and Beep are disabled;
    // Quit stays live.
    virtual void setBusy(bool busy) = 0;

    // One message to the user per failure: what went wrong and what to do, then the details.
    virtual void reportError(const QString& title, const UserMessage& message) = 0;

    // A question the user answers Yes or No, such as whether to replace files. Controls that
    // cannot ask answer No, so nothing is replaced.
    virtual bool askYesNo(const QString& title, const QString& question)
    {
        Q_UNUSED(title);
        Q_UNUSED(question);
        return false;
    }
};

// Disables the window's meter controls for the lifetime of an operation.
class BusyScope {
public:
    explicit BusyScope(WindowControls& controls) : m_controls(controls)
    {
        m_controls.setBusy(true);
    }
    ~BusyScope() { m_controls.setBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    WindowControls& m_controls;
};

} // namespace cablemeter
