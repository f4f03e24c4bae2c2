// SPDX-License-Identifier: MIT
#include "app/qt/canvas_widget.h"

#include "app/layout.h"
#include "app/program.h"
#include "app/qt/image_convert.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tambrel {

CanvasWidget::CanvasWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus); // a press takes the focus; keys are ignored
    setMouseTracking(true);
}

void CanvasWidget::paintEvent(QPaintEvent*)
{
    if (m_program) {
        // Under the state lock, so a frame of the animation thread never shows half-drawn.
        std::lock_guard lock(m_program->stateLock);
        surfaceToQImage(m_program->canvas.pixels(), Canvas::kWidth, Canvas::kHeight, m_frame);
    }
    QPainter p(this);
    const QRect outer = rect();
    p.setPen(palette().color(QPalette::Dark)); // flat border
    p.drawRect(outer.adjusted(0, 0, -1, -1));
    const QRect edge = outer.adjusted(1, 1, -1, -1); // sunken: dark top-left, light bottom-right
    p.setPen(palette().color(QPalette::Shadow));
    p.drawLine(edge.topLeft(), edge.topRight());
    p.drawLine(edge.topLeft(), edge.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(edge.bottomLeft(), edge.bottomRight());
    p.drawLine(edge.topRight(), edge.bottomRight());
    if (m_frame.isNull()) return;
    const Placement at = placement();
    const QPoint inside(layout::kCanvasFrame, layout::kCanvasFrame);
    if (at.scaledDown) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(inside, QSize(Canvas::kWidth, Canvas::kHeight)), m_frame);
        return;
    }
    if (at.block == at.dpr) { // a whole scale factor: Qt's own drawing repeats each pixel exactly
        p.drawImage(inside, m_frame);
        return;
    }
    // A scale factor with a fraction: the interior is made at device
    // resolution, every surface pixel a whole block, the picture centred and
    // the rest in the window colour, then drawn 1:1 onto the device pixels.
    const QSize device = at.interior.size();
    if (m_device.size() != device) m_device = QImage(device, QImage::Format_RGB32);
    m_device.setDevicePixelRatio(1);
    m_device.fill(palette().color(QPalette::Window));
    const QPoint origin = at.origin - at.interior.topLeft();
    for (int y = 0; y < m_frame.height(); ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(m_frame.constScanLine(y));
        auto* first = reinterpret_cast<uint32_t*>(m_device.scanLine(origin.y() + y * at.block)) + origin.x();
        for (int x = 0; x < m_frame.width(); ++x) std::fill_n(first + x * at.block, at.block, src[x]);
        for (int r = 1; r < at.block; ++r)
            std::copy_n(first, m_frame.width() * at.block, reinterpret_cast<uint32_t*>(m_device.scanLine(origin.y() + y * at.block + r)) + origin.x());
    }
    // Drawn in device pixels: the painter's scale undone, so that Qt copies
    // the blocks as they are, also at a factor such as 1.99998.
    p.setWorldTransform(QTransform::fromScale(1 / at.dpr, 1 / at.dpr));
    p.drawImage(at.interior.topLeft(), m_device);
}

CanvasWidget::Placement CanvasWidget::placement() const
{
    const qreal dpr = devicePixelRatioF();
    Placement at;
    const int frame = layout::kCanvasFrame;
    const QPoint topLeft(qRound(frame * dpr), qRound(frame * dpr));
    const QPoint bottomRight(qRound((width() - frame) * dpr), qRound((height() - frame) * dpr));
    at.interior = QRect(topLeft, bottomRight - QPoint(1, 1));
    // The largest whole block that fits: the whole part of the factor, also
    // for a factor a hair below a whole number (Qt may hand 1.99998 for 2),
    // and never a picture larger than the interior.
    at.block = std::min(at.interior.width() / Canvas::kWidth, at.interior.height() / Canvas::kHeight);
    at.scaledDown = at.block < 1;
    const QSize picture = at.scaledDown ? at.interior.size() : QSize(Canvas::kWidth, Canvas::kHeight) * at.block;
    at.origin = topLeft + QPoint((at.interior.width() - picture.width()) / 2, (at.interior.height() - picture.height()) / 2);
    at.dpr = dpr;
    return at;
}

QPoint CanvasWidget::surfacePosition(QPoint local) const
{
    // Window thread only, like every widget call.
    const Placement at = placement();
    // Device pixels per surface pixel, each way.
    const double perX = at.scaledDown ? double(at.interior.width()) / Canvas::kWidth : at.block;
    const double perY = at.scaledDown ? double(at.interior.height()) / Canvas::kHeight : at.block;
    auto map = [&](int v, int origin, double per) {
        const double device = v * at.dpr - origin;
        return static_cast<int>(std::floor(device / per));
    };
    return {map(local.x(), at.origin.x(), perX), map(local.y(), at.origin.y(), perY)};
}

void CanvasWidget::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && m_onClick) m_onClick(0);
}

void CanvasWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_onClick) m_onClick(1);
}

void CanvasWidget::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (m_program) m_program->onDialogEvent({DialogMessage::SetCursor, kCanvasId, 0, false});
}

} // namespace tambrel
