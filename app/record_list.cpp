#include "app/record_list.h"

#include <QKeyEvent>

namespace cablemeter {

namespace {

bool isNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

} // namespace

int RecordList::selectedLine() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void RecordList::keyPressEvent(QKeyEvent* event)
{
    const int currentBefore = currentRow();
    const int selectedBefore = selectedLine();
    QListWidget::keyPressEvent(event);
    if (!isNavigationKey(event->key()))
        return;
    // A key that leaves the selection where it was (Down on the last line) chooses nothing new.
    const int selected = selectedLine();
    const bool moved = currentRow() != currentBefore || selected != selectedBefore;
    if (moved && selected >= 0 && selected == currentRow())
        emit lineChosen(selected);
}

} // namespace cablemeter
