#include "platform/port_discovery.h"

#include "platform/listed_port_discovery.h"
#include "platform/system_port_discovery.h"

namespace cablemeter {

std::unique_ptr<PortDiscovery> createPortDiscovery()
{
    if (qEnvironmentVariableIsSet(PortDiscovery::kInjectedPortsVariable))
        return std::make_unique<ListedPortDiscovery>(
            qEnvironmentVariable(PortDiscovery::kInjectedPortsVariable));
    return std::make_unique<SystemPortDiscovery>();
}

} // namespace cablemeter
