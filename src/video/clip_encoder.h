// SPDX-License-Identifier: MIT
#pragma once
// Clips as files, through the field's libraries: animated WebP with
// libwebp's own animation encoder (lossless: every frame's exact pixels and
// time); GIF and MP4 (H.264) with FFmpeg's libavcodec and libavformat, the
// GIF's palettes from libavfilter where a frame has more than 256 colours.
// For the desktop editions and the renderer; the web page has its own.

#include "gfx/frame_sink.h"

#include <memory>
#include <string>

namespace tambrel {

enum class ClipFormat { WebP, Gif, Mp4 };

// The format a file name asks for (.webp, .gif, .mp4), or false.
bool clipFormatFor(const std::string& path, ClipFormat& format);

class ClipEncoder : public FrameSink {
public:
    // Opens `path` for a clip `durationMs` long; null with a one-line error
    // when the file cannot be written or the encoder is missing. A GIF and
    // an MP4 are made on threads started from the calling one, which share
    // its priority.
    static std::unique_ptr<ClipEncoder> open(const std::string& path, ClipFormat format, uint32_t durationMs,
                                             std::string& error);
    // Writes what remains and closes the file; false with a one-line error.
    virtual bool finish(std::string& error) = 0;
    // The reason a frame() call returned false.
    const std::string& error() const { return m_error; }

    // Every picture at its time; a pause longer than the format can hold a
    // picture (a GIF 655 s, a WebP 4.6 hours) is shown as the longest it
    // can, and everything after it comes that much sooner.
    bool frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) final;

protected:
    virtual uint32_t longestFrameMs() const = 0;
    // The picture, at times with the long pauses shortened.
    virtual bool put(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) = 0;
    uint32_t endMs() const { return m_endMs; } // the clip's end, so shortened

    std::string m_error;

private:
    uint32_t m_cutMs = 0, m_endMs = 0;
};

// A GIF shows at most 50 frames a second (browsers slow faster ones down):
// the picture showing at each 20 ms.
constexpr uint32_t kGifFrameMs = kClipTickMs;
// An MP4 is twice the surface's size, each surface pixel a 2 x 2 block, so
// that 4:2:0's one colour sample per 2 x 2 pixels is one surface pixel's.
constexpr int kMp4Scale = 2;
// Chosen by measurement (tools/clip_psnr.py): every frame of psyche's
// rings, the hardest content, within 35 dB of the exact picture in RGB as
// encoded, on the benchmark's path (38.6 dB) and on a faster one (36.0; at
// 12 it was 33.9).
constexpr int kMp4Crf = 10;
// Like a GIF, at most 50 frames a second: the picture showing at each 20 ms.
constexpr uint32_t kMp4FrameMs = kClipTickMs;

} // namespace tambrel
