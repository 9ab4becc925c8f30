#pragma once

#include "platform/port_holders.h"
#include "platform/port_map.h"
#include "platform/serial_port.h"
#include "platform/user_message.h"

#include <QString>

namespace cablemeter {

// How a front end's user picks another port and tries again, as the end of a sentence: the
// window's "choose the meter's port" and "press Open", the command line's "give the meter's
// device with --port" and "run the command again".
struct PortAdvice {
    QString choosePort;
    QString retry;
};

// What went wrong and what to do about it, for a port that would not open.
UserMessage describeOpenFailure(const PortMap& ports, const PortChoice& choice,
                                const OpenResult& result, const PortAdvice& advice);

// For a port that other programs hold: who holds it (another copy of this program named as
// such) and how to get it free. With no holder to be seen, the programs that usually take
// serial ports are listed.
UserMessage describeHeldPort(const QString& portName, const QList<PortHolder>& holders,
                             const PortAdvice& advice);

// For a meter that did not answer on the chosen port: the other ports where it may be, as the
// message's details (a list), or a line saying there is none.
QString describeOtherPorts(const PortMap& ports, const PortChoice& choice);

} // namespace cablemeter
