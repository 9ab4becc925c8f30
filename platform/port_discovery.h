#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace cablemeter {

// What sits behind a serial port: a USB serial adapter, a USB modem-class (ACM) device, or a UART
// on the main board.
enum class PortKind { Usb, Acm, Uart };

// Where Linux links each USB adapter under a name made of its maker, model and serial number.
inline constexpr char kSerialByIdFolder[] = "/dev/serial/by-id";

// A serial port that exists on this computer now.
struct FoundPort {
    QString device; // "/dev/ttyUSB0"; "COM5" on Windows
    PortKind kind = PortKind::Uart;
    QString byIdName;     // its name in /dev/serial/by-id, stable while the adapter is plugged in
    QString description;  // "FT232R USB UART", when the system knows one
    bool console = false; // the system console runs on it: never ours to take

    bool operator==(const FoundPort&) const = default;
};

// Lists the serial ports of this computer. The real one asks the system, which probes every
// serial node by opening it; tests give a list of their own instead.
class PortDiscovery {
public:
    // Test aid: when this variable is set, the program takes its serial ports (consoles included)
    // from it and never looks at the computer's own. The value is a list of entries separated by
    // ",", each "DEVICE|KIND|BY-ID NAME|DESCRIPTION|console" with KIND one of usb, acm, uart;
    // fields may be empty and trailing ones left off. An empty value or "none" means no ports.
    // Example: "/dev/ttyUSB0|usb|usb-FTDI_FT232R_USB_UART_A1-if00-port0|FT232R USB UART,
    // /dev/ttyS0|uart|||console" (one line).
    static constexpr char kInjectedPortsVariable[] = "CABLEMETER_TEST_PORTS";

    virtual ~PortDiscovery() = default;
    // Every serial port found, the consoles among them, in no particular order.
    virtual QList<FoundPort> findPorts() const = 0;
};

// The list from CABLEMETER_TEST_PORTS when that is set, otherwise the system's serial ports.
std::unique_ptr<PortDiscovery> createPortDiscovery();

} // namespace cablemeter
