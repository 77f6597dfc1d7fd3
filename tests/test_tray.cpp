// The dock's icon in the notification area, against the shell of the Wine
// desktop: the dock in this process where its state, its trace or the shell
// seams are needed, the real Holvane.exe where the program as a whole counts.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "dock/HolvaneDlg.h"
#include <commctrl.h>
#include <algorithm>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT kTrayNotify = WM_USER + 100;
const char kFailLine[] = "通知領域にアイコンを登録できませんでした。 err=";
const char kGuestExe[] = "TrelvoxOne.exe";
const char kGuestCaption[] = "TrelvoxOne Ⅱ";

// ---------------------------------------------------------------------------
// The shell as the test sees it.

// NIM_MODIFY without flags changes nothing; it succeeds only while the
// shell holds the icon (hWnd, uID).
bool IconExists(HWND h, UINT id = 0)
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = kNotifyIconDataSize;
    nid.hWnd = h;
    nid.uID = id;
    return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

BOOL DeleteIcon(HWND h, UINT id = 0)
{
    NOTIFYICONDATAA nid = {};
    nid.cbSize = kNotifyIconDataSize;
    nid.hWnd = h;
    nid.uID = id;
    return ::Shell_NotifyIconA(NIM_DELETE, &nid);
}

UINT TaskbarCreatedMessage()
{
    return ::RegisterWindowMessageA("TaskbarCreated");
}

// One icon as the shell shows it: its tooltip text and the window that
// takes the mouse for it.
struct ShellIcon {
    std::string tip;
    HWND wnd = nullptr;
};

// The Wine desktop's shell keeps one tooltip control per shown icon in its
// own process; the tool's text is read through a buffer placed in that
// process, as the control copies the text into the caller's buffer.
std::vector<ShellIcon> ShellIcons()
{
    std::vector<ShellIcon> icons;
    HWND tray = ::FindWindowA("Shell_TrayWnd", nullptr);
    if (!tray)
        return icons;
    DWORD shellPid = ts::WindowPid(tray);
    HANDLE hp = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, shellPid);
    if (!hp)
        return icons;
    char* remote = static_cast<char*>(::VirtualAllocEx(hp, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    for (HWND h : ts::TopWindows()) {
        if (ts::WindowPid(h) != shellPid || ts::ClassName(h) != TOOLTIPS_CLASSA)
            continue;
        TTTOOLINFOW ti = {};
        ti.cbSize = sizeof(ti);
        ti.lpszText = reinterpret_cast<LPWSTR>(remote + 1024);
        wchar_t text[512] = {};
        ::WriteProcessMemory(hp, remote + 1024, text, sizeof(text), nullptr);
        ::WriteProcessMemory(hp, remote, &ti, sizeof(ti), nullptr);
        DWORD_PTR ok = 0;
        if (!::SendMessageTimeoutW(h, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, 5000, &ok) ||
            !ok)
            continue;
        ::ReadProcessMemory(hp, remote, &ti, sizeof(ti), nullptr);
        ::ReadProcessMemory(hp, remote + 1024, text, sizeof(text) - sizeof(wchar_t), nullptr);
        char narrow[1024] = {};
        ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
        ShellIcon icon;
        icon.tip = narrow;
        icon.wnd = (ti.uFlags & TTF_IDISHWND) ? reinterpret_cast<HWND>(ti.uId) : ti.hwnd;
        icons.push_back(icon);
    }
    ::VirtualFreeEx(hp, remote, 0, MEM_RELEASE);
    ::CloseHandle(hp);
    return icons;
}

int CountTips(const std::string& tip)
{
    int n = 0;
    for (const ShellIcon& i : ShellIcons())
        n += i.tip == tip;
    return n;
}

// ---------------------------------------------------------------------------
// Seams of the dock.

struct ShellCall {
    DWORD msg;
    NOTIFYICONDATAA nid;
    BOOL result;
};

std::vector<ShellCall> g_shellCalls;

// The real shell, with every call written down.
BOOL WINAPI RecordingShell(DWORD msg, PNOTIFYICONDATAA p)
{
    BOOL r = ::Shell_NotifyIconA(msg, p);
    DWORD err = ::GetLastError();
    g_shellCalls.push_back({ msg, *p, r });
    ::SetLastError(err);
    return r;
}

// A scripted shell: answer i for the i-th call, the last one for ever after.
struct Answer {
    BOOL ok;
    DWORD err;
};
std::vector<Answer> g_answers;
std::vector<std::string> g_fakeLog;
size_t g_fakeCalls;
int g_fakeSleeps;
const NOTIFYICONDATAA* g_fakeSawNid;

BOOL WINAPI ScriptedShell(DWORD msg, PNOTIFYICONDATAA p)
{
    g_fakeLog.push_back(msg == NIM_ADD ? "ADD" : msg == NIM_MODIFY ? "MOD" : msg == NIM_DELETE ? "DEL" : "?");
    g_fakeSawNid = p;
    // An unbounded retry would never end against this shell: give in.
    if (g_fakeSleeps > 20)
        return TRUE;
    const Answer& a = g_answers[std::min(g_fakeCalls++, g_answers.size() - 1)];
    ::SetLastError(a.err);
    return a.ok;
}

void WINAPI ScriptedSleep(DWORD ms)
{
    g_fakeLog.push_back("S" + std::to_string(ms));
    ++g_fakeSleeps;
    // A sleep must not touch the error the next step reads.
    ::SetLastError(0xBAD);
}

class SeamGuard {
public:
    SeamGuard(BOOL(WINAPI* shell)(DWORD, PNOTIFYICONDATAA), void(WINAPI* sleep)(DWORD) = nullptr)
        : m_shell(g_pfnShellNotifyIcon), m_sleep(g_pfnRetrySleep)
    {
        g_pfnShellNotifyIcon = shell;
        if (sleep)
            g_pfnRetrySleep = sleep;
    }
    ~SeamGuard()
    {
        g_pfnShellNotifyIcon = m_shell;
        g_pfnRetrySleep = m_sleep;
    }

private:
    BOOL(WINAPI* m_shell)(DWORD, PNOTIFYICONDATAA);
    void(WINAPI* m_sleep)(DWORD);
};

std::string Join(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& x : v)
        s += (s.empty() ? "" : " ") + x;
    return s;
}

// Trace lines that carry the icon's failure text.
std::vector<std::string> FailureLines(const std::string& trace)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while ((pos = trace.find(kFailLine, pos)) != std::string::npos) {
        size_t end = trace.find('\n', pos);
        lines.push_back(trace.substr(pos, end == std::string::npos ? std::string::npos : end + 1 - pos));
        pos += 1;
    }
    return lines;
}

// The dock's trace while f runs. Failures of checks also go to standard
// output, so checks come after the capture has ended.
template <class F>
std::string Traced(F f)
{
    ts::TraceCapture capture;
    f();
    return capture.Text();
}

std::string FailureLine(long err)
{
    return std::string(kFailLine) + std::to_string(err) + "\n";
}

// Runs f against a shell that answers as scripted; the trace it wrote.
template <class F>
std::string WithScriptedShell(const std::vector<Answer>& answers, F f)
{
    g_answers = answers;
    g_fakeLog.clear();
    g_fakeCalls = 0;
    g_fakeSleeps = 0;
    g_fakeSawNid = nullptr;
    return Traced([&] {
        SeamGuard seam(ScriptedShell, ScriptedSleep);
        f();
    });
}

// Exactly one failure line, with err.
void ExpectFailureLine(const std::string& trace, long err)
{
    std::vector<std::string> lines = FailureLines(trace);
    ASSERT_EQ(1u, lines.size()) << trace;
    EXPECT_EQ(FailureLine(err), lines[0]);
}

// For the case tables: -1 means no failure line at all.
void ExpectCaseLine(const std::string& trace, long lineErr)
{
    if (lineErr < 0)
        EXPECT_TRUE(FailureLines(trace).empty()) << trace;
    else
        ExpectFailureLine(trace, lineErr);
}

// The dialog procedure sees a message only when the dock's WindowProc has
// passed it on to the default processing.
DLGPROC g_prevDlgProc;
std::vector<LPARAM> g_defaultTrayNotify;

INT_PTR CALLBACK RecordingDlgProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == kTrayNotify)
        g_defaultTrayNotify.push_back(l);
    return g_prevDlgProc(h, m, w, l);
}

class DlgProcSpy {
public:
    explicit DlgProcSpy(HWND h) : m_h(h)
    {
        g_defaultTrayNotify.clear();
        g_prevDlgProc = reinterpret_cast<DLGPROC>(
            ::SetWindowLongPtrA(h, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(RecordingDlgProc)));
    }
    ~DlgProcSpy() { ::SetWindowLongPtrA(m_h, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(g_prevDlgProc)); }

private:
    HWND m_h;
};

// ---------------------------------------------------------------------------
// Menus, guests, docks.

// The visible popup menu window of a thread, if any.
HWND PopupMenuOf(DWORD tid)
{
    for (HWND h : ts::TopWindows())
        if (ts::ClassName(h) == "#32768" && ::IsWindowVisible(h) && ::GetWindowThreadProcessId(h, nullptr) == tid)
            return h;
    return nullptr;
}

struct MenuItem {
    UINT id;
    UINT type;
    std::string text;
};

struct MenuSeen {
    HWND wnd = nullptr;
    RECT rect = {};
    HMENU menu = nullptr;
    std::vector<MenuItem> items;  // empty when the menu is not readable here
    bool dockVisible = false;
};

enum class MenuAction { Escape, ChooseShowMain, ChooseExit, CommandShowMainThenEscape };

void PostKey(HWND h, UINT vk)
{
    ::PostMessageA(h, WM_KEYDOWN, vk, 1);
    ::PostMessageA(h, WM_KEYUP, vk, 0xC0000001);
}

// Runs on a thread of its own while the dock's thread sits in the menu
// loop: looks at the popup, then acts on it. Closes it in any case.
void WatchMenu(DWORD dockTid, HWND dock, MenuAction action, MenuSeen* seen, bool readItems)
{
    HWND menu = nullptr;
    ts::WaitUntil([&] { return (menu = PopupMenuOf(dockTid)) != nullptr; }, 10000, 20);
    if (!menu)
        return;
    seen->wnd = menu;
    seen->rect = ts::WindowRect(menu);
    seen->dockVisible = ::IsWindowVisible(dock) != FALSE;
    DWORD_PTR hm = 0;
    ::SendMessageTimeoutA(menu, MN_GETHMENU, 0, 0, SMTO_NORMAL, 5000, &hm);
    seen->menu = reinterpret_cast<HMENU>(hm);
    if (readItems) {
        int n = ::GetMenuItemCount(seen->menu);
        for (int i = 0; i < n; ++i) {
            char text[128] = {};
            MENUITEMINFOA mi = {};
            mi.cbSize = sizeof(mi);
            mi.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
            mi.dwTypeData = text;
            mi.cch = sizeof(text);
            ::GetMenuItemInfoA(seen->menu, i, TRUE, &mi);
            seen->items.push_back({ mi.wID, mi.fType, text });
        }
    }
    switch (action) {
    case MenuAction::Escape:
        PostKey(menu, VK_ESCAPE);
        break;
    case MenuAction::ChooseShowMain:
        PostKey(menu, VK_DOWN);
        PostKey(menu, VK_RETURN);
        break;
    case MenuAction::ChooseExit:
        PostKey(menu, VK_DOWN);
        PostKey(menu, VK_DOWN);
        PostKey(menu, VK_RETURN);
        break;
    case MenuAction::CommandShowMainThenEscape:
        ::PostMessageA(dock, WM_COMMAND, ID_TRAY_SHOWMAIN, 0);
        ts::WaitUntil([&] { return ::IsWindowVisible(dock) != FALSE; }, 5000);
        PostKey(menu, VK_ESCAPE);
        break;
    }
    if (!ts::WaitUntil([&] { return !::IsWindowVisible(menu); }, 5000))
        ::PostMessageA(menu, WM_CANCELMODE, 0, 0);
}

void ExpectTrayMenuItems(const MenuSeen& seen)
{
    ASSERT_EQ(3u, seen.items.size());
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_SHOWMAIN), seen.items[0].id);
    EXPECT_EQ(static_cast<UINT>(MFT_STRING), seen.items[0].type);
    EXPECT_EQ("メイン画面起動", seen.items[0].text);
    EXPECT_TRUE(seen.items[1].type & MFT_SEPARATOR);
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_EXIT), seen.items[2].id);
    EXPECT_EQ(static_cast<UINT>(MFT_STRING), seen.items[2].type);
    EXPECT_EQ("終了", seen.items[2].text);
}

// Places the cursor where every process sees it: Wine answers GetCursorPos
// from the display once the last change is older than 100 ms, so wait past
// that and read it back.
bool MoveCursor(POINT at)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        ::SetCursorPos(at.x, at.y);
        ::Sleep(150);
        POINT now = {};
        if (::GetCursorPos(&now) && now.x == at.x && now.y == at.y)
            return true;
    }
    return false;
}

// True when a comes before b in the Z order of the top-level windows.
bool IsAbove(HWND a, HWND b)
{
    for (HWND h = ::GetTopWindow(nullptr); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (h == a)
            return true;
        if (h == b)
            return false;
    }
    return false;
}

DWORD GuestStyle(HWND h)
{
    return static_cast<DWORD>(::GetWindowLongA(h, GWL_STYLE));
}

// A sample guest in its own folder; its window is docked by the next dock.
struct Guest : ts::InstalledGuest {
    void Start(const std::string& tag) { InstalledGuest::Start(tag, kGuestExe, kGuestCaption); }
    std::vector<std::string> Events() const { return ts::GuestEvents(dir, "TrelvoxOne", proc->pid); }
};

// Each in-process dock reads and writes its settings in a folder of its own.
class TrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = ts::NewTempDir("tray");
        ::SetCurrentDirectoryA(m_dir.c_str());
        g_shellCalls.clear();
    }
    std::string m_dir;
};

} // namespace

// ---------------------------------------------------------------------------
// The icon's life in the dock.

TEST_F(TrayTest, IconAddedAtStartWithItsData)
{
    SeamGuard seam(RecordingShell);
    int tipsBefore = CountTips("Holvane");
    HWND hDock = nullptr;
    ts::RunDock([&](CHolvaneDlg& dock) {
        hDock = dock.m_hWnd;
        EXPECT_EQ(hDock, dock.m_hWndNotify);
        EXPECT_EQ(TaskbarCreatedMessage(), g_uTaskbarCreated);
        EXPECT_NE(0u, g_uTaskbarCreated);

        // Exactly one shell call during start: the NIM_ADD, which worked.
        ASSERT_EQ(1u, g_shellCalls.size());
        const ShellCall& add = g_shellCalls[0];
        EXPECT_EQ(static_cast<DWORD>(NIM_ADD), add.msg);
        EXPECT_TRUE(add.result);
        EXPECT_EQ(kNotifyIconDataSize, add.nid.cbSize);
        EXPECT_EQ(hDock, add.nid.hWnd);
        EXPECT_EQ(0u, add.nid.uID);
        EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), add.nid.uFlags);
        EXPECT_EQ(kTrayNotify, add.nid.uCallbackMessage);
        EXPECT_EQ(dock.m_hIcon, add.nid.hIcon);
        EXPECT_NE(nullptr, add.nid.hIcon);
        EXPECT_STREQ("Holvane", add.nid.szTip);
        EXPECT_EQ(0u, add.nid.dwState);
        EXPECT_EQ(0u, add.nid.dwStateMask);
        EXPECT_STREQ("", add.nid.szInfo);
        EXPECT_EQ(0u, add.nid.uTimeout);
        EXPECT_STREQ("", add.nid.szInfoTitle);
        EXPECT_EQ(0u, add.nid.dwInfoFlags);
        EXPECT_EQ(GUID(), add.nid.guidItem);

        // The shell holds the icon of this window with id 0, not another id,
        // and shows the tooltip.
        EXPECT_TRUE(IconExists(hDock, 0));
        EXPECT_FALSE(IconExists(hDock, 1));
        EXPECT_EQ(tipsBefore + 1, CountTips("Holvane"));
    }, false);
}

TEST_F(TrayTest, PostNcDestroyRemovesIcon)
{
    SeamGuard seam(RecordingShell);
    int tipsBefore = CountTips("Holvane");
    HWND hDock = nullptr;
    ts::RunDock([&](CHolvaneDlg& dock) {
        hDock = dock.m_hWnd;
        ASSERT_TRUE(IconExists(hDock));
        g_shellCalls.clear();
    }, false);
    // The window is gone; the last shell call removed its icon.
    ASSERT_FALSE(::IsWindow(hDock));
    ASSERT_EQ(1u, g_shellCalls.size());
    const ShellCall& del = g_shellCalls.back();
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), del.msg);
    EXPECT_TRUE(del.result);
    EXPECT_EQ(kNotifyIconDataSize, del.nid.cbSize);
    EXPECT_EQ(hDock, del.nid.hWnd);
    EXPECT_EQ(0u, del.nid.uID);
    EXPECT_EQ(0u, del.nid.uFlags);
    EXPECT_FALSE(IconExists(hDock));
    EXPECT_EQ(tipsBefore, CountTips("Holvane"));
}

// A restarted shell has no icons; the dock adds its own again at once on
// "TaskbarCreated", and the periodic refresh catches a missed broadcast.
TEST_F(TrayTest, TaskbarCreatedAddsIconAgainAtOnce)
{
    SeamGuard seam(RecordingShell);
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        int tips = CountTips("Holvane");
        ASSERT_GE(tips, 1);
        ASSERT_TRUE(DeleteIcon(h));
        ASSERT_FALSE(IconExists(h));
        EXPECT_EQ(tips - 1, CountTips("Holvane"));

        g_shellCalls.clear();
        std::string trace = Traced([&] { ::SendMessageA(h, TaskbarCreatedMessage(), 0, 0); });
        EXPECT_TRUE(IconExists(h));
        EXPECT_EQ(tips, CountTips("Holvane"));
        ASSERT_EQ(1u, g_shellCalls.size());
        EXPECT_EQ(static_cast<DWORD>(NIM_ADD), g_shellCalls[0].msg);
        EXPECT_TRUE(g_shellCalls[0].result);
        EXPECT_EQ(0, memcmp(&dock.m_nid, &g_shellCalls[0].nid, kNotifyIconDataSize));
        EXPECT_STREQ("Holvane", g_shellCalls[0].nid.szTip);
        EXPECT_TRUE(FailureLines(trace).empty()) << trace;
    }, false);
}

TEST_F(TrayTest, RefreshTimerAddsMissingIconWithinFiveSeconds)
{
    SeamGuard seam(RecordingShell);
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        int tips = CountTips("Holvane");
        // While the icon exists a refresh only modifies it.
        g_shellCalls.clear();
        ASSERT_TRUE(ts::PumpUntil([] { return !g_shellCalls.empty(); }, 8000));
        ASSERT_EQ(1u, g_shellCalls.size());
        EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), g_shellCalls[0].msg);
        EXPECT_TRUE(g_shellCalls[0].result);
        EXPECT_TRUE(IconExists(h));

        // Lost without a broadcast: the next refresh adds it again.
        ASSERT_TRUE(DeleteIcon(h));
        g_shellCalls.clear();
        EXPECT_FALSE(IconExists(h));
        DWORD start = ::GetTickCount();
        EXPECT_TRUE(ts::PumpUntil([&] { return IconExists(h); }, 8000));
        DWORD took = ::GetTickCount() - start;
        EXPECT_LE(took, 7000u);
        ASSERT_EQ(2u, g_shellCalls.size());
        EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), g_shellCalls[0].msg);
        EXPECT_FALSE(g_shellCalls[0].result);
        EXPECT_EQ(static_cast<DWORD>(NIM_ADD), g_shellCalls[1].msg);
        EXPECT_TRUE(g_shellCalls[1].result);
        EXPECT_EQ(0, memcmp(&dock.m_nid, &g_shellCalls[1].nid, kNotifyIconDataSize));
        EXPECT_EQ(tips, CountTips("Holvane"));
    }, false);
}

// The shell of the Wine desktop refuses a second NIM_ADD of the same icon
// with an error other than ERROR_TIMEOUT: one failure line, icon untouched.
TEST_F(TrayTest, AddWhileIconExistsWritesFailureLine)
{
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        ASSERT_TRUE(IconExists(h));
        NOTIFYICONDATAA copy = dock.m_nid;
        ASSERT_FALSE(::Shell_NotifyIconA(NIM_ADD, &copy));
        DWORD shellErr = ::GetLastError();
        ASSERT_NE(static_cast<DWORD>(ERROR_TIMEOUT), shellErr);

        std::string trace = Traced([&] {
            ::SetLastError(0);
            dock.AddNotifyIcon();
        });
        ExpectFailureLine(trace, static_cast<int>(shellErr));
        EXPECT_TRUE(IconExists(h));

        // The broadcast takes the same road.
        trace = Traced([&] { ::SendMessageA(h, TaskbarCreatedMessage(), 0, 0); });
        ExpectFailureLine(trace, static_cast<int>(shellErr));
        EXPECT_TRUE(IconExists(h));
    }, false);
}

// AddNotifyIcon against a shell that answers as scripted.
TEST_F(TrayTest, AddRetriesOnTimeoutWithinBound)
{
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        const char* calls;
        long lineErr;  // -1: no line
    };
    const Answer ok = { TRUE, 0 }, timeout = { FALSE, ERROR_TIMEOUT };
    const std::vector<Case> cases = {
        { "added at once", { ok }, "ADD", -1 },
        { "other error", { { FALSE, ERROR_ACCESS_DENIED } }, "ADD", 5 },
        { "timeout, then the shell had it", { timeout, ok }, "ADD MOD", -1 },
        { "timeout, added after a sleep", { timeout, timeout, ok }, "ADD MOD S1000 ADD", -1 },
        { "timeout, then other error", { timeout, timeout, { FALSE, ERROR_FILE_NOT_FOUND } }, "ADD MOD S1000 ADD", 2 },
        // The error of the failed modification is never the one read.
        { "modify error ignored", { timeout, { FALSE, ERROR_INVALID_PARAMETER }, timeout, ok },
          "ADD MOD S1000 ADD MOD", -1 },
        { "timeout for ever", { timeout },
          "ADD MOD S1000 ADD MOD S1000 ADD MOD S1000 ADD", ERROR_TIMEOUT },
    };
    ASSERT_EQ(3, kMaxNotifyRetries);
    ts::RunDock([&](CHolvaneDlg& dock) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            std::string trace = WithScriptedShell(c.answers, [&] { dock.AddNotifyIcon(); });
            EXPECT_EQ(c.calls, Join(g_fakeLog));
            EXPECT_EQ(&dock.m_nid, g_fakeSawNid);
            ExpectCaseLine(trace, c.lineErr);
        }
    }, false);
}

// TIMER_TRAY: a modification, and only when it fails an AddNotifyIcon.
TEST_F(TrayTest, RefreshModifiesThenAdds)
{
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        const char* calls;
        long lineErr;
    };
    const std::vector<Case> cases = {
        { "icon present", { { TRUE, 0 } }, "MOD", -1 },
        { "icon missing", { { FALSE, 0 }, { TRUE, 0 } }, "MOD ADD", -1 },
        { "icon missing, add refused", { { FALSE, 0 }, { FALSE, ERROR_ACCESS_DENIED } }, "MOD ADD", 5 },
    };
    ts::RunDock([&](CHolvaneDlg& dock) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            std::string trace =
                WithScriptedShell(c.answers, [&] { ::SendMessageA(dock.m_hWnd, WM_TIMER, TIMER_TRAY, 0); });
            EXPECT_EQ(c.calls, Join(g_fakeLog));
            ExpectCaseLine(trace, c.lineErr);
        }
    }, false);
}

// ---------------------------------------------------------------------------
// The callback message.

TEST_F(TrayTest, CallbackTable)
{
    struct Case {
        LPARAM mouse;
        bool passedOn;
    };
    const std::vector<Case> cases = {
        { WM_LBUTTONDOWN, false }, { WM_RBUTTONDOWN, false }, { WM_LBUTTONUP, true },
        { WM_MOUSEMOVE, true },    { WM_RBUTTONDBLCLK, true }, { WM_MBUTTONDOWN, true },
        { WM_MBUTTONUP, true },    { WM_MBUTTONDBLCLK, true }, { 0, true },
    };
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        DWORD tid = ::GetCurrentThreadId();
        DlgProcSpy spy(h);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.mouse);
            g_defaultTrayNotify.clear();
            LRESULT r = ::SendMessageA(h, kTrayNotify, 0, c.mouse);
            if (c.passedOn) {
                ASSERT_EQ(1u, g_defaultTrayNotify.size());
                EXPECT_EQ(c.mouse, g_defaultTrayNotify[0]);
            } else {
                EXPECT_TRUE(g_defaultTrayNotify.empty());
                EXPECT_EQ(0, r);
            }
            ts::PumpFor(100);
            EXPECT_FALSE(::IsWindowVisible(h));
            EXPECT_FALSE(dock.m_bShown);
            EXPECT_EQ(nullptr, PopupMenuOf(tid));
        }
    }, false);
}

TEST_F(TrayTest, DoubleClickShowsDockAndGuestsTopmost)
{
    Guest guest;
    ASSERT_NO_FATAL_FAILURE(guest.Start("dbl"));
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        ASSERT_TRUE(ts::PumpUntil([&] { return dock.m_frames.size() == 1; }, 5000));
        // Started hidden: the dock and its guest are out of sight.
        ASSERT_TRUE(ts::PumpUntil([&] { return !::IsWindowVisible(guest.wnd); }, 5000));
        ASSERT_FALSE(::IsWindowVisible(h));
        DlgProcSpy spy(h);

        // Once from hidden, once more when shown but pushed down.
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            if (round == 1) {
                ::ShowWindow(guest.wnd, SW_HIDE);
                ::SetWindowPos(guest.wnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                ::SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                ASSERT_FALSE(ts::IsTopMost(h));
                ASSERT_FALSE(ts::IsTopMost(guest.wnd));
            }
            // The icon id in wParam is not looked at.
            EXPECT_EQ(0, ::SendMessageA(h, kTrayNotify, round, WM_LBUTTONDBLCLK));
            EXPECT_TRUE(g_defaultTrayNotify.empty());
            EXPECT_TRUE(dock.m_bShown);
            EXPECT_TRUE(::IsWindowVisible(h));
            EXPECT_TRUE(ts::IsTopMost(h));
            EXPECT_TRUE(ts::WaitUntil([&] { return ::IsWindowVisible(guest.wnd) && ts::IsTopMost(guest.wnd); }, 5000));
            // Raised once more after the guests: the dock ends on top.
            EXPECT_TRUE(IsAbove(h, guest.wnd));
        }
    }, false);
}

// The menu: at the cursor, its three items, the dock's visibility untouched
// while it is open, and what each way out does.
TEST_F(TrayTest, RightClickMenu)
{
    struct Case {
        const char* name;
        bool shown;
        MenuAction action;
        bool shownAfter;
    };
    const std::vector<Case> cases = {
        { "hidden, escape", false, MenuAction::Escape, false },
        { "shown, escape", true, MenuAction::Escape, true },
        { "hidden, show main chosen", false, MenuAction::ChooseShowMain, true },
        { "hidden, show main command", false, MenuAction::CommandShowMainThenEscape, true },
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A guest of its own: a dock that ends leaves its guest restyled.
        Guest guest;
        ASSERT_NO_FATAL_FAILURE(guest.Start("menu"));
        ts::RunDock([&](CHolvaneDlg& dock) {
            HWND h = dock.m_hWnd;
            ASSERT_TRUE(ts::PumpUntil([&] { return dock.m_frames.size() == 1; }, 5000));
            ASSERT_EQ(c.shown, ::IsWindowVisible(h) != FALSE);
            POINT at = { 500 + 40 * n, 400 + 30 * n };
            ++n;
            ASSERT_TRUE(MoveCursor(at));
            DlgProcSpy spy(h);
            MenuSeen seen;
            std::thread watcher(WatchMenu, ::GetCurrentThreadId(), h, c.action, &seen, true);
            LRESULT r = ::SendMessageA(h, kTrayNotify, 0, WM_RBUTTONUP);
            watcher.join();
            EXPECT_EQ(0, r);
            EXPECT_TRUE(g_defaultTrayNotify.empty());
            ASSERT_TRUE(seen.wnd) << "no popup menu";
            EXPECT_EQ(at.x, seen.rect.left);
            EXPECT_EQ(at.y, seen.rect.top);
            ExpectTrayMenuItems(seen);
            EXPECT_EQ(c.shown, seen.dockVisible);
            // Loaded for this click and destroyed after it.
            EXPECT_FALSE(::IsMenu(seen.menu));
            ts::PumpFor(200);
            EXPECT_EQ(c.shownAfter, ::IsWindowVisible(h) != FALSE);
            EXPECT_EQ(c.shownAfter, dock.m_bShown != FALSE);
            EXPECT_EQ(c.shownAfter, ::IsWindowVisible(guest.wnd) != FALSE);
            // Only the show command raises the guest into the topmost band.
            if (c.action != MenuAction::Escape) {
                EXPECT_TRUE(ts::IsTopMost(guest.wnd));
            }
        }, c.shown);
    }
}

TEST_F(TrayTest, ExitFromMenuQuitsGuestsAndRemovesIcon)
{
    Guest guest;
    ASSERT_NO_FATAL_FAILURE(guest.Start("exit"));
    SeamGuard seam(RecordingShell);
    HWND hDock = nullptr;
    int tips = 0;
    bool ended = false;
    ts::RunDock([&](CHolvaneDlg& dock) {
        hDock = dock.m_hWnd;
        ASSERT_TRUE(ts::PumpUntil([&] { return dock.m_frames.size() == 1; }, 5000));
        tips = CountTips("Holvane");
        ASSERT_TRUE(MoveCursor({ 600, 500 }));
        MenuSeen seen;
        std::thread watcher(WatchMenu, ::GetCurrentThreadId(), hDock, MenuAction::ChooseExit, &seen, false);
        ::SendMessageA(hDock, kTrayNotify, 0, WM_RBUTTONUP);
        watcher.join();
        ASSERT_TRUE(seen.wnd);
        // The chosen command arrives posted; the guest hears of it before
        // the modal loop ends.
        EXPECT_TRUE(ts::PumpUntil([&] { return guest.Events().size() >= 2; }, 10000));
        EXPECT_EQ("QUIT", guest.Events().at(1));
        ended = true;
    }, false);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(::IsWindow(hDock));
    EXPECT_EQ(0u, guest.proc->Wait(10000));
    EXPECT_EQ((std::vector<std::string>{ "START", "QUIT", "END" }), guest.Events());
    ASSERT_FALSE(g_shellCalls.empty());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), g_shellCalls.back().msg);
    EXPECT_EQ(hDock, g_shellCalls.back().nid.hWnd);
    EXPECT_FALSE(IconExists(hDock));
    EXPECT_EQ(tips - 1, CountTips("Holvane"));
}

// Real mouse clicks on the icon in the shell reach the dock as the callback.
TEST_F(TrayTest, RealClicksOnTheIcon)
{
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        std::vector<ShellIcon> icons = ShellIcons();
        ASSERT_EQ(1u, icons.size()) << "expected the dock's icon alone";
        ASSERT_EQ("Holvane", icons[0].tip);
        RECT rc = ts::WindowRect(icons[0].wnd);
        POINT at = { (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2 };
        ASSERT_TRUE(MoveCursor(at));
        ASSERT_EQ(icons[0].wnd, ::WindowFromPoint(at));
        DWORD tid = ::GetCurrentThreadId();

        // A single left click: nothing.
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        ts::PumpFor(1000);
        EXPECT_FALSE(::IsWindowVisible(h));
        EXPECT_EQ(nullptr, PopupMenuOf(tid));

        // A right click: the menu at the cursor; the dock stays hidden.
        MenuSeen seen;
        std::thread watcher(WatchMenu, tid, h, MenuAction::Escape, &seen, true);
        ::mouse_event(MOUSEEVENTF_RIGHTDOWN, 0, 0, 0, 0);
        ::mouse_event(MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0);
        ts::PumpUntil([&] { return seen.wnd != nullptr && !::IsWindowVisible(seen.wnd); }, 10000);
        watcher.join();
        ASSERT_TRUE(seen.wnd);
        EXPECT_EQ(at.x, seen.rect.left);
        EXPECT_EQ(at.y, seen.rect.top);
        ExpectTrayMenuItems(seen);
        EXPECT_FALSE(seen.dockVisible);
        ts::PumpFor(300);
        EXPECT_FALSE(::IsWindowVisible(h));

        // A double click: shown.
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        EXPECT_TRUE(ts::PumpUntil([&] { return ::IsWindowVisible(h) != FALSE; }, 5000));
        EXPECT_TRUE(dock.m_bShown);
    }, false);
}

// ---------------------------------------------------------------------------
// The real program.

TEST(TrayProgram, IconMenuAndExit)
{
    Guest guest;
    guest.Start("trayreal");
    if (::testing::Test::HasFatalFailure())
        return;
    const std::string& dir = guest.dir;
    HWND guestWnd = guest.wnd;
    int tipsBefore = CountTips("Holvane");

    auto prog = ts::Start("\"" + dir + "\\Holvane.exe\"", dir);
    ASSERT_TRUE(prog);
    HWND dock = ts::WaitDock(prog->pid);
    ASSERT_TRUE(dock);
    DWORD dockTid = ::GetWindowThreadProcessId(dock, nullptr);
    // Docked (no system menu) and hidden with the dock.
    ASSERT_TRUE(ts::WaitUntil([&] {
        return !(GuestStyle(guestWnd) & WS_SYSMENU) && !::IsWindowVisible(guestWnd) && !::IsWindowVisible(dock);
    }, 10000)) << "guest style " << std::hex << GuestStyle(guestWnd);

    // The icon of the dock's window with id 0, with its tooltip.
    ASSERT_TRUE(ts::WaitUntil([&] { return IconExists(dock, 0); }, 5000));
    EXPECT_FALSE(IconExists(dock, 1));
    EXPECT_EQ(tipsBefore + 1, CountTips("Holvane"));

    // Shell restart: the broadcast brings the icon back at once.
    ASSERT_TRUE(DeleteIcon(dock));
    ASSERT_FALSE(IconExists(dock));
    EXPECT_EQ(tipsBefore, CountTips("Holvane"));
    DWORD_PTR res = 0;
    ASSERT_TRUE(::SendMessageTimeoutA(dock, TaskbarCreatedMessage(), 0, 0, SMTO_NORMAL, 5000, &res));
    EXPECT_TRUE(IconExists(dock));
    EXPECT_EQ(tipsBefore + 1, CountTips("Holvane"));

    // Missed broadcast: the refresh brings it back.
    ASSERT_TRUE(DeleteIcon(dock));
    ASSERT_FALSE(IconExists(dock));
    EXPECT_TRUE(ts::WaitUntil([&] { return IconExists(dock); }, 8000));
    EXPECT_EQ(tipsBefore + 1, CountTips("Holvane"));

    // The menu opens at the cursor on the dock's thread while it is
    // hidden; its first item shows the dock and the guest.
    POINT at = { 700, 500 };
    ASSERT_TRUE(MoveCursor(at));
    MenuSeen seen;
    std::thread watcher(WatchMenu, dockTid, dock, MenuAction::ChooseShowMain, &seen, false);
    ::PostMessageA(dock, kTrayNotify, 0, WM_RBUTTONUP);
    watcher.join();
    ASSERT_TRUE(seen.wnd);
    EXPECT_EQ(at.x, seen.rect.left);
    EXPECT_EQ(at.y, seen.rect.top);
    EXPECT_FALSE(seen.dockVisible);
    EXPECT_TRUE(ts::WaitUntil([&] { return ::IsWindowVisible(dock) && ::IsWindowVisible(guestWnd); }, 5000));
    EXPECT_TRUE(ts::IsTopMost(guestWnd));

    // "終了": the guest is told to quit, the program ends, the icon goes.
    MenuSeen seen2;
    std::thread watcher2(WatchMenu, dockTid, dock, MenuAction::ChooseExit, &seen2, false);
    ::PostMessageA(dock, kTrayNotify, 0, WM_RBUTTONUP);
    watcher2.join();
    ASSERT_TRUE(seen2.wnd);
    EXPECT_EQ(0u, prog->Wait(10000));
    EXPECT_EQ(0u, guest.proc->Wait(10000));
    EXPECT_EQ((std::vector<std::string>{ "START", "QUIT", "END" }), ts::GuestEvents(dir, "TrelvoxOne", guest.proc->pid));
    EXPECT_FALSE(IconExists(dock));
    EXPECT_EQ(tipsBefore, CountTips("Holvane"));
}
