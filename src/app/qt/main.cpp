// Tambrel: the window, the animation thread and the fourteen modes.

#include "app/qt/qt_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Whole-number scale factors keep the canvas pixels crisp on high-DPI screens.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication app(argc, argv);
    const uint32_t seed = tambrel::Rnd::clockSeed(); // the only seeding of the run
    tambrel::QtApp tambrel(seed);
    tambrel.show();
    app.exec();
    tambrel.shutdown(); // the thread ends at the top of its next pass
    return 0;
}
