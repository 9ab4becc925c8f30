#pragma once

#include <QByteArrayView>
#include <QString>

namespace cablemeter {

// The five-character label a kind code shows in the record list (blanks for unnamed kinds).
QString kindLabel(int kind);

// The record's name in a catalogue block: six characters, as stored, nothing trimmed.
QString recordName(QByteArrayView block);

// The time stamp text of a catalogue block: "dd/dd/dd     dd:dd:dd".
QString stampText(QByteArrayView block);

// The record list line of a catalogue block: name, two blanks, label, two blanks, stamp.
QString catalogueLine(QByteArrayView block);

} // namespace cablemeter
