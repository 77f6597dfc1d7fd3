// Discovery of guest windows: recognition, timing, remembered paths, and the
// whole road of four guests through the real program.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "dock/HolvaneDlg.h"
#include "docking/BaseDlg.h"
#include <mbstring.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <map>

namespace {

const char* const kExeNames[4] = {"TrelvoxOne.exe", "TrelvoxForVnc.exe", "TrelvoxForFtp.exe",
                                  "TrelvoxForCvs.exe"};
const char* const kTitles[4] = {"TrelvoxOne Ⅱ", "TrelvoxForVNC Ⅱ", "TrelvoxForFTP Ⅱ", "TrelvoxForCVS Ⅱ"};
const char kMissing[] = "<missing>";

// Control messages of the sample guests.
const UINT WM_CTL_SHOW = WM_APP + 2;

std::string S(const CString& s) { return std::string(static_cast<LPCSTR>(s)); }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string IniValue(const std::string& ini, const char* section)
{
    char buf[2048] = {};
    ::GetPrivateProfileStringA(section, "EXEPATH", kMissing, buf, sizeof(buf), ini.c_str());
    return buf;
}

std::string BaseOf(const std::string& file)
{
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

using ts::MakeInstall;

HWND GuestWindow(DWORD pid)
{
    for (HWND h : ts::TopWindows())
        if (ts::WindowPid(h) == pid && ts::ClassName(h) == "TrelvoxGuestWnd")
            return h;
    return nullptr;
}

HWND WaitGuestWindow(DWORD pid, DWORD ms = 10000)
{
    HWND found = nullptr;
    ts::WaitUntil([&] { return (found = GuestWindow(pid)) != nullptr; }, ms);
    return found;
}

// A docked guest window has lost its system menu (and caption bar).
using ts::Docked;

std::string ModuleBaseName(DWORD pid)
{
    char buf[MAX_PATH] = {};
    HANDLE p = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (p) {
        ::GetModuleBaseNameA(p, nullptr, buf, sizeof(buf));
        ::CloseHandle(p);
    }
    return buf;
}

std::string ModulePath(DWORD pid)
{
    char buf[MAX_PATH] = {};
    HANDLE p = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (p) {
        ::GetModuleFileNameExA(p, nullptr, buf, sizeof(buf));
        ::CloseHandle(p);
    }
    return buf;
}

// Process ids of the START lines of a guest's log.
std::vector<DWORD> Started(const std::string& dir, const std::string& exeName)
{
    std::vector<DWORD> pids;
    for (const std::string& line : ts::GuestLog(dir, BaseOf(exeName)))
        if (line.compare(0, 6, "START ") == 0)
            pids.push_back(strtoul(line.c_str() + 6, nullptr, 10));
    return pids;
}

// The dock window of a running Holvane.exe (not a message box of it).
HWND FindDock(DWORD pid, DWORD ms = 10000)
{
    HWND found = nullptr;
    ts::WaitUntil([&] {
        for (HWND h : ts::TopWindows())
            if (ts::WindowPid(h) == pid && ts::ClassName(h) == "#32770" && ::GetDlgItem(h, IDC_OPEN))
                return (found = h) != nullptr;
        return false;
    }, ms);
    return found;
}

// The docked frames of a dock window, seen from outside: child dialogs with
// a title static.
std::vector<HWND> Frames(HWND dock)
{
    std::vector<HWND> frames;
    for (HWND c = ::GetWindow(dock, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (ts::ClassName(c) == "#32770" && ::GetDlgItem(c, IDC_TITLE))
            frames.push_back(c);
    return frames;
}

std::string FrameTitle(HWND frame)
{
    char buf[256] = {};
    ::GetDlgItemTextA(frame, IDC_TITLE, buf, sizeof(buf));
    return buf;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string RectText(const RECT& r)
{
    char buf[64];
    snprintf(buf, sizeof(buf), "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return buf;
}

bool AnyAttached(const CHolvaneDlg& dock)
{
    for (const CTrelvoxObj& g : dock.m_guests)
        if (g.m_bAttached)
            return true;
    return false;
}

// A fresh working directory (where the dock keeps Holvane.ini) per test;
// guests are ended afterwards.
class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ts::EndSampleGuests();
        char cur[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, cur);
        m_saved = cur;
        std::string tag = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(tag.begin(), tag.end(), '/', '-');
        m_dir = ts::NewTempDir(tag);
        ::SetCurrentDirectoryA(m_dir.c_str());
    }
    void TearDown() override
    {
        ::SetCurrentDirectoryA(m_saved.c_str());
        ts::EndSampleGuests();
    }
    std::string Ini() const { return m_dir + "\\Holvane.ini"; }
    // A copy of the sample guest as dir\sub\name.
    std::string PlaceGuest(const std::string& sub, const std::string& name)
    {
        std::string folder = m_dir + "\\" + sub;
        ::CreateDirectoryA(folder.c_str(), nullptr);
        std::string exe = folder + "\\" + name;
        EXPECT_TRUE(ts::CopyTo(ts::BinDir() + "\\TrelvoxGuest.exe", exe)) << exe;
        return exe;
    }
    std::string m_saved, m_dir;
};

// ===========================================================================
// The real program, end to end

using RealDockTest = DiscoveryTest;

TEST_F(RealDockTest, LaunchesDocksRelaysAndEndsFourGuests)
{
    std::vector<std::string> names(kExeNames, kExeNames + 4);
    std::string dir = MakeInstall("e2e", names);
    // Each guest shows its window late, the last one first, so that the
    // docking order differs from the table order.
    const int showAfter[4] = {4400, 3200, 2000, 800};
    std::string ini;
    for (int i = 0; i < 4; ++i) {
        ts::WriteAll(dir + "\\" + BaseOf(names[i]) + ".ctl",
                     "[guest]\r\nhidden=1\r\nshowafter=" + std::to_string(showAfter[i]) + "\r\n");
        // Another spelling of the same file: docking writes the running path.
        ini += "[" + names[i] + "]\r\nEXEPATH=" + dir + "\\.\\" + names[i] + "\r\n";
    }
    ts::WriteAll(dir + "\\Holvane.ini", ini);

    auto dock = ts::Start(Quoted(dir + "\\Holvane.exe") + " -SHOW", dir, dir + "\\out.txt", false);
    ASSERT_TRUE(dock);
    HWND hDock = FindDock(dock->pid);
    ASSERT_TRUE(hDock);

    DWORD pids[4] = {};
    HWND wnds[4] = {};
    int dockedAt[4] = {-1, -1, -1, -1};
    // A guest found already docked the first time its window is seen has
    // no exact docking time: its log and window may reach this loop late.
    bool exact[4] = {false, false, false, false};
    int tick = 0;
    bool all = ts::WaitUntil([&] {
        ++tick;
        bool done = true;
        for (int i = 0; i < 4; ++i) {
            if (!pids[i]) {
                std::vector<DWORD> s = Started(dir, names[i]);
                if (!s.empty())
                    pids[i] = s[0];
            }
            bool firstSight = false;
            if (pids[i] && !wnds[i]) {
                wnds[i] = GuestWindow(pids[i]);
                firstSight = wnds[i] != nullptr;
            }
            if (wnds[i] && dockedAt[i] < 0 && Docked(wnds[i])) {
                dockedAt[i] = tick;
                exact[i] = !firstSight;
            }
            done = done && dockedAt[i] >= 0;
        }
        return done;
    }, 30000, 20);
    ASSERT_TRUE(all) << dockedAt[0] << " " << dockedAt[1] << " " << dockedAt[2] << " " << dockedAt[3];

    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        // One start each, from its own folder.
        EXPECT_EQ(1u, Started(dir, names[i]).size());
        std::string running = ModulePath(pids[i]);
        EXPECT_EQ(dir + "\\" + names[i], running);
        EXPECT_EQ(running, IniValue(dir + "\\Holvane.ini", names[i].c_str()));
    }

    // The frames stack in docking order, each carrying its guest: once the
    // last one has joined the stack and been laid out.
    EXPECT_TRUE(ts::WaitUntil([&] { return ts::Settled(hDock, { wnds[0], wnds[1], wnds[2], wnds[3] }); }, 10000));
    std::vector<HWND> frames = Frames(hDock);
    ASSERT_EQ(4u, frames.size());
    std::sort(frames.begin(), frames.end(), [](HWND a, HWND b) {
        return ts::WindowRect(a).top < ts::WindowRect(b).top;
    });
    std::vector<int> order;
    for (HWND f : frames) {
        std::string title = FrameTitle(f);
        int idx = -1;
        for (int i = 0; i < 4; ++i)
            if (title == kTitles[i])
                idx = i;
        ASSERT_GE(idx, 0) << title;
        order.push_back(idx);
        EXPECT_TRUE(SameRect(ts::ClientRectOnScreen(f), ts::WindowRect(wnds[idx])))
            << title << " frame " << RectText(ts::ClientRectOnScreen(f)) << " guest "
            << RectText(ts::WindowRect(wnds[idx]));
    }
    for (size_t k = 1; k < order.size(); ++k) {
        if (exact[order[k - 1]] && exact[order[k]]) {
            EXPECT_LE(dockedAt[order[k - 1]], dockedAt[order[k]]) << "frame " << k << " docked before frame " << k - 1;
        }
    }
    printf("docking order by frame:");
    for (int idx : order)
        printf(" %s(tick %d)", kExeNames[idx], dockedAt[idx]);
    printf("\n");

    // The three buttons reach every guest.
    for (int id : {IDC_OPEN, IDC_CLOSE, IDC_SELECT})
        ::SendMessageA(hDock, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(hDock, id)));
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        const std::vector<std::string> want = {"START", "SHOW", "OPEN", "CLOSE", "SELECT"};
        EXPECT_TRUE(ts::WaitUntil([&] { return ts::GuestEvents(dir, BaseOf(names[i]), pids[i]) == want; }, 5000))
            << ::testing::PrintToString(ts::GuestEvents(dir, BaseOf(names[i]), pids[i]));
    }

    // The icon menu's exit tells every guest to quit, then the dock ends.
    ::PostMessageA(hDock, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(0u, dock->Wait(15000));
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        HANDLE p = ::OpenProcess(SYNCHRONIZE, FALSE, pids[i]);
        if (p) {
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(p, 10000));
            ::CloseHandle(p);
        }
        const std::vector<std::string> want = {"START", "SHOW", "OPEN", "CLOSE", "SELECT", "QUIT", "END"};
        EXPECT_EQ(want, ts::GuestEvents(dir, BaseOf(names[i]), pids[i]));
    }
}

// A click of the hidden search button, sent from another process, scans at
// once instead of at the next tick.
TEST_F(RealDockTest, SearchClickFromAnotherProcessDocksAtOnce)
{
    std::string dir = MakeInstall("search", {"TrelvoxForFtp.exe"});
    auto dock = ts::Start(Quoted(dir + "\\Holvane.exe") + " -SHOW", dir, dir + "\\out.txt", false);
    ASSERT_TRUE(dock);
    HWND hDock = FindDock(dock->pid);
    ASSERT_TRUE(hDock);
    auto guest = ts::Start(Quoted(dir + "\\TrelvoxForFtp.exe") + " -hidden");
    ASSERT_TRUE(guest);
    HWND g = WaitGuestWindow(guest->pid);
    ASSERT_TRUE(g);
    // Scans run while it is hidden and leave it alone.
    ::Sleep(2500);
    ASSERT_FALSE(Docked(g));
    ASSERT_TRUE(Frames(hDock).empty());

    ::ShowWindow(g, SW_SHOWNOACTIVATE);
    ::SendMessageA(hDock, WM_COMMAND, MAKEWPARAM(IDC_SEARCH, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hDock, IDC_SEARCH)));
    EXPECT_TRUE(Docked(g));
    std::vector<HWND> frames = Frames(hDock);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(kTitles[2], FrameTitle(frames[0]));
    EXPECT_EQ(dir + "\\TrelvoxForFtp.exe", IniValue(dir + "\\Holvane.ini", "TrelvoxForFtp.exe"));
}

// ===========================================================================
// Which windows are recognised

struct MatchCase {
    const char* name;
    const char* exe;      // the guest's file name
    const char* args;     // options
    const char* ctl;      // text of its .ctl file, or null
    const char* caption;  // the caption it must show
    int index;            // the record that docks it, -1 for none
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class RecognitionTest : public DiscoveryTest, public ::testing::WithParamInterface<MatchCase> {};

INSTANTIATE_TEST_SUITE_P(Discovery, RecognitionTest, ::testing::Values(
    MatchCase{"One", "TrelvoxOne.exe", "", nullptr, "TrelvoxOne Ⅱ", 0},
    MatchCase{"Vnc", "TrelvoxForVnc.exe", "", nullptr, "TrelvoxForVNC Ⅱ", 1},
    MatchCase{"Ftp", "TrelvoxForFtp.exe", "", nullptr, "TrelvoxForFTP Ⅱ", 2},
    MatchCase{"Cvs", "TrelvoxForCvs.exe", "", nullptr, "TrelvoxForCVS Ⅱ", 3},
    MatchCase{"NameInLowerCase", "trelvoxone.exe", "", nullptr, "TrelvoxOne Ⅱ", -1},
    MatchCase{"ExtensionInCapitals", "TrelvoxOne.EXE", "", nullptr, "TrelvoxOne Ⅱ", -1},
    MatchCase{"NameInCaptionCase", "TrelvoxForVNC.exe", "", nullptr, "TrelvoxForVNC Ⅱ", -1},
    MatchCase{"OtherProgram", "Other.exe", " -caption \"TrelvoxOne Ⅱ\"", nullptr, "TrelvoxOne Ⅱ", -1},
    MatchCase{"WatchedOnlyName", "TrelvoxForTcp.exe", "", nullptr, "TrelvoxForTCP Ⅱ", -1},
    MatchCase{"CaptionOfAnotherGuest", "TrelvoxForCvs.exe", " -caption \"TrelvoxForFTP Ⅱ\"", nullptr,
              "TrelvoxForFTP Ⅱ", -1},
    MatchCase{"CaptionInNameCase", "TrelvoxForVnc.exe", " -caption \"TrelvoxForVnc Ⅱ\"", nullptr,
              "TrelvoxForVnc Ⅱ", -1},
    MatchCase{"PartialCaption", "TrelvoxOne.exe", " -caption TrelvoxOne", nullptr, "TrelvoxOne", -1},
    MatchCase{"CaptionWithoutNumeral", "TrelvoxOne.exe", " -caption \"TrelvoxOne \"", nullptr, "TrelvoxOne ", -1},
    MatchCase{"AsciiNumeral", "TrelvoxOne.exe", " -caption \"TrelvoxOne II\"", nullptr, "TrelvoxOne II", -1},
    MatchCase{"ExtraText", "TrelvoxOne.exe", " -caption \"TrelvoxOne Ⅱ - 接続\"", nullptr,
              "TrelvoxOne Ⅱ - 接続", -1},
    // Quoted, or the profile reader would drop the trailing space.
    MatchCase{"TrailingSpaceFromCtl", "TrelvoxOne.exe", "", "[guest]\r\ncaption=\"TrelvoxOne Ⅱ \"\r\n",
              "TrelvoxOne Ⅱ ", -1},
    MatchCase{"LeadingText", "TrelvoxOne.exe", " -caption \"*TrelvoxOne Ⅱ\"", nullptr, "*TrelvoxOne Ⅱ", -1},
    MatchCase{"EmptyCaption", "TrelvoxOne.exe", " -caption \"\"", nullptr, "", -1}),
    [](const ::testing::TestParamInfo<MatchCase>& i) { return std::string(i.param.name); });

TEST_P(RecognitionTest, NameAndCaptionMustBothBeExact)
{
    const MatchCase& c = GetParam();
    std::string exe = PlaceGuest("g", c.exe);
    if (c.ctl)
        ts::WriteAll(m_dir + "\\g\\" + BaseOf(c.exe) + ".ctl", c.ctl);
    ts::RunDock([&](CHolvaneDlg& dock) {
        auto p = ts::Start(Quoted(exe) + c.args);
        ASSERT_TRUE(p);
        HWND h = WaitGuestWindow(p->pid);
        ASSERT_TRUE(h);
        ASSERT_TRUE(ts::WaitUntil([&] { return ::IsWindowVisible(h) != FALSE; }, 5000));
        // The window is what the case says it is.
        ASSERT_EQ(c.caption, ts::WindowText(h));
        ASSERT_EQ(c.exe, ModuleBaseName(p->pid));

        dock.ScanWindows();
        ts::PumpFor(2200);  // and a couple of timer scans
        if (c.index >= 0) {
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(i == c.index, dock.m_guests[i].m_bAttached != FALSE) << i;
            ASSERT_EQ(1u, dock.m_frames.size());
            EXPECT_EQ(h, dock.m_frames[0]->m_hWndGuest);
            EXPECT_EQ(&dock.m_guests[c.index], dock.m_frames[0]->m_pGuest);
            EXPECT_TRUE(Docked(h));
            EXPECT_EQ(exe, S(dock.m_guests[c.index].m_strExePath));
            EXPECT_EQ(exe, IniValue(Ini(), kExeNames[c.index]));
        } else {
            EXPECT_FALSE(AnyAttached(dock));
            EXPECT_TRUE(dock.m_frames.empty());
            EXPECT_FALSE(Docked(h));
            EXPECT_FALSE(ts::FileExists(Ini()));
        }
    });
}

// ===========================================================================
// When and how often

using DiscoveryTimingTest = DiscoveryTest;

TEST_F(DiscoveryTimingTest, HiddenGuestIsDockedAtTheFirstScanAfterItShows)
{
    std::string exe = PlaceGuest("g", "TrelvoxForCvs.exe");
    auto p = ts::Start(Quoted(exe) + " -hidden -showafter 6000");
    ASSERT_TRUE(p);
    HWND h = WaitGuestWindow(p->pid);
    ASSERT_TRUE(h);
    ts::RunDock([&](CHolvaneDlg& dock) {
        ts::PumpFor(2200);
        ASSERT_FALSE(::IsWindowVisible(h)) << "shown too early to tell";
        EXPECT_FALSE(dock.m_guests[3].m_bAttached);
        EXPECT_TRUE(dock.m_frames.empty());
        // Wait without dispatching, so that no timer scan runs meanwhile.
        ASSERT_TRUE(ts::WaitUntil([&] { return ::IsWindowVisible(h) != FALSE; }, 15000));
        EXPECT_FALSE(dock.m_guests[3].m_bAttached);
        dock.ScanWindows();
        EXPECT_TRUE(dock.m_guests[3].m_bAttached);
        ASSERT_EQ(1u, dock.m_frames.size());
        EXPECT_EQ(h, dock.m_frames[0]->m_hWndGuest);
    });
    std::vector<std::string> events = ts::GuestEvents(m_dir + "\\g", "TrelvoxForCvs", p->pid);
    EXPECT_EQ((std::vector<std::string>{"START", "SHOW"}), events);
}

TEST_F(DiscoveryTimingTest, HiddenGuestIsDockedByTheTimerOnceShown)
{
    std::string exe = PlaceGuest("g", "TrelvoxForVnc.exe");
    ts::RunDock([&](CHolvaneDlg& dock) {
        auto p = ts::Start(Quoted(exe) + " -hidden");
        ASSERT_TRUE(p);
        HWND h = WaitGuestWindow(p->pid);
        ASSERT_TRUE(h);
        ts::PumpFor(2200);
        EXPECT_FALSE(dock.m_guests[1].m_bAttached);
        ::PostMessageA(h, WM_CTL_SHOW, 0, 0);
        EXPECT_TRUE(ts::PumpUntil([&] { return dock.m_guests[1].m_bAttached != FALSE; }, 5000));
        EXPECT_TRUE(Docked(h));
    });
}

TEST_F(DiscoveryTimingTest, OfTwoInstancesOnlyTheFirstInEnumerationOrderIsDocked)
{
    std::string exe = PlaceGuest("g", "TrelvoxOne.exe");
    ts::RunDock([&](CHolvaneDlg& dock) {
        auto a = ts::Start(Quoted(exe));
        auto b = ts::Start(Quoted(exe));
        ASSERT_TRUE(a && b);
        HWND ha = WaitGuestWindow(a->pid), hb = WaitGuestWindow(b->pid);
        ASSERT_TRUE(ha && hb);
        ASSERT_EQ(ts::WindowText(ha), ts::WindowText(hb));
        // No dispatching between this look and the scan.
        std::vector<HWND> top = ts::TopWindows();
        auto ia = std::find(top.begin(), top.end(), ha), ib = std::find(top.begin(), top.end(), hb);
        ASSERT_TRUE(ia != top.end() && ib != top.end());
        HWND first = ia < ib ? ha : hb, second = ia < ib ? hb : ha;
        dock.ScanWindows();
        ASSERT_EQ(1u, dock.m_frames.size());
        EXPECT_EQ(first, dock.m_frames[0]->m_hWndGuest);
        // The other stays an ordinary window for the whole run.
        ts::PumpFor(3000);
        EXPECT_EQ(1u, dock.m_frames.size());
        EXPECT_TRUE(Docked(first));
        EXPECT_FALSE(Docked(second));
        EXPECT_TRUE(::IsWindowVisible(second));
    });
}

// ===========================================================================
// Remembered paths across runs, and guests that go away

using GuestLifeTest = DiscoveryTest;

TEST_F(GuestLifeTest, GuestStartedFromAnotherFolderIsLaunchedFromThereNextTime)
{
    std::string oldExe = PlaceGuest("old", "TrelvoxForFtp.exe");
    std::string newExe = PlaceGuest("new place", "TrelvoxForFtp.exe");
    ts::WriteAll(Ini(), "[TrelvoxForFtp.exe]\r\nEXEPATH=" + oldExe + "\r\n");

    {
        auto byHand = ts::Start(Quoted(newExe));
        ASSERT_TRUE(byHand);
        ASSERT_TRUE(WaitGuestWindow(byHand->pid));
        ts::RunDock([&](CHolvaneDlg& dock) {
            // Docked by the first scan, so the old place is not launched.
            EXPECT_TRUE(dock.m_guests[2].m_bAttached);
            EXPECT_EQ(newExe, S(dock.m_guests[2].m_strExePath));
            ts::PumpFor(1000);
        });
        EXPECT_EQ(newExe, IniValue(Ini(), "TrelvoxForFtp.exe"));
    }
    ts::EndSampleGuests();
    EXPECT_TRUE(Started(m_dir + "\\old", "TrelvoxForFtp.exe").empty());
    ASSERT_EQ(1u, Started(m_dir + "\\new place", "TrelvoxForFtp.exe").size());

    // The next start of the dock launches it from the new place.
    ts::RunDock([&](CHolvaneDlg& dock) {
        ts::PumpUntil([&] { return dock.m_guests[2].m_bAttached != FALSE; }, 10000);
    });
    EXPECT_TRUE(Started(m_dir + "\\old", "TrelvoxForFtp.exe").empty());
    EXPECT_EQ(2u, Started(m_dir + "\\new place", "TrelvoxForFtp.exe").size());
}

TEST_F(GuestLifeTest, ClosedGuestStaysAttachedAndItsNewWindowIsNotDocked)
{
    std::string exe = PlaceGuest("g", "TrelvoxOne.exe");
    std::string vnc = PlaceGuest("g", "TrelvoxForVnc.exe");
    auto first = ts::Start(Quoted(exe));
    ASSERT_TRUE(first);
    HWND h1 = WaitGuestWindow(first->pid);
    ASSERT_TRUE(h1);
    ts::WriteAll(Ini(), "[TrelvoxOne.exe]\r\nEXEPATH=" + exe + "\r\n");
    ts::RunDock([&](CHolvaneDlg& dock) {
        ASSERT_TRUE(dock.m_guests[0].m_bAttached);
        ASSERT_EQ(1u, dock.m_frames.size());

        ::PostMessageA(h1, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, first->Wait(10000));
        ts::PumpUntil([&] { return !::IsWindow(h1); }, 5000);

        auto again = ts::Start(Quoted(exe));
        ASSERT_TRUE(again);
        HWND h2 = WaitGuestWindow(again->pid);
        ASSERT_TRUE(h2);
        ts::PumpFor(3000);
        EXPECT_TRUE(dock.m_guests[0].m_bAttached);
        EXPECT_EQ(1u, dock.m_frames.size());
        EXPECT_EQ(h1, dock.m_frames[0]->m_hWndGuest);
        EXPECT_FALSE(Docked(h2));

        // The dock goes on: the buttons pass over the dead frame, and another
        // guest is still docked.
        dock.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OPEN, BN_CLICKED), 0);
        auto other = ts::Start(Quoted(vnc));
        ASSERT_TRUE(other);
        HWND h3 = WaitGuestWindow(other->pid);
        ASSERT_TRUE(h3);
        EXPECT_TRUE(ts::PumpUntil([&] { return dock.m_guests[1].m_bAttached != FALSE; }, 5000));
        EXPECT_EQ(2u, dock.m_frames.size());
        EXPECT_TRUE(Docked(h3));
        dock.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SELECT, BN_CLICKED), 0);
        EXPECT_TRUE(ts::WaitUntil([&] {
            auto e = ts::GuestEvents(m_dir + "\\g", "TrelvoxForVnc", other->pid);
            return std::find(e.begin(), e.end(), "SELECT") != e.end();
        }, 5000));
        // The undocked new window got nothing.
        auto e2 = ts::GuestEvents(m_dir + "\\g", "TrelvoxOne", again->pid);
        EXPECT_EQ((std::vector<std::string>{"START"}), e2);
    });
    // Not launched again by the dock either: two starts, both by hand.
    EXPECT_EQ(2u, Started(m_dir + "\\g", "TrelvoxOne.exe").size());
}

} // namespace
