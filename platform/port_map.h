#pragma once

#include "platform/port_discovery.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace cablemeter {

// The window offers COM1 to COM4.
inline constexpr int kPortCount = 4;

// The port the user chose: COM1 to COM4 through the port map, or a device named directly (the
// command line's --port /dev/ttyUSB0), which is then named to the user as given.
struct PortChoice {
    int portNumber = 1; // COMn, when no device is named
    QString device;

    static PortChoice com(int portNumber) { return {portNumber, {}}; }
    static PortChoice path(const QString& device) { return {0, device}; }
    bool namesDevice() const { return !device.isEmpty(); }
};

// Which device each of COM1 to COM4 leads to. On Windows COMn is the system's own COMn. Elsewhere
// COMn leads to the n-th serial port found: USB and ACM adapters first, in the order of their
// /dev/serial/by-id names so each adapter keeps its number, then UARTs; consoles are left out.
// CABLEMETER_COM<n>=DEVICE sends COMn to DEVICE instead (Windows has COM numbers of its own and
// reads no such variable). The ports are looked for only when a question needs them, so a port
// sent elsewhere by its variable costs no search.
class PortMap {
public:
    using Discover = std::function<QList<FoundPort>()>;
    // The device named for each of COM1 to COM4 (index 0 is COM1); empty when none is.
    using Overrides = std::array<QString, kPortCount>;

    PortMap(Overrides overrides, Discover discover);
    // The ports of this computer, with the user's CABLEMETER_COM<n> variables: what the programs
    // start with (tests make maps of their own).
    static PortMap current();
    static QString overrideVariable(int portNumber); // "CABLEMETER_COM2"
    static QString comName(int portNumber);          // "COM2"

    // Forgets the ports found, so the next question looks again (an adapter plugged in since).
    void refresh();

    // The device COMn leads to; empty when it leads to none.
    QString deviceFor(int portNumber) const;
    QString deviceFor(const PortChoice& choice) const;
    bool isOverridden(int portNumber) const;
    // "COM1 (/dev/ttyUSB0, FT232R USB UART)"; "COM3 (no serial port)" when COMn leads nowhere.
    QString displayName(int portNumber) const;
    // As above for COMn; a device named directly is shown as named.
    QString displayName(const PortChoice& choice) const;
    // "/dev/ttyUSB0 (FT232R USB UART)": a found port as the user is told of it.
    static QString portText(const FoundPort& port);

    // The ports that COM1, COM2, ... lead to when no variable says otherwise, in that order;
    // there may be more than four.
    const QList<FoundPort>& reachablePorts() const;
    // The ports left out because the system console runs on them.
    const QList<FoundPort>& consoles() const;
    // The found port a device is (by its path, its by-id link or the node a link leads to).
    std::optional<FoundPort> portAt(const QString& device) const;
    // The first of COM1 to COM4 that leads to this device; 0 when none does.
    int portNumberOf(const QString& device) const;

private:
    void discover() const;

    // Where the systems differ (each has its own port_map_*.cpp), besides deviceFor(int):
    // the user's CABLEMETER_COM<n> variables, on a system that reads them;
    static Overrides overridesFromEnvironment();
    // the device as displayName() shows it beside the COM name; empty when that would repeat it;
    static QString shownDevice(const QString& device);
    // the device file a name leads to through links; empty when the name is not a file's.
    static QString resolvedDevice(const QString& device);

    Overrides m_overrides;
    Discover m_discover;
    mutable bool m_discovered = false;
    mutable QList<FoundPort> m_reachable;
    mutable QList<FoundPort> m_consoles;
};

} // namespace cablemeter
