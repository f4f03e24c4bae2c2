// SPDX-License-Identifier: MIT
#pragma once
// The canvas control: a 600 x 512 frame (one flat border pixel, one sunken
// edge pixel) whose 596 x 508 interior shows the drawing surface, each pixel
// a whole block of device pixels. Bare, as the screensaver shows it, it has
// no frame: the surface in the largest whole blocks that fit, centred on
// black, at any size.

#include "app/picture_handover.h"

#include <QImage>
#include <QWidget>

class QPainter;

#include <functional>

namespace tambrel {

class Program;

class CanvasWidget : public QWidget {
    Q_OBJECT
public:
    enum class Look { Framed, Bare };
    explicit CanvasWidget(QWidget* parent, Look look = Look::Framed);
    void attach(Program* program) { m_program = program; }
    // The surface pixel under a point given in this widget's coordinates. At
    // scale factors with a fraction the surface is drawn at the whole factor
    // below and centred, so the two are no longer the same.
    QPoint surfacePosition(QPoint local) const;
    // Where the picture shows, in this widget's coordinates: what a new
    // picture repaints (framed, the whole control).
    QRect shownRect() const;
    // Called with 0 for a press, 1 for the second press of a double click.
    void setOnClick(std::function<void(int)> onClick) { m_onClick = std::move(onClick); }
    // Any thread: the surface as it is now becomes the picture to show next;
    // true when the window thread has to be told (see PictureHandOver).
    bool handOverSurface();
    // Bare, as the screensaver shows it (the one thread handing pictures
    // over): the surface as it is now, repainting only the rows that
    // changed since the picture shown. A full screen of blocks then costs
    // what moves, not what it covers.
    void showSurfaceChanges();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    struct Placement {
        QRect interior;  // inside the frame, device pixels
        QPoint origin;   // the picture's top-left, device pixels
        QSize picture;   // its size, device pixels
        int block = 1;   // device pixels per surface pixel, each way
        qreal dpr = 1;
        // Below a factor of 1 the interior is smaller than the surface: the
        // picture is scaled down to fill it instead of drawn in blocks.
        bool scaledDown = false;
    };
    Placement placement() const;

    int frameWidth() const;
    void paintFrame(QPainter& p);
    bool blocksIntoWindowImage(QPainter& p, const uint32_t* picture, int block, QPoint topLeft, int fromRow, int toRow);

    Look m_look;
    Program* m_program = nullptr;
    std::function<void(int)> m_onClick;
    PictureHandOver m_pictures;
    QImage m_device; // the interior at device resolution, reused from paint to paint
};

} // namespace tambrel
