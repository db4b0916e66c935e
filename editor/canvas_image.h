// imgPaint: shows the canvas picture unstretched, pixel (0, 0) at its top-left
// corner, so mouse coordinates are picture coordinates. The picture is the
// canvas document's; the image only shows it.
#pragma once

#include <QImage>
#include <QWidget>

#include "paced_display.h"
#include "picture.h"
#include "renderer.h"

namespace fernweave {

class TCanvasImage : public QWidget {
    Q_OBJECT
public:
    explicit TCanvasImage(const Picture24& picture, QWidget* parent = nullptr);

    // Takes the size of the picture after it was changed or replaced.
    void PictureChanged();

    // For the render worker: marks the canvas dirty from any thread; the frame
    // clock paints it, so the worker never waits for the screen.
    RepaintRequest WorkerRepaint() { return clock_.WorkerRepaint(); }
    // Runs from the start of a rendering to its end.
    TFrameClock& FrameClock() { return clock_; }

    QSize sizeHint() const override { return {picture_->Width(), picture_->Height()}; }

signals:
    // `held` is the set of buttons held at the moment of the press.
    void MouseDown(Qt::MouseButtons held, int x, int y);
    void MouseMove(Qt::MouseButtons held, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    const Picture24* picture_;
    TFrameClock clock_{this};
    QImage scratch_;  // the 32-bit copy of the part being painted
};

}  // namespace fernweave
