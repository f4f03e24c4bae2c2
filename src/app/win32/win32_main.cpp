// SPDX-License-Identifier: MIT
// Tambrel on Windows: the window, its controls and its services on the
// Windows API itself, over the window-free program. The window is built from
// the layout table, its events go to onDialogEvent, its canvas shows the
// surface.

#include "app/layout.h"
#include "app/pass_pauses.h"
#include "app/picture_handover.h"
#include "app/program.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tambrel {
namespace {

constexpr UINT kPaintMessage = WM_APP + 1; // a picture has been handed over
constexpr wchar_t kClassName[] = L"TambrelMainDialog";

std::wstring wide(const std::string& s)
{
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
    return out;
}

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

    void pointerClientPosition(int& x, int& y) override
    {
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(window, &p);
        x = p.x, y = p.y;
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

struct App {
    Win32Platform platform;
    Win32View view;
    Program program{platform, view};
    PictureHandOver pictures; // the canvas's pictures, handed from the animation thread

    App()
    {
        platform.handOver = [this] {
            std::lock_guard lock(program.stateLock); // a surface no pass is drawing on
            return pictures.handOver(program.canvas.pixels(), static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight);
        };
    }
};

// The canvas control: its flat border is the control's own, the sunken edge
// and the newest picture are drawn here (the surface as it is now, for a
// paint the system asked for).
void drawCanvas(App& app, const DRAWITEMSTRUCT& item)
{
    RECT r = item.rcItem;
    DrawEdge(item.hDC, &r, BDR_SUNKENOUTER, BF_RECT);
    if (!app.pictures.take() && app.platform.handOver()) app.pictures.take();
    const std::vector<uint32_t>& picture = app.pictures.shown();
    constexpr int w = Canvas::kWidth, h = Canvas::kHeight;
    if (picture.size() != static_cast<size_t>(w) * h) return;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const int inset = layout::kCanvasFrame - 1; // the border lies outside the client rectangle
    SetDIBitsToDevice(item.hDC, r.left + inset, r.top + inset, w, h, 0, 0, 0, h, picture.data(), &info, DIB_RGB_COLORS);
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
        // Enter and Escape arrive as IDOK and IDCANCEL: no control has those ids.
        event(DialogMessage::Command, LOWORD(w), HIWORD(w));
        return 0;
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
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        event(DialogMessage::Destroy);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

HFONT makeFont(int weight)
{
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(layout::kFontPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

} // namespace
} // namespace tambrel

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    using namespace tambrel;
    INITCOMMONCONTROLSEX controls{sizeof controls, 0x9FF};
    if (!InitCommonControlsEx(&controls)) InitCommonControls();
    const uint32_t seed = Rnd::clockSeed(); // the only seeding of the run

    App app;
    app.view.boldFont = makeFont(FW_BOLD);
    app.view.normalFont = makeFont(FW_NORMAL);
    app.view.dialogFont = makeFont(FW_NORMAL);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    // A fixed dialog frame with a caption, a system menu and a minimise box,
    // centred on the work area with its frame.
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT outer{0, 0, layout::kClientWidth, layout::kClientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int ow = outer.right - outer.left, oh = outer.bottom - outer.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // A window larger than the work area keeps its title bar on it.
    const int left = std::max<int>(work.left, (work.left + work.right - ow) / 2);
    const int top = std::max<int>(work.top, (work.top + work.bottom - oh) / 2);
    HWND window = CreateWindowExW(exStyle, kClassName, L"Tambrel", style, left, top, ow, oh, nullptr, nullptr, instance, &app);
    if (!window) return 1;
    app.view.window = app.platform.window = window;

    const layout::Rect c = layout::kCanvas;
    app.platform.canvas = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | SS_NOTIFY | SS_OWNERDRAW,
                                          c.left, c.top, c.width, c.height, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCanvasId)), instance, nullptr);
    for (int n = 0; n < layout::kButtonSlots; ++n) {
        const int id = layout::buttonId(n);
        if (id == kEmptySlotId) continue;
        const layout::Rect b = layout::buttonRect(id);
        HWND button = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, b.left,
                                      b.top, b.width, b.height, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                      instance, nullptr);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(app.view.dialogFont), FALSE);
    }

    app.program.rnd.setState(seed);
    app.program.buildMainWindow(); // every caption final before the window shows
    app.program.startAnimation();
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(GetDlgItem(window, kFirstModeButtonId));

    // Tab moves between the buttons, Space and Enter press the focused one.
    // The dialog manager makes a focused button the default one only once
    // the focus came by its own navigation, so Enter is given to the
    // focused button here, as it is from the start in the other editions.
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
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
    DeleteObject(app.view.dialogFont);
    return 0;
}
