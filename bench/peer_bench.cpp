// SPDX-License-Identifier: MIT
// The same figures drawn by our canvas and, as the peer to beat, by Qt's
// raster painter on a QImage of the surface's size (aliased, XOR for the
// rings, the same pen widths and dash styles). Also the paint handler's copy
// of the surface into the window's image format, and the screensaver's blocks.

#include "gfx/canvas.h"

#include <benchmark/benchmark.h>

#ifdef TAMBREL_BENCH_QT
#include "app/qt/image_convert.h"

#include <QImage>
#include <QPainter>
#endif

#include <algorithm>
#include <cmath>

namespace tambrel::bench {
namespace {

constexpr double kCorners[4][2] = {{10, 10}, {590, 10}, {10, 500}, {590, 500}};

struct Dot {
    double x, y;
};
// 750 mesh points at spacing 20 and their 1,450 neighbour lines.
std::vector<Dot> meshPoints()
{
    std::vector<Dot> pts;
    for (int c = 0; c < 30; ++c)
        for (int r = 0; r < 25; ++r) pts.push_back({10.0 + 20 * c, 16.0 + 20 * r});
    return pts;
}

void BM_OursRingFrame(benchmark::State& state)
{
    Canvas c;
    std::vector<Canvas::RingSet> rings; // radii 1, 17, ..., 897 around each corner
    for (auto& p : kCorners) rings.push_back({p[0], p[1], 8, 1, 16, 57, 0x3366CC});
    for (auto _ : state) {
        c.clearCanvas(0xFFFFFF);
        c.setMix(7);
        c.rings(rings);
        c.setMix(13);
    }
}

void BM_OursDiscs200(benchmark::State& state)
{
    Canvas c;
    for (auto _ : state) {
        c.setPenWidth(1);
        for (int i = 0; i < 200; ++i) {
            const double x = 30 + i * 2.7, y = 40 + i % 20 * 22, r = 7;
            c.ellipse(x - r, y - r, x + r, y + r, 0x2288EE, 0x2288EE);
        }
    }
}

void BM_OursDashDotMesh(benchmark::State& state)
{
    Canvas c;
    const auto pts = meshPoints();
    for (auto _ : state) {
        c.setPenWidth(1);
        c.setLineStyle(3);
        for (int col = 0; col < 30; ++col)
            for (int r = 0; r < 25; ++r) {
                const Dot& p = pts[static_cast<size_t>(col * 25 + r)];
                if (col < 29) c.line(p.x, p.y, pts[static_cast<size_t>(col * 25 + r + 25)].x, p.y, 0x9314FF);
                if (r < 24) c.line(p.x, p.y, p.x, pts[static_cast<size_t>(col * 25 + r + 1)].y, 0x9314FF);
            }
        for (const Dot& p : pts) c.ellipse(p.x - 4, p.y - 4, p.x + 4, p.y + 4, 0x22AA44, 0x22AA44);
        c.setLineStyle(0);
    }
}

void BM_OursSpokes1600(benchmark::State& state)
{
    Canvas c;
    for (auto _ : state) {
        c.setPenWidth(1);
        for (int i = 0; i < 200; ++i)
            for (int k = 1; k <= 8; ++k) {
                const double x = 30 + i * 2.7, y = 40 + i % 20 * 22, a = k * 45 * 0.0174532925199433;
                c.line(x, y, x + std::sin(a) * 20, y + std::cos(a) * 20, 0xFFFFFF);
            }
    }
}

BENCHMARK(BM_OursRingFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDiscs200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDashDotMesh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursSpokes1600)->Unit(benchmark::kMicrosecond);

#ifdef TAMBREL_BENCH_QT
QImage surface() { return QImage(Canvas::kWidth, Canvas::kHeight, QImage::Format_RGB32); }

void BM_QtRingFrame(benchmark::State& state)
{
    QImage img = surface();
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(QColor(0xCC, 0x66, 0x33), 8));
        p.setBrush(Qt::NoBrush);
        for (auto& c : kCorners)
            for (double j = 1; j <= 900; j += 16) p.drawEllipse(QPointF(c[0], c[1]), j, j);
    }
}

void BM_QtDiscs200(benchmark::State& state)
{
    QImage img = surface();
    for (auto _ : state) {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(0xEE, 0x88, 0x22), 1));
        p.setBrush(QColor(0xEE, 0x88, 0x22));
        for (int i = 0; i < 200; ++i) p.drawEllipse(QPointF(30 + i * 2.7, 40 + i % 20 * 22), 7, 7);
    }
}

void BM_QtDashDotMesh(benchmark::State& state)
{
    QImage img = surface();
    const auto pts = meshPoints();
    for (auto _ : state) {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(Qt::white);
        p.setPen(QPen(QColor(0xFF, 0x14, 0x93), 1, Qt::DashDotLine));
        for (int col = 0; col < 30; ++col)
            for (int r = 0; r < 25; ++r) {
                const Dot& d = pts[static_cast<size_t>(col * 25 + r)];
                if (col < 29) p.drawLine(QPointF(d.x, d.y), QPointF(pts[static_cast<size_t>(col * 25 + r + 25)].x, d.y));
                if (r < 24) p.drawLine(QPointF(d.x, d.y), QPointF(d.x, pts[static_cast<size_t>(col * 25 + r + 1)].y));
            }
        p.setPen(QPen(QColor(0x44, 0xAA, 0x22), 1, Qt::DashDotLine));
        p.setBrush(QColor(0x44, 0xAA, 0x22));
        for (const Dot& d : pts) p.drawEllipse(QPointF(d.x, d.y), 4, 4);
    }
}

void BM_QtSpokes1600(benchmark::State& state)
{
    QImage img = surface();
    for (auto _ : state) {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::white, 0));
        for (int i = 0; i < 200; ++i)
            for (int k = 1; k <= 8; ++k) {
                const double x = 30 + i * 2.7, y = 40 + i % 20 * 22, a = k * 45 * 0.0174532925199433;
                p.drawLine(QPointF(x, y), QPointF(x + std::sin(a) * 20, y + std::cos(a) * 20));
            }
    }
}

// What the paint handler does per frame: the surface into the window's format.
void BM_PaintSurfaceToWindowImage(benchmark::State& state)
{
    Canvas c;
    QImage target;
    for (auto _ : state) surfaceToQImage(c.pixels(), Canvas::kWidth, Canvas::kHeight, target);
}

// A screensaver's paint of a picture that changed everywhere, in blocks of
// 2 (1920 x 1080) or 4 (3840 x 2160): the blocks written straight into the
// screen's image, as the saver does into the window's. Its floor: each of
// those pixels written once.
void BM_SaverPaintBlocks(benchmark::State& state)
{
    const int block = static_cast<int>(state.range(0));
    const QSize screen = block == 2 ? QSize(1920, 1080) : QSize(3840, 2160);
    Canvas c;
    QImage shown(screen, QImage::Format_RGB32);
    const QPoint at((screen.width() - Canvas::kWidth * block) / 2, (screen.height() - Canvas::kHeight * block) / 2);
    for (auto _ : state) surfaceToBlocks(c.pixels(), block, shown, at);
    benchmark::DoNotOptimize(shown.constBits());
}

void BM_SaverPaintFloor(benchmark::State& state)
{
    const int block = static_cast<int>(state.range(0));
    QImage device(Canvas::kWidth * block, Canvas::kHeight * block, QImage::Format_RGB32);
    uint32_t v = 0;
    for (auto _ : state) {
        auto* first = reinterpret_cast<uint32_t*>(device.bits());
        std::fill_n(first, static_cast<size_t>(device.width()) * device.height(), ++v);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_QtRingFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QtDiscs200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QtDashDotMesh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QtSpokes1600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintSurfaceToWindowImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaverPaintBlocks)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaverPaintFloor)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);
#endif

} // namespace
} // namespace tambrel::bench
