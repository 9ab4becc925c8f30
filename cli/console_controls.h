#pragma once

#include "link/link_observer.h"
#include "platform/window_controls.h"

#include <QString>
#include <QStringList>

namespace cablemeter::cli {

// The window's controls on a terminal: record list lines go to stdout, the status line, the
// progress and error messages to stderr. It also hears the link's reports.
class ConsoleControls : public WindowControls, public LinkObserver {
public:
    explicit ConsoleControls(bool drawProgress = false);

    void setStatusText(const QString& text) override;
    QString statusText() const override { return m_status; }

    void setProgressVisible(bool visible) override { m_progressVisible = visible; }
    void setProgressMaximum(int maximum) override { m_progressMaximum = maximum; }
    void setProgressValue(int value) override;

    void clearList() override { m_lines.clear(); }
    int listCount() const override { return int(m_lines.size()); }
    void appendListLine(const QString& line) override;
    QString listLine(int row) const override { return m_lines.value(row); }
    int selectedListLine() const override { return -1; }

    void setBusy(bool) override {}

    // The message alone: the window's title would only stand in front of what it says.
    void reportError(const QString& title, const UserMessage& message) override;

    // LinkObserver: the terminal has no indicator or tooltip.
    void showIndicator(const QColor&) override {}
    void showPortDescription(const QString&) override {}
    void reportLinkFailure(const QString& title, const UserMessage& message) override
    {
        reportError(title, message);
    }
    PortAdvice portAdvice() const override;
    int reportedErrorCount() const { return m_reportedErrors; }
    // After Ctrl-C the failures that follow from it are not news to the user.
    void silenceErrors() { m_errorsSilenced = true; }

private:
    void endProgressLine();

    bool m_drawProgress = false;
    QString m_status;
    bool m_progressVisible = false;
    int m_progressMaximum = 0;
    bool m_progressLineOpen = false;
    QStringList m_lines;
    int m_reportedErrors = 0;
    bool m_errorsSilenced = false;
};

} // namespace cablemeter::cli
