// Asks the running program whether the session may end, as Windows does at a logoff, and then
// tells it the logoff was cancelled: prints the answer to the query (1: it may end).
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL CALLBACK findMain(HWND window, LPARAM found) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (IsWindowVisible(window) && std::wcsncmp(caption, L"QV-TICKSPAN: ", 13) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main() {
    HWND main = nullptr;
    EnumWindows(findMain, reinterpret_cast<LPARAM>(&main));
    if (!main) {
        std::fprintf(stderr, "no main window\n");
        return 2;
    }
    const LRESULT mayEnd = SendMessageW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    SendMessageW(main, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    std::printf("%d\n", mayEnd ? 1 : 0);
    return 0;
}
