// SPDX-License-Identifier: MIT
#include "video/clip_encoder.h"

#include "app/files.h"
#include "gfx/canvas.h"

#include <webp/encode.h>
#include <webp/mux.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace tambrel {

namespace {

constexpr int W = Canvas::kWidth, H = Canvas::kHeight;
constexpr size_t kPixels = static_cast<size_t>(W) * H;

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

// Written aside (files.h's asidePath) and renamed over the file when whole:
// an export that fails or is cancelled leaves no broken file behind.
bool writable(const std::string& path, const std::string& aside, std::string& error)
{
    std::FILE* f = std::fopen(aside.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    return true;
}

// Flushed to the disk, then named: a disk that fills while the system
// writes back says so here, before the name shows a broken file.
bool commit(const std::string& aside, const std::string& path, std::string& error)
{
    const int fd = ::open(aside.c_str(), O_WRONLY | O_CLOEXEC);
    int problem = fd < 0 ? errno : 0;
    if (fd >= 0 && ::fsync(fd) != 0) problem = errno;
    if (fd >= 0 && ::close(fd) != 0 && !problem) problem = errno;
    if (!problem && std::rename(aside.c_str(), path.c_str()) != 0) problem = errno;
    if (!problem) return true;
    error = "cannot write " + path + ": " + std::strerror(problem);
    std::remove(aside.c_str());
    return false;
}

// Animated WebP, lossless: each frame the rectangle that changed since the
// one before, at its own time, the last one until the clip's end. libwebp's
// animation encoder takes its frames one after another on one thread, slower
// than the clip plays; here each frame's bitstream is encoded on a thread of
// its own, a few at a time, and libwebp's mux puts them together in order.
class WebpEncoder final : public ClipEncoder {
public:
    explicit WebpEncoder(std::string path) : m_path(std::move(path)) {}
    ~WebpEncoder() override
    {
        for (Coming& c : m_coming)
            if (c.encoded.valid()) c.encoded.wait();
    }

    uint32_t longestFrameMs() const override { return kLongestMs; }

    bool put(const uint32_t* pixels, uint32_t fromMs, uint32_t) override
    {
        std::vector<uint32_t> argb(kPixels);
        for (size_t i = 0; i < kPixels; ++i) { // 0x00BBGGRR to 0xAARRGGBB
            const uint32_t v = pixels[i];
            argb[i] = 0xFF000000u | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
        }
        // The rectangle that changed; its corner on even pixels, where a
        // frame's offset can be.
        int left = W, top = H, right = -1, bottom = -1;
        for (int y = 0; y < H && !m_last.empty(); ++y) {
            const uint32_t* now = &argb[static_cast<size_t>(y) * W];
            const uint32_t* was = &m_last[static_cast<size_t>(y) * W];
            if (std::memcmp(now, was, W * 4) == 0) continue;
            for (int x = 0; x < W; ++x)
                if (now[x] != was[x]) left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = y;
        }
        if (m_last.empty()) left = 0, top = 0, right = W - 1, bottom = H - 1;
        if (right < 0) {
            if (fromMs - m_coming.back().fromMs <= kLongestMs) return true; // shows on
            left = top = right = bottom = 0; // a frame of its own, as it was: a frame's time is 24 bits
        }
        left &= ~1, top &= ~1;
        m_last = argb;
        Coming coming{std::make_shared<Frame>(), {}, fromMs};
        coming.frame->x = left, coming.frame->y = top;
        coming.frame->argb = std::move(argb);
        auto work = [frame = coming.frame, w = right - left + 1, h = bottom - top + 1] {
            frame->ok = encode(*frame, w, h);
            frame->argb = {}; // only the bitstream is kept
        };
        try {
            coming.encoded = std::async(std::launch::async, work);
        } catch (const std::system_error&) {
            work(); // no thread to be had: here, then
        }
        m_coming.push_back(std::move(coming));
        // At most a few frames' pictures wait at once.
        for (; m_waited + m_encoding < m_coming.size(); ++m_waited)
            if (m_coming[m_waited].encoded.valid()) m_coming[m_waited].encoded.wait();
        return true;
    }

    bool finish(std::string& error) override
    {
        WebPMux* mux = WebPMuxNew();
        bool ok = mux && WebPMuxSetCanvasSize(mux, W, H) == WEBP_MUX_OK;
        WebPMuxAnimParams params{0xFFFFFFFFu, 0}; // a white background, for ever
        ok = ok && WebPMuxSetAnimationParams(mux, &params) == WEBP_MUX_OK;
        for (size_t n = 0; ok && n < m_coming.size(); ++n) {
            Coming& c = m_coming[n];
            if (c.encoded.valid()) c.encoded.get();
            if (!c.frame->ok) {
                error = "the WebP encoder failed on a frame";
                ok = false;
                break;
            }
            const uint32_t until = n + 1 < m_coming.size() ? m_coming[n + 1].fromMs : endMs();
            WebPMuxFrameInfo info{};
            info.bitstream = {c.frame->bytes.data(), c.frame->bytes.size()};
            info.x_offset = c.frame->x, info.y_offset = c.frame->y;
            info.duration = static_cast<int>(std::max<uint32_t>(1, until - c.fromMs));
            info.id = WEBP_CHUNK_ANMF;
            info.dispose_method = WEBP_MUX_DISPOSE_NONE;
            info.blend_method = WEBP_MUX_NO_BLEND; // the rectangle's pixels as they are
            ok = WebPMuxPushFrame(mux, &info, 0) == WEBP_MUX_OK;
        }
        WebPData data;
        WebPDataInit(&data);
        ok = ok && WebPMuxAssemble(mux, &data) == WEBP_MUX_OK;
        if (mux) WebPMuxDelete(mux);
        if (!ok) {
            if (error.empty()) error = "the WebP muxer failed";
            return false;
        }
        ok = writeWholeFile(m_path, std::span(data.bytes, data.size), error);
        WebPDataClear(&data);
        if (!ok) error = "cannot write " + m_path + ": " + error;
        return ok;
    }

private:
    static constexpr uint32_t kLongestMs = 0xFFFFFE; // a frame's 24-bit duration
    struct Frame {
        std::vector<uint32_t> argb; // the whole picture, until it is encoded
        std::vector<uint8_t> bytes; // the rectangle's lossless bitstream
        int x = 0, y = 0;
        bool ok = false;
    };
    struct Coming {
        std::shared_ptr<Frame> frame;
        std::future<void> encoded; // none: ready now
        uint32_t fromMs = 0;
    };

    // The w x h rectangle at the frame's corner, losslessly at the least effort.
    static bool encode(Frame& frame, int w, int h)
    {
        WebPConfig config;
        WebPPicture picture;
        if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return false;
        config.lossless = 1;
        config.quality = 0; // in lossless, the effort: the least
        config.method = 0;
        picture.use_argb = 1;
        picture.width = w, picture.height = h;
        if (!WebPPictureAlloc(&picture)) return false;
        for (int y = 0; y < h; ++y)
            std::memcpy(picture.argb + static_cast<ptrdiff_t>(y) * picture.argb_stride,
                        &frame.argb[static_cast<size_t>(frame.y + y) * W + static_cast<size_t>(frame.x)], static_cast<size_t>(w) * 4);
        WebPMemoryWriter writer;
        WebPMemoryWriterInit(&writer);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &writer;
        const bool ok = WebPEncode(&config, &picture);
        if (ok) frame.bytes.assign(writer.mem, writer.mem + writer.size);
        WebPMemoryWriterClear(&writer);
        WebPPictureFree(&picture);
        return ok;
    }

    std::string m_path;
    // Frames encoded at once: one a core, up to four.
    const size_t m_encoding = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::deque<Coming> m_coming;  // every frame, oldest first
    size_t m_waited = 0;          // the frames before this one are encoded
    std::vector<uint32_t> m_last; // the picture the frames so far add up to
};

// What GIF and MP4 share: a stream encoded by libavcodec, muxed by
// libavformat, each packet lasting as long as its frame showed.
class AvEncoder : public ClipEncoder {
public:
    ~AvEncoder() override
    {
        avcodec_free_context(&m_codec);
        if (m_format) {
            if (m_format->pb) avio_closep(&m_format->pb);
            avformat_free_context(m_format);
        }
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        if (!m_committed && !m_aside.empty()) std::remove(m_aside.c_str());
    }

    bool finish(std::string& error) override
    {
        if (!flushPending() || !send(nullptr) || av_write_trailer(m_format) < 0) {
            error = m_error.empty() ? "cannot finish " + m_path : m_error;
            return false;
        }
        // The muxer's writes are buffered: their failure (a full disk) shows
        // in the stream's error and its close.
        avio_flush(m_format->pb);
        const int written = m_format->pb->error;
        const int closed = avio_closep(&m_format->pb);
        if (written < 0 || closed < 0) {
            error = "cannot write " + m_path + ": " + avError(written < 0 ? written : closed);
            return false;
        }
        m_committed = commit(m_aside, m_path, error);
        return m_committed;
    }

protected:
    // Opens the muxer and the encoder; the codec context is set up by `configure`.
    bool open(const std::string& path, const char* muxer, const AVCodec* codec, AVDictionary** codecOptions,
              AVDictionary** muxerOptions, const std::function<void(AVCodecContext&)>& configure, std::string& error)
    {
        m_path = path;
        if (!codec) return error = std::string("this build of FFmpeg has no encoder for ") + muxer, false;
        m_aside = asidePath(path);
        if (!writable(path, m_aside, error)) return false;
        int r = avformat_alloc_output_context2(&m_format, nullptr, muxer, m_aside.c_str());
        if (r < 0) return error = "cannot make a " + std::string(muxer) + " file: " + avError(r), false;
        m_stream = avformat_new_stream(m_format, nullptr);
        m_codec = avcodec_alloc_context3(codec);
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        if (!m_stream || !m_codec || !m_frame || !m_packet) return error = "out of memory", false;
        configure(*m_codec);
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER) m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((r = avcodec_open2(m_codec, codec, codecOptions)) < 0)
            return error = "cannot start the " + std::string(codec->name) + " encoder: " + avError(r), false;
        avcodec_parameters_from_context(m_stream->codecpar, m_codec);
        m_stream->time_base = m_codec->time_base;
        if ((r = avio_open(&m_format->pb, m_aside.c_str(), AVIO_FLAG_WRITE)) < 0)
            return error = "cannot write " + path + ": " + avError(r), false;
        if ((r = avformat_write_header(m_format, muxerOptions)) < 0)
            return error = "cannot write " + path + ": " + avError(r), false;
        m_frame->format = m_codec->pix_fmt;
        m_frame->width = m_codec->width;
        m_frame->height = m_codec->height;
        if ((r = av_frame_get_buffer(m_frame, 0)) < 0) return error = "out of memory", false;
        return true;
    }

    // Sends m_frame (or the end, for null) with its pts and duration, in
    // the codec's time base, and writes the packets that come out.
    bool send(AVFrame* frame, int64_t pts = 0, int64_t duration = 0)
    {
        if (frame) {
            frame->pts = pts;
            m_durations[pts] = duration;
        }
        int r = avcodec_send_frame(m_codec, frame);
        while (r >= 0) {
            r = avcodec_receive_packet(m_codec, m_packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) break;
            if (const auto d = m_durations.find(m_packet->pts); d != m_durations.end()) {
                m_packet->duration = d->second;
                m_durations.erase(d);
            }
            av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
            m_packet->stream_index = m_stream->index;
            if ((r = av_interleaved_write_frame(m_format, m_packet)) < 0) break;
        }
        m_error = "cannot encode " + m_path + ": " + avError(r);
        return false;
    }

    // A frame held back until the next one says how long it lasts (GIF).
    virtual bool flushPending() { return true; }

    std::string m_path, m_aside;
    AVFormatContext* m_format = nullptr;
    AVStream* m_stream = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    std::map<int64_t, int64_t> m_durations; // pts -> duration, until its packet is written
    bool m_committed = false;
};

// A picture as RGB0 in an AVFrame (0x00BBGGRR is R, G, B, 0 in memory), or null.
AVFrame* rgbFrame(const uint32_t* pixels)
{
    AVFrame* f = av_frame_alloc();
    if (!f) return nullptr;
    f->format = AV_PIX_FMT_RGB0;
    f->width = W, f->height = H;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return nullptr;
    }
    for (int y = 0; y < H; ++y)
        std::memcpy(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0], pixels + static_cast<size_t>(y) * W, W * 4);
    return f;
}

// Colour k of a palette as palettegen gives one and paletteuse takes it:
// 16 x 16 pixels, 0xAARRGGBB.
uint32_t& paletteEntry(AVFrame* table, int k)
{
    return reinterpret_cast<uint32_t*>(table->data[0] + static_cast<ptrdiff_t>(k / 16) * table->linesize[0])[k % 16];
}

// Runs frames once through the libavfilter graph `description`: each of
// `sources` feeds the graph's input of its name, `result` takes what its
// output [out] gives.
bool runFilter(const char* description, std::initializer_list<std::pair<const char*, AVFrame*>> sources, AVFrame* result)
{
    AVFilterGraph* graph = avfilter_graph_alloc();
    if (graph) graph->nb_threads = 1; // pictures run side by side already: no threads of its own
    AVFilterInOut* outputs = nullptr;
    AVFilterInOut* inputs = avfilter_inout_alloc();
    std::vector<AVFilterContext*> feeds;
    AVFilterContext* sink = nullptr;
    bool ok = graph && inputs &&
              avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph) >= 0;
    for (const auto& [name, frame] : sources) {
        char args[128];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/100:pixel_aspect=1/1", frame->width,
                      frame->height, frame->format);
        AVFilterContext* feed = nullptr;
        AVFilterInOut* named = ok ? avfilter_inout_alloc() : nullptr;
        ok = named && avfilter_graph_create_filter(&feed, avfilter_get_by_name("buffer"), name, args, nullptr, graph) >= 0;
        if (!named) break;
        named->name = av_strdup(name);
        named->filter_ctx = feed;
        named->next = outputs; // the list owns it
        outputs = named;
        feeds.push_back(feed);
    }
    if (ok) {
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        ok = avfilter_graph_parse_ptr(graph, description, &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(graph, nullptr) >= 0;
    }
    size_t k = 0;
    for (const auto& source : sources) {
        source.second->pts = 0;
        ok = ok && av_buffersrc_add_frame(feeds[k], source.second) >= 0 && av_buffersrc_add_frame(feeds[k], nullptr) >= 0;
        ++k;
    }
    ok = ok && av_buffersink_get_frame(sink, result) >= 0;
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    avfilter_graph_free(&graph);
    return ok;
}

// GIF at 50 frames a second at most, in hundredths of a second: each frame
// with the colours it has where they are at most 256, else with a palette
// made for it by libavfilter's palettegen and the picture dithered onto that
// by paletteuse. Dithering is most of a clip's work (clouds: 60 ms a
// picture), so pictures are dithered on threads of their own, a few at a
// time, and written in their order.
class GifEncoder final : public AvEncoder {
public:
    bool start(const std::string& path, std::string& error)
    {
        AVDictionary* muxer = nullptr;
        av_dict_set(&muxer, "loop", "0", 0); // for ever
        // Each frame cropped to what changed, but not made transparent where
        // nothing did: with a palette of each frame's own, that would mix colours.
        AVDictionary* codec = nullptr;
        av_dict_set(&codec, "gifflags", "+offsetting-transdiff", 0);
        const bool ok = open(path, "gif", avcodec_find_encoder(AV_CODEC_ID_GIF), &codec, &muxer,
                             [](AVCodecContext& c) {
                                 c.width = W, c.height = H;
                                 c.pix_fmt = AV_PIX_FMT_PAL8;
                                 c.time_base = {1, 100};
                             },
                             error);
        av_dict_free(&muxer);
        av_dict_free(&codec);
        return ok;
    }

    // A frame's delay: 16 bits of hundredths of a second, on the grid.
    uint32_t longestFrameMs() const override { return 65535 / (kGifFrameMs / 10) * kGifFrameMs; }

    bool put(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) override
    {
        // The ticks of the 50-a-second grid this picture shows at.
        const uint32_t first = gridTick(fromMs, kGifFrameMs), last = gridTick(untilMs, kGifFrameMs);
        if (first >= last) return true;
        if (!m_pending.empty() && std::memcmp(m_pending.data(), pixels, kPixels * 4) == 0) return true; // shows on
        if (!flushPending(first)) return false;
        m_pending.assign(pixels, pixels + kPixels);
        m_pendingTick = first;
        return true;
    }

private:
    // A frame in at most 256 colours, and when it shows.
    struct Indexed {
        std::vector<uint8_t> indices = std::vector<uint8_t>(kPixels);
        uint32_t palette[256] = {}; // 0xAARRGGBB
        int64_t pts = 0, duration = 0; // in hundredths of a second
        bool ok = true;
    };
    struct Coming {
        std::shared_ptr<Indexed> frame;
        std::future<void> dithered; // none: ready now
    };

    bool flushPending() override
    {
        // The muxer takes the last frame's delay from its own option, which
        // it reads at the end.
        const uint32_t endTick = gridTick(endMs(), kGifFrameMs);
        if (!m_pending.empty() && endTick > m_pendingTick)
            av_opt_set_int(m_format->priv_data, "final_delay", (endTick - m_pendingTick) * (kGifFrameMs / 10), 0);
        if (!flushPending(endTick)) return false;
        while (!m_ready.empty())
            if (!writeOldest()) return false;
        return true;
    }
    bool flushPending(uint32_t untilTick)
    {
        if (m_pending.empty() || untilTick <= m_pendingTick) return true;
        Coming coming{std::make_shared<Indexed>(), {}};
        Indexed& frame = *coming.frame;
        const int64_t cs = kGifFrameMs / 10; // hundredths of a second a tick
        frame.pts = m_pendingTick * cs;
        frame.duration = (untilTick - m_pendingTick) * cs;
        if (!ownColours(m_pending.data(), frame)) {
            if (!choosePalette(m_pending.data())) return false;
            std::memcpy(frame.palette, m_palette, sizeof m_palette);
            auto work = [frame = coming.frame, pixels = std::make_shared<std::vector<uint32_t>>(std::move(m_pending))] {
                frame->ok = dither(pixels->data(), *frame);
            };
            try {
                coming.dithered = std::async(std::launch::async, work);
            } catch (const std::system_error&) {
                work(); // no thread to be had: here, then
            }
        }
        m_ready.push_back(std::move(coming));
        m_pending.clear();
        while (m_ready.size() > m_dithering)
            if (!writeOldest()) return false;
        return true;
    }

    bool writeOldest()
    {
        if (m_ready.front().dithered.valid()) m_ready.front().dithered.get();
        const std::shared_ptr<Indexed> frame = std::move(m_ready.front().frame);
        m_ready.pop_front();
        if (!frame->ok) return m_error = "cannot dither a GIF frame onto its palette", false;
        if (av_frame_make_writable(m_frame) < 0) return m_error = "out of memory", false;
        for (int y = 0; y < H; ++y)
            std::memcpy(m_frame->data[0] + static_cast<ptrdiff_t>(y) * m_frame->linesize[0], &frame->indices[static_cast<size_t>(y) * W], W);
        std::memcpy(m_frame->data[1], frame->palette, sizeof frame->palette);
        return send(m_frame, frame->pts, frame->duration);
    }

    // The picture in its own colours, when they are at most 256.
    static bool ownColours(const uint32_t* pixels, Indexed& frame)
    {
        std::unordered_map<uint32_t, uint8_t> index;
        index.reserve(512);
        for (size_t i = 0; i < kPixels; ++i) {
            const auto [at, added] = index.try_emplace(pixels[i], static_cast<uint8_t>(index.size()));
            if (index.size() > 256) return false;
            if (added) {
                const uint32_t v = pixels[i];
                frame.palette[at->second] = 0xFF000000u | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
            }
            frame.indices[i] = at->second;
        }
        for (size_t k = index.size(); k < 256; ++k) frame.palette[k] = 0xFF000000u;
        return true;
    }

    // m_palette := a palette for a picture of more than 256 colours: made
    // for it (from the picture at a quarter of its size: a cloud's palette
    // from every pixel took a third of a second, and is within about 1 dB of
    // this one), or the last one made, when the picture it was made for
    // differs from this one in at most a quarter of its pixels (a smear, a
    // burst over a still picture).
    bool choosePalette(const uint32_t* pixels)
    {
        size_t changed = m_paletteSource.empty() ? kPixels : 0;
        for (size_t i = 0; i < m_paletteSource.size() && changed <= kPixels / 4; ++i) changed += pixels[i] != m_paletteSource[i];
        if (changed <= kPixels / 4) return true;
        AVFrame* rgb = rgbFrame(pixels);
        AVFrame* table = av_frame_alloc();
        const bool ok = rgb && table &&
                        runFilter("[in]scale=iw/4:ih/4:flags=area,"
                                  "palettegen=max_colors=256:reserve_transparent=0:stats_mode=single[out]",
                                  {{"in", rgb}}, table) &&
                        table->format == AV_PIX_FMT_RGB32 && table->width == 16 && table->height == 16;
        for (int k = 0; ok && k < 256; ++k)
            m_palette[k] = paletteEntry(table, k);
        if (ok) m_paletteSource.assign(pixels, pixels + kPixels);
        av_frame_free(&rgb);
        av_frame_free(&table);
        if (!ok) m_error = "cannot make a palette for a GIF frame";
        return ok;
    }

    // frame.indices := the picture dithered onto frame.palette.
    static bool dither(const uint32_t* pixels, Indexed& frame)
    {
        AVFrame* rgb = rgbFrame(pixels);
        AVFrame* table = av_frame_alloc();
        AVFrame* out = av_frame_alloc();
        bool ok = rgb && table && out;
        if (ok) {
            table->format = AV_PIX_FMT_RGB32; // the palette as palettegen gives one
            table->width = table->height = 16;
            ok = av_frame_get_buffer(table, 0) >= 0;
        }
        for (int k = 0; ok && k < 256; ++k)
            paletteEntry(table, k) = frame.palette[k];
        ok = ok && runFilter("[in][palette]paletteuse=dither=sierra2_4a,format=pal8[out]", {{"in", rgb}, {"palette", table}}, out) &&
             out->format == AV_PIX_FMT_PAL8;
        for (int y = 0; ok && y < H; ++y)
            std::memcpy(&frame.indices[static_cast<size_t>(y) * W], out->data[0] + static_cast<ptrdiff_t>(y) * out->linesize[0], W);
        if (ok) std::memcpy(frame.palette, out->data[1], sizeof frame.palette);
        av_frame_free(&rgb);
        av_frame_free(&table);
        av_frame_free(&out);
        return ok;
    }

    // Pictures dithered at once: one a core, up to four.
    const size_t m_dithering = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::deque<Coming> m_ready; // frames to write, oldest first
    std::vector<uint32_t> m_paletteSource; // the picture m_palette was made for
    uint32_t m_palette[256] = {};
    std::vector<uint32_t> m_pending; // the picture that shows from m_pendingTick on
    uint32_t m_pendingTick = 0;
};

// MP4 with H.264 in 4:2:0, twice the surface's size in whole-pixel blocks,
// each frame at its own millisecond (variable frame rate), for browsers and
// phones: the index at the front, BT.709 colours.
class Mp4Encoder final : public AvEncoder {
public:
    ~Mp4Encoder() override
    {
        sws_freeContext(m_scale);
        av_frame_free(&m_small);
    }

    bool start(const std::string& path, std::string& error)
    {
        AVDictionary* codec = nullptr;
        av_dict_set(&codec, "crf", std::to_string(kMp4Crf).c_str(), 0);
        // The quickest motion search and sub-pixel refinement: an eighth less
        // work (psyche: 14.6 s of a core instead of 16.8) for 5 - 9 % more
        // bytes at the same quality.
        av_dict_set(&codec, "preset", "veryfast", 0);
        av_dict_set(&codec, "x264-params", "me=dia:subme=1", 0);
        AVDictionary* muxer = nullptr;
        av_dict_set(&muxer, "movflags", "+faststart", 0);
        const bool ok = open(path, "mp4", avcodec_find_encoder_by_name("libx264"), &codec, &muxer,
                             [](AVCodecContext& c) {
                                 c.width = W * kMp4Scale, c.height = H * kMp4Scale;
                                 c.pix_fmt = AV_PIX_FMT_YUV420P;
                                 c.time_base = {1, 1000};
                                 c.framerate = {1000 / kMp4FrameMs, 1}; // at most
                                 c.colorspace = AVCOL_SPC_BT709;
                                 c.color_primaries = AVCOL_PRI_BT709;
                                 c.color_trc = AVCOL_TRC_BT709;
                                 c.color_range = AVCOL_RANGE_MPEG;
                             },
                             error);
        av_dict_free(&codec);
        av_dict_free(&muxer);
        if (!ok) return false;
        // The colours are converted at the surface's own size, in 4:4:4: its
        // colour planes are the frame's 4:2:0 ones as they are (one sample per
        // 2 x 2 block), its brightness plane is doubled into the blocks.
        m_scale = sws_getContext(W, H, AV_PIX_FMT_RGB0, W, H, AV_PIX_FMT_YUV444P, SWS_POINT, nullptr, nullptr, nullptr);
        m_small = av_frame_alloc();
        if (!m_scale || !m_small) return error = "cannot convert colours for the MP4", false;
        sws_setColorspaceDetails(m_scale, sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709), 0, 0,
                                 1 << 16, 1 << 16);
        m_small->format = AV_PIX_FMT_YUV444P, m_small->width = W, m_small->height = H;
        if (av_frame_get_buffer(m_small, 0) < 0) return error = "out of memory", false;
        return true;
    }

    // The muxer holds the step between two decoding times in 31 bits of the
    // stream's time base (1/16000 s: 37 hours), and the encoder's reordering
    // of frames can lengthen a step: half of that, 18 hours.
    uint32_t longestFrameMs() const override
    {
        const int64_t ms = av_rescale_q_rnd(INT_MAX / 2, m_stream->time_base, {1, 1000}, AV_ROUND_DOWN);
        return static_cast<uint32_t>(std::clamp<int64_t>(ms, 1, UINT32_MAX));
    }

    bool put(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) override
    {
        // The ticks of the 50-a-second grid this picture shows at (a player
        // shows 60 a second at most).
        const uint32_t first = gridTick(fromMs, kMp4FrameMs), last = gridTick(untilMs, kMp4FrameMs);
        if (first >= last) return true;
        if (av_frame_make_writable(m_frame) < 0) return m_error = "out of memory", false;
        const uint8_t* source[1] = {reinterpret_cast<const uint8_t*>(pixels)};
        const int stride[1] = {W * 4};
        sws_scale(m_scale, source, stride, 0, H, m_small->data, m_small->linesize);
        static_assert(kMp4Scale == 2, "4:2:0's colour planes are the surface's own at twice its size");
        for (int y = 0; y < H; ++y) {
            const uint8_t* luma = m_small->data[0] + static_cast<ptrdiff_t>(y) * m_small->linesize[0];
            uint8_t* row = m_frame->data[0] + static_cast<ptrdiff_t>(2 * y) * m_frame->linesize[0];
            for (int x = 0; x < W; ++x) row[2 * x] = row[2 * x + 1] = luma[x];
            std::memcpy(row + m_frame->linesize[0], row, static_cast<size_t>(2 * W));
            for (int plane = 1; plane <= 2; ++plane)
                std::memcpy(m_frame->data[plane] + static_cast<ptrdiff_t>(y) * m_frame->linesize[plane],
                            m_small->data[plane] + static_cast<ptrdiff_t>(y) * m_small->linesize[plane], static_cast<size_t>(W));
        }
        return send(m_frame, int64_t{first} * kMp4FrameMs, int64_t{last - first} * kMp4FrameMs);
    }

private:
    SwsContext* m_scale = nullptr;
    AVFrame* m_small = nullptr; // the surface in 4:4:4
};

} // namespace

bool ClipEncoder::frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs)
{
    const uint32_t from = fromMs - m_cutMs, longest = longestFrameMs();
    uint32_t until = untilMs - m_cutMs;
    if (until - from > longest) {
        m_cutMs += until - from - longest;
        until = from + longest;
    }
    m_endMs = until;
    return put(pixels, from, until);
}

bool clipFormatFor(const std::string& path, ClipFormat& format)
{
    auto endsWith = [&](const char* ext) {
        const size_t n = std::strlen(ext);
        if (path.size() < n) return false;
        return std::equal(ext, ext + n, path.end() - static_cast<long>(n),
                          [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    };
    if (endsWith(".webp")) format = ClipFormat::WebP;
    else if (endsWith(".gif")) format = ClipFormat::Gif;
    else if (endsWith(".mp4")) format = ClipFormat::Mp4;
    else return false;
    return true;
}

std::unique_ptr<ClipEncoder> ClipEncoder::open(const std::string& path, ClipFormat format, uint32_t durationMs,
                                               std::string& error)
{
    av_log_set_level(AV_LOG_ERROR);
    switch (format) {
    case ClipFormat::WebP: {
        // Made in memory and written whole at the end: the folder is tried now.
        const std::string aside = asidePath(path);
        const bool canWrite = writable(path, aside, error);
        std::remove(aside.c_str());
        if (!canWrite) return nullptr;
        // Its times are whole milliseconds in an int.
        if (durationMs > INT_MAX) return error = "a WebP clip lasts at most 24 days; make a shorter one", nullptr;
        return std::make_unique<WebpEncoder>(path);
    }
    case ClipFormat::Gif: {
        auto e = std::make_unique<GifEncoder>();
        if (!e->start(path, error)) return nullptr;
        return e;
    }
    case ClipFormat::Mp4: {
        auto e = std::make_unique<Mp4Encoder>();
        if (!e->start(path, error)) return nullptr;
        return e;
    }
    }
    return nullptr;
}

} // namespace tambrel
