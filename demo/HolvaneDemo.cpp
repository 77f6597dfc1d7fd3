// Runs the dock with the sample guests for a person to look at: starts
// Holvane.exe -SHOW from its folder, waits until the guests named in
// Holvane.ini are docked, moves the dock to the top left so the whole
// stack is on screen, and then either saves a screenshot and ends the
// dock (--shot FILE.bmp) or waits until the dock is ended from its icon.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

namespace {

HWND g_dock;
DWORD g_pid;

BOOL CALLBACK FindDock(HWND h, LPARAM)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    char cls[64] = {}, text[64] = {};
    ::GetClassNameA(h, cls, sizeof(cls));
    ::GetWindowTextA(h, text, sizeof(text));
    if (pid == g_pid && strcmp(cls, "#32770") == 0 && strcmp(text, "Holvane") == 0) {
        g_dock = h;
        return FALSE;
    }
    return TRUE;
}

int CountFrames(HWND dock)
{
    int n = 0;
    for (HWND c = ::GetWindow(dock, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        char cls[64] = {};
        ::GetClassNameA(c, cls, sizeof(cls));
        if (strcmp(cls, "#32770") == 0 && ::IsWindowVisible(c))
            ++n;
    }
    return n;
}

bool SaveScreen(const char* path)
{
    HDC screen = ::GetDC(nullptr);
    int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFOHEADER bh = {};
    bh.biSize = sizeof(bh);
    bh.biWidth = w;
    bh.biHeight = h;
    bh.biPlanes = 1;
    bh.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bh), DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    DWORD size = ((w * 3 + 3) & ~3u) * h;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bh);
    fh.bfSize = fh.bfOffBits + size;
    FILE* f = fopen(path, "wb");
    bool ok = f != nullptr;
    if (f) {
        fwrite(&fh, sizeof(fh), 1, f);
        fwrite(&bh, sizeof(bh), 1, f);
        fwrite(bits, 1, size, f);
        fclose(f);
    }
    ::DeleteDC(mem);
    ::DeleteObject(bmp);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

int GuestsInIni(const std::string& ini)
{
    static const char* names[] = { "TrelvoxOne.exe", "TrelvoxForVnc.exe", "TrelvoxForFtp.exe", "TrelvoxForCvs.exe" };
    int n = 0;
    for (const char* s : names) {
        char buf[300] = {};
        ::GetPrivateProfileStringA(s, "EXEPATH", "", buf, sizeof(buf), ini.c_str());
        if (buf[0] && ::GetFileAttributesA(buf) != INVALID_FILE_ATTRIBUTES)
            ++n;
    }
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    const char* shot = nullptr;
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--shot") == 0 && i + 1 < argc)
            shot = argv[++i];

    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.rfind('\\'));
    std::string exe = dir + "\\Holvane.exe";
    int expected = GuestsInIni(dir + "\\Holvane.ini");

    std::string cmd = "\"" + exe + "\" -SHOW";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
        fprintf(stderr, "cannot start %s: %lu\n", exe.c_str(), ::GetLastError());
        return 1;
    }
    g_pid = pi.dwProcessId;
    for (int i = 0; i < 200 && !g_dock; ++i) {
        ::Sleep(100);
        ::EnumWindows(FindDock, 0);
    }
    if (!g_dock) {
        fprintf(stderr, "the dock did not appear\n");
        return 1;
    }
    for (int i = 0; i < 300 && CountFrames(g_dock) < expected; ++i)
        ::Sleep(100);
    printf("dock up with %d of %d guests docked\n", CountFrames(g_dock), expected);
    // A move of the dock takes every guest window along and raises it.
    ::SetWindowPos(g_dock, nullptr, 40, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::Sleep(1500);

    if (shot) {
        bool ok = SaveScreen(shot);
        printf("screenshot %s: %s\n", shot, ok ? "saved" : "failed");
        // Ends the dock the way its icon's menu does; it tells the guests to quit.
        ::PostMessageA(g_dock, WM_COMMAND, 32772, 0);
        ::WaitForSingleObject(pi.hProcess, 20000);
        return ok ? 0 : 1;
    }
    printf("the dock runs; end it from its notification-area icon (menu: 終了)\n");
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    return 0;
}
