// SPDX-License-Identifier: MIT
// Posts messages to the running tambrel.exe as other programs and the
// system do (a task bar's close, an accessibility client's press), all at
// once, so that they land in the program's queue together:
//   post_messages.exe command ID | click ID | close | caption ID | size ID ...
// "command ID" posts the button's WM_COMMAND, "click ID" posts BM_CLICK to
// the button, "close" posts WM_CLOSE; "caption ID" prints the button's
// caption, "size ID" its width and height in pixels, each on a line of its own.
// Exit status 1 when there is no window.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    HWND window = FindWindowW(L"TambrelMainDialog", nullptr);
    if (!window) return 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "close") == 0) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        } else if (i + 1 < argc && std::strcmp(argv[i], "command") == 0) {
            const int id = std::atoi(argv[++i]);
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
        } else if (i + 1 < argc && std::strcmp(argv[i], "click") == 0) {
            PostMessageW(GetDlgItem(window, std::atoi(argv[++i])), BM_CLICK, 0, 0);
        } else if (i + 1 < argc && std::strcmp(argv[i], "size") == 0) {
            RECT r{};
            GetWindowRect(GetDlgItem(window, std::atoi(argv[++i])), &r);
            std::printf("%ld %ld\n", static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top));
        } else if (i + 1 < argc && std::strcmp(argv[i], "caption") == 0) {
            char caption[128] = "";
            GetWindowTextA(GetDlgItem(window, std::atoi(argv[++i])), caption, sizeof caption);
            std::printf("%s\n", caption);
        } else {
            return 2;
        }
    }
    return 0;
}
