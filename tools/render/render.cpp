// SPDX-License-Identifier: MIT
#include "render/render.h"

#include "app/autopilot.h"
#include "app/clip.h"
#include "app/files.h"
#include "app/program.h"
#include "app/replay.h"
#include "video/clip_encoder.h"
#include "app/qt/image_convert.h"
#include "gfx/memory_platform.h"

#include <QBuffer>
#include <QDir>
#include <QImage>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tambrel {

namespace {

template <typename T>
bool parseNumber(const std::string& text, T& out)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool parsePoint(const std::string& text, std::pair<int, int>& out)
{
    const auto comma = text.find(',');
    return comma != std::string::npos && parseNumber(text.substr(0, comma), out.first) &&
           parseNumber(text.substr(comma + 1), out.second);
}

std::string modeWords()
{
    std::string words;
    for (const ModeInfo& info : kModeTable) words += (words.empty() ? "" : ", ") + std::string(info.word);
    return words;
}

// Made in memory and written whole; false with the system's reason.
bool savePng(const Canvas& canvas, const std::string& file, std::string& error)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!canvasToQImage(canvas).convertToFormat(QImage::Format_RGB888).save(&buffer, "PNG")) {
        error = "cannot make the picture";
        return false;
    }
    return writeWholeFile(file, std::span(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size())), error);
}

} // namespace

std::string renderUsage()
{
    return "usage: tambrel-render --mode WORD [--seed N] [--frames N] [--pointer X,Y | --path FILE]\n"
           "                      [--click K]... [--capture-image FILE] [--out FILE.png] [--every K DIR]\n"
           "       tambrel-render --autopilot [--seed N] [--frames N] [--seconds-per-mode S] [--with-capture]\n"
           "                      [--save-session FILE] [--out FILE.png] [--every K DIR]\n"
           "       tambrel-render --replay SESSION [--until PASS | --until-ms MS] [--out FILE.png] [--every K DIR] [--count]\n"
           "       tambrel-render --replay SESSION --video OUT.webp|OUT.gif|OUT.mp4 [--from SECONDS] [--to SECONDS | --last SECONDS]\n"
           "modes: " + modeWords() + "\n";
}

bool parseRenderArgs(const std::vector<std::string>& args, RenderOptions& o, std::string& error)
{
    // --frames, --pointer, --path and --click belong to the mode given last.
    auto segment = [&]() -> RenderSegment& {
        if (o.segments.empty()) o.segments.emplace_back();
        return o.segments.back();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--mode") {
            if (!value(v)) return false;
            if (modeIndexForWord(v) < 0) {
                error = "unknown mode '" + v + "'; the modes are: " + modeWords();
                return false;
            }
            if (o.segments.empty() || !o.segments.back().mode.empty()) o.segments.emplace_back();
            o.segments.back().mode = v;
        } else if (a == "--seed") {
            uint32_t seed = 0;
            if (!value(v)) return false;
            if (!parseNumber(v, seed)) return error = "--seed takes an unsigned 32-bit number, not '" + v + "'", false;
            o.seed = seed;
        } else if (a == "--frames") {
            if (!value(v)) return false;
            if (!parseNumber(v, segment().frames) || segment().frames < 0 || segment().frames > kMaxFrames)
                return error = "--frames takes 0 to " + std::to_string(kMaxFrames) + " passes, not '" + v + "'", false;
        } else if (a == "--pointer") {
            if (!value(v)) return false;
            if (!parsePoint(v, segment().pointer)) return error = "--pointer takes X,Y, not '" + v + "'", false;
        } else if (a == "--path") {
            std::string file;
            if (!value(file)) return false;
            std::ifstream in(file);
            if (!in) return error = "cannot read the path file '" + file + "'", false;
            std::string line;
            int lineNo = 0;
            while (std::getline(in, line)) {
                ++lineNo;
                std::istringstream words(line);
                std::string xs, ys, rest;
                if (!(words >> xs)) continue; // blank line
                std::pair<int, int> p;
                if (!(words >> ys) || (words >> rest) || !parseNumber(xs, p.first) || !parseNumber(ys, p.second))
                    return error = file + ":" + std::to_string(lineNo) + ": expected \"X Y\"", false;
                segment().path.push_back(p);
            }
            if (segment().path.empty()) return error = "the path file '" + file + "' has no points", false;
        } else if (a == "--click") {
            int k = 0;
            if (!value(v)) return false;
            if (!parseNumber(v, k) || k < 0) return error = "--click takes a pass count, not '" + v + "'", false;
            segment().clicks.push_back(k);
        } else if (a == "--autopilot") {
            o.autopilot = true;
            segment().mode = "autopilot"; // --frames counts its passes
        } else if (a == "--seconds-per-mode") {
            if (!value(v)) return false;
            if (!parseNumber(v, o.secondsPerMode) || o.secondsPerMode < 1 || o.secondsPerMode > 86400)
                return error = "--seconds-per-mode takes 1 to 86400, not '" + v + "'", false;
        } else if (a == "--with-capture") {
            o.withCapture = true;
        } else if (a == "--save-session") {
            if (!value(o.saveSession)) return false;
        } else if (a == "--capture-image") {
            if (!value(o.captureImage)) return false;
        } else if (a == "--out") {
            if (!value(o.out)) return false;
        } else if (a == "--replay") {
            if (!value(o.replay)) return false;
        } else if (a == "--count") {
            o.count = true;
        } else if (a == "--video") {
            if (!value(o.video)) return false;
            ClipFormat format;
            if (!clipFormatFor(o.video, format))
                return error = "--video makes .webp, .gif or .mp4 files, not '" + o.video + "'", false;
        } else if (a == "--from" || a == "--to" || a == "--last") {
            double seconds = 0;
            if (!value(v)) return false;
            char* end = nullptr;
            seconds = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(seconds >= 0 && seconds * 1000 <= UINT32_MAX)) // a session's times
                return error = a + " takes seconds of the session, not '" + v + "'", false;
            (a == "--from" ? o.fromSeconds : a == "--to" ? o.toSeconds : o.lastSeconds) = seconds;
        } else if (a == "--until-ms") {
            if (!value(v)) return false;
            uint32_t ms = 0;
            if (!parseNumber(v, ms)) return error = "--until-ms takes a time in milliseconds (0 to 4294967295), not '" + v + "'", false;
            o.untilMs = ms;
        } else if (a == "--until") {
            if (!value(v)) return false;
            if (!parseNumber(v, o.until) || o.until < 0) return error = "--until takes a pass count, not '" + v + "'", false;
        } else if (a == "--every") {
            if (!value(v) || !value(o.everyDir)) return error = "--every takes K and DIR", false;
            if (!parseNumber(v, o.every) || o.every <= 0)
                return error = "--every takes a positive pass count, not '" + v + "'", false;
        } else {
            error = "unknown argument '" + a + "'";
            return false;
        }
    }
    if (!o.replay.empty()) {
        // A session holds its own seed, pointer, clicks and screen pictures.
        for (const std::string& a : args)
            if (a == "--mode" || a == "--seed" || a == "--frames" || a == "--pointer" || a == "--path" || a == "--click" ||
                a == "--capture-image" || a == "--save-session")
                return error = a + " does not go with --replay: the session holds its own", false;
        if (o.lastSeconds >= 0 && std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--from" || a == "--to"; }))
            return error = "--last takes the session's last seconds: it does not go with --from or --to", false;
        return true;
    }
    if (o.until >= 0 || o.untilMs >= 0 || o.count) return error = "--until, --until-ms and --count go with --replay", false;
    if (!o.video.empty()) return error = "--video goes with --replay", false;
    if (o.autopilot) {
        if (o.segments.size() > 1 || std::any_of(args.begin(), args.end(), [](const std::string& a) {
                return a == "--mode" || a == "--pointer" || a == "--path" || a == "--click";
            }))
            return error = "--autopilot plays by itself: it does not go with --mode, --pointer, --path or --click", false;
        return true;
    }
    if (o.secondsPerMode != 30 || o.withCapture) return error = "--seconds-per-mode and --with-capture go with --autopilot", false;
    if (o.segments.empty() || o.segments.front().mode.empty())
        return error = "--mode is required; the modes are: " + modeWords(), false;
    return true;
}

namespace {

bool saveFrame(const Canvas& canvas, const RenderOptions& o, uint64_t passes, std::ostream& err)
{
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05llu.png", static_cast<unsigned long long>(passes));
    std::string error;
    if (savePng(canvas, o.everyDir + name, error)) return true;
    err << "tambrel-render: cannot write '" << o.everyDir << name << "': " << error << "\n";
    return false;
}

// A stretch of the session as a clip, through the encoder its name asks for.
int runVideo(const RenderOptions& o, const Session& session, std::ostream& err)
{
    const uint32_t end = session.durationMs;
    ClipSpan span{static_cast<uint32_t>(std::llround(o.fromSeconds * 1000)),
                  o.toSeconds < 0 ? end : static_cast<uint32_t>(std::llround(o.toSeconds * 1000))};
    if (o.lastSeconds >= 0) span = {end - std::min<uint32_t>(end, static_cast<uint32_t>(std::llround(o.lastSeconds * 1000))), end};
    if (span.toMs > end) { // what was made is said: the session ends there
        std::fprintf(stderr, "tambrel-render: the session ends at %.3f s: the clip ends there\n", end / 1000.0);
        span.toMs = end;
    }
    if (span.toMs <= span.fromMs) {
        err << "tambrel-render: --from " << o.fromSeconds << " is not before the end of the clip (" << span.toMs / 1000.0
            << " s)\n";
        return 2;
    }
    ClipFormat format = ClipFormat::WebP;
    clipFormatFor(o.video, format);
    std::string error;
    auto encoder = ClipEncoder::open(o.video, format, span.toMs - span.fromMs, error);
    if (!encoder) {
        err << "tambrel-render: " << error << "\n";
        return 2;
    }
    int shown = -1;
    auto progress = [&](double done) {
        const int percent = static_cast<int>(done * 100);
        if (o.progress && percent != shown) std::fprintf(stderr, "\rtambrel-render: %s %3d %%", o.video.c_str(), shown = percent);
        return true;
    };
    const bool ok = renderClip(session, span, *encoder, error, nullptr, nullptr, progress) && encoder->finish(error);
    if (o.progress) std::fprintf(stderr, "\n");
    if (!ok) {
        err << "tambrel-render: " << (encoder->error().empty() ? error : encoder->error()) << "\n";
        return 2;
    }
    return 0;
}

// The session's passes and commands, with their pointer readings and
// screen pictures, into a fresh program.
int runReplay(const RenderOptions& o, std::ostream& err)
{
    Session session;
    std::string error;
    if (!readSessionFile(o.replay, session, error)) {
        err << "tambrel-render: " << o.replay << ": " << error << "\n";
        return 2;
    }
    if (!o.video.empty()) return runVideo(o, session, err);
    MemoryPlatform platform;
    MemoryDialogView view;
    Program program(platform, view);
    SessionReplay replay(program, std::move(session));
    replay.begin();
    const uint64_t until = o.until >= 0 ? static_cast<uint64_t>(o.until) : UINT64_MAX;
    SessionReplay::Step step = SessionReplay::Step::Ran;
    const uint32_t untilMs = o.untilMs >= 0 ? static_cast<uint32_t>(o.untilMs) : UINT32_MAX;
    while (replay.passesRun() < until && !replay.ended() && replay.nextTimeMs() <= untilMs) {
        const uint64_t before = replay.passesRun();
        if ((step = replay.step()) != SessionReplay::Step::Ran) break;
        const uint64_t passes = replay.passesRun();
        if (o.every > 0 && passes != before && passes % static_cast<uint64_t>(o.every) == 0 &&
            !saveFrame(program.canvas, o, passes, err))
            return 2;
    }
    if (step == SessionReplay::Step::Failed) {
        err << "tambrel-render: " << o.replay << ": " << replay.error() << "\n";
        return 2;
    }
    if (o.count) std::printf("%llu passes in %.3f s\n", static_cast<unsigned long long>(replay.passesRun()), replay.nextTimeMs() / 1000.0);
    if (!o.out.empty() && !savePng(program.canvas, o.out, error)) {
        err << "tambrel-render: cannot write '" << o.out << "': " << error << "\n";
        return 2;
    }
    return 0;
}

} // namespace

int runRender(RenderOptions o, std::ostream& err)
{
    if (!o.everyDir.empty() && !QDir().mkpath(QString::fromStdString(o.everyDir))) {
        err << "tambrel-render: cannot create '" << o.everyDir << "'\n";
        return 2;
    }
    if (!o.replay.empty()) return runReplay(o, err);

    MemoryPlatform platform;
    MemoryDialogView view;
    Program program(platform, view);

    if (!o.captureImage.empty()) {
        QImage picture;
        if (!picture.load(QString::fromStdString(o.captureImage))) {
            err << "tambrel-render: cannot read the capture image '" << o.captureImage << "'\n";
            return 2;
        }
        platform.setScreen(imageFromQImage(picture));
    }
    // The run keeps its own clock: a pass every 10 ms.
    uint32_t clock = 0;
    program.recorder().setClock([&clock] { return clock; });
    if (!o.seed) o.seed = Rnd::clockSeed();
    program.rnd.setState(*o.seed);
    program.buildMainWindow();
    uint64_t passes = 0;
    if (o.autopilot) {
        // The hand's moves go in as a person's: the pointer first, so that a
        // mode switched on sees where it is, then its press and its click.
        Autopilot pilot({*o.seed, static_cast<uint32_t>(o.secondsPerMode), o.withCapture});
        for (int pass = 0; pass < o.segments.front().frames; ++pass) {
            const Autopilot::Move move = pilot.next(clock);
            platform.setCanvasMouse(move.x, move.y);
            giveMove(program, move);
            program.frameLoop().pass();
            clock += kHeadlessPassMs;
            ++passes;
            if (o.every > 0 && passes % static_cast<uint64_t>(o.every) == 0 && !saveFrame(program.canvas, o, passes, err))
                return 2;
        }
        o.segments.clear();
    }
    for (RenderSegment& seg : o.segments) {
        auto pointerAt = [&](int pass) {
            if (seg.path.empty()) return seg.pointer;
            return seg.path[std::min(static_cast<size_t>(pass), seg.path.size() - 1)];
        };
        auto clickAfter = [&](int done) {
            for (int k : seg.clicks)
                if (k == done) program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
        };
        std::sort(seg.clicks.begin(), seg.clicks.end());
        const int index = modeIndexForWord(seg.mode);
        platform.setCanvasMouse(pointerAt(0).first, pointerAt(0).second);
        program.onDialogEvent({DialogMessage::Command, kModeTable[static_cast<size_t>(index)].buttonId, kClicked, false});
        for (int pass = 0; pass < seg.frames; ++pass) {
            platform.setCanvasMouse(pointerAt(pass).first, pointerAt(pass).second);
            clickAfter(pass);
            program.frameLoop().pass();
            clock += kHeadlessPassMs;
            ++passes;
            if (o.every > 0 && passes % static_cast<uint64_t>(o.every) == 0 && !saveFrame(program.canvas, o, passes, err))
                return 2;
        }
        // Clicks after the last pass still land, at the last pointer.
        for (int k : seg.clicks)
            if (k >= seg.frames) program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
    }
    if (!o.saveSession.empty()) {
        std::string error;
        if (!writeWholeFile(o.saveSession, program.sessionFile(), error)) {
            err << "tambrel-render: cannot write '" << o.saveSession << "': " << error << "\n";
            return 2;
        }
    }

    std::string error;
    if (!o.out.empty() && !savePng(program.canvas, o.out, error)) {
        err << "tambrel-render: cannot write '" << o.out << "': " << error << "\n";
        return 2;
    }
    return 0;
}

} // namespace tambrel
