#pragma once

#include <QFrame>
#include <QImage>

namespace cablemeter {

// The emulated meter screen: a sunken border around a drawing area that shows the persistent
// 320 x 240 picture pixel for pixel. It only shows the image; the screens draw it elsewhere.
class ScreenView : public QFrame {
    Q_OBJECT
public:
    static constexpr int kBorderWidth = 2;

    explicit ScreenView(QWidget* parent = nullptr);

    QImage image() const { return m_image; }

public slots:
    // Shows this image from now on, repainting from it whenever the window needs it. A null
    // image shows a plain area.
    void setImage(const QImage& image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

} // namespace cablemeter
