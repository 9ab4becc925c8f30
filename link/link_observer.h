#pragma once

#include "platform/port_advice.h"
#include "platform/user_message.h"

#include <QColor>
#include <QString>

namespace cablemeter {

// How the link tells its front end (the window, or the command line) what it did. The link never
// touches a front end's controls; it reports through this.
class LinkObserver {
public:
    virtual ~LinkObserver() = default;

    // The port indicator's fill: cyan once the open sequence completed, red after Close or when
    // the port is closed by a failure.
    virtual void showIndicator(const QColor& colour) = 0;
    // Where the chosen port leads, e.g. "COM1 (/dev/ttyUSB0, FT232R USB UART)".
    virtual void showPortDescription(const QString& description) = 0;
    // A failure that no caller reports: a failed Open, a Beep not sent, a port lost while idle.
    // One report per failure. A failed page read is reported by the read's caller instead.
    virtual void reportLinkFailure(const QString& title, const UserMessage& message) = 0;
    // How the user picks another port and tries again once a message's advice is followed;
    // messages end with it.
    virtual PortAdvice portAdvice() const
    {
        return {QStringLiteral("choose the meter's port"), QStringLiteral("press Open")};
    }
};

} // namespace cablemeter
