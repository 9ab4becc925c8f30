#pragma once

#include "platform/port_map.h"

namespace cablemeter::testing {

// The serial ports a test's program sees instead of this computer's (whose console may sit on a
// serial port): one USB adapter that does not exist, and a console that is left out.
inline QList<FoundPort> testPorts()
{
    return {{QStringLiteral("/dev/cablemeter-test/ttyUSB0"), PortKind::Usb,
             QStringLiteral("usb-cablemeter_Test_Adapter_T1-if00-port0"),
             QStringLiteral("Test adapter")},
            {QStringLiteral("/dev/ttyS0"), PortKind::Uart, {}, {}, true}};
}

// A port map over testPorts(); `com1Device` (a simulator's pty), when given, is where COM1 leads,
// as the user's CABLEMETER_COM1 would send it.
inline PortMap testPortMap(const QString& com1Device = {}, QList<FoundPort> found = testPorts())
{
    PortMap::Overrides overrides;
    overrides[0] = com1Device;
    return PortMap(overrides, [found] { return found; });
}

} // namespace cablemeter::testing
