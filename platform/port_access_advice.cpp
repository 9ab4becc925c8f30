#include "platform/port_access_advice.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace cablemeter {

namespace {

// The group Debian gives serial ports to.
const QString kSerialGroup = QStringLiteral("dialout");
const QString kListIndent = QStringLiteral("\n  ");

QString joinGroupCommand(const QString& group)
{
    return QStringLiteral("sudo usermod -aG %1 $USER").arg(group);
}

// The kernel's names for devices of this kind, as a udev rule matches them: "ttyUSB[0-9]*"
// for /dev/ttyUSB0.
QString kernelNamePattern(const QString& device)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    const QString name = QFileInfo(canonical.isEmpty() ? device : canonical).fileName();
    static const QRegularExpression trailingNumber(QStringLiteral("\\d+$"));
    const QRegularExpressionMatch number = trailingNumber.match(name);
    if (!number.hasMatch() || number.capturedStart() == 0)
        return name;
    return name.left(number.capturedStart()) + QStringLiteral("[0-9]*");
}

// The lines an administrator pastes: for good, a udev rule; for now, a chmod.
QString administratorLines(const QString& device)
{
    const QString rule = QStringLiteral("KERNEL==\"%1\", GROUP=\"%2\", MODE=\"0660\"")
                             .arg(kernelNamePattern(device), kSerialGroup);
    return QStringLiteral("For good, a udev rule that gives such devices to the group \"%1\" "
                          "(plug the adapter in again afterwards):%2echo '%3' | sudo tee "
                          "/etc/udev/rules.d/70-cablemeter-serial.rules\n"
                          "Then join \"%1\" unless you are in it, and log out and in again:%2%4")
               .arg(kSerialGroup, kListIndent, rule, joinGroupCommand(kSerialGroup)) +
           QStringLiteral("\n\nFor now, until the adapter is plugged in again (every user of this "
                          "computer may then use it):%1sudo chmod a+rw %2")
               .arg(kListIndent, device);
}

} // namespace

UserMessage permissionAdvice(const QString& portName, const QString& device,
                             const QString& systemReason, const PortAdvice& advice)
{
    const QString what = QStringLiteral("Cannot open %1: your user may not use it (%2).")
                             .arg(portName, systemReason);
    const DeviceGroup group = deviceGroupOf(device);
    if (!group.name.isEmpty() && group.mayReadWrite && !group.hasWiderPowers)
        return {what,
                QStringLiteral("Join the group \"%1\" with %2, log out and in again, then %3.")
                    .arg(group.name, joinGroupCommand(group.name), advice.retry),
                QStringLiteral("%1 belongs to the group \"%2\", whose members may use it; "
                               "\"groups\" lists the groups you are in.")
                    .arg(device, group.name)};
    QString owner;
    if (group.name.isEmpty())
        owner = QStringLiteral("The group that owns %1 could not be found out.").arg(device);
    else if (group.hasWiderPowers)
        owner = QStringLiteral("%1 belongs to the group \"%2\", which gives far more than serial "
                               "ports: do not join it.")
                    .arg(device, group.name);
    else
        owner = QStringLiteral("%1 belongs to the group \"%2\", which may not read and write it.")
                    .arg(device, group.name);
    return {what,
            QStringLiteral("Only the administrator can give you access: ask them to run one of "
                           "the commands in the details, then %1.")
                .arg(advice.retry),
            owner + QStringLiteral("\n\n") + administratorLines(device)};
}

} // namespace cablemeter
