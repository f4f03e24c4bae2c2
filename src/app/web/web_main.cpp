// SPDX-License-Identifier: MIT
// Tambrel in a web page: the window-free program behind a handful of
// functions the page calls. The page owns the controls and the scheduler
// (page/tambrel.js); this file is the Platform and DialogView it needs.

#include "app/layout.h"
#include "app/program.h"
#include "app/web/web_platform.h"

#include <emscripten/emscripten.h>

#include <memory>
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

struct WebApp {
    tambrel::WebPlatform platform;
    WebDialogView view;
    tambrel::Program program{platform, view};
    std::vector<uint32_t> rgba; // the surface as the page's ImageData wants it
    tambrel::Image screen;      // filled by the page before a capture
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

} // extern "C"
