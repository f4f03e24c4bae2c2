#pragma once
// The canvas control: a 600 x 512 frame (one flat border pixel, one sunken
// edge pixel) whose 596 x 508 interior shows the drawing surface 1:1.

#include <QImage>
#include <QWidget>

#include <functional>

namespace tambrel {

class Program;

class CanvasWidget : public QWidget {
    Q_OBJECT
public:
    explicit CanvasWidget(QWidget* parent);
    void attach(Program* program) { m_program = program; }
    // Called with 0 for a press, 1 for the second press of a double click.
    void setOnClick(std::function<void(int)> onClick) { m_onClick = std::move(onClick); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    Program* m_program = nullptr;
    std::function<void(int)> m_onClick;
    QImage m_frame; // the surface as last painted
};

} // namespace tambrel
