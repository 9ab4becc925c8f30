#pragma once

#include <QListWidget>

class QKeyEvent;

namespace cablemeter {

// The record list (List1). A user chooses a line by clicking it or by moving to it with a
// navigation key (arrows, Home, End, Page Up, Page Down); either way lineChosen() is raised for
// the selected line. Focus changes choose nothing, although a list that gains the focus makes a
// line current.
class RecordList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;

    // The selected line, or -1 when none is selected.
    int selectedLine() const;

signals:
    void lineChosen(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace cablemeter
