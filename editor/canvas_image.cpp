#include "canvas_image.h"

#include <QMouseEvent>
#include <QPainter>

namespace fernweave {

TCanvasImage::TCanvasImage(const Picture24& picture, QWidget* parent) : QWidget(parent), picture_(&picture) {
    setObjectName("imgPaint");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCanvasImage::PictureChanged() {
    setFixedSize(picture_->Width(), picture_->Height());
    update();
}

void TCanvasImage::paintEvent(QPaintEvent* event) {
    if (picture_->Empty()) return;
    QPainter painter(this);
    PaintPicture24(painter, event->region(), *picture_, scratch_);
}

void TCanvasImage::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit MouseDown(event->buttons(), p.x(), p.y());
}

void TCanvasImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit MouseMove(event->buttons(), p.x(), p.y());
}

}  // namespace fernweave
