#pragma once

#include <QColor>
#include <QWidget>

namespace cablemeter {

// A small solid-filled rectangle with a thin outline whose colour tells the port's state.
class IndicatorShape : public QWidget {
    Q_OBJECT
public:
    explicit IndicatorShape(QWidget* parent = nullptr) : QWidget(parent) {}

    void setColour(const QColor& colour);
    QColor colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour = QColor(255, 0, 0);
};

} // namespace cablemeter
