#include "platform/qt_serial_port.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace cablemeter {

// The file's access rights tell a port we may not touch from one another program holds.
bool QtSerialPort::isDeniedToUser(const QString& device)
{
    return QFileInfo::exists(device) &&
           ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0;
}

} // namespace cablemeter
