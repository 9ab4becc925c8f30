#include "platform/port_names.h"

#include <QFile>
#include <QSerialPortInfo>
#include <QStringList>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/stat.h>
#endif

namespace cablemeter {

namespace {

QString environmentName(int portNumber)
{
    return QStringLiteral("CABLEMETER_COM%1").arg(portNumber);
}

// The group that owns a device node (dialout on Debian), or empty when unknown.
QString owningGroup(const QString& device)
{
#ifndef Q_OS_WIN
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return {};
    if (const group* entry = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(entry->gr_name);
#else
    Q_UNUSED(device)
#endif
    return {};
}

QString existingPortsText()
{
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString line = info.systemLocation();
        if (!info.description().isEmpty())
            line += QStringLiteral(" (%1)").arg(info.description());
        ports << line;
    }
    if (ports.isEmpty())
        return QStringLiteral("No serial ports were found on this computer.");
    return QStringLiteral("Serial ports on this computer:\n  ") +
           ports.join(QStringLiteral("\n  "));
}

// A device worth mapping in the advice: the first port that exists, else a typical USB adapter.
QString exampleDevice()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return ports.isEmpty() ? QStringLiteral("/dev/ttyUSB0") : ports.first().systemLocation();
}

} // namespace

int portNumberFromSelector(const QString& selectorText)
{
    for (int n = 1; n <= kPortCount; ++n) {
        if (selectorText == QStringLiteral("COM%1").arg(n))
            return n;
    }
    return 1;
}

QString deviceForPort(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QByteArray mapped = qgetenv(environmentName(portNumber).toLatin1().constData());
    if (!mapped.isEmpty())
        return QString::fromLocal8Bit(mapped);
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString portDisplayName(int portNumber)
{
    return QStringLiteral("COM%1 (%2)").arg(portNumber).arg(deviceForPort(portNumber));
}

QString describeOpenFailure(int portNumber, const OpenResult& result)
{
    const QString device = deviceForPort(portNumber);
    QString text =
        QStringLiteral("Cannot open %1: %2.").arg(portDisplayName(portNumber), result.systemReason);
    switch (result.failure) {
    case OpenFailure::PermissionDenied: {
        QString group = owningGroup(device);
        if (group.isEmpty())
            group = QStringLiteral("dialout");
        text += QStringLiteral("\n\nYour user may not use %1: it belongs to the group \"%2\". "
                               "Add yourself to that group with\n  sudo usermod -aG %2 $USER\n"
                               "then log out and in again, and press Open.")
                    .arg(device, group);
        break;
    }
    case OpenFailure::Busy:
        text += QStringLiteral("\n\nAnother program holds %1 (for example ModemManager, brltty or "
                               "a terminal program). Close it, or unplug and replug the adapter, "
                               "then press Open.")
                    .arg(device);
        break;
    case OpenFailure::NotFound:
        text += QStringLiteral("\n\n%1 does not exist. %2\n\nPick another port, or map one to "
                               "COM%3 by starting the program with\n  %4=%5 cablemeter")
                    .arg(device, existingPortsText())
                    .arg(portNumber)
                    .arg(environmentName(portNumber), exampleDevice());
        break;
    case OpenFailure::Other:
    case OpenFailure::None:
        break;
    }
    return text;
}

} // namespace cablemeter
