#pragma once

#include "platform/port_discovery.h"

namespace cablemeter {

// Serial ports given as a text in the format of PortDiscovery::kInjectedPortsVariable, so that
// tests can plug in adapters. Entries it cannot read are left out.
class ListedPortDiscovery : public PortDiscovery {
public:
    explicit ListedPortDiscovery(const QString& listText);

    QList<FoundPort> findPorts() const override { return m_ports; }

private:
    QList<FoundPort> m_ports;
};

} // namespace cablemeter
