// HolvaneBench N: the dock's idle cost with N foreign windows, run under
// Wine by scripts/bench. One run, in a fresh folder with the dock and the
// four sample guests:
//  1. FloodWindows N, then Holvane.exe (hidden, the idle case); times from
//     its start to its notification icon and to all four guests docked;
//  2. cursor parked over no window; CPU of the dock and of the wineserver
//     over BENCH_SECONDS, read from /proc through drive Z:; the dock's peak
//     memory; the dock is ended from its icon's menu command;
//  3. the same windows (guests hidden) with HolvaneFloor instead of the
//     dock, sampled the same way;
//  4. a dock in this process: median times of one ScanWindows and one
//     OnWatchTimer;
//  5. CPU per call of the steps of a process query.
// Prints one table row each on lines "ROW", "EXTRA" and "STEPS", and notes
// on standard error.
#include "dock/HolvaneDlg.h"
#include "app/Startup.h"
#include <algorithm>
#include <mbstring.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

CWinApp theBenchApp("HolvaneBench");

namespace {

const char* const kGuests[] = { "TrelvoxOne.exe", "TrelvoxForVnc.exe", "TrelvoxForFtp.exe", "TrelvoxForCvs.exe" };
const int kGuestCount = 4;

int EnvInt(const char* name, int def)
{
    char buf[32] = {};
    return ::GetEnvironmentVariableA(name, buf, sizeof(buf)) ? atoi(buf) : def;
}

double Now()
{
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

void Note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Note(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
    fflush(stderr);
}

// ---- files

std::string ReadText(const std::string& path)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string data;
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0)
        data.append(buf, n);
    ::CloseHandle(h);
    return data;
}

// Folder and file name of this program (code page 932 aware).
std::string SelfPath(bool wantName)
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    unsigned char* slash = _mbsrchr(reinterpret_cast<unsigned char*>(path), '\\');
    if (!slash)
        return wantName ? path : ".";
    *slash = 0;
    return wantName ? reinterpret_cast<char*>(slash + 1) : path;
}

std::string BinDir()
{
    return SelfPath(false);
}

void RemoveFolder(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE f = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
        do
            ::DeleteFileA((dir + "\\" + fd.cFileName).c_str());
        while (::FindNextFileA(f, &fd));
        ::FindClose(f);
    }
    ::RemoveDirectoryA(dir.c_str());
}

// ---- processes

struct Child {
    HANDLE h = nullptr;
    DWORD pid = 0, tid = 0;
    bool Running() const { return h && ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT; }
    bool Wait(DWORD ms) const { return !h || ::WaitForSingleObject(h, ms) == WAIT_OBJECT_0; }
    void End()
    {
        if (Running()) {
            ::TerminateProcess(h, 99);
            Wait(5000);
        }
        if (h)
            ::CloseHandle(h);
        h = nullptr;
    }
};

bool Start(Child& c, const std::string& exe, const std::string& args, const std::string& cwd)
{
    std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    c.h = pi.hProcess;
    c.pid = pi.dwProcessId;
    c.tid = pi.dwThreadId;
    return true;
}

// ---- /proc through drive Z:

std::string Proc(unsigned pid, const char* file)
{
    char path[64];
    snprintf(path, sizeof(path), "Z:\\proc\\%u\\%s", pid, file);
    return ReadText(path);
}

std::string Comm(const std::string& stat)
{
    size_t a = stat.find('('), b = stat.rfind(')');
    return a == std::string::npos || b == std::string::npos ? std::string() : stat.substr(a + 1, b - a - 1);
}

// Field n (1-based, n > 2) of /proc/<pid>/stat.
long long StatField(const std::string& stat, int n)
{
    size_t p = stat.rfind(')');
    if (p == std::string::npos)
        return -1;
    const char* q = stat.c_str() + p + 1;
    for (int i = 2; i < n && q; ++i)
        q = strchr(q + 1, ' ');
    return q ? atoll(q + 1) : -1;
}

// utime + stime (fields 14 and 15) of a whole process, all its threads.
long long CpuTicks(unsigned pid)
{
    std::string s = Proc(pid, "stat");
    long long utime = StatField(s, 14), stime = StatField(s, 15);
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

// Peak resident set size (VmHWM).
double PeakMiB(unsigned pid)
{
    std::string s = Proc(pid, "status");
    size_t p = s.find("VmHWM:");
    return p == std::string::npos ? -1 : atof(s.c_str() + p + 6) / 1024.0;
}

// The Linux process whose first argument is this Windows path: Wine puts
// the Windows command line into the Linux one.
unsigned UnixPidOf(const std::string& exePath)
{
    for (int tries = 0; tries < 100; ++tries) {
        WIN32_FIND_DATAA fd;
        HANDLE f = ::FindFirstFileA("Z:\\proc\\*", &fd);
        unsigned found = 0;
        if (f != INVALID_HANDLE_VALUE) {
            do {
                unsigned pid = static_cast<unsigned>(atoi(fd.cFileName));
                if (pid && Proc(pid, "cmdline").c_str() == exePath)
                    found = pid;
            } while (!found && ::FindNextFileA(f, &fd));
            ::FindClose(f);
        }
        if (found)
            return found;
        ::Sleep(100);
    }
    return 0;
}

// This process: its name and the session of a child it started (Wine
// starts children from the parent's Linux process, in its session).
unsigned SelfUnixPid(unsigned child)
{
    std::string comm = SelfPath(true).substr(0, 15); // the kernel keeps 15 characters
    long long session = StatField(Proc(child, "stat"), 6);
    unsigned found = 0, count = 0;
    WIN32_FIND_DATAA fd;
    HANDLE f = ::FindFirstFileA("Z:\\proc\\*", &fd);
    if (f != INVALID_HANDLE_VALUE) {
        do {
            unsigned pid = static_cast<unsigned>(atoi(fd.cFileName));
            std::string stat = pid ? Proc(pid, "stat") : std::string();
            if (pid && Comm(stat) == comm && StatField(stat, 6) == session) {
                found = pid;
                ++count;
            }
        } while (::FindNextFileA(f, &fd));
        ::FindClose(f);
    }
    return count == 1 ? found : 0;
}

// Wine's server opens files for its clients, so /proc/self is the server
// of this prefix.
unsigned WineserverPid()
{
    std::string s = ReadText("Z:\\proc\\self\\stat");
    return Comm(s).compare(0, 10, "wineserver") == 0 ? static_cast<unsigned>(atoi(s.c_str())) : 0;
}

struct Cpu {
    double target = -1, server = -1; // % of one core
};

Cpu SampleCpu(unsigned target, unsigned server, int seconds)
{
    static const double hz = EnvInt("BENCH_CLK_TCK", 100);
    Cpu r;
    double t0 = Now();
    long long a0 = CpuTicks(target), s0 = CpuTicks(server);
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    long long a1 = CpuTicks(target), s1 = CpuTicks(server);
    double wall = Now() - t0;
    if (a0 >= 0 && a1 >= 0)
        r.target = (a1 - a0) / hz / wall * 100.0;
    if (s0 >= 0 && s1 >= 0)
        r.server = (s1 - s0) / hz / wall * 100.0;
    return r;
}

// ---- windows

std::string ClassOf(HWND h)
{
    char buf[64] = {};
    ::GetClassNameA(h, buf, sizeof(buf));
    return buf;
}

struct WindowQuery {
    DWORD pid = 0;
    const char* cls = nullptr;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND h, LPARAM l)
{
    WindowQuery& q = *reinterpret_cast<WindowQuery*>(l);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if ((!q.pid || pid == q.pid) && (!q.cls || ClassOf(h) == q.cls))
        q.found.push_back(h);
    return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid, const char* cls)
{
    WindowQuery q;
    q.pid = pid;
    q.cls = cls;
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND FindDock(DWORD pid)
{
    for (HWND h : TopWindows(pid, "#32770")) {
        char text[64] = {};
        ::GetWindowTextA(h, text, sizeof(text));
        if (strcmp(text, "Holvane") == 0)
            return h;
    }
    return nullptr;
}

// The dock's icon is there when the shell accepts a change to it.
bool IconPresent(HWND dock)
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = kNotifyIconDataSize;
    nid.hWnd = dock;
    nid.uID = 0;
    return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

// Docked frames: child dialogs of the dock, shown or not.
int CountFrames(HWND dock)
{
    int n = 0;
    for (HWND c = ::GetWindow(dock, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (ClassOf(c) == "#32770")
            ++n;
    return n;
}

BOOL CALLBACK CollectCaptioned(HWND h, LPARAM l)
{
    char text[256] = {};
    if (::IsWindowVisible(h) && ::GetWindowTextA(h, text, sizeof(text)) > 0)
        reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
    return TRUE;
}

// Visible top-level windows with a caption: those the dock queries.
std::vector<HWND> VisibleCaptioned()
{
    std::vector<HWND> v;
    ::EnumWindows(CollectCaptioned, reinterpret_cast<LPARAM>(&v));
    return v;
}

std::vector<HWND> GuestWindows()
{
    return TopWindows(0, "TrelvoxGuestWnd");
}

// Guest windows that were taken over: the dock clears their system menu.
int AdoptedGuests()
{
    int n = 0;
    for (HWND h : GuestWindows())
        if (!(::GetWindowLongA(h, GWL_STYLE) & WS_SYSMENU))
            ++n;
    return n;
}

template <class Pred>
bool WaitFor(Pred pred, DWORD ms, DWORD step = 50)
{
    DWORD start = ::GetTickCount();
    while (!pred()) {
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(step);
    }
    return true;
}

// A dock slower than its timers always has a WM_TIMER waiting: the time
// is checked after every message.
void PumpFor(double seconds, bool (*done)() = nullptr)
{
    double end = Now() + seconds;
    while (Now() < end && !(done && done())) {
        MSG msg;
        while (Now() < end && !(done && done()) && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// ---- the dock in this process

struct Timings {
    std::vector<double> scan, watch;   // milliseconds per run
    double scanCpu = -1, watchCpu = -1; // CPU ms per run, this process and the server
    int frames = 0;
};
unsigned g_selfUnix, g_server;
CHolvaneDlg* g_dock;
Timings* g_timings;

bool AllFramesThere()
{
    return g_dock->m_frames.size() >= static_cast<size_t>(kGuestCount);
}

// Runs fn up to count times (at least 5, then while the budget of
// seconds lasts); wall time of each run, and CPU time per run of this
// process and the server together, which load on the machine hardly moves.
template <class Fn>
void TimeRuns(std::vector<double>& out, double& cpu, int count, double budget, Fn fn)
{
    double stop = Now() + budget;
    long long c0 = CpuTicks(g_selfUnix) + CpuTicks(g_server);
    for (int i = 0; i < count && (i < 5 || Now() < stop); ++i) {
        double t = Now();
        fn();
        out.push_back((Now() - t) * 1000.0);
    }
    long long c1 = CpuTicks(g_selfUnix) + CpuTicks(g_server);
    if (g_selfUnix && c0 >= 0 && c1 >= 0)
        cpu = (c1 - c0) * 1000.0 / EnvInt("BENCH_CLK_TCK", 100) / out.size();
}

void CALLBACK MeasureInDock(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    CHolvaneDlg& dock = *g_dock;
    PumpFor(60, AllFramesThere);
    g_timings->frames = static_cast<int>(dock.m_frames.size());
    PumpFor(3);
    double budget = EnvInt("BENCH_TIMING_BUDGET", 30);
    TimeRuns(g_timings->scan, g_timings->scanCpu, 200, budget, [&] { dock.ScanWindows(); });
    TimeRuns(g_timings->watch, g_timings->watchCpu, 100, budget, [&] { dock.OnWatchTimer(); });
    // Tells the guests to quit and ends the modal run, as the icon's menu does.
    dock.OnTrayExit();
}

Timings TimeInProcess(const std::string& dir)
{
    Timings t;
    ::SetCurrentDirectoryA(dir.c_str());
    g_bShowMode = 0;
    CHolvaneDlg dlg(nullptr);
    g_dock = &dlg;
    g_timings = &t;
    theBenchApp.m_pMainWnd = &dlg;
    ::SetTimer(nullptr, 0, 1, MeasureInDock);
    dlg.DoModal();
    theBenchApp.m_pMainWnd = nullptr;
    g_dock = nullptr;
    ::SetCurrentDirectoryA(BinDir().c_str());
    return t;
}

// ---- cost of one call of each step of a scan, against one foreign
// window and its process

// CPU microseconds per call (this process and the server) of fn, called
// for one second.
template <class Fn>
double CpuPerCall(Fn fn)
{
    long long c0 = CpuTicks(g_selfUnix) + CpuTicks(g_server);
    double stop = Now() + 1.0;
    long calls = 0;
    while (Now() < stop) {
        for (int i = 0; i < 10; ++i)
            fn();
        calls += 10;
    }
    long long c1 = CpuTicks(g_selfUnix) + CpuTicks(g_server);
    return g_selfUnix && c0 >= 0 && c1 >= 0 ? (c1 - c0) * 1e6 / EnvInt("BENCH_CLK_TCK", 100) / calls : -1;
}

struct StepCosts {
    double text = -1, pid = -1, open = -1, lib = -1, modules = -1, name = -1, query = -1;
};

StepCosts MeasureSteps(HWND hWnd, DWORD pid)
{
    StepCosts c;
    volatile DWORD sink = 0;
    if (hWnd) {
        c.text = CpuPerCall([&] {
            char caption[256] = {};
            sink = sink + ::GetWindowTextA(hWnd, caption, 256);
        });
        c.pid = CpuPerCall([&] {
            DWORD p = 0;
            sink = sink + ::GetWindowThreadProcessId(hWnd, &p);
        });
    }
    c.open = CpuPerCall([&] { ::CloseHandle(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)); });
    c.lib = CpuPerCall([&] { ::FreeLibrary(::LoadLibraryA("psapi")); });
    // With the library held, the calls alone.
    HMODULE psapi = ::LoadLibraryA("psapi");
    typedef BOOL(WINAPI * EnumFn)(HANDLE, HMODULE*, DWORD, LPDWORD);
    typedef DWORD(WINAPI * NameFn)(HANDLE, HMODULE, LPSTR, DWORD);
    EnumFn pEnum = reinterpret_cast<EnumFn>(reinterpret_cast<void*>(::GetProcAddress(psapi, "EnumProcessModules")));
    NameFn pName = reinterpret_cast<NameFn>(reinterpret_cast<void*>(::GetProcAddress(psapi, "GetModuleBaseNameA")));
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    static HMODULE modules[1024];
    DWORD needed = 0;
    if (pEnum && pName && hProcess && pEnum(hProcess, modules, sizeof(modules), &needed)) {
        c.modules = CpuPerCall([&] { sink = sink + pEnum(hProcess, modules, sizeof(modules), &needed); });
        c.name = CpuPerCall([&] {
            char buf[1024] = {};
            sink = sink + pName(hProcess, modules[0], buf, sizeof(buf));
        });
    }
    if (hProcess)
        ::CloseHandle(hProcess);
    ::FreeLibrary(psapi);
    // The dock's whole query, as each scan makes it for every candidate.
    CHolvaneDlg dlg(nullptr);
    c.query = CpuPerCall([&] {
        CString name;
        dlg.GetProcessBaseName(pid, name);
    });
    return c;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::string Fmt(double v, int decimals)
{
    if (v < 0)
        return "n/a";
    char buf[32];
    snprintf(buf, sizeof(buf), "%.*f", decimals, v);
    return buf;
}

void EndGuestWindows()
{
    for (HWND h : GuestWindows())
        ::PostMessageA(h, WM_CLOSE, 0, 0);
    WaitFor([] { return GuestWindows().empty(); }, 10000);
}

} // namespace

int main(int argc, char** argv)
{
    int n = argc > 1 ? atoi(argv[1]) : 100;
    int seconds = EnvInt("BENCH_SECONDS", 30);
    int settle = EnvInt("BENCH_SETTLE", 5);
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LINK_CLASS | ICC_STANDARD_CLASSES };
    ::InitCommonControlsEx(&icc);

    unsigned server = g_server = WineserverPid();
    if (!server) {
        Note("cannot find the wineserver in /proc (is drive Z: the Linux root?)");
        return 1;
    }
    if (!GuestWindows().empty()) {
        Note("guest windows are already running: the dock would dock them");
        return 1;
    }

    // A fresh folder: the dock, the floor and the guests, and Holvane.ini
    // naming the guests. Its unique name tells our processes in /proc.
    std::string bin = BinDir();
    char tmp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, tmp);
    char name[96];
    snprintf(name, sizeof(name), "%sholvane-bench", tmp);
    ::CreateDirectoryA(name, nullptr);
    snprintf(name, sizeof(name), "%sholvane-bench\\%lu-%lu-n%d", tmp, ::GetCurrentProcessId(), ::GetTickCount(), n);
    std::string dir = name;
    ::CreateDirectoryA(dir.c_str(), nullptr);
    bool copied = ::CopyFileA((bin + "\\Holvane.exe").c_str(), (dir + "\\Holvane.exe").c_str(), FALSE) &&
                  ::CopyFileA((bin + "\\HolvaneFloor.exe").c_str(), (dir + "\\HolvaneFloor.exe").c_str(), FALSE);
    std::string ini = dir + "\\Holvane.ini";
    for (const char* g : kGuests) {
        copied = copied && ::CopyFileA((bin + "\\" + g).c_str(), (dir + "\\" + g).c_str(), FALSE);
        ::WritePrivateProfileStringA(g, "EXEPATH", (dir + "\\" + g).c_str(), ini.c_str());
    }
    if (!copied) {
        Note("cannot copy the programs from %s", bin.c_str());
        return 1;
    }

    Child flood;
    if (!Start(flood, bin + "\\FloodWindows.exe", std::to_string(n), dir)) {
        Note("cannot start FloodWindows.exe");
        return 1;
    }
    ::WaitForInputIdle(flood.h, 60000);
    size_t floodWindows = TopWindows(flood.pid, "FloodWindowsWnd").size();
    // Over no window: the bottom right corner of the screen stays empty.
    int cx = ::GetSystemMetrics(SM_CXSCREEN) - 5, cy = ::GetSystemMetrics(SM_CYSCREEN) - 5;
    ::SetCursorPos(cx, cy);

    // 1. Start-up of the real dock.
    Child dock;
    double t0 = Now(), tIcon = -1, tDocked = -1;
    if (!Start(dock, dir + "\\Holvane.exe", "", dir)) {
        Note("cannot start Holvane.exe");
        flood.End();
        return 1;
    }
    HWND hDock = nullptr;
    while (Now() - t0 < 60 && (tIcon < 0 || tDocked < 0) && dock.Running()) {
        if (!hDock)
            hDock = FindDock(dock.pid);
        if (hDock && tIcon < 0 && IconPresent(hDock))
            tIcon = (Now() - t0) * 1000;
        if (hDock && tDocked < 0 && CountFrames(hDock) >= kGuestCount)
            tDocked = (Now() - t0) * 1000;
        ::Sleep(10);
    }
    unsigned dockUnix = UnixPidOf(dir + "\\Holvane.exe");
    g_selfUnix = SelfUnixPid(dockUnix);
    int adopted = AdoptedGuests();
    size_t guestCount = GuestWindows().size();

    // 2. Steady state of the dock.
    ::SetCursorPos(cx, cy);
    POINT pt;
    ::GetCursorPos(&pt);
    HWND under = ::WindowFromPoint(pt);
    std::string underCursor = under && under != ::GetDesktopWindow() ? ClassOf(under) : "desktop";
    ::Sleep(static_cast<DWORD>(settle) * 1000);
    std::vector<HWND> captioned = VisibleCaptioned();
    std::string others;
    for (HWND h : captioned) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        if (pid != flood.pid)
            others += " " + ClassOf(h);
    }
    Cpu dockCpu = SampleCpu(dockUnix, server, seconds);
    double dockPeak = PeakMiB(dockUnix);
    bool dockEnded = false;
    if (hDock) {
        ::PostMessageA(hDock, WM_COMMAND, ID_TRAY_EXIT, 0);
        dockEnded = dock.Wait(30000);
    }
    bool guestsEnded = WaitFor([] { return GuestWindows().empty(); }, 10000);
    dock.End();
    EndGuestWindows();

    // 3. The floor with the same windows: the guests hidden, as the
    // hidden dock leaves them.
    Child guests[kGuestCount], floor;
    for (int i = 0; i < kGuestCount; ++i)
        Start(guests[i], dir + "\\" + kGuests[i], "-hidden", dir);
    if (!WaitFor([] { return GuestWindows().size() >= static_cast<size_t>(kGuestCount); }, 30000))
        Note("N=%d: only %d guest windows for the floor", n, static_cast<int>(GuestWindows().size()));
    Start(floor, dir + "\\HolvaneFloor.exe", "", dir);
    unsigned floorUnix = UnixPidOf(dir + "\\HolvaneFloor.exe");
    ::SetCursorPos(cx, cy);
    ::Sleep(static_cast<DWORD>(settle) * 1000);
    Cpu floorCpu = SampleCpu(floorUnix, server, seconds);
    double floorPeak = PeakMiB(floorUnix);
    ::PostThreadMessageA(floor.tid, WM_QUIT, 0, 0);
    floor.Wait(10000);
    floor.End();
    for (Child& g : guests)
        g.End();

    // 4. One scan and one watchdog run, timed in this process; the cost
    // of their steps.
    ::SetCursorPos(cx, cy);
    Timings t = TimeInProcess(dir);
    EndGuestWindows();
    std::vector<HWND> floodList = TopWindows(flood.pid, "FloodWindowsWnd");
    StepCosts steps = MeasureSteps(floodList.empty() ? nullptr : floodList[0], flood.pid);
    ::PostThreadMessageA(flood.tid, WM_QUIT, 0, 0);
    flood.Wait(20000);
    flood.End();
    RemoveFolder(dir);

    double ratio = -1;
    if (dockCpu.target >= 0 && dockCpu.server >= 0 && floorCpu.target + floorCpu.server > 0)
        ratio = (dockCpu.target + dockCpu.server) / (floorCpu.target + floorCpu.server);
    printf("ROW | %d | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", n, Fmt(dockCpu.target, 2).c_str(),
           Fmt(dockCpu.server, 2).c_str(), Fmt(floorCpu.target, 2).c_str(), Fmt(floorCpu.server, 2).c_str(),
           Fmt(ratio, 1).c_str(), Fmt(Median(t.scan), 2).c_str(), Fmt(Median(t.watch), 2).c_str(),
           Fmt(dockPeak, 1).c_str(), Fmt(tIcon, 0).c_str(), Fmt(tDocked, 0).c_str());
    printf("EXTRA | %d | %zu | %d | %s | %d/%d | %d/%d | %s | %s | %s | %s | %zu, %zu | %s |\n", n, floodWindows,
           static_cast<int>(captioned.size()), underCursor.c_str(), adopted, static_cast<int>(guestCount),
           t.frames, kGuestCount, dockEnded ? "yes" : "NO", guestsEnded ? "yes" : "NO", Fmt(t.scanCpu, 1).c_str(),
           Fmt(t.watchCpu, 1).c_str(), t.scan.size(), t.watch.size(), Fmt(floorPeak, 1).c_str());
    printf("STEPS | %d | %s | %s | %s | %s | %s | %s | %s |\n", n, Fmt(steps.text, 0).c_str(),
           Fmt(steps.pid, 0).c_str(), Fmt(steps.open, 0).c_str(), Fmt(steps.lib, 0).c_str(),
           Fmt(steps.modules, 0).c_str(), Fmt(steps.name, 0).c_str(), Fmt(steps.query, 0).c_str());
    Note("N=%d: visible captioned windows besides FloodWindows' (classes):%s", n, others.c_str());
    Note("N=%d: unix pids: dock %u, floor %u, wineserver %u, bench %u; CPU sampled %d s after %d s settling", n,
         dockUnix, floorUnix, server, g_selfUnix, seconds, settle);
    return 0;
}
