#pragma once

#include "platform/user_message.h"

class QMessageBox;

namespace cablemeter {

// Lays a message out in a message box: what happened as its text, what to do below it, and the
// details behind "Show Details...". Every text can be selected, so a command can be copied.
void fillMessageBox(QMessageBox& box, const UserMessage& message);

} // namespace cablemeter
