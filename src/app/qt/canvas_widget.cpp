// SPDX-License-Identifier: MIT
#include "app/qt/canvas_widget.h"

#include "app/layout.h"
#include "app/program.h"
#include "app/qt/image_convert.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tambrel {

CanvasWidget::CanvasWidget(QWidget* parent, Look look) : QWidget(parent), m_look(look)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus); // a press takes the focus; keys are ignored
    setMouseTracking(true);
}

namespace {
constexpr size_t kPixels = static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight;
} // namespace

bool CanvasWidget::handOverSurface()
{
    if (!m_program) return false;
    std::lock_guard lock(m_program->stateLock); // a surface no pass is drawing on
    return m_pictures.handOver(m_program->canvas.pixels(), kPixels);
}

void CanvasWidget::paintEvent(QPaintEvent* event)
{
    // The newest picture handed over; a paint the window system asked for
    // (the window uncovered or restored) shows the surface as it is now.
    // Bare, the screen holds the picture shown everywhere: new pictures
    // come through showSurfaceChanges alone, and other paints show that one.
    const bool kept = m_look == Look::Bare && !m_pictures.shown().empty();
    if (!kept && !m_pictures.take() && handOverSurface()) m_pictures.take();
    const std::vector<uint32_t>& picture = m_pictures.shown();

    QPainter p(this);
    const Placement at = placement();
    if (m_look == Look::Framed) {
        paintFrame(p);
    } else { // black round the picture, where this paint reaches
        QRegion margins(event->rect());
        if (picture.size() == kPixels) margins -= shownRect();
        for (const QRect& r : margins) p.fillRect(r, Qt::black);
    }
    if (picture.size() != kPixels) return;
    // The picture as it is, in the window's own format: no copy, no conversion.
    const QImage frame(reinterpret_cast<const uchar*>(picture.data()), Canvas::kWidth, Canvas::kHeight,
                       Canvas::kWidth * 4, QImage::Format_RGB32);
    if (at.scaledDown) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPoint inside(layout::kCanvasFrame, layout::kCanvasFrame);
        p.drawImage(m_look == Look::Bare ? QRectF(QPointF(at.origin) / at.dpr, QSizeF(at.picture) / at.dpr)
                                         : QRectF(inside, QSize(Canvas::kWidth, Canvas::kHeight)),
                    frame);
        return;
    }
    if (at.dpr == 1 && at.block == 1) {
        p.drawImage(at.origin, frame);
        return;
    }
    // Any other factor: every surface pixel a whole block, drawn 1:1 onto
    // the device pixels. Framed, the whole interior at device resolution,
    // the picture centred and the rest in the window colour (painted when
    // the interior is made); bare, the picture alone.
    const QRect area = m_look == Look::Bare ? QRect(at.origin, at.picture) : at.interior;
    // Drawn in device pixels: the painter's scale undone, so that Qt copies
    // the blocks as they are, also at a factor such as 1.99998.
    p.setWorldTransform(QTransform::fromScale(1 / at.dpr, 1 / at.dpr));
    if (m_look == Look::Bare) {
        // The rows this paint reaches.
        const QRectF reach = QRectF(event->rect()).adjusted(0, 0, 1, 1);
        const int fromRow = std::clamp(static_cast<int>(std::floor((reach.top() * at.dpr - at.origin.y()) / at.block)), 0, Canvas::kHeight);
        const int toRow = std::clamp(static_cast<int>(std::ceil((reach.bottom() * at.dpr - at.origin.y()) / at.block)), fromRow, Canvas::kHeight);
        if (blocksIntoWindowImage(p, picture.data(), at.block, area.topLeft(), fromRow, toRow)) return;
    }
    if (m_device.size() != area.size()) {
        m_device = QImage(area.size(), QImage::Format_RGB32);
        m_device.fill(palette().color(QPalette::Window));
    }
    surfaceToBlocks(picture.data(), at.block, m_device, at.origin - area.topLeft());
    p.drawImage(area.topLeft(), m_device);
}

// Full screen, making the blocks in an image of their own and then copying
// that into the window's would write every pixel twice. Where the painter
// draws into an image of 32-bit pixels (Qt's raster backing store),
// the blocks go straight into it, at the place the painter maps `topLeft`.
bool CanvasWidget::blocksIntoWindowImage(QPainter& p, const uint32_t* picture, int block, QPoint topLeft, int fromRow,
                                         int toRow)
{
    auto* image = p.paintEngine() ? dynamic_cast<QImage*>(p.paintEngine()->paintDevice()) : nullptr;
    const QTransform t = p.deviceTransform();
    // The blocks are opaque: the same pixels in either format.
    const bool fits = image && (image->format() == QImage::Format_RGB32 || image->format() == QImage::Format_ARGB32_Premultiplied);
    if (!fits || t.type() > QTransform::TxTranslate) return false;
    const QPointF shift(t.dx(), t.dy()); // where the widget is in that image: whole pixels
    if (shift != QPointF(shift.toPoint())) return false;
    const QPoint at = topLeft + shift.toPoint();
    if (!image->rect().contains(QRect(at, QSize(Canvas::kWidth * block, Canvas::kHeight * block)))) return false;
    surfaceToBlocks(picture, block, *image, at, fromRow, toRow);
    return true;
}

void CanvasWidget::showSurfaceChanges()
{
    // The picture shown stays as it is until the next take: only this
    // thread hands pictures over here.
    const std::vector<uint32_t>& before = m_pictures.shown();
    handOverSurface();
    const std::vector<uint32_t>* now = m_pictures.take();
    if (!now) return;
    QRect changed = shownRect();
    const Placement at = placement();
    if (before.size() == kPixels && !at.scaledDown) {
        auto sameRow = [&](int y) {
            const size_t from = static_cast<size_t>(y) * Canvas::kWidth;
            return std::equal(now->begin() + from, now->begin() + from + Canvas::kWidth, before.begin() + from);
        };
        int top = 0, bottom = Canvas::kHeight;
        while (top < bottom && sameRow(top)) ++top;
        while (bottom > top && sameRow(bottom - 1)) --bottom;
        if (top == bottom) return; // the screen already shows this picture
        const QRectF device(at.origin.x(), at.origin.y() + top * at.block, at.picture.width(), (bottom - top) * at.block);
        changed = QRectF(device.topLeft() / at.dpr, device.size() / at.dpr).toAlignedRect() & rect();
    }
    repaint(changed);
}

QRect CanvasWidget::shownRect() const
{
    if (m_look == Look::Framed) return rect();
    const Placement at = placement(); // in device pixels: the whole logical pixels inside
    const qreal d = at.dpr;
    const QPoint topLeft(static_cast<int>(std::ceil(at.origin.x() / d)), static_cast<int>(std::ceil(at.origin.y() / d)));
    const QPoint end(static_cast<int>((at.origin.x() + at.picture.width()) / d), static_cast<int>((at.origin.y() + at.picture.height()) / d));
    return QRect(topLeft, end - QPoint(1, 1));
}

void CanvasWidget::paintFrame(QPainter& p)
{
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
}

CanvasWidget::Placement CanvasWidget::placement() const
{
    const qreal dpr = devicePixelRatioF();
    Placement at;
    const int frame = frameWidth();
    const QPoint topLeft(qRound(frame * dpr), qRound(frame * dpr));
    const QPoint bottomRight(qRound((width() - frame) * dpr), qRound((height() - frame) * dpr));
    at.interior = QRect(topLeft, bottomRight - QPoint(1, 1));
    // The largest whole block that fits: the whole part of the factor, also
    // for a factor a hair below a whole number (Qt may hand 1.99998 for 2),
    // and never a picture larger than the interior.
    at.block = std::min(at.interior.width() / Canvas::kWidth, at.interior.height() / Canvas::kHeight);
    at.scaledDown = at.block < 1;
    const QSize canvas(Canvas::kWidth, Canvas::kHeight);
    // Bare and small (a preview), the picture keeps its shape.
    at.picture = !at.scaledDown           ? canvas * at.block
                 : m_look == Look::Framed ? at.interior.size()
                                          : canvas.scaled(at.interior.size(), Qt::KeepAspectRatio);
    at.origin = topLeft + QPoint((at.interior.width() - at.picture.width()) / 2, (at.interior.height() - at.picture.height()) / 2);
    at.dpr = dpr;
    return at;
}

int CanvasWidget::frameWidth() const { return m_look == Look::Bare ? 0 : layout::kCanvasFrame; }

QPoint CanvasWidget::surfacePosition(QPoint local) const
{
    // Window thread only, like every widget call.
    const Placement at = placement();
    // Device pixels per surface pixel, each way.
    const double perX = at.scaledDown ? double(at.picture.width()) / Canvas::kWidth : at.block;
    const double perY = at.scaledDown ? double(at.picture.height()) / Canvas::kHeight : at.block;
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
