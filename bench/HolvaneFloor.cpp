// HolvaneFloor: what the dock's two timers cannot avoid, with nothing
// else. A hidden window that every 1000 ms enumerates the top-level
// windows and reads the caption of each visible one, and on a timer of
// 100 ms first, then 2000 ms after each run, enumerates again and also
// reads the style and rectangle of each visible captioned window. No
// process is ever queried. Ends on WM_CLOSE.
#include <windows.h>
#include <vector>

namespace {
const UINT_PTR TIMER_SCAN = 101, TIMER_WATCH = 103;
HWND g_self;
std::vector<HWND> g_windows;
volatile LONG g_sink; // keeps the reads from being optimised away

BOOL CALLBACK Collect(HWND h, LPARAM)
{
    g_windows.push_back(h);
    return TRUE;
}

// Returns true when the window is visible and has a caption.
bool CheapTests(HWND h)
{
    if (h == g_self || !::IsWindow(h) || !::IsWindowVisible(h))
        return false;
    char caption[256] = {};
    ::GetWindowTextA(h, caption, 256);
    return caption[0] != '\0';
}

void Scan()
{
    g_windows.clear();
    ::EnumWindows(Collect, 0);
    for (size_t i = 0; i < g_windows.size(); ++i)
        if (CheapTests(g_windows[i]))
            ++g_sink;
}

BOOL CALLBACK Watch(HWND h, LPARAM)
{
    if (!CheapTests(h))
        return TRUE;
    RECT rc = {};
    ::GetWindowRect(h, &rc);
    g_sink += ::GetWindowLongA(h, GWL_STYLE) + rc.left;
    return TRUE;
}

LRESULT CALLBACK WndProc(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    switch (msg) {
    case WM_TIMER:
        if (w == TIMER_SCAN) {
            Scan();
        } else if (w == TIMER_WATCH) {
            ::KillTimer(h, TIMER_WATCH);
            ::EnumWindows(Watch, 0);
            ::SetTimer(h, TIMER_WATCH, 2000, nullptr);
        }
        return 0;
    case WM_CLOSE:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(h, msg, w, l);
}
} // namespace

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE, LPSTR, int)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInst;
    wc.lpszClassName = "HolvaneFloorWnd";
    ::RegisterClassA(&wc);
    g_self = ::CreateWindowExA(0, wc.lpszClassName, "HolvaneFloor", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, hInst, nullptr);
    ::SetTimer(g_self, TIMER_SCAN, 1000, nullptr);
    ::SetTimer(g_self, TIMER_WATCH, 100, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
