// Sample guest program: one small window that the dock can adopt, and a
// log of everything the dock does to it. Built once and copied under
// each guest's executable name; the name decides the caption.
//
// Settings come from <base>.ctl beside the executable (section [guest]),
// overridden by command-line options, because the dock starts guests
// without arguments.

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

const UINT WM_GUEST_QUIT = WM_USER + 201;
const UINT WM_GUEST_OPEN = WM_USER + 202;
const UINT WM_GUEST_CLOSE = WM_USER + 203;
const UINT WM_GUEST_SELECT = WM_USER + 204;

// Control messages for tests; any process may post them.
const UINT WM_CTL_HANG = WM_APP + 1;    // wParam: milliseconds to stop answering
const UINT WM_CTL_SHOW = WM_APP + 2;
const UINT WM_CTL_EXIT = WM_APP + 3;    // wParam: exit code; no clean-up
const UINT WM_CTL_DESTROY = WM_APP + 4; // own use: end after WM_GUEST_QUIT returned

const UINT_PTR TIMER_SHOW = 1;

const char kClassName[] = "TrelvoxGuestWnd";

struct Settings {
    char caption[1024];     // long enough for captions the dock must cut
    int width, height;
    int x, y;
    bool hasPos;
    bool hidden;
    int showAfter;
    int hang;
    int quitDelay;
    bool ignoreQuit;
    bool exitOnDock;
};

Settings g_set;
char g_exePath[MAX_PATH];
char g_base[MAX_PATH];      // executable file name without extension
char g_logPath[MAX_PATH + 8];
char g_ctlPath[MAX_PATH + 8];
char g_lastEvent[32] = "-";
DWORD g_pid;
COLORREF g_background;
HFONT g_font;

struct KnownName {
    const char *exe;
    const char *caption;
};

// The captions must match the dock's guest table byte for byte (cp932).
const KnownName kKnownNames[] = {
    {"TrelvoxOne.exe", "TrelvoxOne Ⅱ"},
    {"TrelvoxForVnc.exe", "TrelvoxForVNC Ⅱ"},
    {"TrelvoxForFtp.exe", "TrelvoxForFTP Ⅱ"},
    {"TrelvoxForCvs.exe", "TrelvoxForCVS Ⅱ"},
    {"TrelvoxForTcp.exe", "TrelvoxForTCP Ⅱ"},
    {"Skype.exe", "Skype"},
};

void CopyText(char *dst, size_t size, const char *src)
{
    lstrcpynA(dst, src, (int)size);
}

// One open-append-close per line, so that a reader sees each line at once
// and several instances of the same program can share the file.
void LogLine(const char *text)
{
    HANDLE h = CreateFileA(g_logPath, FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(h, text, lstrlenA(text), &written, NULL);
    WriteFile(h, "\r\n", 2, &written, NULL);
    CloseHandle(h);
}

void LogEvent(const char *event)
{
    char line[64];
    snprintf(line, sizeof line, "%s %lu", event, (unsigned long)g_pid);
    LogLine(line);
}

// Paths and names from our own executable file.
void InitNames()
{
    DWORD n = GetModuleFileNameA(NULL, g_exePath, sizeof g_exePath);
    if (n == 0 || n >= sizeof g_exePath)
        CopyText(g_exePath, sizeof g_exePath, "TrelvoxGuest.exe");

    const char *file = g_exePath;
    for (const char *p = g_exePath; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/')
            file = p + 1;
    size_t dirLen = (size_t)(file - g_exePath);

    CopyText(g_base, sizeof g_base, file);
    char *dot = NULL;
    for (char *p = g_base; *p; p = CharNextA(p))
        if (*p == '.')
            dot = p;
    if (dot && dot != g_base)
        *dot = '\0';

    snprintf(g_logPath, sizeof g_logPath, "%.*s%s.log", (int)dirLen, g_exePath, g_base);
    snprintf(g_ctlPath, sizeof g_ctlPath, "%.*s%s.ctl", (int)dirLen, g_exePath, g_base);

    const char *caption = g_base;
    for (const KnownName &k : kKnownNames)
        if (lstrcmpiA(file, k.exe) == 0)
            caption = k.caption;
    CopyText(g_set.caption, sizeof g_set.caption, caption);

    // A light colour of its own per name, so that guests tell apart on
    // screen. Components stay in 176..239: never the dock's colour key.
    DWORD hash = 2166136261u;
    for (const char *p = file; *p; ++p) {
        BYTE c = (BYTE)*p;
        if (c >= 'A' && c <= 'Z')
            c = (BYTE)(c + ('a' - 'A'));
        hash = (hash ^ c) * 16777619u;
    }
    g_background = RGB(176 + (hash & 63), 176 + ((hash >> 8) & 63), 176 + ((hash >> 16) & 63));
}

bool ReadCtlInt(const char *key, int *out)
{
    char buf[32];
    if (GetPrivateProfileStringA("guest", key, "", buf, sizeof buf, g_ctlPath) == 0)
        return false;
    *out = atoi(buf);
    return true;
}

void ReadControlFile()
{
    char buf[256];
    if (GetPrivateProfileStringA("guest", "caption", "", buf, sizeof buf, g_ctlPath) > 0)
        CopyText(g_set.caption, sizeof g_set.caption, buf);
    ReadCtlInt("width", &g_set.width);
    ReadCtlInt("height", &g_set.height);
    if (ReadCtlInt("x", &g_set.x))
        g_set.hasPos = true;
    if (ReadCtlInt("y", &g_set.y))
        g_set.hasPos = true;
    int v;
    if (ReadCtlInt("hidden", &v))
        g_set.hidden = v != 0;
    ReadCtlInt("showafter", &g_set.showAfter);
    ReadCtlInt("hang", &g_set.hang);
    ReadCtlInt("quitdelay", &g_set.quitDelay);
    if (ReadCtlInt("ignorequit", &v))
        g_set.ignoreQuit = v != 0;
    if (ReadCtlInt("exitondock", &v))
        g_set.exitOnDock = v != 0;
}

// Next argument of a command line, with the usual double-quote rules
// (no backslash escapes: paths end in backslashes).
const char *NextArg(const char *p, char *out, size_t size)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    if (!*p)
        return NULL;
    size_t n = 0;
    bool quoted = false;
    while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
        if (*p == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        const char *next = CharNextA(p);
        while (p < next) {
            if (n + 1 < size)
                out[n++] = *p;
            ++p;
        }
    }
    out[n] = '\0';
    return p;
}

// The dock starts us with our full path, unquoted, as the whole command
// line; a path with spaces must not turn into arguments.
const char *SkipProgramName(const char *cmd)
{
    size_t len = (size_t)lstrlenA(g_exePath);
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, cmd, (int)len, g_exePath, (int)len) == CSTR_EQUAL
        && (cmd[len] == '\0' || cmd[len] == ' ' || cmd[len] == '\t'))
        return cmd + len;
    char skip[MAX_PATH];
    const char *rest = NextArg(cmd, skip, sizeof skip);
    return rest ? rest : "";
}

void ParseCommandLine()
{
    const char *p = SkipProgramName(GetCommandLineA());
    char arg[256], val[1024];
    while ((p = NextArg(p, arg, sizeof arg)) != NULL) {
        bool takesValue = lstrcmpiA(arg, "-caption") == 0 || lstrcmpiA(arg, "-size") == 0
            || lstrcmpiA(arg, "-pos") == 0 || lstrcmpiA(arg, "-showafter") == 0
            || lstrcmpiA(arg, "-hang") == 0 || lstrcmpiA(arg, "-quitdelay") == 0;
        if (lstrcmpiA(arg, "-hidden") == 0) {
            g_set.hidden = true;
        } else if (lstrcmpiA(arg, "-ignorequit") == 0) {
            g_set.ignoreQuit = true;
        } else if (lstrcmpiA(arg, "-exitondock") == 0) {
            g_set.exitOnDock = true;
        } else if (takesValue) {
            const char *q = NextArg(p, val, sizeof val);
            if (!q)
                break;
            p = q;
            if (lstrcmpiA(arg, "-caption") == 0)
                CopyText(g_set.caption, sizeof g_set.caption, val);
            else if (lstrcmpiA(arg, "-size") == 0)
                sscanf(val, "%d%*[xX]%d", &g_set.width, &g_set.height);
            else if (lstrcmpiA(arg, "-pos") == 0) {
                if (sscanf(val, "%d,%d", &g_set.x, &g_set.y) == 2)
                    g_set.hasPos = true;
            }
            else if (lstrcmpiA(arg, "-showafter") == 0)
                g_set.showAfter = atoi(val);
            else if (lstrcmpiA(arg, "-hang") == 0)
                g_set.hang = atoi(val);
            else
                g_set.quitDelay = atoi(val);
        }
        // Anything else is ignored.
    }
}

void Paint(HWND hWnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    HGDIOBJ oldFont = SelectObject(dc, g_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 96));

    char lines[3][300];
    GetWindowTextA(hWnd, lines[0], sizeof lines[0]);
    snprintf(lines[1], sizeof lines[1], "pid %lu", (unsigned long)g_pid);
    snprintf(lines[2], sizeof lines[2], "last: %s", g_lastEvent);

    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    int y = 8;
    for (const char *line : lines) {
        TextOutA(dc, 10, y, line, lstrlenA(line));
        y += tm.tmHeight + 6;
    }
    SelectObject(dc, oldFont);
    EndPaint(hWnd, &ps);
}

void Received(HWND hWnd, const char *event)
{
    LogEvent(event);
    CopyText(g_lastEvent, sizeof g_lastEvent, event);
    InvalidateRect(hWnd, NULL, TRUE);
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    char line[64];
    switch (msg) {
    case WM_PAINT:
        Paint(hWnd);
        return 0;
    case WM_GUEST_QUIT:
        Received(hWnd, "QUIT");
        if (g_set.quitDelay > 0)
            Sleep((DWORD)g_set.quitDelay);
        // End only after the sender's SendMessage has returned.
        if (!g_set.ignoreQuit)
            PostMessageA(hWnd, WM_CTL_DESTROY, 0, 0);
        return 0;
    case WM_GUEST_OPEN:
        Received(hWnd, "OPEN");
        return 0;
    case WM_GUEST_CLOSE:
        Received(hWnd, "CLOSE");
        return 0;
    case WM_GUEST_SELECT:
        Received(hWnd, "SELECT");
        return 0;
    case WM_CTL_HANG:
        snprintf(line, sizeof line, "HANG %lu %lu", (unsigned long)g_pid, (unsigned long)wParam);
        LogLine(line);
        Sleep((DWORD)wParam);
        return 0;
    case WM_CTL_SHOW:
        LogEvent("SHOW");
        ShowWindow(hWnd, SW_SHOW);
        return 0;
    case WM_CTL_EXIT:
        snprintf(line, sizeof line, "EXIT %lu %lu", (unsigned long)g_pid, (unsigned long)wParam);
        LogLine(line);
        ExitProcess((UINT)wParam);
    case WM_STYLECHANGING:
        // Dies in the middle of being adopted: a docking program takes the
        // system menu away first.
        if (g_set.exitOnDock && wParam == (WPARAM)GWL_STYLE) {
            const STYLESTRUCT *ss = (const STYLESTRUCT *)lParam;
            if ((ss->styleOld & WS_SYSMENU) && !(ss->styleNew & WS_SYSMENU)) {
                snprintf(line, sizeof line, "EXIT %lu 7", (unsigned long)g_pid);
                LogLine(line);
                ExitProcess(7);
            }
        }
        break;
    case WM_CTL_DESTROY:
        DestroyWindow(hWnd);
        return 0;
    case WM_TIMER:
        if (wParam == TIMER_SHOW) {
            KillTimer(hWnd, TIMER_SHOW);
            LogEvent("SHOW");
            ShowWindow(hWnd, SW_SHOW);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE, LPSTR, int)
{
    g_pid = GetCurrentProcessId();
    g_set.width = 400;
    g_set.height = 300;
    InitNames();
    ReadControlFile();
    ParseCommandLine();

    HBRUSH background = CreateSolidBrush(g_background);
    g_font = CreateFontA(-28, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, NULL);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInst;
    wc.hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc))
        return 1;

    DWORD style = WS_OVERLAPPEDWINDOW | (g_set.hidden ? 0 : WS_VISIBLE);
    int x = g_set.hasPos ? g_set.x : CW_USEDEFAULT;
    int y = g_set.hasPos ? g_set.y : CW_USEDEFAULT;
    HWND hWnd = CreateWindowExA(0, kClassName, g_set.caption, style, x, y,
                                g_set.width, g_set.height, NULL, NULL, hInst, NULL);
    if (!hWnd)
        return 1;
    UpdateWindow(hWnd);

    char cwd[MAX_PATH];
    if (!GetCurrentDirectoryA(sizeof cwd, cwd))
        cwd[0] = '\0';
    const char *cmd = GetCommandLineA();
    size_t size = 64 + sizeof cwd + (size_t)lstrlenA(cmd);
    char *line = (char *)HeapAlloc(GetProcessHeap(), 0, size);
    if (line) {
        snprintf(line, size, "START %lu %08lX %s\t%s", (unsigned long)g_pid,
                 (unsigned long)(ULONG_PTR)hWnd, cwd, cmd);
        LogLine(line);
        HeapFree(GetProcessHeap(), 0, line);
    }

    if (g_set.hidden && g_set.showAfter > 0)
        SetTimer(hWnd, TIMER_SHOW, (UINT)g_set.showAfter, NULL);
    // Hang inside a handler, so that the window exists but does not answer.
    if (g_set.hang > 0)
        PostMessageA(hWnd, WM_CTL_HANG, (WPARAM)g_set.hang, 0);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    LogEvent("END");
    DeleteObject(g_font);
    DeleteObject(background);
    return 0;
}
