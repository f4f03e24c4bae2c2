// SPDX-License-Identifier: MIT
// Drives tambrel.scr as Windows' Screen Saver settings do, from another
// program, and says what it saw:
//   saver_check.exe preview SCR   a little window of its own given to
//     "SCR /p HWND": the saver's window must fill it, and end once it goes;
//   saver_check.exe settings SCR  "SCR /c": 45 seconds a mode and Snow
//     alone, kept with OK; opened again, it must show them.
// Exit status 0 with "ok ..." on the output, else 1 with the reason.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int fail(const char* why)
{
    std::printf("FAIL: %s\n", why);
    return 1;
}

// Runs the window's messages until `done` holds, for at most `ms`.
template <typename Done>
bool waitFor(Done done, DWORD ms)
{
    const DWORD from = GetTickCount();
    while (!done()) {
        if (GetTickCount() - from > ms) return false;
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        Sleep(20);
    }
    return true;
}

PROCESS_INFORMATION start(const std::string& scr, const std::string& options)
{
    std::string line = "\"" + scr + "\" " + options;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) pi.hProcess = nullptr;
    return pi;
}

bool ended(const PROCESS_INFORMATION& pi) { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }

int preview(const std::string& scr)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"PreviewHost";
    RegisterClassW(&wc);
    HWND host = CreateWindowW(L"PreviewHost", L"Preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 260, 220, nullptr, nullptr,
                              wc.hInstance, nullptr);
    RECT client{};
    GetClientRect(host, &client);
    const PROCESS_INFORMATION saver = start(scr, "/p " + std::to_string(reinterpret_cast<uintptr_t>(host)));
    if (!saver.hProcess) return fail("tambrel.scr /p did not start");
    HWND inside = nullptr;
    if (!waitFor([&] { return (inside = FindWindowExW(host, nullptr, L"TambrelSaver", nullptr)) != nullptr; }, 120000))
        return fail("no picture window inside the preview");
    RECT r{};
    GetClientRect(inside, &r);
    if (r.right != client.right || r.bottom != client.bottom) return fail("the picture window does not fill the preview");
    // Its pixels cannot be read here: Wine shows another program's window
    // inside ours only as that program paints its own surface. It answers.
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(inside, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer)) return fail("the preview does not answer");
    DestroyWindow(host);
    if (!waitFor([&] { return ended(saver); }, 30000)) return fail("the saver went on after its preview window went");
    std::printf("ok /p: it fills a %ldx%ld preview and ends with it\n", client.right, client.bottom);
    return 0;
}

DWORD saved(const wchar_t* name)
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tambrel", name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

int settings(const std::string& scr)
{
    constexpr int kSeconds = 100, kFirstBox = 200, kSnow = 6, kCapture = 11, kModes = 14;
    for (int round = 0; round < 2; ++round) {
        const PROCESS_INFORMATION saver = start(scr, "/c");
        if (!saver.hProcess) return fail("tambrel.scr /c did not start");
        HWND box = nullptr;
        if (!waitFor([&] { return (box = FindWindowW(L"TambrelSaverSettings", nullptr)) != nullptr && IsWindowVisible(box); }, 120000))
            return fail("no settings window");
        if (GetDlgItem(box, kFirstBox + kCapture)) return fail("the settings offer Capture");
        if (round == 0) {
            SendMessageW(GetDlgItem(box, kSeconds), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"45"));
            for (int mode = 0; mode < kModes; ++mode)
                if (HWND check = GetDlgItem(box, kFirstBox + mode))
                    SendMessageW(check, BM_SETCHECK, mode == kSnow ? BST_CHECKED : BST_UNCHECKED, 0);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            if (!waitFor([&] { return ended(saver); }, 30000)) return fail("OK did not close the settings");
            if (saved(L"SaverSecondsPerMode") != 45 || saved(L"SaverModes") != 1u << kSnow)
                return fail("the settings were not kept under HKCU\\Software\\Tambrel");
        } else {
            wchar_t text[16] = {};
            SendMessageW(GetDlgItem(box, kSeconds), WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text)); // another program's: asked
            const bool snowOnly = SendMessageW(GetDlgItem(box, kFirstBox + kSnow), BM_GETCHECK, 0, 0) == BST_CHECKED &&
                                  SendMessageW(GetDlgItem(box, kFirstBox), BM_GETCHECK, 0, 0) == BST_UNCHECKED;
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDCANCEL)));
            if (!waitFor([&] { return ended(saver); }, 30000)) return fail("Cancel did not close the settings");
            if (std::wcscmp(text, L"45") != 0 || !snowOnly) {
                std::printf("FAIL: the settings opened again show '%ls' seconds%s\n", text, snowOnly ? "" : ", and not Snow alone");
                return 1;
            }
        }
    }
    std::printf("ok /c: 45 seconds a mode and Snow alone, kept and shown again\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "preview") == 0) return preview(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "settings") == 0) return settings(argv[2]);
    std::printf("usage: saver_check.exe preview|settings SCR\n");
    return 2;
}
