#include "platform/qt_serial_port.h"

namespace cablemeter {

// Windows denies access to a COM port that another program has open: the port is busy.
bool QtSerialPort::isDeniedToUser(const QString&)
{
    return false;
}

} // namespace cablemeter
