#include "gfx/geometry.h"

#include "gfx/platform.h"

namespace tambrel {

void clampToCanvas(double& x, double& y)
{
    if (x < 0) x = 0;
    else if (x > 600) x = 600;
    if (y < 0) y = 0;
    else if (y > 512) y = 512;
}

void getCanvasMouse(Platform& platform, int& x, int& y)
{
    int cx = 0, cy = 0;
    platform.pointerClientPosition(cx, cy);
    x = cx - 5;
    y = cy - 5;
}

} // namespace tambrel
