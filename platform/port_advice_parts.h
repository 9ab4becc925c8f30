#pragma once

#include "platform/port_advice.h"

#include <QString>
#include <QStringList>

// The pieces of port_advice.cpp's messages. Each system's port_advice_*.cpp writes what differs
// (how ports are numbered and reached there) from the shared ones.
namespace cablemeter::port_advice_parts {

inline const QString kParagraphBreak = QStringLiteral("\n\n");
inline const QString kListIndent = QStringLiteral("\n  ");
inline const QString kPortsHeading = QStringLiteral("Serial ports on this computer:");
inline const QString kOtherPortsHeading = QStringLiteral("Other serial ports on this computer:");

// The heading, then each line indented below it.
QString indentedList(const QString& heading, const QStringList& lines);

// Whether two device names lead to the same port (a by-id link and its node, say).
bool isSameDevice(const PortMap& ports, const QString& device, const QString& other);

// Each system's own: for a port that leads to no device or to one that would not open,
UserMessage missingPortAdvice(const PortMap& ports, const PortChoice& choice,
                              const OpenResult& result, const PortAdvice& advice);
// for a port the system refused (held by another program, or not this user's to use),
UserMessage refusedPortAdvice(const PortMap& ports, const PortChoice& choice,
                              const OpenResult& result, const PortAdvice& advice);
// and the ports but the chosen one, as a message's details; empty when there is none.
QString otherPortsList(const PortMap& ports, const PortChoice& choice);

} // namespace cablemeter::port_advice_parts
