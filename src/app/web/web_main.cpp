// SPDX-License-Identifier: MIT
// Tambrel in a web page: the window-free program behind a handful of
// functions the page calls. The page owns the controls and the scheduler
// (page/tambrel.js); this file is the Platform and DialogView it needs.

#include "app/about.h"
#include "app/autopilot.h"
#include "app/clip.h"
#include "app/layout.h"
#include "app/mode_table.h"
#include "app/program.h"
#include "app/replay_control.h"
#include "app/session.h"
#include "app/web/web_platform.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>

namespace {

// The window's controls live in the page; each call goes to its view object.
// clang-format off
EM_JS(void, jsSetTitle, (const char* title), { Module.view.setTitle(UTF8ToString(title)); });
EM_JS(void, jsSetCaption, (int id, const char* caption), { Module.view.setCaption(id, UTF8ToString(caption)); });
EM_JS(void, jsSetFont, (int id, int font), { Module.view.setFont(id, font); });
EM_JS(void, jsSetEnabled, (int id, int enabled), { Module.view.setEnabled(id, enabled != 0); });
EM_JS(int, jsFocusedControl, (), { return Module.view.focusedControl(); });
EM_JS(void, jsSetFocus, (int id), { Module.view.setFocus(id); });
EM_JS(void, jsSetPointer, (int id, int hidden), { Module.view.setPointer(id, hidden != 0); });
// clang-format on

class WebDialogView : public tambrel::DialogView {
public:
    void setTitle(const std::string& title) override { jsSetTitle(title.c_str()); }
    void setButtonCaption(int id, const std::string& caption) override { jsSetCaption(id, caption.c_str()); }
    void setButtonFont(int id, tambrel::ButtonFont font) override { jsSetFont(id, static_cast<int>(font)); }
    void setButtonEnabled(int id, bool enabled) override { jsSetEnabled(id, enabled); }
    int focusedControl() override { return jsFocusedControl(); }
    void setFocusedControl(int id) override { jsSetFocus(id); }
    void setPointerShape(int id, tambrel::PointerShape shape) override
    {
        jsSetPointer(id, shape == tambrel::PointerShape::Hidden);
    }
    void releaseFonts() override {}
};

// The picture a clip's step handed over, for the page to encode before the
// next step: on the clips' 20 ms grid, as the desktop's MP4 holds it, from
// the first tick it shows at until the first it no longer does. A copy: the
// step goes on to the next picture in the buffer it handed over.
struct ClipFrame : tambrel::FrameSink {
    std::vector<uint32_t> pixels;
    uint32_t fromMs = 0, untilMs = 0;
    bool seen = false; // false: it showed between two ticks only
    bool frame(const uint32_t* p, uint32_t from, uint32_t until) override
    {
        const uint32_t first = tambrel::gridTick(from), last = tambrel::gridTick(until);
        pixels.assign(p, p + tambrel::Canvas::kWidth * tambrel::Canvas::kHeight);
        fromMs = first * tambrel::kClipTickMs, untilMs = last * tambrel::kClipTickMs;
        seen = first < last;
        return true;
    }
};

struct WebApp {
    tambrel::WebPlatform platform;
    WebDialogView view;
    tambrel::Program program{platform, view};
    std::vector<uint32_t> rgba; // the surface as the page's ImageData wants it
    tambrel::Image screen;      // filled by the page before a capture
    // Sessions: the bytes handed to the page, and those it hands in (a
    // file's header, then its records inflated by the browser).
    std::vector<uint8_t> out, in;
    size_t outHeader = 0;
    std::unique_ptr<tambrel::ReplayControl> replay;
    std::unique_ptr<tambrel::ClipRun> clip;
    uint32_t clipToMs = 0; // where the clip ends, in the session's time
    ClipFrame clipFrame;
    std::unique_ptr<tambrel::Autopilot> pilot; // the hand, while the page plays by itself
    std::string error;
};

std::unique_ptr<WebApp> app;

int command(tambrel::DialogMessage message, int id = tambrel::kNoControl, int code = 0, bool active = false)
{
    return app->program.onDialogEvent({message, id, code, active});
}

} // namespace

extern "C" {

// The layout the page builds its controls from, as JSON.
EMSCRIPTEN_KEEPALIVE const char* tambrel_layout()
{
    namespace L = tambrel::layout;
    static std::string json;
    auto rect = [](const L::Rect& r) {
        return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.width) + "," +
               std::to_string(r.height) + "]";
    };
    json = "{\"client\":[" + std::to_string(L::kClientWidth) + "," + std::to_string(L::kClientHeight) +
           "],\"canvas\":" + rect(L::kCanvas) + ",\"frame\":" + std::to_string(L::kCanvasFrame) +
           ",\"surface\":[" + std::to_string(tambrel::Canvas::kWidth) + "," + std::to_string(tambrel::Canvas::kHeight) +
           "],\"fontPoints\":" + std::to_string(L::kFontPoints) + ",\"fonts\":[";
    for (size_t i = 0; i < L::kFontFamilies.size(); ++i)
        json += (i ? ",\"" : "\"") + std::string(L::kFontFamilies[i]) + "\"";
    json += "],\"buttons\":[";
    bool first = true;
    for (int n = 0; n < L::kButtonSlots; ++n) {
        const int id = L::buttonId(n);
        if (id == tambrel::kEmptySlotId) continue;
        json += (first ? "" : ",") + std::string("{\"id\":") + std::to_string(id) + ",\"rect\":" + rect(L::buttonRect(id)) + "}";
        first = false;
    }
    json += "]}";
    return json.c_str();
}

// Start-up: the generator's state (the time of day unless the page has a
// seed), then the window's builder steps with every caption final.
EMSCRIPTEN_KEEPALIVE void tambrel_start(uint32_t seed, int hasSeed)
{
    app = std::make_unique<WebApp>();
    app->program.rnd.setState(hasSeed ? seed : tambrel::Rnd::clockSeed());
    app->program.buildMainWindow();
}

EMSCRIPTEN_KEEPALIVE void tambrel_command(int id, int code) { command(tambrel::DialogMessage::Command, id, code); }
EMSCRIPTEN_KEEPALIVE void tambrel_set_cursor(int id) { command(tambrel::DialogMessage::SetCursor, id); }
EMSCRIPTEN_KEEPALIVE void tambrel_activate(int active) { command(tambrel::DialogMessage::NcActivate, 0, 0, active != 0); }
EMSCRIPTEN_KEEPALIVE void tambrel_close() { command(tambrel::DialogMessage::Destroy); }
EMSCRIPTEN_KEEPALIVE void tambrel_pointer(int clientX, int clientY) { app->platform.setPointer(clientX, clientY); }
// One pass; 0 when no mode is on, so the page can stop running passes
// until a command comes.
EMSCRIPTEN_KEEPALIVE int tambrel_pass() { return app->program.frameLoop().pass(); }
EMSCRIPTEN_KEEPALIVE int tambrel_take_pause() { return app->platform.takePause(); }
EMSCRIPTEN_KEEPALIVE int tambrel_take_redraw() { return app->platform.takeRedraw(); }
EMSCRIPTEN_KEEPALIVE int tambrel_mode_on() { return app->program.modeOn(); }
EMSCRIPTEN_KEEPALIVE const uint32_t* tambrel_pixels() { return app->program.canvas.pixels(); }

// The surface as RGBA bytes with opaque alpha, for the page's ImageData.
EMSCRIPTEN_KEEPALIVE const uint32_t* tambrel_rgba()
{
    const uint32_t* p = app->program.canvas.pixels();
    const size_t n = static_cast<size_t>(tambrel::Canvas::kWidth) * tambrel::Canvas::kHeight;
    app->rgba.resize(n);
    for (size_t i = 0; i < n; ++i) app->rgba[i] = p[i] | 0xFF000000u; // 0x00BBGGRR is R, G, B, 0 in memory
    return app->rgba.data();
}

// A screen picture of w x h pixels for the next capture: the page writes
// its RGBA bytes into the returned buffer, then calls tambrel_screen_ready.
// w or h of 0 (or too large) means no picture.
EMSCRIPTEN_KEEPALIVE uint32_t* tambrel_screen_buffer(int w, int h)
{
    constexpr int kMaxSide = 16384;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) {
        app->screen = {};
        return nullptr;
    }
    app->screen = tambrel::Image(w, h);
    return app->screen.pixels.data();
}

EMSCRIPTEN_KEEPALIVE void tambrel_screen_ready(int ok)
{
    if (!ok || app->screen.pixels.empty()) {
        app->platform.setScreen(std::nullopt);
        return;
    }
    for (uint32_t& v : app->screen.pixels) v &= 0xFFFFFFu; // RGBA bytes read as 0xAABBGGRR
    app->platform.setScreen(std::move(app->screen));
    app->screen = {};
}

// The session so far, for the page to keep: the file's header followed by
// its records as they are; the page compresses the records (the browser's
// deflate stream) and puts the header before them.
EMSCRIPTEN_KEEPALIVE const uint8_t* tambrel_session()
{
    const tambrel::SessionHeader header = app->program.recorder().header();
    app->out = tambrel::encodeHeader(header);
    app->outHeader = app->out.size();
    const std::vector<uint8_t> records = app->program.sessionRecords();
    app->out.insert(app->out.end(), records.begin(), records.end());
    return app->out.data();
}
EMSCRIPTEN_KEEPALIVE int tambrel_session_header_size() { return static_cast<int>(app->outHeader); }
EMSCRIPTEN_KEEPALIVE int tambrel_session_size() { return static_cast<int>(app->out.size()); }
EMSCRIPTEN_KEEPALIVE int tambrel_session_has_screen() { return app->program.recorder().holdsScreenPictures() ? 1 : 0; }

// A buffer of n bytes for the page to write a session into.
EMSCRIPTEN_KEEPALIVE uint8_t* tambrel_session_in(int n)
{
    app->in.assign(static_cast<size_t>(std::max(0, n)), 0);
    return app->in.data();
}
// The length of the header at the start of the file in the buffer, or -1
// when it is not a session's (see tambrel_error).
EMSCRIPTEN_KEEPALIVE int tambrel_session_header_length()
{
    tambrel::SessionHeader header;
    size_t used = 0;
    if (!tambrel::decodeHeader(app->in, header, used, app->error)) return -1;
    return static_cast<int>(used);
}
// Replays the session in the buffer (its header, then its records as they
// are, `headerBytes` long) from `atMs`, `nowMs` being the page's clock: 0,
// or -1 with the reader's reason, the running session left as it was.
EMSCRIPTEN_KEEPALIVE int tambrel_replay(int headerBytes, double atMs, double nowMs)
{
    tambrel::Session session;
    size_t used = 0;
    // The records are taken from the buffer, not copied: the largest session
    // is in memory once, and the buffer's memory is free again after it.
    std::vector<uint8_t> records = std::move(app->in);
    app->in = {};
    if (headerBytes < 0 || static_cast<size_t>(headerBytes) > records.size() ||
        !tambrel::decodeHeader(std::span(records).first(static_cast<size_t>(headerBytes)), session.header, used, app->error))
        return -1;
    records.erase(records.begin(), records.begin() + headerBytes);
    if (!tambrel::checkRecords(std::move(records), session, app->error)) return -1;
    if (app->replay) app->replay->finish();
    app->replay = std::make_unique<tambrel::ReplayControl>(app->program, std::move(session), "", false);
    app->replay->start(static_cast<uint32_t>(std::clamp(atMs, 0.0, 4294967295.0)), nowMs);
    return 0;
}

namespace {
// 0 while the replay goes on; at its end (1) or when it stopped (2, see
// tambrel_error) the program is the user's from there.
int replayGoesOn(tambrel::SessionReplay::Step step)
{
    if (step == tambrel::SessionReplay::Step::Ran) return 0;
    if (step == tambrel::SessionReplay::Step::Failed) app->error = app->replay->error();
    app->replay->finish();
    app->replay.reset();
    return step == tambrel::SessionReplay::Step::Ended ? 1 : 2;
}
} // namespace

// The replay's steps whose time has come at `nowMs` (or a slice of a seek's
// way), then the copies for seeking for up to `copyMs`: 0, 1 or 2 as
// replayGoesOn says.
EMSCRIPTEN_KEEPALIVE int tambrel_replay_step(double nowMs, double copyMs)
{
    if (!app->replay) return 1;
    const int goesOn = replayGoesOn(app->replay->tick(nowMs));
    if (goesOn == 0 && copyMs > 0 && !app->replay->seeking()) app->replay->buildCopies(copyMs);
    return goesOn;
}
// Goes there in slices of the following frames (tambrel_replay_step).
EMSCRIPTEN_KEEPALIVE void tambrel_replay_seek(double ms, double nowMs)
{
    if (app->replay) app->replay->seek(static_cast<uint32_t>(std::clamp(ms, 0.0, 4294967295.0)), nowMs);
}
EMSCRIPTEN_KEEPALIVE void tambrel_replay_pause(int paused, double nowMs)
{
    if (app->replay) app->replay->setPaused(paused != 0, nowMs);
}
EMSCRIPTEN_KEEPALIVE void tambrel_replay_speed(double speed, double nowMs)
{
    if (app->replay) app->replay->setSpeed(speed, nowMs);
}
EMSCRIPTEN_KEEPALIVE void tambrel_replay_step_speed(int by, double nowMs)
{
    if (app->replay) app->replay->stepSpeed(by, nowMs);
}
// The speeds a replay can take (0: as fast as it goes), and their names.
EMSCRIPTEN_KEEPALIVE int tambrel_replay_speed_count() { return static_cast<int>(std::size(tambrel::ReplayControl::kSpeeds)); }
EMSCRIPTEN_KEEPALIVE double tambrel_replay_speed_at(int i) { return tambrel::ReplayControl::kSpeeds[static_cast<size_t>(i)]; }
EMSCRIPTEN_KEEPALIVE const char* tambrel_replay_speed_label(int i)
{
    static std::string label;
    label = tambrel::ReplayControl::speedLabel(tambrel::ReplayControl::kSpeeds[static_cast<size_t>(i)]);
    return label.c_str();
}
// The replay as its bar shows it: position (a seek's target while it goes
// there), duration, copies' reach (ms), speed, paused, seeking, how far the
// seek has come; then the times of its mode switches.
EMSCRIPTEN_KEEPALIVE const double* tambrel_replay_info()
{
    static std::vector<double> info;
    info.clear();
    if (!app->replay) return nullptr;
    const tambrel::ReplayControl& r = *app->replay;
    info = {double(r.shownMs()), double(r.durationMs()), double(r.copiesReachMs()), r.speed(), r.paused() ? 1.0 : 0.0,
            r.seeking() ? 1.0 : 0.0, double(r.seekReachMs()), double(r.switches().size())};
    for (uint32_t t : r.switches()) info.push_back(t);
    return info.data();
}
// Play by Itself: a hand of the program's own, its moves given before the
// passes as a visitor's would be, until the visitor takes over.
EMSCRIPTEN_KEEPALIVE void tambrel_play(uint32_t seed, int secondsPerMode)
{
    app->pilot = std::make_unique<tambrel::Autopilot>(
        tambrel::Autopilot::Settings{seed, static_cast<uint32_t>(std::max(1, secondsPerMode)), false});
}
EMSCRIPTEN_KEEPALIVE void tambrel_stop_playing() { app->pilot.reset(); }
// The hand's move at `nowMs` of its play: the pointer first, then its press
// and its click. 1 when it pressed or clicked (a command came), else 0.
EMSCRIPTEN_KEEPALIVE int tambrel_play_step(double nowMs)
{
    if (!app->pilot) return 0;
    namespace L = tambrel::layout;
    const tambrel::Autopilot::Move move = app->pilot->next(static_cast<uint32_t>(std::max(0.0, nowMs)));
    app->platform.setPointer(L::kCanvas.left + L::kCanvasFrame + move.x, L::kCanvas.top + L::kCanvasFrame + move.y);
    tambrel::giveMove(app->program, move);
    return move.press || move.click ? 1 : 0;
}
// A press or click of the visitor's own ends a replay.
EMSCRIPTEN_KEEPALIVE void tambrel_take_over()
{
    if (!app->replay) return;
    app->replay->finish();
    app->replay.reset();
}
// Save Clip: the last `seconds` of the session rendered again, a picture
// per call of tambrel_clip_next, so that the page goes on between them.
// Returns the clip's length in milliseconds, or -1 (see tambrel_error).
EMSCRIPTEN_KEEPALIVE int tambrel_clip_begin(int seconds)
{
    app->clip.reset();
    const uint32_t to = app->program.recorder().nowMs();
    const uint32_t want = static_cast<uint32_t>(std::clamp(seconds, 1, static_cast<int>(tambrel::Checkpoints::kLongestClipMs / 1000))) * 1000;
    const uint32_t from = to > want ? to - want : 0;
    if (from >= to) {
        app->error = "nothing has happened yet to make a clip of";
        return -1;
    }
    tambrel::Session session;
    if (!app->program.currentSession(session, app->error)) return -1;
    auto start = std::make_unique<tambrel::ProgramState>();
    tambrel::RecordMark mark;
    uint32_t taken = 0;
    const bool fromCheckpoint = app->program.copyCheckpoint(from, *start, mark, taken);
    app->clipToMs = to;
    app->clip = std::make_unique<tambrel::ClipRun>(session, tambrel::ClipSpan{from, to},
                                                   fromCheckpoint ? start.get() : nullptr, fromCheckpoint ? &mark : nullptr);
    return static_cast<int>(to - from);
}
// 1: a picture is ready (tambrel_clip_pixels, shown from tambrel_clip_from
// until tambrel_clip_until, in the clip's milliseconds on its 20 ms grid);
// 3: a picture that showed between two ticks only (the page ends the clip
// on it when it is the last); 0: replayed on without one; 2: the clip is
// complete; -1: it failed (see tambrel_error).
EMSCRIPTEN_KEEPALIVE int tambrel_clip_next()
{
    if (!app->clip) return 2;
    switch (app->clip->next(app->clipFrame)) {
    case tambrel::ClipRun::Next::Frame: return app->clipFrame.seen ? 1 : 3;
    case tambrel::ClipRun::Next::Before: return 0;
    case tambrel::ClipRun::Next::Done: app->clip.reset(); return 2;
    case tambrel::ClipRun::Next::Failed: break;
    }
    app->error = app->clip->error();
    app->clip.reset();
    return -1;
}
EMSCRIPTEN_KEEPALIVE const uint32_t* tambrel_clip_pixels() { return app->clipFrame.pixels.data(); }
EMSCRIPTEN_KEEPALIVE int tambrel_clip_from() { return static_cast<int>(app->clipFrame.fromMs); }
EMSCRIPTEN_KEEPALIVE int tambrel_clip_until() { return static_cast<int>(app->clipFrame.untilMs); }
EMSCRIPTEN_KEEPALIVE uint32_t tambrel_clip_to() { return app->clipToMs; }
EMSCRIPTEN_KEEPALIVE void tambrel_clip_cancel() { app->clip.reset(); }
// As far back as the program keeps checkpoints for.
EMSCRIPTEN_KEEPALIVE int tambrel_longest_clip_seconds() { return static_cast<int>(tambrel::Checkpoints::kLongestClipMs / 1000); }

EMSCRIPTEN_KEEPALIVE const char* tambrel_error() { return app->error.c_str(); }
// The program's version, which the page names beside its links.
EMSCRIPTEN_KEEPALIVE const char* tambrel_version() { return TAMBREL_VERSION; }
// What a button does, for its tooltip.
EMSCRIPTEN_KEEPALIVE const char* tambrel_button_hint(int id)
{
    static std::string hint;
    hint = tambrel::buttonHint(id);
    return hint.c_str();
}
// What Tambrel says about itself, as the desktop's About box does.
EMSCRIPTEN_KEEPALIVE const char* tambrel_about()
{
    static const std::string text = tambrel::aboutText(true, true, true);
    return text.c_str();
}
EMSCRIPTEN_KEEPALIVE const char* tambrel_screen_notice() { return tambrel::kScreenPictureNotice; }

// What a mode (an index into the mode table; -1 for none) shows and what a
// click does, for the line under the window and the canvas's description.
EMSCRIPTEN_KEEPALIVE const char* tambrel_mode_description(int mode, int waiting)
{
    static std::string words;
    const bool known = mode >= 0 && mode < tambrel::kModeCount;
    words = tambrel::canvasDescription(known ? &tambrel::kModeTable[static_cast<size_t>(mode)] : nullptr, waiting != 0);
    return words.c_str();
}
// What a saved picture says of itself, as the desktop's PNG does: lines of
// "Key\tValue".
EMSCRIPTEN_KEEPALIVE const char* tambrel_picture_text()
{
    static std::string text;
    text.clear();
    for (const auto& [key, value] : app->program.pictureText()) text += key + "\t" + value + "\n";
    return text.c_str();
}
// Whether the mode that is on waits for a click to draw anything.
EMSCRIPTEN_KEEPALIVE int tambrel_waiting_for_click() { return app->program.waitingForClick() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int tambrel_mode_count() { return tambrel::kModeCount; }

} // extern "C"
