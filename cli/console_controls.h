#pragma once

#include "platform/window_controls.h"

#include <QString>
#include <QStringList>

namespace cablemeter::cli {

// The window's controls on a terminal: record list lines go to stdout, the status line, the
// progress and error messages to stderr. The port selector holds a fixed text.
class ConsoleControls : public WindowControls {
public:
    explicit ConsoleControls(QString portSelectorText = QStringLiteral("COM1"),
                             bool drawProgress = false);

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

    QString portSelectorText() const override { return m_portSelectorText; }
    void setIndicatorColour(const QColor&) override {}
    void setPortDescription(const QString& description) override
    {
        m_portDescription = description;
    }
    QString portDescription() const { return m_portDescription; }

    void setBusy(bool) override {}

    void reportError(const QString& title, const QString& message) override;
    QString retryAdvice() const override { return QStringLiteral("run the command again"); }
    int reportedErrorCount() const { return m_reportedErrors; }
    // After Ctrl-C the failures that follow from it are not news to the user.
    void silenceErrors() { m_errorsSilenced = true; }

private:
    void endProgressLine();

    QString m_portSelectorText;
    bool m_drawProgress = false;
    QString m_status;
    bool m_progressVisible = false;
    int m_progressMaximum = 0;
    bool m_progressLineOpen = false;
    QStringList m_lines;
    QString m_portDescription;
    int m_reportedErrors = 0;
    bool m_errorsSilenced = false;
};

} // namespace cablemeter::cli
