// The hang watchdog: which windows it watches, how it probes the one under
// the cursor, and how its runs follow each other. Real sample guests, the
// dock in this process, the cursor placed by the test.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "dock/HolvaneDlg.h"
#include "watchdog/WatchFilter.h"
#include <algorithm>
#include <atomic>
#include <memory>
#include <stdio.h>
#include <string.h>
#include <thread>
#include <vector>

namespace {

const UINT WM_CTL_HANG = WM_APP + 1; // sample guest: stop answering for wParam ms

// ---------------------------------------------------------------------------
// A helper mode of this program: a process that only shows many captioned
// top-level windows, so the benchmark has another program's windows to walk.
const char kHostSwitch[] = "--watchdog-window-host=";

int RunWindowHost(int count)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "WatchdogBenchHost";
    ::RegisterClassA(&wc);
    for (int i = 0; i < count; ++i) {
        char caption[64];
        snprintf(caption, sizeof(caption), "Host window %d", i);
        // A grid in the left half of the screen, away from the bench cursor.
        ::CreateWindowExA(0, wc.lpszClassName, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20 + (i % 10) * 80,
                          300 + (i / 10) * 60, 150, 100, nullptr, nullptr, wc.hInstance, nullptr);
    }
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&msg);
    return 0;
}

struct HostModeCheck {
    HostModeCheck()
    {
        const char* p = strstr(::GetCommandLineA(), kHostSwitch);
        if (p)
            ::ExitProcess(static_cast<UINT>(RunWindowHost(atoi(p + strlen(kHostSwitch)))));
    }
} g_hostModeCheck;

// ---------------------------------------------------------------------------
// Trace helpers.

using ts::SplitLines;

// One "LRESUST ret= %d, Time=%d" line, checked to be exactly in that format.
struct Probe {
    bool ok = false;
    int ret = 0;
    int time = 0;
};

Probe ParseProbe(const std::string& line)
{
    Probe p;
    if (sscanf(line.c_str(), "LRESUST ret= %d, Time=%d", &p.ret, &p.time) != 2)
        return p;
    char again[96];
    snprintf(again, sizeof(again), "LRESUST ret= %d, Time=%d", p.ret, p.time);
    p.ok = line == again;
    return p;
}

const char kTimeout[] = "TIMEOUT DETECT!";
const char kForeground[] = "SetForegroundWindow()";

// The hang test waits m_nHangTimeout (2000 ms); allow for a loaded machine.
const int kWaitMin = 1900;
const int kWaitMax = 3500;

// Lines of the trace written while one run is made by hand. The timer is
// stopped around it so that no run of the dock's own comes in between.
struct RunLines {
    std::vector<std::string> lines;
    DWORD ms = 0;
};

RunLines RunOnce(CHolvaneDlg& dock, ts::TraceCapture& trace)
{
    dock.KillTimer(TIMER_WATCH);
    size_t before = trace.Text().size();
    DWORD t0 = ::GetTickCount();
    dock.OnWatchTimer();
    RunLines r;
    r.ms = ::GetTickCount() - t0;
    dock.KillTimer(TIMER_WATCH);
    r.lines = SplitLines(trace.Text().substr(before));
    return r;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += "[" + l + "] ";
    return s;
}

// ---------------------------------------------------------------------------
// Sample guests.

struct Guest {
    std::unique_ptr<ts::Process> proc;
    HWND hWnd = nullptr;
    std::string dir;
    std::string exe;  // file name as copied, letter case kept
    std::string path;

    std::string Base() const { return exe.substr(0, exe.rfind('.')); }
    int CountLog(const std::string& line) const
    {
        std::vector<std::string> log = ts::GuestLog(dir, Base());
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
};

HWND FindGuestWindow(DWORD pid)
{
    for (HWND h : ts::TopWindows())
        if (ts::WindowPid(h) == pid && ts::ClassName(h) == "TrelvoxGuestWnd")
            return h;
    return nullptr;
}

// Each guest gets a folder of its own: names that differ only in letter
// case would be one file in a shared folder.
std::unique_ptr<Guest> StartGuest(const std::string& exe, const std::string& args)
{
    std::unique_ptr<Guest> g(new Guest);
    g->dir = ts::NewTempDir("guest");
    g->exe = exe;
    g->path = g->dir + "\\" + exe;
    if (!ts::CopyTo(ts::BinDir() + "\\TrelvoxGuest.exe", g->path))
        return nullptr;
    g->proc = ts::Start("\"" + g->path + "\" " + args, g->dir);
    if (!g->proc)
        return nullptr;
    ts::WaitUntil([&] { return (g->hWnd = FindGuestWindow(g->proc->pid)) != nullptr; }, 10000);
    if (!g->hWnd)
        return nullptr;
    return g;
}

std::string PosArgs(int x, int y)
{
    char buf[64];
    snprintf(buf, sizeof(buf), "-pos %d,%d", x, y);
    return buf;
}

// Makes the guest stop answering for ms, and returns once it has started.
bool Hang(Guest& g, DWORD ms)
{
    char line[64];
    snprintf(line, sizeof(line), "HANG %lu %lu", g.proc->pid, ms);
    int before = g.CountLog(line);
    if (!::PostMessageA(g.hWnd, WM_CTL_HANG, ms, 0))
        return false;
    return ts::WaitUntil([&] { return g.CountLog(line) > before; }, 5000, 10);
}

bool Answers(const Guest& g, DWORD ms)
{
    DWORD_PTR r = 0;
    return ::SendMessageTimeoutA(g.hWnd, WM_NULL, 0, 0, SMTO_NORMAL, ms, &r) != 0;
}

POINT Center(HWND h)
{
    RECT rc = ts::WindowRect(h);
    POINT pt = { (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2 };
    return pt;
}

// A spot on the screen that the tests keep free of windows.
const POINT kEmptySpot = { 1880, 30 };

bool PutCursor(POINT pt)
{
    ::SetCursorPos(pt.x, pt.y);
    return ts::WaitUntil([&] {
        POINT now = {};
        ::GetCursorPos(&now);
        return now.x == pt.x && now.y == pt.y;
    }, 2000, 10);
}

bool MakeForeground(HWND h)
{
    return ts::PumpUntil([&] {
        if (::GetForegroundWindow() == h)
            return true;
        ::SetForegroundWindow(h);
        return false;
    }, 3000);
}

// The guest in the foreground, the cursor over its centre, and deaf for ms.
::testing::AssertionResult HangUnderCursor(Guest& g, DWORD ms)
{
    if (!MakeForeground(g.hWnd))
        return ::testing::AssertionFailure() << "the guest never came to the foreground";
    if (!PutCursor(Center(g.hWnd)))
        return ::testing::AssertionFailure() << "the cursor did not move";
    if (!Hang(g, ms))
        return ::testing::AssertionFailure() << "the guest did not start its hang";
    return ::testing::AssertionSuccess();
}

// A run whose probe waited out the whole timeout without an answer and then
// wrote the timeout line.
void ExpectWaitedOut(const std::vector<std::string>& lines)
{
    ASSERT_GE(lines.size(), 2u);
    Probe p = ParseProbe(lines[0]);
    EXPECT_TRUE(p.ok) << lines[0];
    EXPECT_EQ(0, p.ret);
    EXPECT_GE(p.time, kWaitMin);
    EXPECT_LE(p.time, kWaitMax);
    EXPECT_EQ(kTimeout, lines[1]);
}

bool Contains(const std::vector<WatchEntry>& list, HWND h)
{
    for (const WatchEntry& e : list)
        if (e.hWnd == h)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// The dock in this process, in a fresh folder, with its trace captured. The
// trace (with any failure messages printed meanwhile) is shown on failure.
class WatchdogDock : public ::testing::Test {
protected:
    void SetUp() override
    {
        char cwd[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, cwd);
        m_oldDir = cwd;
        m_dir = ts::NewTempDir("watchdog");
        ASSERT_FALSE(m_dir.empty());
        ::SetCurrentDirectoryA(m_dir.c_str());
        m_trace.reset(new ts::TraceCapture);
    }

    void TearDown() override
    {
        m_guests.clear();
        std::string text = m_trace->Text();
        m_trace.reset();
        ::SetCurrentDirectoryA(m_oldDir.c_str());
        if (HasFailure())
            printf("--- trace of the failed test ---\n%s--- end of trace ---\n", text.c_str());
    }

    Guest* Add(const std::string& exe, const std::string& args)
    {
        std::unique_ptr<Guest> g = StartGuest(exe, args);
        if (!g)
            return nullptr;
        m_guests.push_back(std::move(g));
        return m_guests.back().get();
    }

    ts::TraceCapture& Trace() { return *m_trace; }

    std::string m_oldDir;
    std::string m_dir;
    std::unique_ptr<ts::TraceCapture> m_trace;
    std::vector<std::unique_ptr<Guest>> m_guests;
};

// ===========================================================================
// The filter alone.

struct NameCase {
    const char* name;
    int index;
};

TEST(WatchFilter, WatchedNameIndex)
{
    const NameCase cases[] = {
        // The list in its order.
        { "SKYPE.EXE", 0 },
        { "TRELVOXFORTCP.EXE", 1 },
        { "TRELVOXFORFTP.EXE", 2 },
        { "TRELVOXFORCVS.EXE", 3 },
        { "TRELVOXFORVNC.EXE", 4 },
        { "TRELVOXONE.EXE", 5 },
        // Names as the platform reports them: any letter case.
        { "Skype.exe", 0 },
        { "skype.exe", 0 },
        { "sKyPe.ExE", 0 },
        { "TrelvoxForTcp.exe", 1 },
        { "TrelvoxForFtp.exe", 2 },
        { "trelvoxforcvs.exe", 3 },
        { "TrelvoxForVnc.exe", 4 },
        { "TrelvoxOne.exe", 5 },
        // Near misses.
        { "", -1 },
        { "Other.exe", -1 },
        { "Holvane.exe", -1 },
        { "SKYPE", -1 },
        { "SKYPE.EX", -1 },
        { "SKYPE.EXE ", -1 },
        { " SKYPE.EXE", -1 },
        { "SKYPE.EXE.EXE", -1 },
        { "XSKYPE.EXE", -1 },
        { "TrelvoxForTcp", -1 },
        { "TrelvoxTwo.exe", -1 },
        // cp932: full-width letters are other characters, not Skype.
        { "ｓｋｙｐｅ.exe", -1 },
        { "ＳＫＹＰＥ.ＥＸＥ", -1 },
        { "Ｓkype.exe", -1 },
        // Trail bytes 0x5C ("表") and lower-case letters ("ヂ" = 83 61).
        { "表skype.exe", -1 },
        { "ヂskype.exe", -1 },
        { "スカイプ.exe", -1 },
        { "ｽｶｲﾌﾟ.exe", -1 },
        // A lead byte cut off at the end.
        { "SKYPE.EXE\x82", -1 },
        { "\x82", -1 },
    };
    for (const NameCase& c : cases) {
        // A writable copy: the caller's text must not be upper-cased.
        std::vector<char> buf(c.name, c.name + strlen(c.name) + 1);
        EXPECT_EQ(c.index, WatchedNameIndex(buf.data())) << "name \"" << c.name << "\"";
        EXPECT_STREQ(c.name, buf.data()) << "name changed by the look-up";
    }
}

struct FactsCase {
    const char* what;
    BOOL visible;
    const char* caption;
    const char* base;
    DWORD style;
    RECT rc;
    bool watched;
};

TEST(WatchFilter, IsWatchedWindow)
{
    const DWORD kGuest = WS_OVERLAPPEDWINDOW;                               // as the guests create it
    const DWORD kDocked = kGuest & ~(WS_POPUP | WS_BORDER | WS_SYSMENU);     // after adoption
    const DWORD kDialog = WS_POPUP | WS_CAPTION | WS_SYSMENU;                // no minimise box
    const RECT rc = { 40, 40, 440, 340 };
    const FactsCase cases[] = {
        { "Skype", TRUE, "Skype", "Skype.exe", kGuest, rc, true },
        { "skype lower case", TRUE, "Skype", "skype.exe", kGuest, rc, true },
        { "Skype mixed case", TRUE, "Skype", "SkYpE.eXe", kGuest, rc, true },
        { "TCP", TRUE, "TrelvoxForTCP Ⅱ", "TrelvoxForTcp.exe", kGuest, rc, true },
        { "FTP", TRUE, "TrelvoxForFTP Ⅱ", "TrelvoxForFtp.exe", kGuest, rc, true },
        { "CVS", TRUE, "TrelvoxForCVS Ⅱ", "TrelvoxForCvs.exe", kGuest, rc, true },
        { "VNC", TRUE, "TrelvoxForVNC Ⅱ", "TrelvoxForVnc.exe", kGuest, rc, true },
        { "One", TRUE, "TrelvoxOne Ⅱ", "TrelvoxOne.exe", kGuest, rc, true },
        // Any caption will do: the name decides.
        { "other caption", TRUE, "何でも", "TrelvoxOne.exe", kGuest, rc, true },
        { "system menu and minimise box alone", TRUE, "x", "Skype.exe", WS_SYSMENU | WS_MINIMIZEBOX, rc, true },
        { "off screen", TRUE, "Skype", "Skype.exe", kGuest, { -32000, -32000, -31840, -31972 }, true },
        // Only equal edges make a rectangle empty here.
        { "inverted rectangle", TRUE, "Skype", "Skype.exe", kGuest, { 440, 340, 40, 40 }, true },

        { "docked guest", TRUE, "TrelvoxOne Ⅱ", "TrelvoxOne.exe", kDocked, rc, false },
        { "no system menu", TRUE, "Skype", "Skype.exe", kGuest & ~WS_SYSMENU, rc, false },
        { "no minimise box", TRUE, "Skype", "Skype.exe", kGuest & ~WS_MINIMIZEBOX, rc, false },
        { "dialog", TRUE, "Skype", "Skype.exe", kDialog, rc, false },
        { "hidden", FALSE, "Skype", "Skype.exe", kGuest, rc, false },
        { "empty caption", TRUE, "", "Skype.exe", kGuest, rc, false },
        { "no caption", TRUE, nullptr, "Skype.exe", kGuest, rc, false },
        { "zero width", TRUE, "Skype", "Skype.exe", kGuest, { 40, 40, 40, 340 }, false },
        { "zero height", TRUE, "Skype", "Skype.exe", kGuest, { 40, 40, 440, 40 }, false },
        { "zero size", TRUE, "Skype", "Skype.exe", kGuest, { 0, 0, 0, 0 }, false },
        { "unknown program", TRUE, "Other", "Other.exe", kGuest, rc, false },
        { "process not opened", TRUE, "Skype", "", kGuest, rc, false },
        { "no name", TRUE, "Skype", nullptr, kGuest, rc, false },
        { "full-width name", TRUE, "Skype", "ＳＫＹＰＥ.ＥＸＥ", kGuest, rc, false },
    };
    for (const FactsCase& c : cases) {
        WindowFacts f;
        f.bVisible = c.visible;
        f.pszCaption = c.caption;
        f.pszBaseName = c.base;
        f.dwStyle = c.style;
        f.rcWindow = c.rc;
        EXPECT_EQ(c.watched, IsWatchedWindow(f)) << c.what;
    }
}

// ===========================================================================
// Which real windows a run collects.

struct RealCase {
    const char* what;
    const char* exe;
    const char* args;
    void (*tweak)(HWND);  // applied from here once the window is up
    bool watched;
};

void ClearMinimizeBox(HWND h)
{
    ::SetWindowLongA(h, GWL_STYLE, ::GetWindowLongA(h, GWL_STYLE) & ~WS_MINIMIZEBOX);
}

// An overlapped or sizable window keeps at least its minimum tracking size;
// a pop-up without a sizing border can be made empty.
void MakeResizableToNothing(HWND h)
{
    LONG style = ::GetWindowLongA(h, GWL_STYLE);
    ::SetWindowLongA(h, GWL_STYLE, (style & ~WS_THICKFRAME) | WS_POPUP);
}

void ZeroHeight(HWND h)
{
    MakeResizableToNothing(h);
    RECT rc = ts::WindowRect(h);
    ::SetWindowPos(h, nullptr, 0, 0, rc.right - rc.left, 0,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void ZeroWidth(HWND h)
{
    MakeResizableToNothing(h);
    RECT rc = ts::WindowRect(h);
    ::SetWindowPos(h, nullptr, 0, 0, 0, rc.bottom - rc.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// Still a pop-up without sizing border, but with a size: the style change
// alone does not hide it from the watchdog.
void PopupOnly(HWND h)
{
    MakeResizableToNothing(h);
    ::SetWindowPos(h, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

TEST_F(WatchdogDock, CollectsUndockedWindowsOfWatchedPrograms)
{
    const RealCase cases[] = {
        { "Skype", "Skype.exe", "", nullptr, true },
        { "skype.exe in lower case", "skype.exe", "", nullptr, true },
        { "SKYPE.exe in mixed case", "SKYPE.exe", "", nullptr, true },
        { "TCP guest, never docked", "TrelvoxForTcp.exe", "", nullptr, true },
        { "One under another caption", "TrelvoxOne.exe", "-caption \"TrelvoxOne test\"", nullptr, true },
        { "VNC under another caption", "TrelvoxForVnc.exe", "-caption VNC", nullptr, true },
        { "FTP under another caption", "TrelvoxForFtp.exe", "-caption FTP", nullptr, true },
        { "CVS under another caption", "TrelvoxForCvs.exe", "-caption CVS", nullptr, true },
        { "pop-up without sizing border", "Skype.exe", "", PopupOnly, true },
        { "docked One", "TrelvoxOne.exe", "", nullptr, false },
        { "hidden", "Skype.exe", "-hidden", nullptr, false },
        { "empty caption", "Skype.exe", "-caption \"\"", nullptr, false },
        { "no minimise box", "Skype.exe", "", ClearMinimizeBox, false },
        { "zero height", "Skype.exe", "", ZeroHeight, false },
        { "zero width", "Skype.exe", "", ZeroWidth, false },
        { "unknown program", "Other.exe", "", nullptr, false },
    };
    const size_t n = sizeof(cases) / sizeof(cases[0]);
    std::vector<Guest*> guests;
    for (size_t i = 0; i < n; ++i) {
        Guest* g = Add(cases[i].exe, std::string(cases[i].args) + " " + PosArgs(20 + 20 * (int)i, 20 + 20 * (int)i));
        ASSERT_TRUE(g) << cases[i].what;
        guests.push_back(g);
    }
    ASSERT_TRUE(PutCursor(kEmptySpot));

    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        // The dock adopts the guest with the right caption on its first scan.
        for (size_t i = 0; i < n; ++i) {
            if (strcmp(cases[i].what, "docked One") == 0) {
                ASSERT_TRUE(ts::PumpUntil([&] {
                    return (::GetWindowLongA(guests[i]->hWnd, GWL_STYLE) & WS_SYSMENU) == 0;
                }, 10000)) << "the dock never adopted TrelvoxOne";
            }
        }
        for (size_t i = 0; i < n; ++i) {
            if (cases[i].tweak) {
                cases[i].tweak(guests[i]->hWnd);
                ts::PumpFor(100);
            }
        }
        for (size_t i = 0; i < n; ++i) {
            RECT rc = ts::WindowRect(guests[i]->hWnd);
            if (cases[i].tweak == ZeroHeight) {
                ASSERT_EQ(rc.top, rc.bottom) << "zero height could not be set";
            }
            if (cases[i].tweak == ZeroWidth) {
                ASSERT_EQ(rc.left, rc.right) << "zero width could not be set";
            }
        }

        for (size_t i = 0; i < n; ++i) {
            const Guest& g = *guests[i];
            SCOPED_TRACE(cases[i].what);
            // One window alone, into a list that already holds an entry.
            dock.m_watch.assign(1, WatchEntry());
            dock.CollectWatchWindow(g.hWnd);
            if (!cases[i].watched) {
                EXPECT_EQ(1u, dock.m_watch.size());
                continue;
            }
            ASSERT_EQ(2u, dock.m_watch.size());
            const WatchEntry& e = dock.m_watch[1];
            EXPECT_EQ(ts::WindowText(g.hWnd), (LPCSTR)e.strTitle);
            EXPECT_EQ(g.exe, (LPCSTR)e.strExeName);
            EXPECT_EQ(g.path, (LPCSTR)e.strExePath);
            EXPECT_EQ(g.hWnd, e.hWnd);
            EXPECT_EQ(g.proc->pid, e.dwProcessId);
        }
        // The caption of the TCP guest is kept byte for byte (cp932).
        dock.m_watch.clear();
        dock.CollectWatchWindow(guests[3]->hWnd);
        ASSERT_EQ(1u, dock.m_watch.size());
        EXPECT_STREQ("TrelvoxForTCP Ⅱ", dock.m_watch[0].strTitle);

        // Neither the dock itself nor a window that is gone.
        dock.m_watch.clear();
        dock.CollectWatchWindow(dock.m_hWnd);
        HWND gone = ::CreateWindowExA(0, "STATIC", "gone", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50,
                                      nullptr, nullptr, nullptr, nullptr);
        ::DestroyWindow(gone);
        dock.CollectWatchWindow(gone);
        dock.CollectWatchWindow(nullptr);
        EXPECT_TRUE(dock.m_watch.empty());

        // A whole run starts from an empty list and finds exactly the
        // watched windows, in enumeration order, once each.
        WatchEntry stale;
        stale.hWnd = reinterpret_cast<HWND>(0x1234);
        dock.m_watch.assign(3, stale);
        RunLines r = RunOnce(dock, Trace());
        EXPECT_TRUE(r.lines.empty()) << Join(r.lines);
        std::vector<HWND> expected, found;
        for (HWND h : ts::TopWindows())
            for (size_t i = 0; i < n; ++i)
                if (cases[i].watched && guests[i]->hWnd == h)
                    expected.push_back(h);
        for (const WatchEntry& e : dock.m_watch)
            found.push_back(e.hWnd);
        EXPECT_EQ(expected, found);
    });
}

// ===========================================================================
// The probe of the window under the cursor.

struct CursorCase {
    const char* what;
    int dx, dy;        // from the corner named by fromRight / fromBottom
    bool fromRight, fromBottom;
    bool probed;
};

TEST_F(WatchdogDock, AnsweringWindowUnderCursorIsProbedOnce)
{
    Guest* g = Add("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(g);
    // Right and bottom edges are outside, left and top edges inside.
    const CursorCase cases[] = {
        { "centre", 200, 150, false, false, true },
        { "top left corner", 0, 0, false, false, true },
        { "last pixel", -1, -1, true, true, true },
        { "right edge", 0, 10, true, false, false },
        { "bottom edge", 10, 0, false, true, false },
        { "left of it", -1, 10, false, false, false },
        { "above it", 10, -1, false, false, false },
    };
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        RECT rc = ts::WindowRect(g->hWnd);
        for (const CursorCase& c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_TRUE(MakeForeground(g->hWnd));
            POINT pt = { (c.fromRight ? rc.right : rc.left) + c.dx, (c.fromBottom ? rc.bottom : rc.top) + c.dy };
            ASSERT_TRUE(PutCursor(pt));
            RunLines r = RunOnce(dock, Trace());
            ASSERT_TRUE(Contains(dock.m_watch, g->hWnd));
            if (!c.probed) {
                EXPECT_TRUE(r.lines.empty()) << Join(r.lines);
                continue;
            }
            ASSERT_EQ(1u, r.lines.size()) << Join(r.lines);
            Probe p = ParseProbe(r.lines[0]);
            EXPECT_TRUE(p.ok) << r.lines[0];
            EXPECT_NE(0, p.ret);
            EXPECT_LT(p.time, kWaitMin);
            EXPECT_EQ(g->hWnd, ::GetForegroundWindow()) << "the foreground changed";
        }
    });
}

TEST_F(WatchdogDock, HungWindowUnderCursorBringsDockForward)
{
    Guest* g = Add("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(g);
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        EXPECT_EQ(2000, dock.m_nHangTimeout);
        EXPECT_EQ(2000, dock.m_nWatchInterval);
        ASSERT_TRUE(HangUnderCursor(*g, 4000));

        // Messages sent to the dock from another thread are still handled
        // while it waits for the hung window.
        std::atomic<LRESULT> sent(-1);
        std::string text(64, '\0');
        HWND hDock = dock.m_hWnd;
        std::thread sender([&] {
            ::Sleep(500);
            DWORD_PTR len = 0;
            sent = ::SendMessageTimeoutA(hDock, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                                         SMTO_NORMAL, 1000, &len);
        });
        RunLines r = RunOnce(dock, Trace());
        sender.join();

        ASSERT_EQ(3u, r.lines.size()) << Join(r.lines);
        ExpectWaitedOut(r.lines);
        EXPECT_EQ(kForeground, r.lines[2]);
        EXPECT_EQ(dock.m_hWnd, ::GetForegroundWindow());
        EXPECT_NE(0, sent.load()) << "a message sent to the dock waited for the hang test";
        EXPECT_STREQ("Holvane", text.c_str());
        EXPECT_TRUE(Answers(*g, 8000));
    });
}

TEST_F(WatchdogDock, CursorLeavingDuringWaitKeepsDockBack)
{
    Guest* g = Add("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(g);
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        ASSERT_TRUE(HangUnderCursor(*g, 4000));
        std::thread mover([] {
            ::Sleep(500);
            ::SetCursorPos(kEmptySpot.x, kEmptySpot.y);
        });
        RunLines r = RunOnce(dock, Trace());
        mover.join();

        ASSERT_EQ(2u, r.lines.size()) << Join(r.lines);
        ExpectWaitedOut(r.lines);
        EXPECT_EQ(g->hWnd, ::GetForegroundWindow());
        EXPECT_TRUE(Answers(*g, 8000));
    });
}

TEST_F(WatchdogDock, WindowEndingDuringWaitCountsAsAnswered)
{
    Guest* g = Add("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(g);
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        ASSERT_TRUE(HangUnderCursor(*g, 4000));
        HANDLE hProc = g->proc->h;
        std::thread killer([hProc] {
            ::Sleep(500);
            ::TerminateProcess(hProc, 7);
        });
        RunLines r = RunOnce(dock, Trace());
        killer.join();

        ASSERT_EQ(1u, r.lines.size()) << Join(r.lines);
        Probe p = ParseProbe(r.lines[0]);
        EXPECT_TRUE(p.ok) << r.lines[0];
        EXPECT_EQ(0, p.ret);
        EXPECT_LT(p.time, kWaitMin);
        EXPECT_NE(dock.m_hWnd, ::GetForegroundWindow());
    });
}

// A window that has fetched no message for five seconds counts as hung at
// once: the test does not wait for it.
TEST_F(WatchdogDock, LongHungWindowIsReportedWithoutTheWait)
{
    Guest* g = Add("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(g);
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        ASSERT_TRUE(HangUnderCursor(*g, 9000));
        ts::PumpFor(5500);
        RunLines r = RunOnce(dock, Trace());

        ASSERT_EQ(3u, r.lines.size()) << Join(r.lines);
        Probe p = ParseProbe(r.lines[0]);
        EXPECT_TRUE(p.ok) << r.lines[0];
        EXPECT_EQ(0, p.ret);
        EXPECT_LT(p.time, 1000);
        EXPECT_EQ(kTimeout, r.lines[1]);
        EXPECT_EQ(kForeground, r.lines[2]);
        EXPECT_EQ(dock.m_hWnd, ::GetForegroundWindow());
        EXPECT_TRUE(Answers(*g, 8000));
    });
}

TEST_F(WatchdogDock, VanishedWindowIsNotProbed)
{
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        HWND gone = ::CreateWindowExA(0, "STATIC", "gone", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50,
                                      nullptr, nullptr, nullptr, nullptr);
        ::DestroyWindow(gone);
        // The rectangle of a window that is gone reads as empty at 0,0.
        ASSERT_TRUE(PutCursor(POINT{ 0, 0 }));
        size_t before = Trace().Text().size();
        EXPECT_FALSE(dock.IsHungUnderCursor(gone));
        dock.ForegroundIfUnderCursor(gone);
        EXPECT_EQ(before, Trace().Text().size()) << Trace().Text().substr(before);
    });
}

TEST_F(WatchdogDock, NothingWatchedUnderCursorSendsNothing)
{
    Guest* skype = Add("Skype.exe", PosArgs(40, 40));
    Guest* other = Add("Other.exe", PosArgs(500, 40));
    ASSERT_TRUE(skype && other);
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        RECT rcDock = ts::WindowRect(dock.m_hWnd);
        POINT overDock = { rcDock.left + 5, rcDock.top + 5 };
        struct { const char* what; POINT pt; } spots[] = {
            { "empty desktop", kEmptySpot },
            { "unknown program", Center(other->hWnd) },
            { "the dock", overDock },
        };
        ASSERT_TRUE(MakeForeground(skype->hWnd));
        // Both guests hung: a probe of either would wait and leave a trace.
        ASSERT_TRUE(Hang(*skype, 4000));
        ASSERT_TRUE(Hang(*other, 4000));
        for (const auto& s : spots) {
            SCOPED_TRACE(s.what);
            ASSERT_TRUE(PutCursor(s.pt));
            RunLines r = RunOnce(dock, Trace());
            EXPECT_TRUE(r.lines.empty()) << Join(r.lines);
            EXPECT_LT(r.ms, 1800u) << "the run waited for a window";
            EXPECT_TRUE(Contains(dock.m_watch, skype->hWnd));
            EXPECT_FALSE(Contains(dock.m_watch, other->hWnd));
            EXPECT_EQ(skype->hWnd, ::GetForegroundWindow());
        }
        EXPECT_TRUE(Answers(*skype, 8000));
    });
}

// Puts one window above another (the activation of the foreground window
// may still be on its way and raise that one again).
bool RaiseAbove(HWND top, HWND other)
{
    return ts::WaitUntil([&] {
        std::vector<HWND> z = ts::TopWindows();
        auto pt = std::find(z.begin(), z.end(), top), po = std::find(z.begin(), z.end(), other);
        if (pt != z.end() && po != z.end() && pt < po)
            return true;
        ::SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return false;
    }, 3000, 100);
}

std::string Describe(const std::vector<WatchEntry>& list)
{
    std::string s;
    for (const WatchEntry& e : list) {
        RECT rc = ts::WindowRect(e.hWnd);
        char buf[512];
        snprintf(buf, sizeof(buf), "{%p \"%s\" %s class %s style %08lx (%ld,%ld)-(%ld,%ld) pid %lu} ",
                 (void*)e.hWnd, (LPCSTR)e.strTitle, (LPCSTR)e.strExeName, ts::ClassName(e.hWnd).c_str(),
                 (unsigned long)::GetWindowLongA(e.hWnd, GWL_STYLE), rc.left, rc.top, rc.right, rc.bottom,
                 e.dwProcessId);
        s += buf;
    }
    return s;
}

// The lines a run must write for the windows under the cursor, in list order.
std::vector<std::string> ExpectedShape(const std::vector<WatchEntry>& list, POINT pt, HWND hung)
{
    std::vector<std::string> shape;
    for (const WatchEntry& e : list) {
        RECT rc = ts::WindowRect(e.hWnd);
        if (!::PtInRect(&rc, pt))
            continue;
        if (e.hWnd == hung) {
            shape.push_back("probe 0");
            shape.push_back(kTimeout);
            shape.push_back(kForeground);
        } else {
            shape.push_back("probe answered");
        }
    }
    return shape;
}

std::vector<std::string> ActualShape(const std::vector<std::string>& lines)
{
    std::vector<std::string> shape;
    for (const std::string& l : lines) {
        Probe p = ParseProbe(l);
        if (p.ok)
            shape.push_back(p.ret == 0 ? "probe 0" : "probe answered");
        else
            shape.push_back(l);
    }
    return shape;
}

TEST_F(WatchdogDock, OverlappingWindowsAreProbedInListOrder)
{
    Guest* a = Add("Skype.exe", PosArgs(40, 40));
    Guest* b = Add("TrelvoxForTcp.exe", PosArgs(140, 90));
    ASSERT_TRUE(a && b);
    const POINT pt = { 300, 250 };
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        RECT ra = ts::WindowRect(a->hWnd), rb = ts::WindowRect(b->hWnd);
        ASSERT_TRUE(::PtInRect(&ra, pt) && ::PtInRect(&rb, pt));
        ASSERT_TRUE(PutCursor(pt));

        // One hung, one answering; each on top once: the order of the
        // lines follows the order of the list.
        for (Guest* top : { a, b }) {
            SCOPED_TRACE(top == a ? "Skype on top" : "TCP guest on top");
            ASSERT_TRUE(Answers(*a, 8000) && Answers(*b, 8000));
            ASSERT_TRUE(MakeForeground(b->hWnd == top->hWnd ? a->hWnd : b->hWnd));
            ASSERT_TRUE(RaiseAbove(top->hWnd, top == a ? b->hWnd : a->hWnd));
            ASSERT_TRUE(Hang(*a, 4000));
            RunLines r = RunOnce(dock, Trace());
            std::vector<HWND> order;
            for (const WatchEntry& e : dock.m_watch)
                order.push_back(e.hWnd);
            // The list follows the platform's enumeration; Wine does not
            // always apply the raise above at once, so only the lines are
            // held to the list's order.
            ASSERT_EQ(2u, order.size()) << Describe(dock.m_watch);
            EXPECT_EQ(ExpectedShape(dock.m_watch, pt, a->hWnd), ActualShape(r.lines)) << Join(r.lines);
            EXPECT_EQ(dock.m_hWnd, ::GetForegroundWindow());
        }

        // Both hung: two full waits, the dock brought forward after each.
        ASSERT_TRUE(Answers(*a, 8000) && Answers(*b, 8000));
        ASSERT_TRUE(MakeForeground(a->hWnd));
        ASSERT_TRUE(Hang(*a, 5500));
        ASSERT_TRUE(Hang(*b, 5500));
        RunLines r = RunOnce(dock, Trace());
        const std::vector<std::string> shape = { "probe 0", kTimeout, kForeground, "probe 0", kTimeout, kForeground };
        EXPECT_EQ(shape, ActualShape(r.lines)) << Join(r.lines);
        for (const std::string& l : r.lines) {
            Probe p = ParseProbe(l);
            if (!p.ok)
                continue;
            EXPECT_GE(p.time, kWaitMin) << l;
            EXPECT_LE(p.time, kWaitMax) << l;
        }
        EXPECT_GE(r.ms, 2u * kWaitMin);
        EXPECT_EQ(dock.m_hWnd, ::GetForegroundWindow());
        EXPECT_TRUE(Answers(*a, 8000) && Answers(*b, 8000));
    });
}

// ===========================================================================
// Timer-driven runs: each run stops the timer first and starts it last.

struct RunTimes {
    WNDPROC prev = nullptr;
    int depth = 0;
    int maxDepth = 0;
    std::vector<std::pair<DWORD, DWORD>> runs;  // start, end
};
RunTimes* g_runTimes;

LRESULT CALLBACK TimeWatchRuns(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    RunTimes& t = *g_runTimes;
    if (msg != WM_TIMER || wParam != TIMER_WATCH)
        return ::CallWindowProcA(t.prev, h, msg, wParam, lParam);
    DWORD start = ::GetTickCount();
    t.maxDepth = std::max(t.maxDepth, ++t.depth);
    LRESULT r = ::CallWindowProcA(t.prev, h, msg, wParam, lParam);
    --t.depth;
    t.runs.push_back(std::make_pair(start, ::GetTickCount()));
    return r;
}

TEST_F(WatchdogDock, RunsNeverOverlapAndRestartAfterTheInterval)
{
    Guest* g = Add("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(g);
    RunTimes times;
    std::vector<std::string> lines;
    const int kInterval = 800;  // not the default, to see the member used
    ts::RunDock([&](CHolvaneDlg& dock) {
        ASSERT_TRUE(PutCursor(Center(g->hWnd)));
        g_runTimes = &times;
        times.prev = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            dock.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TimeWatchRuns)));
        // Restart the timer so that the next run comes from it.
        dock.m_nWatchInterval = kInterval;
        dock.SetTimer(TIMER_WATCH, 100, nullptr);
        size_t before = Trace().Text().size();
        // Hung the whole time, yet fetching messages between the hangs so
        // that it never counts as hung for long.
        for (int i = 0; i < 5; ++i)
            ::PostMessageA(g->hWnd, WM_CTL_HANG, 3000, 0);
        ts::PumpFor(12000);
        ::SetWindowLongPtrA(dock.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(times.prev));
        dock.KillTimer(TIMER_WATCH);
        lines = SplitLines(Trace().Text().substr(before));
        g_runTimes = nullptr;
    });

    EXPECT_EQ(1, times.maxDepth) << "a run began inside another";
    ASSERT_GE(times.runs.size(), 3u);
    std::vector<Probe> probes;
    for (const std::string& l : lines) {
        Probe p = ParseProbe(l);
        if (p.ok)
            probes.push_back(p);
    }
    // Every run probed the one window under the cursor once.
    ASSERT_EQ(times.runs.size(), probes.size()) << Join(lines);
    int timeouts = 0;
    for (size_t i = 0; i < times.runs.size(); ++i) {
        DWORD start = times.runs[i].first, end = times.runs[i].second;
        EXPECT_GE(end - start + 20, static_cast<DWORD>(probes[i].time)) << "run " << i;
        if (probes[i].ret == 0)
            ++timeouts;
        if (i == 0)
            continue;
        DWORD prevEnd = times.runs[i - 1].second;
        EXPECT_GE(start, prevEnd) << "run " << i;
        DWORD gap = start - prevEnd;
        EXPECT_GE(gap + 20, static_cast<DWORD>(kInterval)) << "run " << i << " came too early";
        EXPECT_LE(gap, static_cast<DWORD>(kInterval + 1000)) << "run " << i << " came late";
    }
    EXPECT_GE(timeouts, 1) << Join(lines);
}

// ===========================================================================
// Cost of one run with about a hundred more top-level windows. Run by hand:
//   test_watchdog.exe --gtest_also_run_disabled_tests --gtest_filter='*Bench*'

template <class Fn>
double MedianMs(int runs, Fn fn)
{
    std::vector<double> ms;
    LARGE_INTEGER freq, a, b;
    ::QueryPerformanceFrequency(&freq);
    for (int i = 0; i < runs; ++i) {
        ::QueryPerformanceCounter(&a);
        fn();
        ::QueryPerformanceCounter(&b);
        ms.push_back(1000.0 * (b.QuadPart - a.QuadPart) / freq.QuadPart);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double MedianRunMs(CHolvaneDlg& dock, int runs)
{
    return MedianMs(runs, [&] {
        dock.OnWatchTimer();
        dock.KillTimer(TIMER_WATCH);
    });
}

// Both process queries, as a run makes them for every captioned window.
double MedianQueryMs(CHolvaneDlg& dock, DWORD pid, int runs)
{
    return MedianMs(runs, [&] {
        CString name, path;
        dock.GetProcessBaseName(pid, name);
        dock.GetProcessFullPath(pid, path);
    });
}

TEST(WatchdogBench, DISABLED_RunCostWithHundredWindows)
{
    char cwd[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, cwd);
    ::SetCurrentDirectoryA(ts::NewTempDir("bench").c_str());
    std::unique_ptr<Guest> skype = StartGuest("Skype.exe", PosArgs(40, 40));
    ASSERT_TRUE(skype);
    ASSERT_TRUE(PutCursor(kEmptySpot));
    const int kRuns = 41;
    ts::RunDock([&](CHolvaneDlg& dock) {
        dock.KillTimer(TIMER_WATCH);
        size_t base = ts::TopWindows().size();
        double before = MedianRunMs(dock, kRuns);
        size_t watchedBefore = dock.m_watch.size();

        char self[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::unique_ptr<ts::Process> host =
            ts::Start(std::string("\"") + self + "\" " + kHostSwitch + "100", "", "", true);
        ASSERT_TRUE(host);
        ASSERT_TRUE(ts::WaitUntil([&] {
            int n = 0;
            for (HWND h : ts::TopWindows())
                if (ts::WindowPid(h) == host->pid && ::IsWindowVisible(h))
                    ++n;
            return n >= 100;
        }, 20000));
        size_t with = ts::TopWindows().size();
        double after = MedianRunMs(dock, kRuns);
        double guestQuery = MedianQueryMs(dock, skype->proc->pid, kRuns);
        double hostQuery = MedianQueryMs(dock, host->pid, kRuns);
        double selfQuery = MedianQueryMs(dock, ::GetCurrentProcessId(), kRuns);
        fprintf(stderr,
                "watchdog run, cursor over nothing, median of %d runs:\n"
                "  %u top-level windows (%u watched): %.3f ms\n"
                "  %u top-level windows (%u watched, 100 more visible captioned ones of another process): "
                "%.3f ms\n"
                "both process queries for one window, median of %d: sample guest %.3f ms, "
                "window host (this program) %.3f ms, this process %.3f ms\n",
                kRuns, (unsigned)base, (unsigned)watchedBefore, before, (unsigned)with,
                (unsigned)dock.m_watch.size(), after, kRuns, guestQuery, hostQuery, selfQuery);
        host->Kill();
    });
    ::SetCurrentDirectoryA(cwd);
}

} // namespace
