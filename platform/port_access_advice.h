#pragma once

#include "platform/port_advice.h"
#include "platform/user_message.h"

#include <QString>

namespace cablemeter {

// The group that owns a device node, as far as the advice on access to it needs to know.
struct DeviceGroup {
    QString name;
    bool mayReadWrite = false;   // its members may read and write the device
    bool hasWiderPowers = false; // root's group, or one that gives more than serial ports
};

// The group that owns `device` (through links), or an empty name when it cannot be told.
DeviceGroup deviceGroupOf(const QString& device);

// For a port this user may not open: a group to join when the device's group may read and write
// it and gives no wider powers; otherwise that only the administrator can give access, with the
// lines to paste (a udev rule that gives such devices to "dialout", or a chmod that lasts until
// the adapter is plugged in again). `portName` is the port as the user knows it.
UserMessage permissionAdvice(const QString& portName, const QString& device,
                             const QString& systemReason, const PortAdvice& advice);

} // namespace cablemeter
