// FloodWindows N: one process with N visible, captioned top-level windows
// ("Foreign window %d") that only pump messages, the foreign load the dock
// has to look through. Ends on WM_QUIT posted to its thread or on closing
// any of its windows.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

namespace {
LRESULT CALLBACK WndProc(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_CLOSE) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(h, msg, w, l);
}
} // namespace

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE, LPSTR, int)
{
    int n = __argc > 1 ? atoi(__argv[1]) : 0;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInst;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "FloodWindowsWnd";
    ::RegisterClassA(&wc);
    // A grid of small windows in the upper part of the screen; the bottom
    // right corner, where the cursor is parked, stays free.
    const int w = 120, h = 60, cols = 15, rows = 20, stepX = 110, stepY = 60;
    for (int i = 0; i < n; ++i) {
        char caption[64];
        snprintf(caption, sizeof(caption), "Foreign window %d", i);
        int cell = i % (cols * rows);
        int x = (cell % cols) * stepX + (i / (cols * rows)) * 20;
        int y = (cell / cols) * stepY + (i / (cols * rows)) * 20;
        ::CreateWindowExA(0, wc.lpszClassName, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                          x, y, w, h, nullptr, nullptr, hInst, nullptr);
    }
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
