// SPDX-License-Identifier: MIT
// Fuzz target: the clipboard picture path. A picture of any size from 0 x 0
// up, in any format Qt can hold, goes through the conversion and the capture
// mode's start exactly as a snapshot from the clipboard would.

#include "app/program.h"
#include "app/qt/image_convert.h"
#include "fuzz_input.h"
#include "gfx/memory_platform.h"

#include <QImage>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tambrel::fuzz::Input in(data, size);
    const bool scatter = in.take<uint8_t>() % 4 == 0; // the costly click, in a quarter of the runs
    const int w = in.take<uint16_t>() % 1400, h = in.take<uint16_t>() % 1100;
    const int format = 1 + in.take<uint8_t>() % (QImage::NImageFormats - 1);
    QImage picture(w, h, static_cast<QImage::Format>(format));
    if (!picture.isNull()) {
        if (picture.format() == QImage::Format_Indexed8 || picture.format() == QImage::Format_Mono ||
            picture.format() == QImage::Format_MonoLSB) {
            QList<QRgb> table;
            for (int n = in.take<uint8_t>(); n > 0; --n) table.push_back(in.take<uint32_t>());
            picture.setColorTable(table); // possibly empty, possibly too short
        }
        uchar* bits = picture.bits();
        for (qsizetype i = 0; i < picture.sizeInBytes() && !in.done(); i += 1 + in.take<uint8_t>())
            bits[i] = in.take<uint8_t>();
    }

    // One program for all runs: the capture mode is switched off and on again.
    static tambrel::MemoryPlatform platform;
    static tambrel::MemoryDialogView view;
    static tambrel::Program& program = *[] {
        auto* p = new tambrel::Program(platform, view); // lives for the whole fuzzing run
        p->buildMainWindow();
        return p;
    }();
    const tambrel::DialogEvent captureButton{tambrel::DialogMessage::Command, 1013, 0, false};
    program.rnd.setState(1);
    if (program.mode(11).isOn) program.onDialogEvent(captureButton);
    platform.setScreen(tambrel::imageFromQImage(picture));
    program.onDialogEvent(captureButton); // the capture mode switches on
    if (!program.mode(11).isOn) std::abort();
    program.frameLoop().pass();
    if (scatter) program.onDialogEvent({tambrel::DialogMessage::Command, tambrel::kCanvasId, 0, false});
    if (!tambrel::fuzz::all24Bit(program.canvas.pixels(), tambrel::Canvas::kWidth * tambrel::Canvas::kHeight))
        std::abort();
    return 0;
}
