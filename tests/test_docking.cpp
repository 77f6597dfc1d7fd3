// The docked frame and the docking stack, with real sample guests in their
// own processes: stack geometry, adoption of a guest window, layout of the
// stack, moves and drags of the dock, the buttons, the end of the program,
// the frame's colours and a picture of the dock.

#include <windows.h>
#include <mbstring.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "dock/HolvaneDlg.h"
#include "docking/BaseDlg.h"
#include "docking/StackGeometry.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const COLORREF kKeyColour = RGB(255, 0, 0);
const DWORD kStrippedBits = WS_POPUP | WS_BORDER | WS_SYSMENU;
const DWORD kKeptFrameBits = WS_DLGFRAME | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// ---------------------------------------------------------------------------
// Small helpers

std::string RectText(const RECT& r)
{
    char buf[96];
    snprintf(buf, sizeof(buf), "(%ld,%ld)-(%ld,%ld) %ldx%ld", r.left, r.top, r.right, r.bottom,
             r.right - r.left, r.bottom - r.top);
    return buf;
}

::testing::AssertionResult SameRect(const RECT& actual, const RECT& expected)
{
    if (EqualRect(&actual, &expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << RectText(actual) << " is not " << RectText(expected);
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

RECT MakeRect(int x, int y, int cx, int cy)
{
    RECT r = { x, y, x + cx, y + cy };
    return r;
}

// A child's window rectangle in its parent's client coordinates.
RECT RectInParent(HWND child)
{
    RECT r = ts::WindowRect(child);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Place in the Z order of the top-level windows, 0 at the top.
int ZIndex(HWND h)
{
    int i = 0;
    for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT), ++i)
        if (w == h)
            return i;
    return -1;
}

DWORD Style(HWND h) { return static_cast<DWORD>(::GetWindowLongA(h, GWL_STYLE)); }
DWORD ExStyle(HWND h) { return static_cast<DWORD>(::GetWindowLongA(h, GWL_EXSTYLE)); }

std::string DlgItemText(HWND dlg, int id)
{
    char buf[256] = {};
    ::GetDlgItemTextA(dlg, id, buf, sizeof(buf));
    return buf;
}

COLORREF BrushColour(HBRUSH b)
{
    LOGBRUSH lb = {};
    ::GetObjectA(b, sizeof(lb), &lb);
    return lb.lbColor;
}

// Searched in the system code page: a second byte 0x5C is no backslash.
std::string ParentDir(const std::string& path)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(path.c_str());
    const unsigned char* cut = _mbsrchr(p, '\\');
    return cut ? path.substr(0, cut - p) : path;
}

// ---------------------------------------------------------------------------
// Sample guests

HWND FindGuestWindow(DWORD pid)
{
    for (HWND h : ts::TopWindows())
        if (ts::WindowPid(h) == pid && ts::ClassName(h) == "TrelvoxGuestWnd")
            return h;
    return nullptr;
}

struct Guest {
    std::unique_ptr<ts::Process> proc;
    HWND hwnd = nullptr;
    std::string dir;
    std::string base;

    // The dock's messages this guest logged, in order.
    std::vector<std::string> Received() const
    {
        std::vector<std::string> out;
        for (const std::string& e : ts::GuestEvents(dir, base, proc->pid))
            if (e == "QUIT" || e == "OPEN" || e == "CLOSE" || e == "SELECT")
                out.push_back(e);
        return out;
    }
    bool Logged(const std::string& event) const
    {
        for (const std::string& e : ts::GuestEvents(dir, base, proc->pid))
            if (e == event)
                return true;
        return false;
    }
};

// Runs a copy of a sample guest from dir and waits until its window shows.
std::unique_ptr<Guest> StartGuest(const std::string& dir, const std::string& base,
                                  const std::string& args = "")
{
    std::unique_ptr<Guest> g(new Guest);
    g->dir = dir;
    g->base = base;
    std::string exe = dir + "\\" + base + ".exe";
    if (!ts::FileExists(exe))
        ts::CopyTo(ts::BinDir() + "\\" + base + ".exe", exe);
    g->proc = ts::Start("\"" + exe + "\" " + args, dir);
    if (!g->proc)
        return g;
    ts::WaitUntil([&] {
        g->hwnd = FindGuestWindow(g->proc->pid);
        return g->hwnd && ::IsWindowVisible(g->hwnd);
    }, 15000);
    return g;
}

// The background colour a sample guest paints, from its executable's name
// (the rule of the sample guest program).
COLORREF GuestBackground(const std::string& exeFile)
{
    DWORD hash = 2166136261u;
    for (char ch : exeFile) {
        BYTE c = static_cast<BYTE>(ch);
        if (c >= 'A' && c <= 'Z')
            c = static_cast<BYTE>(c + ('a' - 'A'));
        hash = (hash ^ c) * 16777619u;
    }
    return RGB(176 + (hash & 63), 176 + ((hash >> 8) & 63), 176 + ((hash >> 16) & 63));
}

// ---------------------------------------------------------------------------
// The dock in this process

// Runs the dock with a fresh working directory (and so a fresh Holvane.ini).
void RunDockIn(const std::string& tag, const std::function<void(CHolvaneDlg&)>& body, bool show = true)
{
    char old[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, old);
    std::string cwd = ts::NewTempDir(tag);
    ::SetCurrentDirectoryA(cwd.c_str());
    ts::RunDock(body, show);
    ::SetCurrentDirectoryA(old);
}

bool WaitFrames(CHolvaneDlg& dock, size_t n, DWORD ms = 20000)
{
    return ts::PumpUntil([&] { return dock.m_frames.size() >= n; }, ms);
}

SIZE NonClient(HWND h)
{
    RECT w = ts::WindowRect(h), c = {};
    ::GetClientRect(h, &c);
    SIZE s = { Width(w) - Width(c), Height(w) - Height(c) };
    return s;
}

// The frames of a dock window (its child dialogs), top to bottom.
std::vector<HWND> FrameWindows(HWND dock)
{
    std::vector<HWND> frames;
    for (HWND c = ::GetWindow(dock, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (ts::ClassName(c) == "#32770")
            frames.push_back(c);
    std::sort(frames.begin(), frames.end(),
              [](HWND a, HWND b) { return ts::WindowRect(a).top < ts::WindowRect(b).top; });
    return frames;
}

// The stack as it must be: every frame of frame 0's size in its slot, the
// dock sized around them, every guest window exactly over its frame's
// client area (no guests given: the frames alone).
void ExpectStack(HWND dock, const std::vector<HWND>& frames, const std::vector<HWND>& guests,
                 int fw, int fh)
{
    if (!guests.empty()) {
        ASSERT_EQ(frames.size(), guests.size());
    }
    int n = static_cast<int>(frames.size());
    SIZE nc = NonClient(dock);
    RECT dockRect = ts::WindowRect(dock);
    EXPECT_EQ(Width(dockRect), fw + nc.cx + 15) << "dock width, " << n << " frames";
    EXPECT_EQ(Height(dockRect), n * (fh + 5) + nc.cy + 35) << "dock height, " << n << " frames";
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_TRUE(SameRect(RectInParent(frames[i]), MakeRect(5, 30 + i * (fh + 5), fw, fh)));
        if (!guests.empty()) {
            EXPECT_TRUE(SameRect(ts::WindowRect(guests[i]), ts::ClientRectOnScreen(frames[i])));
        }
    }
}

std::vector<HWND> FrameHandles(CHolvaneDlg& dock)
{
    std::vector<HWND> out;
    for (CBaseDlg* f : dock.m_frames)
        out.push_back(f->m_hWnd);
    return out;
}

std::vector<HWND> GuestHandles(const std::vector<std::unique_ptr<Guest>>& guests)
{
    std::vector<HWND> out;
    for (const auto& g : guests)
        out.push_back(g->hwnd);
    return out;
}

void Press(CHolvaneDlg& dock, int id)
{
    ::SendMessageA(dock.m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dock.m_hWnd, id)));
}

// Out of the topmost band and under the dock, so that a raise shows.
void PushDown(HWND guest)
{
    ::SetWindowPos(guest, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool RaisedAbove(HWND guest, HWND dock)
{
    return ts::IsTopMost(guest) && ZIndex(guest) >= 0 && ZIndex(guest) < ZIndex(dock);
}

// ===========================================================================
// Stack geometry

struct StackCase {
    int fw, fh, n, ncW, ncH;
    int cxDock, cyDock;
    std::vector<int> tops;
};

TEST(StackGeometry, ComputeStackTable)
{
    const StackCase cases[] = {
        { 404, 280, 1, 8, 30, 427, 350, { 30 } },
        { 404, 280, 2, 8, 30, 427, 635, { 30, 315 } },
        { 404, 280, 4, 8, 30, 427, 1205, { 30, 315, 600, 885 } },
        { 304, 180, 3, 6, 25, 325, 615, { 30, 215, 400 } },
        // A zero-height first frame: the frames sit 5 pixels apart.
        { 104, 0, 3, 8, 30, 127, 80, { 30, 35, 40 } },
        { 404, 280, 0, 8, 30, 427, 65, {} },
    };
    for (const StackCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " frames of " + std::to_string(c.fw) + "x" + std::to_string(c.fh));
        StackLayout s = ComputeStack(c.fw, c.fh, c.n, c.ncW, c.ncH);
        EXPECT_EQ(s.cxDock, c.cxDock);
        EXPECT_EQ(s.cyDock, c.cyDock);
        ASSERT_EQ(s.frames.size(), c.tops.size());
        for (size_t i = 0; i < c.tops.size(); ++i)
            EXPECT_TRUE(SameRect(s.frames[i], MakeRect(5, c.tops[i], c.fw, c.fh))) << "frame " << i;
    }
}

TEST(StackGeometry, FrameSizeForGuestTable)
{
    struct Case { int cx, cy, fw, fh; };
    const Case cases[] = {
        { 400, 300, 404, 280 },
        { 300, 200, 304, 180 },
        { 500, 400, 504, 380 },
        { 100, 21, 104, 1 },
        { 100, 20, 104, 0 },
        { 100, 19, 104, 0 },    // tiny guests never give a negative height
        { 100, 1, 104, 0 },
        { 100, 0, 104, 0 },
        { 0, 0, 4, 0 },
    };
    for (const Case& c : cases) {
        SIZE s = FrameSizeForGuest(c.cx, c.cy);
        EXPECT_EQ(s.cx, c.fw) << c.cx << "x" << c.cy;
        EXPECT_EQ(s.cy, c.fh) << c.cx << "x" << c.cy;
    }
}

// ===========================================================================
// Adoption

// Guests under a name the dock does not know, so that discovery leaves them
// to the test.
const char kLoneGuest[] = "TrelvoxForTcp";

TEST(Adoption, StripsCaptionBitsAndSizesFrameWhateverTheStyle)
{
    struct Case {
        const char* name;
        bool setStyle;
        DWORD style;
        bool setEx;
        DWORD exStyle;
        const char* size;
    };
    const Case cases[] = {
        { "overlapped window", false, 0, false, 0, "400x300" },
        { "pop-up with border and system menu", true,
          WS_POPUP | WS_BORDER | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE | WS_CLIPSIBLINGS, true,
          WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE, "300x200" },
        { "pop-up with caption and boxes", true,
          WS_POPUP | WS_CAPTION | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VISIBLE, true,
          WS_EX_WINDOWEDGE | WS_EX_ACCEPTFILES, "520x150" },
        { "bare pop-up", true, WS_POPUP | WS_VISIBLE, true, 0, "400x300" },
    };
    std::string dir = ts::NewTempDir("adopt-styles");
    RunDockIn("adopt-styles-dock", [&](CHolvaneDlg& dock) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            auto g = StartGuest(dir, kLoneGuest, std::string("-size ") + c.size);
            ASSERT_TRUE(g->hwnd);
            if (c.setStyle) {
                ::SetWindowLongA(g->hwnd, GWL_STYLE, static_cast<LONG>(c.style));
                ::SetWindowPos(g->hwnd, nullptr, 0, 0, 0, 0,
                               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
            }
            if (c.setEx)
                ::SetWindowLongA(g->hwnd, GWL_EXSTYLE, static_cast<LONG>(c.exStyle));
            DWORD before = Style(g->hwnd), beforeEx = ExStyle(g->hwnd);
            RECT rcBefore = ts::WindowRect(g->hwnd);

            CBaseDlg frame(nullptr);
            ASSERT_TRUE(frame.Create(IDD_FRAME, &dock));
            frame.Attach(&dock.m_guests[1], g->hwnd);

            DWORD after = Style(g->hwnd);
            EXPECT_EQ(after, before & 0x7F77FFFFu) << std::hex << before;
            EXPECT_EQ(after & kStrippedBits, 0u);
            EXPECT_EQ(after & kKeptFrameBits, before & kKeptFrameBits);
            EXPECT_EQ(ExStyle(g->hwnd), beforeEx);
            EXPECT_EQ(frame.m_dwSavedStyle, before);
            EXPECT_EQ(frame.m_dwSavedExStyle, beforeEx);
            EXPECT_EQ(frame.m_hWndGuest, g->hwnd);
            EXPECT_EQ(frame.m_pGuest, &dock.m_guests[1]);

            // Adoption sizes the frame from the guest window, taken before
            // the style change; the frame stays at (0,0) of the dock.
            RECT rcFrame = ts::WindowRect(frame.m_hWnd);
            EXPECT_EQ(Width(rcFrame), Width(rcBefore) + 4);
            EXPECT_EQ(Height(rcFrame), Height(rcBefore) - 20);
            EXPECT_TRUE(SameRect(RectInParent(frame.m_hWnd), MakeRect(0, 0, Width(rcBefore) + 4,
                                                                      Height(rcBefore) - 20)));
        }
    });
}

TEST(Adoption, GuestOf400x300GivesFrameOf404x280)
{
    std::string dir = ts::NewTempDir("adopt-size");
    auto g = StartGuest(dir, kLoneGuest);
    ASSERT_TRUE(g->hwnd);
    RECT rc = ts::WindowRect(g->hwnd);
    ASSERT_EQ(Width(rc), 400);
    ASSERT_EQ(Height(rc), 300);
    RunDockIn("adopt-size-dock", [&](CHolvaneDlg& dock) {
        dock.AttachWindow(0, g->hwnd);
        ASSERT_EQ(dock.m_frames.size(), 1u);
        RECT f = ts::WindowRect(dock.m_frames[0]->m_hWnd);
        EXPECT_EQ(Width(f), 404);
        EXPECT_EQ(Height(f), 280);
    });
}

TEST(Adoption, TitleShowsTheRecordsCaptionOnce)
{
    std::string dir = ts::NewTempDir("adopt-title");
    auto g = StartGuest(dir, kLoneGuest);
    ASSERT_TRUE(g->hwnd);
    RunDockIn("adopt-title-dock", [&](CHolvaneDlg& dock) {
        ASSERT_EQ(dock.m_guests.size(), 4u);
        dock.AttachWindow(1, g->hwnd);
        ASSERT_EQ(dock.m_frames.size(), 1u);
        HWND frame = dock.m_frames[0]->m_hWnd;
        // The record's caption, not the window's ("TrelvoxForTCP Ⅱ").
        EXPECT_EQ(DlgItemText(frame, IDC_TITLE), "TrelvoxForVNC Ⅱ");
        EXPECT_EQ(ts::WindowText(g->hwnd), "TrelvoxForTCP Ⅱ");

        ::SetWindowTextA(g->hwnd, "renamed guest");
        ASSERT_EQ(ts::WindowText(g->hwnd), "renamed guest");
        ts::PumpFor(300);
        EXPECT_EQ(DlgItemText(frame, IDC_TITLE), "TrelvoxForVNC Ⅱ");
        // Shown with its frame once the stack has laid the frame out.
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(frame, IDC_TITLE)));
    });
}

TEST(Adoption, IndexOutsideTheGuestTableAttachesNothing)
{
    std::string dir = ts::NewTempDir("adopt-index");
    auto g = StartGuest(dir, kLoneGuest);
    ASSERT_TRUE(g->hwnd);
    DWORD before = Style(g->hwnd);
    RunDockIn("adopt-index-dock", [&](CHolvaneDlg& dock) {
        RECT dockBefore = ts::WindowRect(dock.m_hWnd);
        for (int index : { -1, 4, 100 }) {
            dock.AttachWindow(index, g->hwnd);
            EXPECT_TRUE(dock.m_frames.empty()) << index;
        }
        EXPECT_EQ(Style(g->hwnd), before);
        EXPECT_TRUE(SameRect(ts::WindowRect(dock.m_hWnd), dockBefore));
    });
}

// A frame needs the dock's window: without it nothing is appended or laid
// out, the guest window is left alone, and the record stays matched.
TEST(Adoption, FrameThatCannotBeCreatedIsNotAppended)
{
    std::string dir = ts::NewTempDir("adopt-nowindow");
    auto g = StartGuest(dir, "TrelvoxOne");
    ASSERT_TRUE(g->hwnd);
    DWORD before = Style(g->hwnd);
    RECT rcBefore = ts::WindowRect(g->hwnd);

    char old[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, old);
    std::string cwd = ts::NewTempDir("adopt-nowindow-cwd");
    ::SetCurrentDirectoryA(cwd.c_str());
    {
        CHolvaneDlg dock(nullptr);
        dock.InitGuestTable();
        ASSERT_EQ(dock.m_hWnd, nullptr);
        dock.TryAttach(g->hwnd);
        EXPECT_TRUE(dock.m_guests[0].m_bAttached);
        EXPECT_TRUE(dock.m_frames.empty());
        dock.LayoutFrames();
        EXPECT_TRUE(dock.m_frames.empty());
    }
    ::SetCurrentDirectoryA(old);
    EXPECT_EQ(Style(g->hwnd), before);
    EXPECT_TRUE(SameRect(ts::WindowRect(g->hwnd), rcBefore));
}

// ===========================================================================
// Layout

const char* const kGuestNames[4] = { "TrelvoxOne", "TrelvoxForVnc", "TrelvoxForFtp", "TrelvoxForCvs" };
const char* const kGuestCaptions[4] = { "TrelvoxOne Ⅱ", "TrelvoxForVNC Ⅱ", "TrelvoxForFTP Ⅱ", "TrelvoxForCVS Ⅱ" };

TEST(Layout, OneToFourFramesStackUnderTheButtons)
{
    std::string dir = ts::NewTempDir("layout-four");
    std::vector<std::unique_ptr<Guest>> guests;
    RunDockIn("layout-four-dock", [&](CHolvaneDlg& dock) {
        // Room for four frames below the dock's top.
        ::SetWindowPos(dock.m_hWnd, nullptr, 40, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(kGuestNames[i]);
            guests.push_back(StartGuest(dir, kGuestNames[i]));
            ASSERT_TRUE(guests.back()->hwnd);
            ASSERT_TRUE(WaitFrames(dock, i + 1));
            ASSERT_EQ(dock.m_frames.size(), static_cast<size_t>(i + 1));
            // Docking order is the order the guests appeared in.
            EXPECT_EQ(dock.m_frames[i]->m_hWndGuest, guests[i]->hwnd);
            EXPECT_EQ(DlgItemText(dock.m_frames[i]->m_hWnd, IDC_TITLE), kGuestCaptions[i]);
            EXPECT_TRUE(::IsWindowVisible(dock.m_frames[i]->m_hWnd));
            EXPECT_TRUE(::IsWindowVisible(guests[i]->hwnd));
            EXPECT_TRUE(ts::IsTopMost(dock.m_hWnd));
            ExpectStack(dock.m_hWnd, FrameHandles(dock), GuestHandles(guests), 404, 280);
        }
        // Four frames: 4·fh + ncH + 55 high.
        SIZE nc = NonClient(dock.m_hWnd);
        RECT d = ts::WindowRect(dock.m_hWnd);
        EXPECT_EQ(Width(d), 404 + nc.cx + 15);
        EXPECT_EQ(Height(d), 4 * 280 + nc.cy + 55);
    });
}

TEST(Layout, LargerSecondGuestIsShrunkToTheFirstFrame)
{
    std::string dir = ts::NewTempDir("layout-larger");
    std::vector<std::unique_ptr<Guest>> guests;
    RunDockIn("layout-larger-dock", [&](CHolvaneDlg& dock) {
        ::SetWindowPos(dock.m_hWnd, nullptr, 40, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        guests.push_back(StartGuest(dir, "TrelvoxOne"));
        ASSERT_TRUE(WaitFrames(dock, 1));
        // Frame 0 has followed a dock move: the new frame still sizes its
        // guest on its first placement.
        ::SetWindowPos(dock.m_hWnd, nullptr, 60, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_EQ(dock.m_frames[0]->m_pDock, &dock);
        guests.push_back(StartGuest(dir, "TrelvoxForVnc", "-size 500x400"));
        ASSERT_TRUE(guests.back()->hwnd);
        ASSERT_TRUE(WaitFrames(dock, 2));
        // Adopted at 504 x 380, then laid out at frame 0's size.
        RECT f1 = ts::WindowRect(dock.m_frames[1]->m_hWnd);
        EXPECT_EQ(Width(f1), 404);
        EXPECT_EQ(Height(f1), 280);
        RECT g1 = ts::WindowRect(guests[1]->hwnd);
        EXPECT_LT(Width(g1), 500);
        EXPECT_LT(Height(g1), 400);
        ExpectStack(dock.m_hWnd, FrameHandles(dock), GuestHandles(guests), 404, 280);
    });
}

TEST(Layout, GuestsDockedWhileHiddenStayHidden)
{
    std::string dir = ts::NewTempDir("layout-hidden");
    std::vector<std::unique_ptr<Guest>> guests;
    RunDockIn("layout-hidden-dock", [&](CHolvaneDlg& dock) {
        ASSERT_FALSE(::IsWindowVisible(dock.m_hWnd));
        RECT empty = ts::WindowRect(dock.m_hWnd);
        for (int i = 0; i < 2; ++i) {
            guests.push_back(StartGuest(dir, kGuestNames[i]));
            ASSERT_TRUE(guests.back()->hwnd);
            ASSERT_TRUE(WaitFrames(dock, i + 1));
            ts::PumpFor(200);
            EXPECT_FALSE(::IsWindowVisible(dock.m_hWnd)) << i + 1 << " frames";
            for (int j = 0; j <= i; ++j)
                EXPECT_FALSE(::IsWindowVisible(guests[j]->hwnd)) << "guest " << j << " after " << i + 1;
        }
        // Resized all the same.
        EXPECT_GT(Height(ts::WindowRect(dock.m_hWnd)), Height(empty));
        ExpectStack(dock.m_hWnd, FrameHandles(dock), GuestHandles(guests), 404, 280);

        // Shown from the notification area: dock and guests come back.
        dock.OnTrayShowMain();
        EXPECT_TRUE(::IsWindowVisible(dock.m_hWnd));
        for (const auto& g : guests) {
            EXPECT_TRUE(::IsWindowVisible(g->hwnd));
            EXPECT_TRUE(RaisedAbove(g->hwnd, dock.m_hWnd));
        }
    }, false);
}

// ===========================================================================
// Moves and drags of the dock

// Two guests docked under a dock placed at (x, y).
void WithTwoDocked(const std::string& tag, int x, int y,
                   const std::function<void(CHolvaneDlg&, std::vector<std::unique_ptr<Guest>>&)>& body)
{
    std::string dir = ts::NewTempDir(tag);
    std::vector<std::unique_ptr<Guest>> guests;
    RunDockIn(tag + "-dock", [&](CHolvaneDlg& dock) {
        ::SetWindowPos(dock.m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int i = 0; i < 2; ++i) {
            guests.push_back(StartGuest(dir, kGuestNames[i]));
            ASSERT_TRUE(guests.back()->hwnd);
            ASSERT_TRUE(WaitFrames(dock, i + 1));
        }
        body(dock, guests);
    });
}

TEST(DockMove, GuestsFollowWithoutResizingAndAreRaised)
{
    struct Case {
        const char* name;
        std::function<void(HWND, int, int)> move;
    };
    const Case cases[] = {
        // Without activation: activating the dock would put it back on
        // top of the band the guests were just raised into.
        { "SetWindowPos", [](HWND h, int x, int y) {
              ::SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
          } },
        { "MoveWindow", [](HWND h, int x, int y) {
              RECT r = ts::WindowRect(h);
              ::MoveWindow(h, x, y, Width(r), Height(r), TRUE);
          } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WithTwoDocked(std::string("move-") + c.name, 100, 60, [&](CHolvaneDlg& dock,
                                                                  std::vector<std::unique_ptr<Guest>>& guests) {
            for (CBaseDlg* f : dock.m_frames)
                EXPECT_EQ(f->m_pDock, nullptr);
            // Sizes of their own and out of the topmost band, so that a
            // resize or a missing raise shows.
            for (auto& g : guests) {
                ::SetWindowPos(g->hwnd, nullptr, 0, 0, 220, 140, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                PushDown(g->hwnd);
                ASSERT_FALSE(RaisedAbove(g->hwnd, dock.m_hWnd));
            }
            for (int step = 1; step <= 2; ++step) {
                SCOPED_TRACE("move " + std::to_string(step));
                RECT d = ts::WindowRect(dock.m_hWnd);
                // Checked at once, before this thread handles anything
                // else.
                c.move(dock.m_hWnd, d.left + 37, d.top + 23);
                ASSERT_EQ(ts::WindowRect(dock.m_hWnd).left, d.left + 37);
                for (size_t i = 0; i < guests.size(); ++i) {
                    SCOPED_TRACE("guest " + std::to_string(i));
                    EXPECT_EQ(dock.m_frames[i]->m_pDock, &dock);
                    RECT client = ts::ClientRectOnScreen(dock.m_frames[i]->m_hWnd);
                    EXPECT_TRUE(SameRect(ts::WindowRect(guests[i]->hwnd), MakeRect(client.left, client.top, 220, 140)));
                    EXPECT_TRUE(RaisedAbove(guests[i]->hwnd, dock.m_hWnd));
                    PushDown(guests[i]->hwnd);
                }
                ts::PumpFor(100);
            }
            // The frames themselves kept their slots.
            ExpectStack(dock.m_hWnd, FrameHandles(dock),
                        std::vector<HWND>(), 404, 280);
        });
    }
}

// The frame's two ways of following, chosen by what the dock has set.
TEST(FrameMove, OnMoveSizesOrRaisesByTheDocksFlags)
{
    struct Case {
        const char* name;
        bool dockSet;
        BOOL moving;
        bool sized;
        bool raised;
    };
    const Case cases[] = {
        { "no dock move yet", false, 0, true, false },
        { "no dock move yet, flag set", false, 1, true, false },
        { "during a drag", true, 1, true, false },
        { "dock moved", true, 0, false, true },
    };
    std::string dir = ts::NewTempDir("frame-move");
    auto g = StartGuest(dir, kLoneGuest);
    ASSERT_TRUE(g->hwnd);
    RunDockIn("frame-move-dock", [&](CHolvaneDlg& dock) {
        dock.AttachWindow(0, g->hwnd);
        ASSERT_EQ(dock.m_frames.size(), 1u);
        CBaseDlg* f = dock.m_frames[0];
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ::SetWindowPos(g->hwnd, nullptr, 0, 0, 220, 140, SWP_NOZORDER | SWP_NOACTIVATE);
            PushDown(g->hwnd);
            f->m_pDock = c.dockSet ? &dock : nullptr;
            f->m_bDockMoving = c.moving;
            f->OnMove(0, 0);
            RECT client = ts::ClientRectOnScreen(f->m_hWnd);
            RECT want = c.sized ? client : MakeRect(client.left, client.top, 220, 140);
            EXPECT_TRUE(SameRect(ts::WindowRect(g->hwnd), want));
            EXPECT_EQ(RaisedAbove(g->hwnd, dock.m_hWnd), c.raised);
            EXPECT_EQ(ts::IsTopMost(g->hwnd), c.raised);
        }
        f->m_bDockMoving = 0;
    });
}

// Drives the system's keyboard move loop from a timer inside it.
struct DragProbe {
    CHolvaneDlg* dock = nullptr;
    std::vector<HWND> guests;
    bool inSysCommand = false;
    int phase = 0;          // 0 start, 1 keys sent, 2 Enter sent
    int ticks = 0;
    int extraTicks = 0;     // ticks after Enter: a second loop
    bool sawLoop = false;
    RECT dockStart = {};
    // Seen inside the loop, once the dock had moved.
    bool snapped = false;
    std::vector<RECT> guestDuring, clientDuring;
    std::vector<bool> raisedDuring;
    std::vector<BOOL> movingFlag;
};
DragProbe* g_drag = nullptr;

void CALLBACK DragTick(HWND, UINT, UINT_PTR, DWORD)
{
    DragProbe& p = *g_drag;
    HWND dock = p.dock->m_hWnd;
    if (!p.inSysCommand)
        return;
    ++p.ticks;
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    ::GetGUIThreadInfo(::GetCurrentThreadId(), &gti);
    bool inLoop = (gti.flags & GUI_INMOVESIZE) && gti.hwndMoveSize == dock;
    switch (p.phase) {
    case 0:
        p.sawLoop = inLoop;
        p.dockStart = ts::WindowRect(dock);
        ::PostMessageA(dock, WM_KEYDOWN, VK_RIGHT, 0);
        p.phase = 1;
        break;
    case 1: {
        RECT now = ts::WindowRect(dock);
        if (!EqualRect(&now, &p.dockStart)) {
            p.snapped = true;
            for (size_t i = 0; i < p.guests.size(); ++i) {
                p.guestDuring.push_back(ts::WindowRect(p.guests[i]));
                p.clientDuring.push_back(ts::ClientRectOnScreen(p.dock->m_frames[i]->m_hWnd));
                p.raisedDuring.push_back(ZIndex(p.guests[i]) < ZIndex(dock));
                p.movingFlag.push_back(p.dock->m_frames[i]->m_bDockMoving);
            }
            ::PostMessageA(dock, WM_KEYDOWN, VK_RETURN, 0);
            p.phase = 2;
        } else if (p.ticks > 300) {
            ::PostMessageA(dock, WM_KEYDOWN, VK_RETURN, 0);
            p.phase = 2;
        } else if (p.ticks % 10 == 0) {
            ::PostMessageA(dock, WM_KEYDOWN, VK_RIGHT, 0);
        }
        break;
    }
    default:
        ++p.extraTicks;
        ::PostMessageA(dock, WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    }
}

TEST(DockDrag, GuestsFollowUnraisedDuringTheDragAndAreRaisedAfter)
{
    WithTwoDocked("drag", 300, 60, [&](CHolvaneDlg& dock, std::vector<std::unique_ptr<Guest>>& guests) {
        for (auto& g : guests) {
            ::SetWindowPos(g->hwnd, nullptr, 0, 0, 220, 140, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            PushDown(g->hwnd);
        }
        std::vector<RECT> slots;
        for (CBaseDlg* f : dock.m_frames)
            slots.push_back(RectInParent(f->m_hWnd));

        DragProbe probe;
        probe.dock = &dock;
        probe.guests = GuestHandles(guests);
        g_drag = &probe;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 30, DragTick);
        std::string trace;
        {
            ts::TraceCapture capture;
            probe.inSysCommand = true;
            ::SendMessageA(dock.m_hWnd, WM_SYSCOMMAND, SC_MOVE, 0);
            probe.inSysCommand = false;
            trace = capture.Text();
        }
        ::KillTimer(nullptr, timer);
        g_drag = nullptr;

        EXPECT_TRUE(probe.sawLoop) << "the move loop of the dock ran";
        ASSERT_TRUE(probe.snapped) << "the dock did not move during the loop";
        EXPECT_EQ(probe.extraTicks, 0) << "a second move loop ran after the drag";
        for (size_t i = 0; i < guests.size(); ++i) {
            SCOPED_TRACE("guest " + std::to_string(i));
            // During the drag: moved and sized to the frame, not raised.
            EXPECT_EQ(probe.movingFlag[i], 1);
            EXPECT_TRUE(SameRect(probe.guestDuring[i], probe.clientDuring[i]));
            EXPECT_FALSE(probe.raisedDuring[i]);
            // After it: raised at the frame, flag cleared.
            EXPECT_EQ(dock.m_frames[i]->m_bDockMoving, 0);
            EXPECT_EQ(dock.m_frames[i]->m_pDock, &dock);
            EXPECT_TRUE(SameRect(ts::WindowRect(guests[i]->hwnd), ts::ClientRectOnScreen(dock.m_frames[i]->m_hWnd)));
            EXPECT_TRUE(RaisedAbove(guests[i]->hwnd, dock.m_hWnd));
            EXPECT_TRUE(SameRect(RectInParent(dock.m_frames[i]->m_hWnd), slots[i]));
        }
        EXPECT_GT(ts::WindowRect(dock.m_hWnd).left, probe.dockStart.left);

        const std::string start = "CHolvaneDlg::OnSysCommand():SC_MOVE Start\n";
        const std::string end = "CHolvaneDlg::OnSysCommand():SC_MOVE End\n";
        size_t s = trace.find(start), e = trace.find(end);
        EXPECT_NE(s, std::string::npos) << trace;
        EXPECT_NE(e, std::string::npos) << trace;
        EXPECT_LT(s, e);
        EXPECT_EQ(trace.find(start, s + 1), std::string::npos) << trace;
    });
}

// ===========================================================================
// Buttons

TEST(DockButtons, PostToEveryGuestThenShowThemTopmost)
{
    std::string dir = ts::NewTempDir("buttons");
    std::vector<std::unique_ptr<Guest>> guests;
    RunDockIn("buttons-dock", [&](CHolvaneDlg& dock) {
        ::SetWindowPos(dock.m_hWnd, nullptr, 40, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int i = 0; i < 3; ++i) {
            guests.push_back(StartGuest(dir, kGuestNames[i]));
            ASSERT_TRUE(guests.back()->hwnd);
            ASSERT_TRUE(WaitFrames(dock, i + 1));
        }
        struct Step { int id; const char* event; int hide; };
        const Step steps[] = { { IDC_OPEN, "OPEN", 1 }, { IDC_CLOSE, "CLOSE", 0 }, { IDC_SELECT, "SELECT", 2 } };
        std::vector<std::string> expected;
        for (const Step& s : steps) {
            SCOPED_TRACE(s.event);
            for (auto& g : guests)
                PushDown(g->hwnd);
            ::ShowWindow(guests[s.hide]->hwnd, SW_HIDE);
            ASSERT_FALSE(::IsWindowVisible(guests[s.hide]->hwnd));
            Press(dock, s.id);
            for (size_t i = 0; i < guests.size(); ++i) {
                EXPECT_TRUE(::IsWindowVisible(guests[i]->hwnd)) << "guest " << i;
                EXPECT_TRUE(RaisedAbove(guests[i]->hwnd, dock.m_hWnd)) << "guest " << i;
            }
            expected.push_back(s.event);
            for (size_t i = 0; i < guests.size(); ++i)
                EXPECT_TRUE(ts::PumpUntil([&] { return guests[i]->Received() == expected; }, 10000))
                    << "guest " << i << " has " << ::testing::PrintToString(guests[i]->Received());
        }
    });
}

// ===========================================================================
// Hiding and showing the dock

TEST(DockShowHide, HiddenDockHidesEveryGuestAndShowingBringsThemBack)
{
    struct Case {
        const char* name;
        UINT msg;
        WPARAM wParam;
    };
    const Case cases[] = {
        { "close box", WM_CLOSE, 0 },
        { "Escape", WM_COMMAND, IDCANCEL },
        { "system menu Close", WM_SYSCOMMAND, SC_CLOSE },
        { "Enter as IDOK", WM_COMMAND, IDOK },
    };
    WithTwoDocked("showhide", 60, 20, [&](CHolvaneDlg& dock, std::vector<std::unique_ptr<Guest>>& guests) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_TRUE(::IsWindowVisible(dock.m_hWnd));
            ::SendMessageA(dock.m_hWnd, c.msg, c.wParam, 0);
            EXPECT_TRUE(ts::PumpUntil([&] {
                return !::IsWindowVisible(dock.m_hWnd) && !::IsWindowVisible(guests[0]->hwnd) &&
                       !::IsWindowVisible(guests[1]->hwnd);
            }, 5000));
            EXPECT_FALSE(dock.m_bShown);

            dock.OnTrayShowMain();
            EXPECT_TRUE(::IsWindowVisible(dock.m_hWnd));
            for (auto& g : guests) {
                EXPECT_TRUE(::IsWindowVisible(g->hwnd));
                EXPECT_TRUE(RaisedAbove(g->hwnd, dock.m_hWnd));
            }
            ExpectStack(dock.m_hWnd, FrameHandles(dock), GuestHandles(guests), 404, 280);
        }
    });
}

// Closes the About box once it shows; after some ten seconds whether it
// shows or not, so that a box that never appears fails the test instead of
// holding it.
struct AboutCloser {
    HWND dock = nullptr;
    HWND box = nullptr;
    int ticks = 0;
    bool sawShown = false;
};
AboutCloser g_about;

BOOL CALLBACK FindAbout(HWND h, LPARAM)
{
    if (h != g_about.dock && ts::ClassName(h) == "#32770") {
        g_about.box = h;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK CloseAbout(HWND, UINT, UINT_PTR, DWORD)
{
    ++g_about.ticks;
    g_about.box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindAbout, 0);
    if (!g_about.box)
        return;
    if (::IsWindowVisible(g_about.box))
        g_about.sawShown = true;
    if (g_about.sawShown || g_about.ticks > 50)
        ::PostMessageA(g_about.box, WM_COMMAND, IDOK, 0);
}

TEST(DockShowHide, ClosingTheAboutBoxShowsEveryGuestTopmost)
{
    WithTwoDocked("about", 60, 20, [&](CHolvaneDlg& dock, std::vector<std::unique_ptr<Guest>>& guests) {
        for (auto& g : guests)
            PushDown(g->hwnd);
        ::ShowWindow(guests[1]->hwnd, SW_HIDE);
        g_about = AboutCloser();
        g_about.dock = dock.m_hWnd;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 200, CloseAbout);
        ::SendMessageA(dock.m_hWnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        ::KillTimer(nullptr, timer);
        EXPECT_TRUE(g_about.sawShown);
        for (auto& g : guests) {
            EXPECT_TRUE(::IsWindowVisible(g->hwnd)) << g->base;
            EXPECT_TRUE(RaisedAbove(g->hwnd, dock.m_hWnd)) << g->base;
        }
    });
}

// ===========================================================================
// The end of the program

// Times at which each guest's QUIT line appears in its log.
class QuitWatch {
public:
    explicit QuitWatch(const std::vector<Guest*>& guests)
        : m_guests(guests), m_times(new std::atomic<DWORD>[guests.size()])
    {
        for (size_t i = 0; i < guests.size(); ++i)
            m_times[i] = 0;
        m_thread = std::thread([this] {
            while (!m_stop) {
                for (size_t i = 0; i < m_guests.size(); ++i)
                    if (!m_times[i] && m_guests[i]->Logged("QUIT"))
                        m_times[i] = ::GetTickCount();
                ::Sleep(10);
            }
        });
    }
    ~QuitWatch() { Stop(); }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    DWORD Time(size_t i) const { return m_times[i]; }

private:
    std::vector<Guest*> m_guests;
    std::unique_ptr<std::atomic<DWORD>[]> m_times;
    std::atomic<bool> m_stop{ false };
    std::thread m_thread;
};

TEST(DockExit, TrayExitTellsEveryGuestInTurn)
{
    std::string dir = ts::NewTempDir("exit");
    std::vector<std::unique_ptr<Guest>> guests;
    DWORD elapsed = 0;
    DWORD firstQuit = 0, secondQuit = 0;
    RunDockIn("exit-dock", [&](CHolvaneDlg& dock) {
        guests.push_back(StartGuest(dir, "TrelvoxOne", "-quitdelay 1500"));
        ASSERT_TRUE(WaitFrames(dock, 1));
        guests.push_back(StartGuest(dir, "TrelvoxForVnc"));
        ASSERT_TRUE(WaitFrames(dock, 2));
        QuitWatch watch({ guests[0].get(), guests[1].get() });
        DWORD t0 = ::GetTickCount();
        dock.OnTrayExit();
        elapsed = ::GetTickCount() - t0;
        ts::WaitUntil([&] { return watch.Time(0) && watch.Time(1); }, 5000);
        watch.Stop();
        firstQuit = watch.Time(0);
        secondQuit = watch.Time(1);
    });
    // Each guest has handled the message before the next one is told.
    EXPECT_GE(elapsed, 1400u);
    ASSERT_NE(firstQuit, 0u);
    ASSERT_NE(secondQuit, 0u);
    EXPECT_GE(secondQuit - firstQuit, 1000u);
    for (auto& g : guests) {
        EXPECT_NE(g->proc->Wait(10000), STILL_ACTIVE) << g->base;
        EXPECT_EQ(g->Received(), std::vector<std::string>{ "QUIT" }) << g->base;
        EXPECT_TRUE(g->Logged("END")) << g->base;
    }
}

TEST(DockExit, SlowGuestHoldsTheEndOnlyUpToTheBound)
{
    std::string dir = ts::NewTempDir("exit-slow");
    std::vector<std::unique_ptr<Guest>> guests;
    DWORD elapsed = 0;
    RunDockIn("exit-slow-dock", [&](CHolvaneDlg& dock) {
        guests.push_back(StartGuest(dir, "TrelvoxOne", "-quitdelay 9000"));
        ASSERT_TRUE(WaitFrames(dock, 1));
        guests.push_back(StartGuest(dir, "TrelvoxForVnc"));
        ASSERT_TRUE(WaitFrames(dock, 2));
        DWORD t0 = ::GetTickCount();
        dock.OnTrayExit();
        elapsed = ::GetTickCount() - t0;
    });
    EXPECT_GE(elapsed, CBaseDlg::kQuitTimeoutMs - 300);
    EXPECT_LT(elapsed, 8500u);
    EXPECT_TRUE(ts::WaitUntil([&] { return guests[1]->Logged("QUIT"); }, 5000));
    EXPECT_NE(guests[1]->proc->Wait(10000), STILL_ACTIVE);
    EXPECT_TRUE(guests[0]->Logged("QUIT"));
}

TEST(DockExit, ClosedGuestLeavesAnInertFrame)
{
    std::string dir = ts::NewTempDir("closed");
    std::vector<std::unique_ptr<Guest>> guests;
    RunDockIn("closed-dock", [&](CHolvaneDlg& dock) {
        ::SetWindowPos(dock.m_hWnd, nullptr, 40, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int i = 0; i < 2; ++i) {
            guests.push_back(StartGuest(dir, kGuestNames[i]));
            ASSERT_TRUE(guests.back()->hwnd);
            ASSERT_TRUE(WaitFrames(dock, i + 1));
        }
        RECT dockBefore = ts::WindowRect(dock.m_hWnd);
        RECT slot0 = RectInParent(dock.m_frames[0]->m_hWnd);
        HWND dead = guests[0]->hwnd;
        ::PostMessageA(dead, WM_CLOSE, 0, 0);
        ASSERT_NE(guests[0]->proc->Wait(10000), STILL_ACTIVE);
        ASSERT_FALSE(::IsWindow(dead));

        CBaseDlg* f = dock.m_frames[0];
        f->ShowGuest();
        f->HideGuest();
        f->PostOpen();
        f->PostClose();
        f->PostSelect();
        f->SendQuit();
        f->AdoptGuest();
        f->OnMove(0, 0);
        EXPECT_EQ(f->m_hWndGuest, dead);

        // The other frame goes on working; the dead one keeps its place.
        Press(dock, IDC_OPEN);
        EXPECT_TRUE(ts::PumpUntil([&] { return guests[1]->Received() == std::vector<std::string>{ "OPEN" }; },
                                  10000));
        RECT d = ts::WindowRect(dock.m_hWnd);
        ::SetWindowPos(dock.m_hWnd, nullptr, d.left + 20, d.top + 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        EXPECT_TRUE(SameRect(ts::WindowRect(guests[1]->hwnd), ts::ClientRectOnScreen(dock.m_frames[1]->m_hWnd)));
        EXPECT_TRUE(SameRect(RectInParent(f->m_hWnd), slot0));
        EXPECT_EQ(Width(ts::WindowRect(dock.m_hWnd)), Width(dockBefore));
        EXPECT_EQ(Height(ts::WindowRect(dock.m_hWnd)), Height(dockBefore));
        EXPECT_TRUE(::IsWindowVisible(f->m_hWnd));
        EXPECT_EQ(DlgItemText(f->m_hWnd, IDC_TITLE), "TrelvoxOne Ⅱ");

        DWORD t0 = ::GetTickCount();
        dock.OnTrayExit();
        EXPECT_LT(::GetTickCount() - t0, 4000u);
        EXPECT_TRUE(ts::WaitUntil([&] { return guests[1]->Logged("QUIT"); }, 5000));
    });
    EXPECT_NE(guests[1]->proc->Wait(10000), STILL_ACTIVE);
}

// ===========================================================================
// Colours of the frame

TEST(FrameColours, OnCtlColorAnswersPerKind)
{
    RunDockIn("colours", [&](CHolvaneDlg& dock) {
        CBaseDlg frame(nullptr);
        ASSERT_TRUE(frame.Create(IDD_FRAME, &dock));
        HWND title = ::GetDlgItem(frame.m_hWnd, IDC_TITLE);
        ASSERT_TRUE(title);
        HWND other = ::CreateWindowExA(0, "STATIC", "other", WS_CHILD | WS_VISIBLE, 10, 40, 60, 14,
                                       frame.m_hWnd, reinterpret_cast<HMENU>(1002), nullptr, nullptr);
        ASSERT_TRUE(other);
        HWND button = ::CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 80, 40, 40, 14,
                                        frame.m_hWnd, reinterpret_cast<HMENU>(1003), nullptr, nullptr);
        ASSERT_TRUE(button);
        HDC dc = ::GetDC(frame.m_hWnd);
        ASSERT_TRUE(dc);

        enum Expect { kNull, kKey, kTitle, kBase };
        struct Case { const char* name; UINT msg; HWND ctl; Expect expect; int bkMode; };
        const Case cases[] = {
            { "button", WM_CTLCOLORBTN, button, kNull, OPAQUE },
            { "dialog", WM_CTLCOLORDLG, frame.m_hWnd, kKey, OPAQUE },
            { "title static", WM_CTLCOLORSTATIC, title, kTitle, TRANSPARENT },
            { "other static", WM_CTLCOLORSTATIC, other, kBase, OPAQUE },
            { "edit", WM_CTLCOLOREDIT, other, kBase, OPAQUE },
            { "list box", WM_CTLCOLORLISTBOX, other, kBase, OPAQUE },
            { "scroll bar", WM_CTLCOLORSCROLLBAR, other, kBase, OPAQUE },
            { "message box", WM_CTLCOLORMSGBOX, other, kBase, OPAQUE },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ::SetBkMode(dc, OPAQUE);
            HBRUSH got = reinterpret_cast<HBRUSH>(::SendMessageA(frame.m_hWnd, c.msg, reinterpret_cast<WPARAM>(dc),
                                                                 reinterpret_cast<LPARAM>(c.ctl)));
            EXPECT_EQ(::GetBkMode(dc), c.bkMode);
            switch (c.expect) {
            case kNull:
                EXPECT_EQ(got, static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
                break;
            case kKey:
                EXPECT_EQ(got, static_cast<HBRUSH>(frame.m_brushKey));
                EXPECT_EQ(BrushColour(got), kKeyColour);
                break;
            case kTitle:
                EXPECT_EQ(got, static_cast<HBRUSH>(frame.m_brushTitle));
                EXPECT_EQ(BrushColour(got), RGB(255, 255, 255));
                break;
            case kBase: {
                ::SetBkMode(dc, OPAQUE);
                HBRUSH base = reinterpret_cast<HBRUSH>(::DefDlgProcA(frame.m_hWnd, c.msg, reinterpret_cast<WPARAM>(dc),
                                                                     reinterpret_cast<LPARAM>(c.ctl)));
                EXPECT_EQ(got, base);
                EXPECT_NE(got, static_cast<HBRUSH>(frame.m_brushKey));
                EXPECT_NE(got, static_cast<HBRUSH>(frame.m_brushTitle));
                break;
            }
            }
        }
        ::ReleaseDC(frame.m_hWnd, dc);
        ::DestroyWindow(other);
        ::DestroyWindow(button);
    });
}

// ===========================================================================
// The real program

// A 24-bit bottom-up picture as written by ts::Screenshot.
struct Picture {
    int width = 0, height = 0, stride = 0;
    std::string data;
    size_t bits = 0;
    bool Load(const std::string& path)
    {
        data = ts::ReadAll(path);
        if (data.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))
            return false;
        const BITMAPFILEHEADER* fh = reinterpret_cast<const BITMAPFILEHEADER*>(data.data());
        const BITMAPINFOHEADER* ih = reinterpret_cast<const BITMAPINFOHEADER*>(data.data() + sizeof(BITMAPFILEHEADER));
        if (fh->bfType != 0x4D42 || ih->biBitCount != 24)
            return false;
        width = ih->biWidth;
        height = ih->biHeight;
        stride = ((width * 3) + 3) & ~3;
        bits = fh->bfOffBits;
        return data.size() >= bits + static_cast<size_t>(stride) * height;
    }
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return CLR_INVALID;
        const BYTE* p = reinterpret_cast<const BYTE*>(data.data()) + bits +
                        static_cast<size_t>(height - 1 - y) * stride + x * 3;
        return RGB(p[2], p[1], p[0]);
    }
};

std::string ColourText(COLORREF c)
{
    char buf[32];
    snprintf(buf, sizeof(buf), "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

// Guests found by the real program's first scan; the frames it made.
struct RealDock {
    std::string dir;
    std::vector<std::unique_ptr<Guest>> guests;
    std::unique_ptr<ts::Process> proc;
    HWND dock = nullptr;
    std::vector<HWND> frames;

    bool Start(const std::string& tag, const std::string& args)
    {
        dir = ts::MakeInstall(tag, {});
        for (int i = 0; i < 2; ++i) {
            guests.push_back(StartGuest(dir, kGuestNames[i], "-pos " + std::to_string(900 + 40 * i) + ",100"));
            if (!guests.back()->hwnd)
                return false;
        }
        proc = ts::Start("\"" + dir + "\\Holvane.exe\" " + args, dir, dir + "\\out.txt");
        if (!proc)
            return false;
        dock = ts::WaitDock(proc->pid, 15000);
        if (!dock)
            return false;
        // Both guests adopted (no system menu left) and laid out; the
        // scan's order is the Z order, so guests are matched to frames by
        // place.
        return ts::WaitUntil([&] {
            for (auto& g : guests)
                if (Style(g->hwnd) & WS_SYSMENU)
                    return false;
            frames = FrameWindows(dock);
            if (frames.size() != guests.size())
                return false;
            std::vector<std::unique_ptr<Guest>> ordered;
            for (HWND f : frames) {
                RECT c = ts::ClientRectOnScreen(f);
                for (auto& g : guests) {
                    RECT r = g ? ts::WindowRect(g->hwnd) : RECT();
                    if (g && EqualRect(&r, &c))
                        ordered.push_back(std::move(g));
                }
            }
            bool all = ordered.size() == frames.size();
            for (auto& g : guests)
                if (g)
                    ordered.push_back(std::move(g));
            guests = std::move(ordered);
            return all;
        }, 15000);
    }
};

TEST(RealDock, ShowsTwoDockedGuestsAndEndsFromTheTrayCommand)
{
    RealDock real;
    ASSERT_TRUE(real.Start("real-show", "-SHOW"));
    ASSERT_TRUE(::IsWindowVisible(real.dock));
    ExpectStack(real.dock, real.frames, GuestHandles(real.guests), 404, 280);
    for (size_t i = 0; i < real.frames.size(); ++i)
        EXPECT_EQ(DlgItemText(real.frames[i], IDC_TITLE), ts::WindowText(real.guests[i]->hwnd));
    ts::PumpFor(500);

    // The picture: saved beside the test's files and in the build tree.
    std::string shot = real.dir + "\\dock-two-guests.bmp";
    bool saved = ts::Screenshot(shot);
    if (saved) {
        std::string outDir = ParentDir(ts::BinDir()) + "\\screenshots";
        ::CreateDirectoryA(outDir.c_str(), nullptr);
        if (!ts::CopyTo(shot, outDir + "\\dock-two-guests.bmp"))
            printf("note: the picture could not be copied to %s\n", outDir.c_str());
        Picture pic;
        ASSERT_TRUE(pic.Load(shot));
        for (size_t i = 0; i < real.guests.size(); ++i) {
            SCOPED_TRACE(real.guests[i]->base);
            RECT g = ts::WindowRect(real.guests[i]->hwnd);
            COLORREF want = GuestBackground(real.guests[i]->base + ".exe");
            COLORREF got = pic.At(g.right - 12, g.bottom - 12);
            EXPECT_EQ(ColourText(got), ColourText(want));
            EXPECT_NE(got, kKeyColour);
        }
        // The key colour is see-through everywhere on the dock.
        RECT d = ts::WindowRect(real.dock);
        int red = 0;
        for (int y = d.top; y < d.bottom; ++y)
            for (int x = d.left; x < d.right; ++x)
                if (pic.At(x, y) == kKeyColour)
                    ++red;
        EXPECT_EQ(red, 0);
        // Between the frames and right of them: the dock's own dialog colour.
        RECT f0 = ts::WindowRect(real.frames[0]);
        COLORREF face = ::GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(ColourText(pic.At((f0.left + f0.right) / 2, f0.bottom + 2)), ColourText(face));
        EXPECT_EQ(ColourText(pic.At(f0.right + 5, (f0.top + f0.bottom) / 2)), ColourText(face));
    } else {
        printf("note: no picture could be saved\n");
    }

    // The tray menu's exit: every guest is told, then the program ends.
    ::PostMessageA(real.dock, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_NE(real.proc->Wait(15000), STILL_ACTIVE);
    for (auto& g : real.guests) {
        EXPECT_NE(g->proc->Wait(10000), STILL_ACTIVE) << g->base;
        EXPECT_EQ(g->Received(), std::vector<std::string>{ "QUIT" }) << g->base;
    }
}

TEST(RealDock, StartedHiddenDocksAndHidesTheGuests)
{
    RealDock real;
    ASSERT_TRUE(real.Start("real-hidden", ""));
    ts::WaitUntil([&] {
        return !::IsWindowVisible(real.guests[0]->hwnd) && !::IsWindowVisible(real.guests[1]->hwnd);
    }, 5000);
    EXPECT_FALSE(::IsWindowVisible(real.dock));
    for (auto& g : real.guests)
        EXPECT_FALSE(::IsWindowVisible(g->hwnd)) << g->base;
    ExpectStack(real.dock, real.frames, GuestHandles(real.guests), 404, 280);
    ::PostMessageA(real.dock, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_NE(real.proc->Wait(15000), STILL_ACTIVE);
}

} // namespace
