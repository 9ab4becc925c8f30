#include "platform/port_access_advice.h"

namespace cablemeter {

// Windows gives a COM port no owning group to name.
DeviceGroup deviceGroupOf(const QString&)
{
    return {};
}

} // namespace cablemeter
