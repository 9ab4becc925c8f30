#include "app/message_box.h"

#include <QMessageBox>

namespace cablemeter {

void fillMessageBox(QMessageBox& box, const UserMessage& message)
{
    box.setText(message.what);
    box.setInformativeText(message.todo);
    box.setDetailedText(message.details);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
}

} // namespace cablemeter
