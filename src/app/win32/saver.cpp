// SPDX-License-Identifier: MIT
#include "app/win32/saver.h"

#include "app/autopilot.h"
#include "app/dialog_view.h"
#include "app/files.h"
#include "app/layout.h"
#include "app/mode_table.h"
#include "app/pass_pauses.h"
#include "app/picture_handover.h"
#include "app/program.h"

#include <windowsx.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace tambrel {

namespace {

constexpr UINT kPaintMessage = WM_APP + 1; // a picture has been handed over
constexpr UINT_PTR kHandTimer = 1, kParentTimer = 2;
constexpr int kHandEveryMs = 10;
// A move of the mouse further than this ends the show; a nudge of the desk does not.
constexpr int kMoveThatEnds = 8;
constexpr wchar_t kSaverClass[] = L"TambrelSaver", kSettingsClass[] = L"TambrelSaverSettings";
constexpr wchar_t kKey[] = L"Software\\Tambrel";
constexpr uint32_t kMostSeconds = 24 * 3600;

bool isCapture(int mode) { return kModeTable[static_cast<size_t>(mode)].word == "capture"; }

// The platform of a show: the pointer is the hand's, the pictures go to the
// saver's window, and there is no clipboard to read.
class SaverPlatform : public Platform {
public:
    HWND window = nullptr;
    DWORD windowThread = GetCurrentThreadId();
    std::function<bool()> handOver;
    std::atomic<int> handX{0}, handY{0}; // client pixels, as the modes reckon with them
    PassPauses pauses;

    void pointerClientPosition(int& x, int& y) override
    {
        x = handX.load();
        y = handY.load();
    }
    void redraw() override
    {
        if (handOver() || GetCurrentThreadId() == windowThread) PostMessageW(window, kPaintMessage, 0, 0);
    }
    void sleepMs(int ms) override
    {
        if (GetCurrentThreadId() == windowThread) pauses.postpone(ms);
        else pauses.sleep(ms);
    }
    void doEvents(int ms) override { Sleep(static_cast<DWORD>(ms)); }
    bool clearClipboard() override { return true; }
    void pressPrintScreen() override {}
    bool getClipboardImage(Image&) override { return false; }
};

struct Show {
    SaverPlatform platform;
    MemoryDialogView view; // no buttons to show
    Program program{platform, view};
    PictureHandOver pictures;
    Autopilot pilot;
    DWORD startedAt = timeGetTime();
    bool preview = false;
    HWND parent = nullptr;
    std::optional<POINT> firstMouse;

    explicit Show(const SaverSettings& settings, uint32_t seed)
        : pilot(Autopilot::Settings{seed, settings.secondsPerMode, false, settings.modes})
    {
        platform.handOver = [this] {
            std::lock_guard lock(program.stateLock); // a surface no pass is drawing on
            return pictures.handOver(program.canvas.pixels(), static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight);
        };
    }

    void giveHand()
    {
        const Autopilot::Move move = pilot.next(timeGetTime() - startedAt);
        platform.handX.store(move.x + layout::kCanvas.left + layout::kCanvasFrame);
        platform.handY.store(move.y + layout::kCanvas.top + layout::kCanvasFrame);
        giveMove(program, move);
    }
};

// Where the picture goes in an area: the largest whole blocks that fit,
// or, smaller than the canvas (a preview), all of it at the canvas's shape.
RECT placeIn(const RECT& area)
{
    constexpr int w = Canvas::kWidth, h = Canvas::kHeight;
    const int aw = area.right - area.left, ah = area.bottom - area.top;
    int pw = w, ph = h;
    if (const int k = std::min(aw / w, ah / h); k >= 1) {
        pw = w * k, ph = h * k;
    } else if (aw * h < ah * w) {
        pw = aw, ph = MulDiv(aw, h, w);
    } else {
        pw = MulDiv(ah, w, h), ph = ah;
    }
    const int left = area.left + (aw - pw) / 2, top = area.top + (ah - ph) / 2;
    return {left, top, left + pw, top + ph};
}

// Every monitor in the window's client coordinates (the preview: its client area).
std::vector<RECT> areasOf(HWND window, bool preview)
{
    std::vector<RECT> areas;
    if (preview) {
        RECT r{};
        GetClientRect(window, &r);
        areas.push_back(r);
        return areas;
    }
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, LPRECT r, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<RECT>*>(data)->push_back(*r);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&areas));
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    for (RECT& r : areas) OffsetRect(&r, -origin.x, -origin.y);
    return areas;
}

void paintShow(Show& show, HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!show.pictures.take() && show.platform.handOver()) show.pictures.take();
    const std::vector<uint32_t>& picture = show.pictures.shown();
    constexpr int w = Canvas::kWidth, h = Canvas::kHeight;
    if (picture.size() == static_cast<size_t>(w) * h) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        for (const RECT& area : areasOf(window, show.preview)) {
            const RECT at = placeIn(area);
            const bool whole = (at.right - at.left) % w == 0 && (at.right - at.left) >= w;
            // Whole blocks stay sharp; a small preview is smoothed down.
            SetStretchBltMode(dc, whole ? COLORONCOLOR : HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchDIBits(dc, at.left, at.top, at.right - at.left, at.bottom - at.top, 0, 0, w, h, picture.data(), &info,
                          DIB_RGB_COLORS, SRCCOPY);
            ExcludeClipRect(dc, at.left, at.top, at.right, at.bottom);
        }
    }
    RECT all{};
    GetClientRect(window, &all);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndPaint(window, &ps);
}

LRESULT CALLBACK showProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
    auto* show = reinterpret_cast<Show*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!show) return DefWindowProcW(window, message, w, l);
    const bool ownsInput = !show->preview; // a preview belongs to the settings it sits in
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // painted whole, black included
    case WM_PAINT:
        paintShow(*show, window);
        return 0;
    case kPaintMessage:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (w == kHandTimer) show->giveHand();
        if (w == kParentTimer && !IsWindow(show->parent)) DestroyWindow(window); // the preview's window has gone
        return 0;
    case WM_SETCURSOR:
        if (!ownsInput) break;
        SetCursor(nullptr);
        return TRUE;
    case WM_MOUSEMOVE:
        if (ownsInput) {
            const POINT at{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
            if (!show->firstMouse) show->firstMouse = at;
            else if (std::abs(at.x - show->firstMouse->x) + std::abs(at.y - show->firstMouse->y) > kMoveThatEnds)
                PostMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEWHEEL:
        if (!ownsInput) break;
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_ACTIVATEAPP:
        if (ownsInput && !w) PostMessageW(window, WM_CLOSE, 0, 0); // another program came to the front
        break;
    case WM_SYSCOMMAND:
        if ((w & 0xFFF0) == SC_SCREENSAVE || (w & 0xFFF0) == SC_CLOSE) return 0; // not again over itself
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

int runShow(HINSTANCE instance, const SaverCommand& command)
{
    const bool preview = command.kind == SaverCommand::Kind::Preview;
    RECT area{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    area.right = area.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    area.bottom = area.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (preview) {
        if (!IsWindow(command.window)) return 1;
        GetClientRect(command.window, &area);
    }

    timeBeginPeriod(1); // passes of 10 ms: see the window's start
    const uint32_t seed = Rnd::clockSeed();
    Show show(readSaverSettings(), seed);
    show.preview = preview;
    show.parent = command.window;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = showProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = kSaverClass;
    RegisterClassExW(&wc);
    HWND window = preview ? CreateWindowExW(0, kSaverClass, L"Tambrel", WS_CHILD | WS_VISIBLE, 0, 0, area.right, area.bottom,
                                            command.window, nullptr, instance, &show)
                          : CreateWindowExW(WS_EX_TOPMOST, kSaverClass, L"Tambrel", WS_POPUP | WS_VISIBLE,
                                            area.left, area.top, area.right - area.left, area.bottom - area.top, nullptr,
                                            nullptr, instance, &show);
    if (!window) {
        timeEndPeriod(1);
        return 1;
    }
    show.platform.window = window;
    show.program.rnd.setState(seed);
    show.program.buildMainWindow();
    show.giveHand();
    show.program.startAnimation();
    SetTimer(window, kHandTimer, kHandEveryMs, nullptr);
    if (preview) SetTimer(window, kParentTimer, 250, nullptr);
    else SetForegroundWindow(window);

    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    show.program.finish();
    timeEndPeriod(1);
    return 0;
}

// The settings: how long each mode plays, and which modes (Capture never:
// a screensaver does not take pictures of the screen).
struct SettingsWindow {
    SaverSettings settings;
    HWND seconds = nullptr;
    std::vector<std::pair<int, HWND>> boxes; // mode, its check box
    bool done = false;
};

constexpr int kSecondsId = 100, kFirstBoxId = 200;

std::wstring modeName(int mode)
{
    std::string_view caption = kModeTable[static_cast<size_t>(mode)].offCaption; // "Turn Snow On"
    if (caption.starts_with("Turn ")) caption.remove_prefix(5);
    if (caption.ends_with(" On")) caption.remove_suffix(3);
    return wide(std::string(caption));
}

bool keepSettings(SettingsWindow& s, HWND window)
{
    wchar_t text[16] = {};
    GetWindowTextW(s.seconds, text, 16);
    wchar_t* end = nullptr;
    const unsigned long seconds = std::wcstoul(text, &end, 10);
    if (!*text || *end || seconds < 1 || seconds > kMostSeconds) {
        MessageBoxW(window, L"Each mode plays for 1 to 86400 seconds.", L"Tambrel Screensaver", MB_OK | MB_ICONWARNING);
        SetFocus(s.seconds);
        return false;
    }
    uint32_t modes = 0;
    for (const auto& [mode, box] : s.boxes)
        if (Button_GetCheck(box) == BST_CHECKED) modes |= 1u << mode;
    if (!modes) {
        MessageBoxW(window, L"Choose at least one mode to play.", L"Tambrel Screensaver", MB_OK | MB_ICONWARNING);
        return false;
    }
    std::string problem;
    if (!writeSaverSettings({static_cast<uint32_t>(seconds), modes}, problem)) {
        MessageBoxW(window, wide("Tambrel could not keep the settings: " + problem + ".").c_str(), L"Tambrel Screensaver",
                    MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

LRESULT CALLBACK settingsProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
    auto* s = reinterpret_cast<SettingsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!s) return DefWindowProcW(window, message, w, l);
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(w) == IDOK && keepSettings(*s, window)) DestroyWindow(window);
        if (LOWORD(w) == IDCANCEL) DestroyWindow(window);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        s->done = true;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

int runSettings(HINSTANCE instance, HWND owner)
{
    SettingsWindow s;
    s.settings = readSaverSettings();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = settingsProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kSettingsClass;
    RegisterClassExW(&wc);

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    auto px = [dpi](int v) { return MulDiv(v, dpi, 96); };
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

    constexpr DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT outer{0, 0, px(360), px(300)};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    const int ow = outer.right - outer.left, oh = outer.bottom - outer.top;
    HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kSettingsClass, L"Tambrel Screensaver", style,
                                  (GetSystemMetrics(SM_CXSCREEN) - ow) / 2, (GetSystemMetrics(SM_CYSCREEN) - oh) / 2, ow, oh,
                                  owner, nullptr, instance, &s);
    if (!window) return 1;
    auto control = [&](const wchar_t* cls, const wchar_t* text, DWORD more, int x, int y, int cw, int ch, int id) {
        HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | more, px(x), px(y), px(cw), px(ch), window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return c;
    };
    control(L"STATIC", L"Each mode plays for", 0, 12, 15, 130, 20, -1);
    s.seconds = control(L"EDIT", std::to_wstring(s.settings.secondsPerMode).c_str(), WS_BORDER | WS_TABSTOP | ES_NUMBER, 145,
                        12, 60, 22, kSecondsId);
    control(L"STATIC", L"seconds", 0, 212, 15, 80, 20, -1);
    control(L"STATIC", L"It plays these modes:", 0, 12, 46, 300, 20, -1);
    int row = 0;
    for (int mode = 0; mode < kModeCount; ++mode) {
        if (isCapture(mode)) continue;
        const bool on = s.settings.modes ? (s.settings.modes >> mode & 1) != 0 : true;
        HWND box = control(L"BUTTON", modeName(mode).c_str(), BS_AUTOCHECKBOX | WS_TABSTOP, 24 + 165 * (row % 2), 70 + 24 * (row / 2),
                           150, 22, kFirstBoxId + mode);
        Button_SetCheck(box, on ? BST_CHECKED : BST_UNCHECKED);
        s.boxes.emplace_back(mode, box);
        ++row;
    }
    control(L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 186, 262, 78, 26, IDOK);
    control(L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 270, 262, 78, 26, IDCANCEL);
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    SetFocus(s.seconds);
    MSG m;
    while (!s.done && GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    if (owner) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    DeleteObject(font);
    return 0;
}

// "/p 1234", "/p:1234" and "/c:1234" name a window by its number.
HWND windowFrom(std::wstring_view text)
{
    wchar_t* end = nullptr;
    const std::wstring digits(text);
    const unsigned long long n = std::wcstoull(digits.c_str(), &end, 10);
    return digits.empty() || *end ? nullptr : reinterpret_cast<HWND>(static_cast<uintptr_t>(n));
}

} // namespace

std::optional<SaverCommand> saverCommand(int argc, wchar_t** argv, bool runAsScreensaver, std::string& problem)
{
    if (argc < 2) return runAsScreensaver ? std::optional(SaverCommand{}) : std::nullopt;
    std::wstring_view a = argv[1];
    if (a.size() < 2 || (a[0] != L'/' && a[0] != L'-') || (a[0] == L'-' && a[1] == L'-')) return std::nullopt;
    const wchar_t letter = static_cast<wchar_t>(std::towlower(a[1]));
    if (letter != L's' && letter != L'p' && letter != L'c') return std::nullopt;
    std::wstring_view rest = a.substr(2);
    if (!rest.empty() && rest[0] == L':') rest.remove_prefix(1);
    if (rest.empty() && argc > 2) rest = argv[2];
    SaverCommand command;
    if (letter == L's') command.kind = SaverCommand::Kind::Show;
    if (letter == L'p') {
        command.kind = SaverCommand::Kind::Preview;
        command.window = windowFrom(rest);
        if (!command.window) {
            problem = "/p needs the number of the window to draw into";
            return command;
        }
    }
    if (letter == L'c') command.window = windowFrom(rest); // the settings' owner, if any
    return command;
}

SaverSettings readSaverSettings()
{
    SaverSettings settings;
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, L"SaverSecondsPerMode", RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS)
        settings.secondsPerMode = std::clamp<uint32_t>(value, 1, kMostSeconds);
    size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, L"SaverModes", RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS)
        settings.modes = value & ((1u << kModeCount) - 1);
    for (int mode = 0; mode < kModeCount; ++mode)
        if (isCapture(mode)) settings.modes &= ~(1u << mode);
    return settings;
}

bool writeSaverSettings(const SaverSettings& settings, std::string& problem)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    for (const auto& [name, value] : {std::pair{L"SaverSecondsPerMode", settings.secondsPerMode}, {L"SaverModes", settings.modes}}) {
        if (status != ERROR_SUCCESS) break;
        const DWORD v = value;
        status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    }
    if (key) RegCloseKey(key);
    if (status != ERROR_SUCCESS) problem = systemReason(static_cast<unsigned long>(status));
    return status == ERROR_SUCCESS;
}

int runSaver(HINSTANCE instance, const SaverCommand& command)
{
    if (command.kind == SaverCommand::Kind::Settings) return runSettings(instance, command.window);
    return runShow(instance, command);
}

} // namespace tambrel
