#pragma once

#include "link/link_observer.h"
#include "platform/window_controls.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

namespace cablemeter::testing {

// Stands in for the main window's controls and records everything the program and the link do to
// them, in order. The selected list line is set by the test.
class FakeWindowControls : public WindowControls, public LinkObserver {
public:
    struct ReportedError {
        QString title;
        QString message;   // the plain text
        UserMessage parts; // what happened, what to do, the details
    };

    void setStatusText(const QString& text) override
    {
        status = text;
        statusTexts.append(text);
    }
    QString statusText() const override { return status; }

    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void setProgressValue(int value) override { progressValues.append(value); }
    int progressValue() const { return progressValues.isEmpty() ? 0 : progressValues.last(); }

    void clearList() override
    {
        lines.clear();
        selectedLine = -1; // a list box loses its selection with its lines
        ++listClears;
    }
    int listCount() const override { return int(lines.size()); }
    void appendListLine(const QString& line) override { lines.append(line); }
    QString listLine(int row) const override { return lines.value(row); }
    int selectedListLine() const override { return selectedLine; }

    void showIndicator(const QColor& colour) override { indicatorColours.append(colour); }
    void showPortDescription(const QString& description) override { portDescription = description; }
    void reportLinkFailure(const QString& title, const UserMessage& message) override
    {
        reportError(title, message);
    }

    void setBusy(bool on) override
    {
        busy = on;
        busyChanges.append(on);
    }

    void reportError(const QString& title, const UserMessage& message) override
    {
        errors.append({title, message.text(), message});
    }

    // What the program did, in order.
    QString status;
    QStringList statusTexts;
    bool progressVisible = false;
    int progressMaximum = 0;
    QList<int> progressValues;
    QStringList lines;
    int listClears = 0;
    QList<QColor> indicatorColours;
    QString portDescription;
    bool busy = false;
    QList<bool> busyChanges;
    QList<ReportedError> errors;

    // What the user chose.
    int selectedLine = -1;
};

} // namespace cablemeter::testing
