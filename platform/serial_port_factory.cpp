#include "platform/serial_port_factory.h"

#include "platform/qt_serial_port.h"

namespace cablemeter {

SerialPort* createSerialPort(QObject* parent)
{
    return new QtSerialPort(parent);
}

} // namespace cablemeter
