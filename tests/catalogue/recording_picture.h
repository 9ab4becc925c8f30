#pragma once

#include "platform/picture.h"

#include <QList>

namespace cablemeter::testing {

// A picture that only remembers the backgrounds it was given.
class RecordingPicture : public Picture {
public:
    void setBackground(const QImage& background) override { backgrounds.append(background); }
    void clear() override {}
    void setFontSize(double) override {}
    void setBold(bool) override {}
    void print(const QString&) override {}
    void nextPrintZone() override {}
    void newLine() override {}
    void drawLine(QPoint, QPoint, QColor) override {}
    QImage image() const override { return backgrounds.isEmpty() ? QImage() : backgrounds.last(); }

    QList<QImage> backgrounds;
};

} // namespace cablemeter::testing
