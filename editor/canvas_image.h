// imgPaint: shows the canvas picture unstretched, pixel (0, 0) at its top-left
// corner, so mouse coordinates are picture coordinates.
#pragma once

#include <QWidget>
#include <atomic>

#include "picture.h"
#include "renderer.h"

namespace fernweave {

class TCanvasImage : public QWidget {
    Q_OBJECT
public:
    explicit TCanvasImage(QWidget* parent = nullptr);

    Picture24& Picture() { return picture_; }
    const Picture24& Picture() const { return picture_; }
    // Replaces the picture and takes its size.
    void SetPicture(Picture24 picture);
    // Takes the size of the picture after it was changed in place.
    void PictureChanged();

    // For the render worker: asks for a repaint from any thread. Requests are
    // coalesced, so the worker never waits for the screen.
    RepaintRequest WorkerRepaint() { return {&TCanvasImage::RepaintFromWorker, this}; }

    QSize sizeHint() const override { return {picture_.Width(), picture_.Height()}; }

signals:
    // `held` is the set of buttons held at the moment of the press.
    void MouseDown(Qt::MouseButtons held, int x, int y);
    void MouseMove(Qt::MouseButtons held, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    static void RepaintFromWorker(void* self);

    Picture24 picture_;
    std::atomic<bool> repaintPending_{false};
};

}  // namespace fernweave
