// The dock window: hidden unless started with -SHOW, and then topmost,
// centred and colour-keyed; the ways to hide it and show it again; its
// system menu, system-command trace, timers and mouse trace.

#include <gtest/gtest.h>
#include "TestSupport.h"
#include "dock/HolvaneDlg.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

const UINT kTrayShowMain = 32771;
const UINT kTrayExit = 32772;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

bool BecomesVisible(HWND h, DWORD ms)
{
    return ts::WaitUntil([&] { return ::IsWindowVisible(h) != FALSE; }, ms);
}

bool BecomesHidden(HWND h, DWORD ms)
{
    return ts::WaitUntil([&] { return !::IsWindowVisible(h); }, ms);
}

// ---------------------------------------------------------------------------
// The real program.

struct RunningDock {
    std::unique_ptr<ts::Process> proc;
    HWND hwnd = nullptr;

    bool End()
    {
        if (!proc)
            return true;
        ::PostMessageA(hwnd, WM_COMMAND, kTrayExit, 0);
        return proc->Wait(15000) != STILL_ACTIVE;
    }
};

class DockProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        // As from the desktop: no console to inherit.
        ::FreeConsole();
        ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    }

    static RunningDock Start(const std::string& args)
    {
        RunningDock d;
        std::string dir = ts::MakeInstall("dock");
        // Its argument lines go to a file, not into this test's output.
        d.proc = ts::Start(Quote(dir + "\\Holvane.exe") + (args.empty() ? "" : " " + args), dir,
                           dir + "\\stdout.txt");
        if (d.proc)
            d.hwnd = ts::WaitDock(d.proc->pid, 15000);
        return d;
    }
};

TEST_F(DockProgram, WithoutShowNothingFromOutsideMakesItVisible)
{
    RunningDock d = Start("");
    ASSERT_TRUE(d.hwnd);
    EXPECT_FALSE(BecomesVisible(d.hwnd, 3000)) << "dock shown at start";

    struct Attempt {
        const char* name;
        std::function<void(HWND)> act;
    };
    const Attempt attempts[] = {
        { "SetWindowPos topmost SWP_SHOWWINDOW",
          [](HWND h) { ::SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW); } },
        { "SetWindowPos move SWP_SHOWWINDOW",
          [](HWND h) { ::SetWindowPos(h, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW); } },
        { "SetWindowPos size SWP_SHOWWINDOW",
          [](HWND h) { ::SetWindowPos(h, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW); } },
        { "ShowWindow SW_SHOW", [](HWND h) { ::ShowWindow(h, SW_SHOW); } },
        { "ShowWindow SW_SHOWNORMAL", [](HWND h) { ::ShowWindow(h, SW_SHOWNORMAL); } },
        { "ShowWindow SW_SHOWNA", [](HWND h) { ::ShowWindow(h, SW_SHOWNA); } },
        { "ShowWindowAsync SW_SHOW", [](HWND h) { ::ShowWindowAsync(h, SW_SHOW); } },
    };
    for (const Attempt& a : attempts) {
        SCOPED_TRACE(a.name);
        a.act(d.hwnd);
        EXPECT_FALSE(BecomesVisible(d.hwnd, 1500));
    }
    EXPECT_TRUE(d.proc->Running());

    // Its own show command still works.
    ::PostMessageA(d.hwnd, WM_COMMAND, kTrayShowMain, 0);
    EXPECT_TRUE(BecomesVisible(d.hwnd, 5000));
    EXPECT_TRUE(d.End());
}

TEST_F(DockProgram, WithShowVisibleTopmostCentredAndColourKeyed)
{
    RunningDock d = Start("-SHOW");
    ASSERT_TRUE(d.hwnd);
    ASSERT_TRUE(BecomesVisible(d.hwnd, 10000));
    // Stays shown once the modal loop runs.
    EXPECT_FALSE(BecomesHidden(d.hwnd, 2000));
    EXPECT_TRUE(ts::IsTopMost(d.hwnd));

    MONITORINFO mi = { sizeof(mi), {}, {}, 0 };
    ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromWindow(d.hwnd, MONITOR_DEFAULTTONEAREST), &mi));
    RECT rc = ts::WindowRect(d.hwnd);
    EXPECT_NEAR((mi.rcWork.left + mi.rcWork.right) / 2, (rc.left + rc.right) / 2, 1);
    EXPECT_NEAR((mi.rcWork.top + mi.rcWork.bottom) / 2, (rc.top + rc.bottom) / 2, 1);

    EXPECT_NE(0, ::GetWindowLongA(d.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(d.hwnd, &key, &alpha, &flags));
    EXPECT_EQ(RGB(255, 0, 0), key);
    EXPECT_EQ(static_cast<DWORD>(LWA_COLORKEY), flags);
    EXPECT_TRUE(d.End());
}

// Every way the user hides the dock; none of them ends the program, and the
// icon menu's first item brings the dock back.
struct HideAction {
    const char* name;
    void (*act)(HWND dock);
};
std::ostream& operator<<(std::ostream& os, const HideAction& a) { return os << a.name; }

void ClickCloseBox(HWND dock)
{
    RECT rc = ts::WindowRect(dock);
    int frame = ::GetSystemMetrics(SM_CXFIXEDFRAME);
    int caption = ::GetSystemMetrics(SM_CYCAPTION);
    int button = ::GetSystemMetrics(SM_CXSIZE);
    POINT pt = { rc.right - frame - button / 2 - 1, rc.top + frame + caption / 2 };
    // Only click when the system agrees the close box is there.
    LRESULT hit = ::SendMessageA(dock, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    ASSERT_EQ(HTCLOSE, hit) << "no close box at " << pt.x << "," << pt.y;
    ::SetCursorPos(pt.x, pt.y);
    ::Sleep(100);
    ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    ::Sleep(100);
    ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

void PressEscape(HWND dock)
{
    ::SetForegroundWindow(dock);
    ts::WaitUntil([&] { return ::GetForegroundWindow() == dock; }, 3000);
    ::keybd_event(VK_ESCAPE, 0x01, 0, 0);
    ::keybd_event(VK_ESCAPE, 0x01, KEYEVENTF_KEYUP, 0);
}

class HideDock : public DockProgram, public ::testing::WithParamInterface<HideAction> {};

TEST_P(HideDock, HidesAndKeepsRunning)
{
    RunningDock d = Start("-SHOW");
    ASSERT_TRUE(d.hwnd);
    ASSERT_TRUE(BecomesVisible(d.hwnd, 10000));

    GetParam().act(d.hwnd);
    EXPECT_TRUE(BecomesHidden(d.hwnd, 5000)) << "dock still visible";
    EXPECT_FALSE(BecomesVisible(d.hwnd, 1500)) << "dock came back by itself";
    EXPECT_TRUE(d.proc->Running());
    EXPECT_TRUE(::IsWindow(d.hwnd));

    ::PostMessageA(d.hwnd, WM_COMMAND, kTrayShowMain, 0);
    EXPECT_TRUE(BecomesVisible(d.hwnd, 5000)) << "not shown again";
    EXPECT_TRUE(ts::IsTopMost(d.hwnd));
    EXPECT_TRUE(d.End());
}

INSTANTIATE_TEST_SUITE_P(
    Dock, HideDock,
    ::testing::Values(
        HideAction{ "CancelCommand", [](HWND h) { ::PostMessageA(h, WM_COMMAND, IDCANCEL, 0); } },
        HideAction{ "OkCommand", [](HWND h) { ::PostMessageA(h, WM_COMMAND, IDOK, 0); } },
        HideAction{ "EscapeKeyMessage", [](HWND h) { ::PostMessageA(h, WM_KEYDOWN, VK_ESCAPE, 0x00010001); } },
        HideAction{ "EscapeKey", PressEscape },
        HideAction{ "CloseMessage", [](HWND h) { ::PostMessageA(h, WM_CLOSE, 0, 0); } },
        HideAction{ "CloseBox", ClickCloseBox },
        // Alt+F4: the key with the context code (Alt held) set.
        HideAction{ "AltF4", [](HWND h) { ::PostMessageA(h, WM_SYSKEYDOWN, VK_F4, 0x203E0001); } },
        HideAction{ "SystemMenuClose", [](HWND h) { ::PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0); } }),
    [](const ::testing::TestParamInfo<HideAction>& i) { return std::string(i.param.name); });

class TrayExit : public DockProgram, public ::testing::WithParamInterface<const char*> {};

TEST_P(TrayExit, EndsTheProgram)
{
    RunningDock d = Start(GetParam());
    ASSERT_TRUE(d.hwnd);
    ts::PumpFor(500);
    ::PostMessageA(d.hwnd, WM_COMMAND, kTrayExit, 0);
    EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), d.proc->Wait(15000)) << "still running";
    EXPECT_FALSE(::IsWindow(d.hwnd));
}

INSTANTIATE_TEST_SUITE_P(Dock, TrayExit, ::testing::Values("", "-SHOW"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(*i.param ? "Shown" : "Hidden");
                         });

// ---------------------------------------------------------------------------
// The dock in this process.

class DockInProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        char cwd[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, cwd);
        saved = cwd;
        // Holvane.ini goes to the working directory.
        ASSERT_TRUE(::SetCurrentDirectoryA(ts::NewTempDir("dock").c_str()));
    }
    void TearDown() override { ::SetCurrentDirectoryA(saved.c_str()); }
    std::string saved;
};

TEST_F(DockInProcess, SystemMenuEndsWithSeparatorAndAboutItem)
{
    // "Holvane のﾊﾞｰｼﾞｮﾝ情報(&A)..." in code page 932.
    const std::string kAbout = "Holvane \x82\xCC\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1(&A)...";
    ts::RunDock([&](CHolvaneDlg& dock) {
        HMENU menu = ::GetSystemMenu(dock.m_hWnd, FALSE);
        ASSERT_NE(nullptr, menu);
        int n = ::GetMenuItemCount(menu);
        ASSERT_GE(n, 3);

        MENUITEMINFOA sep = {};
        sep.cbSize = sizeof(sep);
        sep.fMask = MIIM_FTYPE;
        ASSERT_TRUE(::GetMenuItemInfoA(menu, n - 2, TRUE, &sep));
        EXPECT_NE(0u, sep.fType & MFT_SEPARATOR);

        EXPECT_EQ(16u, ::GetMenuItemID(menu, n - 1));
        char text[256] = {};
        ::GetMenuStringA(menu, n - 1, text, sizeof(text), MF_BYPOSITION);
        EXPECT_EQ(kAbout, std::string(text));

        int abouts = 0;
        for (int i = 0; i < n; ++i)
            abouts += ::GetMenuItemID(menu, i) == 16 ? 1 : 0;
        EXPECT_EQ(1, abouts);
        EXPECT_NE(-1, ::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND)) << "the standard items are kept";
    });
}

class SysCommandTrace : public DockInProcess, public ::testing::WithParamInterface<UINT> {};

TEST_P(SysCommandTrace, CloseWritesStartAndEndThenHides)
{
    const UINT value = GetParam();
    const std::string lines = "CHolvaneDlg::OnSysCommand():Start value=" + std::to_string(value) +
                              "\nCHolvaneDlg::OnSysCommand():End value=" + std::to_string(value) + "\n";
    ts::TraceCapture trace;
    ts::RunDock([&](CHolvaneDlg& dock) {
        ASSERT_TRUE(::IsWindowVisible(dock.m_hWnd));
        size_t before = trace.Text().size();
        ::SendMessageA(dock.m_hWnd, WM_SYSCOMMAND, value, 0);
        EXPECT_EQ(lines, trace.Text().substr(before));
        // The cancel command that the close posted hides it.
        EXPECT_TRUE(ts::PumpUntil([&] { return !::IsWindowVisible(dock.m_hWnd); }, 5000));
        EXPECT_FALSE(dock.m_bShown);
    }, true);
}

// SC_CLOSE, and the same command with low bits set (printed unmasked).
INSTANTIATE_TEST_SUITE_P(Dock, SysCommandTrace, ::testing::Values(0xF060u, 0xF063u),
                         [](const ::testing::TestParamInfo<UINT>& i) { return std::to_string(i.param); });

struct TimerHits {
    HWND dock = nullptr;
    std::vector<std::pair<UINT_PTR, DWORD>> hits;
} g_timers;

LRESULT CALLBACK RecordTimers(int code, WPARAM removed, LPARAM lParam)
{
    const MSG* m = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && m->message == WM_TIMER && m->hwnd == g_timers.dock)
        g_timers.hits.push_back(std::make_pair(m->wParam, ::GetTickCount()));
    return ::CallNextHookEx(nullptr, code, removed, lParam);
}

TEST_F(DockInProcess, TimersRunAtTheirPeriods)
{
    DWORD t0 = 0;
    ts::RunDock([&](CHolvaneDlg& dock) {
        t0 = ::GetTickCount();
        g_timers = TimerHits();
        g_timers.dock = dock.m_hWnd;
        HHOOK hook = ::SetWindowsHookExA(WH_GETMESSAGE, RecordTimers, nullptr, ::GetCurrentThreadId());
        ASSERT_NE(nullptr, hook);
        ts::PumpFor(11000);
        ::UnhookWindowsHookEx(hook);
    }, false);

    auto times = [&](UINT_PTR id) {
        std::vector<DWORD> t;
        for (const auto& h : g_timers.hits)
            if (h.first == id)
                t.push_back(h.second - t0);
        return t;
    };
    auto meanGap = [](const std::vector<DWORD>& t) {
        return t.size() < 2 ? 0 : static_cast<int>((t.back() - t.front()) / (t.size() - 1));
    };
    std::vector<DWORD> scan = times(TIMER_SCAN), tray = times(TIMER_TRAY), watch = times(TIMER_WATCH);

    // 101 once a second.
    ASSERT_GE(scan.size(), 7u);
    EXPECT_LE(scan.size(), 12u);
    EXPECT_GE(scan.front(), 500u);
    EXPECT_NEAR(1000, meanGap(scan), 300);
    // 102 every five seconds: at about 5 s and 10 s.
    ASSERT_GE(tray.size(), 2u);
    EXPECT_LE(tray.size(), 3u);
    EXPECT_NEAR(5000, static_cast<int>(tray.front()), 1500);
    EXPECT_NEAR(5000, static_cast<int>(tray[1] - tray[0]), 1500);
    // 103 soon after the start, before the first scan tick, then every two
    // seconds.
    ASSERT_FALSE(watch.empty());
    EXPECT_LT(watch.front(), 800u);
    EXPECT_LT(watch.front(), scan.front());
    ASSERT_GE(watch.size(), 4u);
    EXPECT_NEAR(2000, static_cast<int>(watch[2] - watch[1]), 700);
    // Nothing else times on the dock.
    for (const auto& h : g_timers.hits)
        EXPECT_TRUE(h.first == TIMER_SCAN || h.first == TIMER_TRAY || h.first == TIMER_WATCH) << h.first;
}

struct ClientPoint {
    int x, y;
};
std::ostream& operator<<(std::ostream& os, const ClientPoint& p) { return os << p.x << "," << p.y; }

std::string ButtonLines(int x, int y)
{
    // "●" and "■" in code page 932.
    return "\x81\x9C" "CHolvaneDlg::OnLButtonDown() x=" + std::to_string(x) + ", y=" + std::to_string(y) + "\n" +
           "\x81\xA1" "CHolvaneDlg::OnLButtonUp() x=" + std::to_string(x) + ", y=" + std::to_string(y) + "\n";
}

class LeftButtonTrace : public DockInProcess, public ::testing::WithParamInterface<ClientPoint> {};

TEST_P(LeftButtonTrace, DownAndUpLines)
{
    const ClientPoint p = GetParam();
    ts::TraceCapture trace;
    ts::RunDock([&](CHolvaneDlg& dock) {
        size_t before = trace.Text().size();
        LPARAM at = MAKELPARAM(static_cast<WORD>(static_cast<short>(p.x)), static_cast<WORD>(static_cast<short>(p.y)));
        ::SendMessageA(dock.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageA(dock.m_hWnd, WM_LBUTTONUP, 0, at);
        EXPECT_EQ(ButtonLines(p.x, p.y), trace.Text().substr(before));
    });
}

INSTANTIATE_TEST_SUITE_P(Dock, LeftButtonTrace,
                         ::testing::Values(ClientPoint{ 0, 0 }, ClientPoint{ 17, 40 }, ClientPoint{ 300, 2 },
                                           ClientPoint{ -5, -7 }),
                         [](const ::testing::TestParamInfo<ClientPoint>& i) {
                             auto n = [](int v) { return v < 0 ? "m" + std::to_string(-v) : std::to_string(v); };
                             return n(i.param.x) + "_" + n(i.param.y);
                         });

TEST_F(DockInProcess, RealClickOnClientAreaIsTraced)
{
    ts::TraceCapture trace;
    ts::RunDock([&](CHolvaneDlg& dock) {
        ASSERT_TRUE(::IsWindowVisible(dock.m_hWnd));
        // A point of the client area below the button row, where no control lies.
        RECT client;
        ::GetClientRect(dock.m_hWnd, &client);
        POINT inClient = { client.right / 2, client.bottom - 3 };
        ASSERT_EQ(dock.m_hWnd, ::ChildWindowFromPointEx(dock.m_hWnd, inClient, CWP_SKIPINVISIBLE));
        POINT onScreen = inClient;
        ::ClientToScreen(dock.m_hWnd, &onScreen);
        ASSERT_EQ(dock.m_hWnd, ::WindowFromPoint(onScreen));

        size_t before = trace.Text().size();
        ::SetCursorPos(onScreen.x, onScreen.y);
        ts::PumpFor(100);
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ts::PumpFor(100);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        std::string expected = ButtonLines(inClient.x, inClient.y);
        ts::PumpUntil([&] { return trace.Text().size() >= before + expected.size(); }, 3000);
        EXPECT_EQ(expected, trace.Text().substr(before));
        ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    });
}

} // namespace
