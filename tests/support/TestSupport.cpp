#include "TestSupport.h"
#include <gtest/gtest.h>
#include "dock/HolvaneDlg.h"
#include "app/Startup.h"
#include <mbstring.h>
#include <stdio.h>
#include <io.h>
#include <fcntl.h>

namespace {
// Test programs have no application object of their own; the dock and
// AfxMessageBox need one.
CWinApp g_testApp("HolvaneTest");
}

namespace ts {

std::string BinDir()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    unsigned char* slash = _mbsrchr(reinterpret_cast<unsigned char*>(path), '\\');
    if (slash)
        *slash = 0;
    return path;
}

std::string NewTempDir(const std::string& tag)
{
    static int counter = 0;
    char tmp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, tmp);
    std::string base = std::string(tmp) + "holvane-tests";
    ::CreateDirectoryA(base.c_str(), nullptr);
    // Process ids repeat from one Wine session to the next: only a folder
    // made just now is fresh.
    for (;;) {
        char name[64];
        snprintf(name, sizeof(name), "\\%lu-%lu-%d-", ::GetCurrentProcessId(), ::GetTickCount(), ++counter);
        std::string dir = base + name + tag;
        if (::CreateDirectoryA(dir.c_str(), nullptr))
            return dir;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return dir;
    }
}

bool CopyTo(const std::string& from, const std::string& to)
{
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string ReadAll(const std::string& path)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string data;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0)
        data.append(buf, n);
    ::CloseHandle(h);
    return data;
}

void WriteAll(const std::string& path, const std::string& data)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD n = 0;
    ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    ::CloseHandle(h);
}

std::vector<std::string> ReadLines(const std::string& path)
{
    return SplitLines(ReadAll(path));
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else if (c != '\r') {
            cur += c;
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Process::~Process()
{
    if (h) {
        if (Running())
            Kill();
        ::CloseHandle(h);
    }
}

bool Process::Running() const
{
    return h && ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
}

DWORD Process::Wait(DWORD ms)
{
    if (!h)
        return 0;
    if (::WaitForSingleObject(h, ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = 0;
    ::GetExitCodeProcess(h, &code);
    return code;
}

void Process::Kill()
{
    if (h && Running()) {
        ::TerminateProcess(h, 99);
        ::WaitForSingleObject(h, 5000);
    }
}

void InstalledGuest::Start(const std::string& tag, const std::string& exe, const char* caption)
{
    dir = MakeInstall(tag, { exe });
    proc = ts::Start("\"" + dir + "\\" + exe + "\"", dir);
    ASSERT_TRUE(proc);
    wnd = WaitTopWindow(proc->pid, caption, 10000, true);
    ASSERT_TRUE(wnd);
}

void EndProcess(DWORD pid)
{
    HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!p)
        return;
    ::TerminateProcess(p, 99);
    ::WaitForSingleObject(p, 5000);
    ::CloseHandle(p);
}

static std::vector<DWORD> SampleGuestPids()
{
    std::vector<DWORD> pids;
    for (HWND h : TopWindows())
        if (ClassName(h) == "TrelvoxGuestWnd")
            pids.push_back(WindowPid(h));
    return pids;
}

void EndSampleGuests()
{
    for (int round = 0; round < 5; ++round) {
        for (DWORD pid : SampleGuestPids())
            EndProcess(pid);
        if (WaitUntil([] { return SampleGuestPids().empty(); }, 2000))
            return;
    }
}

std::unique_ptr<Process> Start(const std::string& cmdline, const std::string& cwd,
                               const std::string& outFile, bool waitIdle)
{
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    HANDLE hOut = INVALID_HANDLE_VALUE;
    if (!outFile.empty()) {
        SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
        hOut = ::CreateFileA(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             CREATE_ALWAYS, 0, nullptr);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = hOut;
        si.hStdError = hOut;
        si.hStdInput = nullptr;
    }
    PROCESS_INFORMATION pi = {};
    std::string cmd = cmdline;
    BOOL ok = ::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, hOut != INVALID_HANDLE_VALUE, 0, nullptr,
                               cwd.empty() ? nullptr : cwd.c_str(), &si, &pi);
    if (hOut != INVALID_HANDLE_VALUE)
        ::CloseHandle(hOut);
    if (!ok)
        return nullptr;
    ::CloseHandle(pi.hThread);
    std::unique_ptr<Process> p(new Process);
    p->h = pi.hProcess;
    p->pid = pi.dwProcessId;
    if (waitIdle)
        ::WaitForInputIdle(pi.hProcess, 10000);
    return p;
}

std::string MakeInstall(const std::string& tag, const std::vector<std::string>& guests)
{
    std::string dir = NewTempDir(tag);
    EXPECT_TRUE(CopyTo(BinDir() + "\\Holvane.exe", dir + "\\Holvane.exe"));
    for (const std::string& g : guests)
        EXPECT_TRUE(CopyTo(BinDir() + "\\" + g, dir + "\\" + g)) << g;
    return dir;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD ms, DWORD stepMs)
{
    DWORD start = ::GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(stepMs);
    }
}

static void PumpOnce()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& pred, DWORD ms)
{
    DWORD start = ::GetTickCount();
    for (;;) {
        PumpOnce();
        if (pred())
            return true;
        if (::GetTickCount() - start >= ms)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

std::string WindowText(HWND h)
{
    char buf[1024] = {};
    ::GetWindowTextA(h, buf, sizeof(buf));
    return buf;
}

std::string ClassName(HWND h)
{
    char buf[256] = {};
    ::GetClassNameA(h, buf, sizeof(buf));
    return buf;
}

DWORD WindowPid(HWND h)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    return pid;
}

static BOOL CALLBACK CollectTop(HWND h, LPARAM l)
{
    reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
    return TRUE;
}

std::vector<HWND> TopWindows()
{
    std::vector<HWND> list;
    ::EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&list));
    return list;
}

HWND FindTopWindow(DWORD pid, const char* caption, bool visibleOnly)
{
    for (HWND h : TopWindows()) {
        if (WindowPid(h) != pid)
            continue;
        if (visibleOnly && !::IsWindowVisible(h))
            continue;
        if (caption && WindowText(h) != caption)
            continue;
        return h;
    }
    return nullptr;
}

HWND WaitTopWindow(DWORD pid, const char* caption, DWORD ms, bool visibleOnly)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(pid, caption, visibleOnly)) != nullptr; }, ms);
    return found;
}

HWND WaitDock(DWORD pid, DWORD ms)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND h : TopWindows())
            if (WindowPid(h) == pid && WindowText(h) == "Holvane" && ClassName(h) == "#32770")
                return (found = h) != nullptr;
        return false;
    }, ms);
    return found;
}

bool IsTopMost(HWND h)
{
    return (::GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

RECT WindowRect(HWND h)
{
    RECT rc = {};
    ::GetWindowRect(h, &rc);
    return rc;
}

RECT ClientRectOnScreen(HWND h)
{
    RECT rc = {};
    ::GetClientRect(h, &rc);
    ::MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool Docked(HWND guest)
{
    return ::IsWindow(guest) && (::GetWindowLongA(guest, GWL_STYLE) & WS_SYSMENU) == 0;
}

bool Settled(HWND dock, const std::vector<HWND>& guests)
{
    std::vector<RECT> clients;
    for (HWND c = ::GetWindow(dock, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (ClassName(c) != "#32770")
            continue;
        // A new frame starts at the top left corner; its slot is below the
        // buttons.
        RECT r = WindowRect(c);
        POINT q = { r.left, r.top };
        ::ScreenToClient(dock, &q);
        if (q.y < 30)
            return false;
        clients.push_back(ClientRectOnScreen(c));
    }
    for (HWND g : guests) {
        if (!Docked(g))
            return false;
        RECT r = WindowRect(g);
        bool seated = false;
        for (const RECT& c : clients)
            seated = seated || ::EqualRect(&r, &c);
        if (!seated)
            return false;
    }
    return true;
}

std::vector<std::string> GuestLog(const std::string& dir, const std::string& baseName)
{
    return ReadLines(dir + "\\" + baseName + ".log");
}

std::vector<std::string> GuestEvents(const std::string& dir, const std::string& baseName, DWORD pid)
{
    std::vector<std::string> events;
    char pidText[32];
    snprintf(pidText, sizeof(pidText), "%lu", pid);
    for (const std::string& line : GuestLog(dir, baseName)) {
        size_t sp = line.find(' ');
        if (sp == std::string::npos)
            continue;
        size_t sp2 = line.find(' ', sp + 1);
        std::string p = line.substr(sp + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp - 1);
        if (p == pidText)
            events.push_back(line.substr(0, sp));
    }
    return events;
}

static int g_savedStdout = -1;

TraceCapture::TraceCapture()
{
    path = NewTempDir("trace") + "\\trace.txt";
    fflush(stdout);
    g_savedStdout = _dup(1);
    int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0666);
    _dup2(fd, 1);
    _close(fd);
    setvbuf(stdout, nullptr, _IONBF, 0);
}

TraceCapture::~TraceCapture()
{
    fflush(stdout);
    if (g_savedStdout >= 0) {
        _dup2(g_savedStdout, 1);
        _close(g_savedStdout);
        g_savedStdout = -1;
    }
}

std::string TraceCapture::Text()
{
    fflush(stdout);
    return ReadAll(path);
}

namespace {
const std::function<void(CHolvaneDlg&)>* g_body;
CHolvaneDlg* g_dock;

void CALLBACK RunBody(HWND, UINT, UINT_PTR id, DWORD)
{
    // A failure box of the launch pass runs its own loop inside
    // OnInitDialog, with the dock disabled: wait until it is done.
    if (!g_dock->m_hWnd || !::IsWindowEnabled(g_dock->m_hWnd))
        return;
    ::KillTimer(nullptr, id);
    (*g_body)(*g_dock);
    if (g_dock->m_hWnd)
        g_dock->EndDialog(IDOK);
}
} // namespace

void RunDock(const std::function<void(CHolvaneDlg&)>& body, bool show)
{
    g_bShowMode = show ? 1 : 0;
    CHolvaneDlg dlg(nullptr);
    g_body = &body;
    g_dock = &dlg;
    AfxGetApp()->m_pMainWnd = &dlg;
    // A thread timer runs the body from inside the modal loop.
    ::SetTimer(nullptr, 0, 1, RunBody);
    dlg.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    g_body = nullptr;
    g_dock = nullptr;
}

bool Screenshot(const std::string& path)
{
    HDC screen = ::GetDC(nullptr);
    int w = ::GetSystemMetrics(SM_CXSCREEN), hgt = ::GetSystemMetrics(SM_CYSCREEN);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = hgt;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, hgt, screen, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    DWORD stride = ((w * 3) + 3) & ~3u;
    DWORD imageSize = stride * hgt;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + imageSize;
    bi.bmiHeader.biSizeImage = imageSize;
    std::string data(reinterpret_cast<char*>(&fh), sizeof(fh));
    data.append(reinterpret_cast<char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
    data.append(static_cast<char*>(bits), imageSize);
    WriteAll(path, data);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return FileExists(path);
}

} // namespace ts
