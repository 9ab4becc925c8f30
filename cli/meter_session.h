#pragma once

#include "cli/console_controls.h"
#include "platform/port_map.h"
#include "platform/user_message.h"

#include <QString>

#include <memory>

namespace cablemeter {
class MeterLink;
class SerialPort;
} // namespace cablemeter

namespace cablemeter::cli {

class InterruptWatch;

// The window's link to the meter, driven from the command line: the platform's serial port, the
// console controls and MeterLink with its timing and receive rules.
//
// `port` is what the user gave --port: COM1 to COM4 (in any case: com1 too) lead where the
// window's COM numbers lead (the user's CABLEMETER_COM<n> included); anything else is the device
// itself, and messages name it as given.
class MeterSession {
public:
    // A Ctrl-C seen by the watch cancels the page read under way. `verify`: every page is read
    // twice and taken only when the reads agree.
    MeterSession(const QString& port, InterruptWatch& watch, bool drawProgress = false,
                 bool verify = false);
    ~MeterSession();
    MeterSession(const MeterSession&) = delete;
    MeterSession& operator=(const MeterSession&) = delete;

    // The open sequence; false with the reason (what went wrong and what to do) in openFailure().
    bool open();
    UserMessage openFailure() const;
    // The same as text.
    QString openError() const { return openFailure().text(); }

    MeterLink& link() { return *m_link; }
    const MeterLink& link() const { return *m_link; }
    ConsoleControls& controls() { return m_controls; }

private:
    PortChoice m_choice;
    PortMap m_ports = PortMap::current();
    ConsoleControls m_controls;
    std::unique_ptr<SerialPort> m_port;
    std::unique_ptr<MeterLink> m_link;
};

} // namespace cablemeter::cli
