#pragma once

#include "platform/picture.h"

#include <QList>

namespace cablemeter::testing {

// A picture that only remembers the backgrounds it was given and how often it was cleared.
class RecordingPicture : public Picture {
public:
    void setBackground(const QImage& background) override { backgrounds.append(background); }
    void clear() override { ++clears; }
    void setFontSize(double) override {}
    void setBold(bool) override {}
    void print(const QString&) override {}
    void nextPrintZone() override {}
    void newLine() override {}
    void drawLine(QPoint, QPoint, QColor) override {}
    QImage image() const override { return backgrounds.isEmpty() ? QImage() : backgrounds.last(); }

    QList<QImage> backgrounds;
    int clears = 0;
};

} // namespace cablemeter::testing
