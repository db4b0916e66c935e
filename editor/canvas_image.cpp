#include "canvas_image.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace fernweave {

TCanvasImage::TCanvasImage(QWidget* parent) : QWidget(parent) {
    setObjectName("imgPaint");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCanvasImage::SetPicture(Picture24 picture) {
    picture_ = std::move(picture);
    PictureChanged();
}

void TCanvasImage::PictureChanged() {
    setFixedSize(picture_.Width(), picture_.Height());
    update();
}

void TCanvasImage::paintEvent(QPaintEvent* event) {
    if (picture_.Empty()) return;
    // Wraps the buffer without copying; rows are 4-byte aligned as QImage wants.
    const QImage image(picture_.Data(), picture_.Width(), picture_.Height(), static_cast<qsizetype>(picture_.Stride()),
                       QImage::Format_BGR888);
    QPainter painter(this);
    const QRect r = event->rect();
    painter.drawImage(r.topLeft(), image, r);
}

void TCanvasImage::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit MouseDown(event->buttons(), p.x(), p.y());
}

void TCanvasImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit MouseMove(event->buttons(), p.x(), p.y());
}

void TCanvasImage::RepaintFromWorker(void* self) {
    auto* me = static_cast<TCanvasImage*>(self);
    if (me->repaintPending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        me,
        [me] {
            me->repaintPending_.store(false);
            me->update();
        },
        Qt::QueuedConnection);
}

}  // namespace fernweave
