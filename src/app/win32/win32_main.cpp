// SPDX-License-Identifier: MIT
// Tambrel on Windows: the window, its controls and its services on the
// Windows API itself, over the window-free program. The window is built from
// the layout table, its events go to onDialogEvent, its canvas shows the
// surface.

#include "app/files.h"
#include "app/layout.h"
#include "app/mode_table.h"
#include "app/pass_pauses.h"
#include "app/picture_handover.h"
#include "app/program.h"
#include "app/win32/keeping.h"
#include "app/win32/saver.h"
#include "app/win32/tracking_tip.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tambrel {
namespace {

constexpr UINT kPaintMessage = WM_APP + 1; // a picture has been handed over
constexpr UINT_PTR kWaitTimer = 0x7A03;      // whether the mode that is on still waits for a click
constexpr wchar_t kClassName[] = L"TambrelMainDialog";

// 0x00BBGGRR <-> 0x00RRGGBB (what device-independent bitmaps hold).
inline uint32_t swapRedBlue(uint32_t v) { return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF); }

// The whole virtual screen through GDI: the same on Windows and under Wine,
// and no clipboard involved.
std::optional<Image> grabScreen()
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0) return std::nullopt;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; // top-down rows
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::optional<Image> picture;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT)) {
            picture.emplace(w, h);
            const auto* src = static_cast<const uint32_t*>(bits);
            for (size_t i = 0; i < picture->pixels.size(); ++i) picture->pixels[i] = swapRedBlue(src[i]);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

class Win32Platform : public Platform {
public:
    HWND window = nullptr, canvas = nullptr;
    DWORD windowThread = GetCurrentThreadId();
    std::function<bool()> handOver; // the surface as the newest picture; true: tell the window
    PassPauses pauses;
    std::atomic<bool> minimised{false};

    // Where the canvas's picture lies in the client area, in device pixels,
    // and how many device pixels each surface pixel takes each way.
    std::atomic<int> pictureLeft{layout::kCanvas.left + layout::kCanvasFrame};
    std::atomic<int> pictureTop{layout::kCanvas.top + layout::kCanvasFrame};
    std::atomic<int> block{1};
    // While the program plays by itself the pointer is where its hand puts
    // it (surface pixels), not where the mouse is.
    std::atomic<bool> handOn{false};
    std::atomic<int> handX{0}, handY{0};

    // The pointer in the layout's client pixels, as the modes reckon with
    // them: the device pixel under it mapped back to the surface pixel it
    // shows, at any scale.
    void pointerClientPosition(int& x, int& y) override
    {
        if (handOn.load()) {
            x = handX.load() + layout::kCanvas.left + layout::kCanvasFrame;
            y = handY.load() + layout::kCanvas.top + layout::kCanvasFrame;
            return;
        }
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(window, &p);
        const int k = block.load();
        auto floorDiv = [k](int v) { return v >= 0 ? v / k : -((-v + k - 1) / k); };
        constexpr int surfaceLeft = layout::kCanvas.left + layout::kCanvasFrame, surfaceTop = layout::kCanvas.top + layout::kCanvasFrame;
        x = static_cast<int>(std::clamp<long long>(0LL + floorDiv(p.x - pictureLeft.load()) + surfaceLeft, INT_MIN, INT_MAX));
        y = static_cast<int>(std::clamp<long long>(0LL + floorDiv(p.y - pictureTop.load()) + surfaceTop, INT_MIN, INT_MAX));
    }
    // The picture is the window's once handed over; the animation thread goes
    // on to its pause at once, and the window presents it when it gets to it.
    void redraw() override
    {
        if (GetCurrentThreadId() == windowThread) {
            handOver();
            RedrawWindow(canvas, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            return;
        }
        if (minimised.load()) return; // nothing to show on: a restored window shows the surface as it is then
        if (handOver()) PostMessageW(window, kPaintMessage, 0, 0);
    }
    // A click reaction's pause on the window thread delays the next pass and
    // leaves the window answering; the animation thread's own pause is a sleep.
    void sleepMs(int ms) override
    {
        if (GetCurrentThreadId() == windowThread) pauses.postpone(ms);
        else pauses.sleep(ms);
    }
    // User input waits in the queue until the command under way has
    // finished, so no second mode can switch on during a capture.
    void doEvents(int ms) override
    {
        MSG m;
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
            Sleep(static_cast<DWORD>(ms));
        } else if (m.message == WM_QUIT) {
            // The window was closed during the wait: the quit belongs to the
            // message loop, which would otherwise wait for it forever.
            PostQuitMessage(static_cast<int>(m.wParam));
            Sleep(static_cast<DWORD>(ms));
        } else {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    // The capture's clipboard is the program's own: the user's is never touched.
    bool clearClipboard() override
    {
        m_snapshot.reset();
        return true;
    }
    void pressPrintScreen() override { m_snapshot = grabScreen(); }
    bool getClipboardImage(Image& out) override
    {
        if (!m_snapshot) return false;
        out = std::move(*m_snapshot);
        m_snapshot.reset();
        return out.width > 0 && out.height > 0;
    }

private:
    std::optional<Image> m_snapshot;
};

class Win32View : public DialogView {
public:
    HWND window = nullptr;
    HFONT dialogFont = nullptr, normalFont = nullptr, boldFont = nullptr;
    bool pointerHidden = false; // the last pointer shape the program asked for

    void setTitle(const std::string& title) override { SetWindowTextW(window, wide(title).c_str()); }
    void setButtonCaption(int id, const std::string& caption) override
    {
        SetWindowTextW(GetDlgItem(window, id), wide(caption).c_str());
    }
    void setButtonFont(int id, ButtonFont font) override
    {
        HFONT f = font == ButtonFont::Bold ? boldFont : font == ButtonFont::Normal ? normalFont : dialogFont;
        SendMessageW(GetDlgItem(window, id), WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    }
    void setButtonEnabled(int id, bool enabled) override { EnableWindow(GetDlgItem(window, id), enabled); }
    int focusedControl() override
    {
        HWND f = GetFocus();
        return f && GetParent(f) == window ? GetDlgCtrlID(f) : kNoControl;
    }
    void setFocusedControl(int id) override
    {
        if (HWND c = GetDlgItem(window, id)) SetFocus(c);
    }
    void setPointerShape(int, PointerShape shape) override { pointerHidden = shape == PointerShape::Hidden; }
    void releaseFonts() override
    {
        DeleteObject(boldFont);
        DeleteObject(normalFont);
        boldFont = normalFont = nullptr;
    }
};

// The window's dots per inch, and the layout's pixels at them.
struct Scale {
    int dpi = 96;
    int px(int v) const { return MulDiv(v, dpi, 96); }
};

struct App {
    Win32Platform platform;
    Win32View view;
    Program program{platform, view};
    PictureHandOver pictures; // the canvas's pictures, handed from the animation thread
    Scale scale;
    Keeping keeping{program};
    TrackingTip hint; // "click the canvas", below it, while the mode waits for a click

    App()
    {
        platform.handOver = [this] {
            std::lock_guard lock(program.stateLock); // a surface no pass is drawing on
            return pictures.handOver(program.canvas.pixels(), static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight);
        };
    }
};

// The canvas control, all drawn here at the window's scale: a flat border,
// a sunken edge, and the newest picture (the surface as it is now, for a
// paint the system asked for) in whole k x k blocks of device pixels,
// centred in the interior, the rest in the window's colour.
void drawCanvas(App& app, const DRAWITEMSTRUCT& item)
{
    const RECT r = item.rcItem;
    HDC dc = item.hDC;
    const int line = std::max(1, app.scale.px(1));
    auto band = [&](int l, int t, int rr, int b, int colour) {
        const RECT area{l, t, rr, b};
        FillRect(dc, &area, GetSysColorBrush(colour));
    };
    band(r.left, r.top, r.right, r.top + line, COLOR_WINDOWFRAME); // the flat border
    band(r.left, r.bottom - line, r.right, r.bottom, COLOR_WINDOWFRAME);
    band(r.left, r.top, r.left + line, r.bottom, COLOR_WINDOWFRAME);
    band(r.right - line, r.top, r.right, r.bottom, COLOR_WINDOWFRAME);
    band(r.left + line, r.top + line, r.right - line, r.top + 2 * line, COLOR_BTNSHADOW); // sunken: dark top-left,
    band(r.left + line, r.top + line, r.left + 2 * line, r.bottom - line, COLOR_BTNSHADOW);
    band(r.left + line, r.bottom - 2 * line, r.right - line, r.bottom - line, COLOR_BTNHIGHLIGHT); // light bottom-right
    band(r.right - 2 * line, r.top + line, r.right - line, r.bottom - line, COLOR_BTNHIGHLIGHT);

    if (!app.pictures.take() && app.platform.handOver()) app.pictures.take();
    const std::vector<uint32_t>& picture = app.pictures.shown();
    constexpr int w = Canvas::kWidth, h = Canvas::kHeight;
    if (picture.size() != static_cast<size_t>(w) * h) return;
    const RECT interior{r.left + 2 * line, r.top + 2 * line, r.right - 2 * line, r.bottom - 2 * line};
    const int k = app.platform.block.load();
    const int x = interior.left + (interior.right - interior.left - w * k) / 2;
    const int y = interior.top + (interior.bottom - interior.top - h * k) / 2;
    band(interior.left, interior.top, interior.right, y, COLOR_BTNFACE);
    band(interior.left, y + h * k, interior.right, interior.bottom, COLOR_BTNFACE);
    band(interior.left, y, x, y + h * k, COLOR_BTNFACE);
    band(x + w * k, y, interior.right, y + h * k, COLOR_BTNFACE);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    if (k == 1) {
        SetDIBitsToDevice(dc, x, y, w, h, 0, 0, 0, h, picture.data(), &info, DIB_RGB_COLORS);
    } else {
        SetStretchBltMode(dc, COLORONCOLOR); // whole blocks: every device pixel one surface pixel's colour
        StretchDIBits(dc, x, y, w * k, h * k, 0, 0, w, h, picture.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
}

HFONT makeFont(int weight, int dpi)
{
    const int height = -MulDiv(layout::kFontPoints, dpi, 72); // -11 pixels at 96 dots per inch
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// A function of user32 that older Windows lacks, or null.
template <typename Fn>
Fn user32Function(const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The window's dots per inch: its monitor's, where Windows says (10 and
// later, the program being aware of each monitor's), else the screen's.
int dpiFor(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow) return static_cast<int>(getDpiForWindow(window));
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The outer window for a client area of w x h at `dpi`.
SIZE outerSize(int w, int h, int dpi)
{
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = user32Function<AdjustFn>("AdjustWindowRectExForDpi");
    RECT outer{0, 0, w, h};
    if (adjust) adjust(&outer, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi));
    else AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

// The scale the layout is drawn at: the monitor's, or, where the window
// (with room for the replay bar) would not fit the monitor's work area at
// that, the largest whole scale that does (a 1280 x 1024 screen at 200 %
// cut off the buttons). Its frame stays at the monitor's own scaling.
int layoutDpi(HWND window, int dpi, const RECT* suggested)
{
    MONITORINFO monitor{sizeof monitor, {}, {}, 0};
    GetMonitorInfoW(suggested ? MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST) : MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT work = monitor.rcWork;
    auto fits = [&](int at) {
        const SIZE outer = outerSize(MulDiv(layout::kClientWidth, at, 96), MulDiv(layout::kClientHeight + ReplayBar::kHeight, at, 96), dpi);
        return outer.cx <= work.right - work.left && outer.cy <= work.bottom - work.top;
    };
    if (dpi <= 96 || fits(dpi)) return dpi;
    for (int k = (dpi - 1) / 96; k > 1; --k)
        if (fits(96 * k)) return 96 * k;
    return 96;
}

// Lays the window out at the monitor's `dpi`: the client area, the canvas
// and the buttons in the layout's pixels scaled, the fonts at 8 points, the
// canvas's blocks; the window centred on its work area, or where Windows
// suggests when it moved to a monitor with another scaling.
void layOut(App& app, HWND window, int monitorDpi, const RECT* suggested)
{
    const int dpi = layoutDpi(window, monitorDpi, suggested);
    app.scale.dpi = dpi;
    const Scale& s = app.scale;
    const HFONT oldDialog = app.view.dialogFont, oldNormal = app.view.normalFont, oldBold = app.view.boldFont;
    app.view.dialogFont = makeFont(FW_NORMAL, dpi);
    app.view.normalFont = makeFont(FW_NORMAL, dpi);
    app.view.boldFont = makeFont(FW_BOLD, dpi);
    const layout::Rect c = layout::kCanvas;
    SetWindowPos(app.platform.canvas, nullptr, s.px(c.left), s.px(c.top), s.px(c.width), s.px(c.height), SWP_NOZORDER | SWP_NOACTIVATE);
    for (int n = 0; n < layout::kButtonSlots; ++n) {
        const int id = layout::buttonId(n);
        HWND button = GetDlgItem(window, id);
        if (!button) continue;
        const layout::Rect b = layout::buttonRect(id);
        SetWindowPos(button, nullptr, s.px(b.left), s.px(b.top), s.px(b.width), s.px(b.height), SWP_NOZORDER | SWP_NOACTIVATE);
        // The same kind of font as before, at the new size.
        const auto had = reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0));
        const HFONT f = had && had == oldBold ? app.view.boldFont : had && had == oldNormal ? app.view.normalFont : app.view.dialogFont;
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    }
    for (HFONT f : {oldDialog, oldNormal, oldBold})
        if (f) DeleteObject(f);

    const int line = std::max(1, s.px(1));
    const int interiorW = s.px(c.width) - 4 * line, interiorH = s.px(c.height) - 4 * line;
    const int k = std::max(1, std::min(interiorW / Canvas::kWidth, interiorH / Canvas::kHeight));
    app.platform.block.store(k);
    app.platform.pictureLeft.store(s.px(c.left) + 2 * line + (interiorW - Canvas::kWidth * k) / 2);
    app.platform.pictureTop.store(s.px(c.top) + 2 * line + (interiorH - Canvas::kHeight * k) / 2);

    app.keeping.placeBar(dpi, app.view.dialogFont);
    const SIZE outer = outerSize(s.px(layout::kClientWidth), s.px(layout::kClientHeight + app.keeping.barHeight()), monitorDpi);
    if (suggested) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        MONITORINFO monitor{sizeof monitor, {}, {}, 0};
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT work = monitor.rcWork;
        // A window larger than the work area keeps its title bar on it.
        const int left = std::max<int>(work.left, (work.left + work.right - outer.cx) / 2);
        const int top = std::max<int>(work.top, (work.top + work.bottom - outer.cy) / 2);
        SetWindowPos(window, nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(window, nullptr, TRUE);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
    auto* app = reinterpret_cast<App*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!app) return DefWindowProcW(window, message, w, l);
    auto event = [&](DialogMessage m, int id = kNoControl, int code = 0, bool active = false) {
        return app->program.onDialogEvent({m, id, code, active});
    };
    switch (message) {
    case WM_SETCURSOR: {
        const auto under = reinterpret_cast<HWND>(w);
        if (under == window && LOWORD(l) != HTCLIENT) break; // the frame's own pointers
        event(DialogMessage::SetCursor, under == window ? kNoControl : GetDlgCtrlID(under));
        SetCursor(app->view.pointerHidden ? nullptr : LoadCursorW(nullptr, IDC_ARROW));
        return TRUE;
    }
    case WM_NCACTIVATE:
        event(DialogMessage::NcActivate, kNoControl, 0, w != FALSE);
        break;
    case WM_COMMAND:
        if (app->keeping.onCommand(LOWORD(w), HIWORD(w))) return 0; // a shortcut, the canvas's menu or the replay bar
        // A press or click of the user's own ends a replay. Enter and Escape
        // arrive as IDOK and IDCANCEL: no control has those ids.
        if (LOWORD(w) >= kCanvasId && LOWORD(w) <= kClearScreenId) {
            app->keeping.stopPlaying();
            app->keeping.takeOver();
        }
        event(DialogMessage::Command, LOWORD(w), HIWORD(w));
        return 0;
    case WM_SYSCOMMAND:
        if (app->keeping.onCommand(static_cast<UINT>(w & 0xFFF0))) return 0; // the entries added to the system menu
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(w) == app->platform.canvas) {
            POINT at{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
            if (l == -1) { // from the keyboard: under the canvas's top-left corner
                at = {0, 0};
                ClientToScreen(app->platform.canvas, &at);
            }
            app->keeping.showContextMenu(at.x, at.y);
            return 0;
        }
        break;
    case WM_HSCROLL:
        if (app->keeping.onScroll(reinterpret_cast<HWND>(l), LOWORD(w))) return 0;
        break;
    case WM_TIMER:
        if (w == kWaitTimer) {
            // While the mode that is on waits for a click to draw anything,
            // a tip below the canvas (never over its pixels) says to click.
            const int on = app->program.modeOn();
            const bool waiting = on >= 0 && IsWindowVisible(window) && !IsIconic(window) && app->program.waitingForClick();
            if (waiting) {
                RECT canvas{};
                GetWindowRect(app->platform.canvas, &canvas);
                app->hint.show(wide(std::string(kModeTable[static_cast<size_t>(on)].untilClicked)), canvas.left,
                               canvas.bottom + app->scale.px(2));
            } else {
                app->hint.hide();
            }
            return 0;
        }
        if (app->keeping.onTimer(w)) return 0;
        break;
    case WM_DRAWITEM:
        if (w == static_cast<WPARAM>(kCanvasId)) {
            drawCanvas(*app, *reinterpret_cast<const DRAWITEMSTRUCT*>(l));
            return TRUE;
        }
        break;
    case kPaintMessage:
        RedrawWindow(app->platform.canvas, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return 0;
    case WM_SIZE:
        app->platform.minimised.store(w == SIZE_MINIMIZED);
        break;
    case WM_DPICHANGED: // moved to a monitor with another scaling
        layOut(*app, window, LOWORD(w), reinterpret_cast<const RECT*>(l));
        return 0;
    case WM_CLOSE:
        app->keeping.beforeClose();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        event(DialogMessage::Destroy);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

} // namespace
} // namespace tambrel

namespace tambrel {
namespace {

constexpr int kBadArguments = 2;
// --record's file lacks the end of the run: the last write failed.
constexpr int kRecordingLost = 3;

constexpr char kUsage[] =
    "Usage: tambrel [options] [FILE]\n"
    "Fourteen interactive animations steered by the mouse.\n\n"
    "  --record FILE   Write the session to FILE as it goes (at least once a second), so that it can be replayed bit for bit.\n"
    "  --replay FILE   Replay the session in FILE at its recorded pace; any press or click takes it over from where it is.\n"
    "  --at SECONDS    With a session to replay: start it at that time, in seconds from its start.\n"
    "  --autopilot     Play by itself until a press, a click or a key takes over.\n"
    "  --seed N        With --autopilot: the seed of the run and of its hand, to repeat a show.\n"
    "  --help, -h, /?  Show this help and exit.\n"
    "  FILE            Replay the session in FILE, as --replay FILE does.\n"
    "  --version       Show the version and exit.\n"
    "  /s, /p HWND, /c As the screensaver (tambrel.scr): full screen, in the settings' preview, or its settings.\n";

// What the command line asks for.
struct Options {
    std::wstring record, replay, at, seed;
    bool help = false, version = false, autopilot = false;
};

// Said on the error stream for a console, and in a message box for everyone
// else (a program started from a shortcut has no console).
void say(const std::string& text, UINT icon)
{
    std::fprintf(icon == MB_ICONERROR ? stderr : stdout, "%s\n", text.c_str());
    MessageBoxW(nullptr, wide(text).c_str(), L"Tambrel", MB_OK | icon);
}

// A problem before the window opens.
int refuse(const std::string& problem)
{
    say("tambrel: " + problem + ".", MB_ICONERROR);
    return kBadArguments;
}

bool parseOptions(Options& options, std::string& problem)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return true;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--help" || a == L"-h" || a == L"/?") {
            options.help = true;
            continue;
        }
        if (a == L"--version") {
            options.version = true;
            continue;
        }
        if (a == L"--autopilot") {
            options.autopilot = true;
            continue;
        }
        if (!a.empty() && a[0] != L'-' && a != L"/?") { // a session named alone, as Explorer opens one
            if (!options.replay.empty()) ok = false, problem = "unexpected argument " + narrow(a) + " (one session at most)";
            else options.replay = a;
            continue;
        }
        std::wstring* value = a == L"--record" ? &options.record : a == L"--replay" ? &options.replay : a == L"--at" ? &options.at
                              : a == L"--seed" ? &options.seed : nullptr;
        if (!value) ok = false, problem = "unknown option " + narrow(a) + " (see tambrel --help)";
        else if (!value->empty()) ok = false, problem = narrow(a) + " is given twice";
        else if (i + 1 >= argc || argv[i + 1][0] == L'\0' || std::wstring_view(argv[i + 1]).starts_with(L"--"))
            ok = false, problem = narrow(a) + (a == L"--at" ? " needs a time in seconds" : a == L"--seed" ? " needs a number" : " needs a file");
        else *value = argv[++i];
    }
    LocalFree(argv);
    return ok;
}

} // namespace
} // namespace tambrel

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    using namespace tambrel;
    std::string problem;
    // Named tambrel.scr, or asked with /s, /p or /c, it is the screensaver.
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const bool scr = length > 4 && _wcsicmp(self + length - 4, L".scr") == 0;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::optional<SaverCommand> saver = argv ? saverCommand(argc, argv, scr, problem) : std::nullopt;
    if (argv) LocalFree(argv);
    if (saver) return problem.empty() ? runSaver(instance, *saver) : refuse(problem);
    Options options;
    if (!parseOptions(options, problem)) return refuse(problem);
    if (options.help) return say(kUsage, MB_ICONINFORMATION), 0;
    if (options.version) return say("tambrel " TAMBREL_VERSION, MB_ICONINFORMATION), 0;
    // A session to replay is read before anything opens: a file that is not
    // one ends the start with its reason.
    Session session;
    uint32_t atMs = 0;
    if (!options.at.empty()) {
        wchar_t* end = nullptr;
        const double seconds = std::wcstod(options.at.c_str(), &end);
        if (options.replay.empty()) return refuse("--at goes with a session to replay");
        if (*end || !(seconds >= 0 && seconds * 1000 <= UINT32_MAX))
            return refuse("--at takes seconds of the session, not " + narrow(options.at));
        atMs = static_cast<uint32_t>(seconds * 1000);
    }
    if (!options.replay.empty()) {
        if (!readSessionFile(narrow(options.replay), session, problem))
            return refuse("cannot replay " + narrow(options.replay) + ": " + problem);
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE); // the picture encoder and the file dialogs
    INITCOMMONCONTROLSEX controls{sizeof controls, 0x9FF};
    if (!InitCommonControlsEx(&controls)) InitCommonControls();
    uint32_t seed = Rnd::clockSeed(); // the only seeding of the run
    if (!options.seed.empty()) {
        wchar_t* end = nullptr;
        const unsigned long long n = std::wcstoull(options.seed.c_str(), &end, 10);
        if (!options.autopilot) return refuse("--seed goes with --autopilot");
        if (*end || options.seed[0] == L'-' || n > UINT32_MAX) return refuse("--seed takes 0 to 4294967295, not " + narrow(options.seed));
        seed = static_cast<uint32_t>(n);
    }
    if (options.autopilot && !options.replay.empty()) return refuse("--autopilot does not go with a session to replay");

    // Passes of 10 ms need the system's timer at 1 ms: by default Windows
    // wakes a sleeper on its 15.6 ms tick only, and every animation would
    // run a third slower.
    timeBeginPeriod(1);
    App app;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    // A fixed dialog frame with a caption, a system menu and a minimise box;
    // its controls are placed, and the window sized and centred, by layOut
    // at the window's own scale.
    HWND window = CreateWindowExW(kExStyle, kClassName, L"Tambrel", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  layout::kClientWidth, layout::kClientHeight, nullptr, nullptr, instance, &app);
    if (!window) return 1;
    app.view.window = app.platform.window = window;
    app.platform.canvas = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW, 0, 0, 0, 0,
                                          window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCanvasId)), instance, nullptr);
    for (int n = 0; n < layout::kButtonSlots; ++n) {
        const int id = layout::buttonId(n);
        if (id == kEmptySlotId) continue;
        CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    }
    app.keeping.attach(window); // its menu entries, keys and replay bar
    app.keeping.setHand([&app](std::optional<POINT> at) {
        if (at) {
            app.platform.handX.store(at->x);
            app.platform.handY.store(at->y);
        }
        app.platform.handOn.store(at.has_value());
    });
    layOut(app, window, dpiFor(window), nullptr);
    // Each button's tooltip: what its mode shows, and what a click does.
    HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance, nullptr);
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);
    for (int n = 0; n < layout::kButtonSlots; ++n) {
        const int id = layout::buttonId(n);
        if (id == kEmptySlotId) continue;
        std::wstring hint = wide(buttonHint(id));
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE; // understood by every version of the common controls
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, id));
        tool.lpszText = hint.data();
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    app.hint.create(window, -1); // one line, however long
    SetTimer(window, kWaitTimer, 200, nullptr);

    app.program.rnd.setState(seed);
    app.program.buildMainWindow(); // every caption final before the window shows
    app.program.startAnimation();
    if (!options.record.empty() && !app.keeping.recordTo(options.record, problem)) {
        DestroyWindow(window);
        app.program.finish();
        // The window's end posted a quit message, which would close the box
        // that says why at once.
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        return refuse("cannot write the session to " + narrow(options.record) + ": " + problem);
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(GetDlgItem(window, kFirstModeButtonId));
    if (!options.replay.empty()) {
        const size_t slash = options.replay.find_last_of(L"\\/");
        app.keeping.replay(std::move(session), slash == std::wstring::npos ? options.replay : options.replay.substr(slash + 1), atMs);
    }

    // Tab moves between the buttons, Space and Enter press the focused one.
    // The dialog manager makes a focused button the default one only once
    // the focus came by its own navigation, so Enter is given to the
    // focused button here, as it is from the start in the other editions.
    if (options.autopilot) app.keeping.playByItself(seed);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        // Any key takes over from the hand, but the one that starts and stops it.
        if ((m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) && m.wParam != VK_SHIFT && m.wParam != VK_CONTROL &&
            m.wParam != VK_MENU && !(m.wParam == 'P' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_SHIFT) < 0))
            app.keeping.stopPlaying();
        if (TranslateAcceleratorW(window, app.keeping.shortcuts(), &m)) continue;
        if (m.message == WM_KEYDOWN && m.wParam == VK_RETURN) {
            HWND focus = GetFocus();
            const int id = focus && GetParent(focus) == window ? GetDlgCtrlID(focus) : 0;
            if (id > kCanvasId && id <= kClearScreenId) {
                SendMessageW(focus, BM_CLICK, 0, 0);
                continue;
            }
        }
        if (IsDialogMessageW(window, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    app.program.finish(); // the thread ends at the top of its next pass
    const bool kept = app.keeping.finish();
    for (HFONT f : {app.view.dialogFont, app.view.normalFont, app.view.boldFont}) DeleteObject(f);
    timeEndPeriod(1);
    CoUninitialize();
    return kept ? 0 : kRecordingLost;
}
