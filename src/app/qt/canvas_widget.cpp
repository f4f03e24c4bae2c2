#include "app/qt/canvas_widget.h"

#include "app/layout.h"
#include "app/program.h"
#include "app/qt/image_convert.h"

#include <QMouseEvent>
#include <QPainter>

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
    if (!m_frame.isNull()) p.drawImage(QPoint(layout::kCanvasFrame, layout::kCanvasFrame), m_frame); // no smoothing: crisp at any ratio
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
