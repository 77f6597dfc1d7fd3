// Bad input for the real program: broken settings files, hostile guests and
// crowds of windows. Each case has one defined outcome: no crash, nothing
// lost, the dock keeps working.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include <algorithm>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

const char* const kGuests[4] = { "TrelvoxOne.exe", "TrelvoxForVnc.exe", "TrelvoxForFtp.exe", "TrelvoxForCvs.exe" };
const char* const kCaptions[4] = { "TrelvoxOne Ⅱ", "TrelvoxForVNC Ⅱ", "TrelvoxForFTP Ⅱ", "TrelvoxForCVS Ⅱ" };

std::string Ini(const std::string& dir) { return dir + "\\Holvane.ini"; }

std::string ExePath(const std::string& dir, const std::string& section)
{
    char buf[400] = {};
    ::GetPrivateProfileStringA(section.c_str(), "EXEPATH", "", buf, sizeof(buf), Ini(dir).c_str());
    return buf;
}

// Message boxes shown by a process: text of each, closed with OK.
std::vector<std::string> CloseBoxes(DWORD pid, DWORD waitMs)
{
    std::vector<std::string> texts;
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < waitMs) {
        bool found = false;
        for (HWND h : ts::TopWindows()) {
            // The dock itself is a dialog too: it has the buttons.
            if (ts::WindowPid(h) != pid || ts::ClassName(h) != "#32770" || !::IsWindowVisible(h) ||
                ::GetDlgItem(h, 1004))
                continue;
            char text[512] = {};
            ::GetDlgItemTextA(h, 0xFFFF, text, sizeof(text));
            texts.push_back(text);
            ::SendMessageA(h, WM_COMMAND, IDOK, 0);
            found = true;
        }
        if (!found && !texts.empty())
            break;
        ::Sleep(100);
    }
    return texts;
}

// The dock answers an ordinary sent message.
bool Answers(HWND dock, UINT ms = 2000)
{
    DWORD_PTR r = 0;
    return ::SendMessageTimeoutA(dock, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &r) != 0;
}

int Frames(HWND dock)
{
    int n = 0;
    for (HWND c = ::GetWindow(dock, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (ts::ClassName(c) == "#32770")
            ++n;
    return n;
}

struct Dock {
    std::unique_ptr<ts::Process> proc;
    HWND hwnd = nullptr;
    void Start(const std::string& dir, const std::string& args = "-SHOW")
    {
        proc = ts::Start("\"" + dir + "\\Holvane.exe\" " + args, dir, dir + "\\stdout.txt", false);
        ASSERT_TRUE(proc);
        hwnd = ts::WaitDock(proc->pid, 15000);
    }
    // Ends the dock the way its icon's menu does.
    DWORD Exit(DWORD ms = 20000)
    {
        if (hwnd)
            ::PostMessageA(hwnd, WM_COMMAND, 32772, 0);
        return proc ? proc->Wait(ms) : 0;
    }
};

std::unique_ptr<ts::Process> StartGuest(const std::string& dir, const std::string& exe, const std::string& args = "")
{
    return ts::Start("\"" + dir + "\\" + exe + "\" " + args, dir, "", false);
}

HWND WaitGuestWindow(DWORD pid, const char* caption)
{
    return ts::WaitTopWindow(pid, caption, 10000, true);
}

using ts::Docked;

// Guests that a dock launched are not the test's children: end them from
// the pids in their logs, so that no later dock finds them.
class HostileTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const std::string& dir : dirs) {
            for (const char* g : kGuests) {
                std::string base(g, strlen(g) - 4);
                for (const std::string& line : ts::GuestLog(dir, base)) {
                    if (line.compare(0, 6, "START ") != 0)
                        continue;
                    ts::EndProcess(strtoul(line.c_str() + 6, nullptr, 10));
                }
            }
        }
    }
    std::string Install(const std::string& tag, const std::vector<std::string>& guests = {})
    {
        dirs.push_back(ts::MakeInstall(tag, guests));
        return dirs.back();
    }
    // Two guests started by hand (indexes into kGuests), then a shown dock
    // that has adopted and laid out both.
    struct Pair {
        std::string dir;
        std::unique_ptr<ts::Process> a, b;
        HWND aw = nullptr, bw = nullptr;
        Dock dock;
    };
    void DockPair(const std::string& tag, int first, int second, Pair& p)
    {
        p.dir = Install(tag, { kGuests[first], kGuests[second] });
        p.a = StartGuest(p.dir, kGuests[first]);
        p.b = StartGuest(p.dir, kGuests[second]);
        p.aw = WaitGuestWindow(p.a->pid, kCaptions[first]);
        p.bw = WaitGuestWindow(p.b->pid, kCaptions[second]);
        ASSERT_TRUE(p.aw && p.bw);
        p.dock.Start(p.dir);
        ASSERT_TRUE(p.dock.hwnd);
        ASSERT_TRUE(ts::WaitUntil([&] { return ts::Settled(p.dock.hwnd, { p.aw, p.bw }); }, 10000));
    }
    std::vector<std::string> dirs;
};

} // namespace

// Settings files that are not what the dock writes: nothing is launched from
// them unless a real path can be read, the dock runs, and docking a guest
// writes its entry without touching anything else that was readable.
TEST_F(HostileTest, BrokenSettings_TheDockRunsAndDockingStillWritesItsEntry)
{
    struct Case {
        const char* name;
        std::string content;
        bool readOnly;
    };
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    std::string longLine = "[Other]\r\nKEY=" + std::string(1 << 20, 'A') + "\r\n";
    const Case cases[] = {
        { "empty", "", false },
        { "binary garbage", garbage, false },
        { "one 1 MB line", longLine, false },
        { "read-only and locked", "[Other]\r\nKEY=kept\r\n", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = Install("broken", { "TrelvoxOne.exe" });
        ts::WriteAll(Ini(dir), c.content);
        // Root ignores the read-only bit on this platform: a reader that
        // denies writing makes the file unwritable for real.
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.readOnly) {
            ::SetFileAttributesA(Ini(dir).c_str(), FILE_ATTRIBUTE_READONLY);
            lock = ::CreateFileA(Ini(dir).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, lock);
        }
        auto guest = StartGuest(dir, "TrelvoxOne.exe");
        HWND gw = WaitGuestWindow(guest->pid, kCaptions[0]);
        ASSERT_TRUE(gw);
        Dock dock;
        dock.Start(dir);
        ASSERT_TRUE(dock.hwnd);
        EXPECT_TRUE(ts::WaitUntil([&] { return Docked(gw); }, 10000));
        EXPECT_TRUE(CloseBoxes(dock.proc->pid, 500).empty());
        EXPECT_TRUE(Answers(dock.hwnd));
        if (c.readOnly) {
            // The write fails silently; what was there stays.
            EXPECT_EQ(c.content, ts::ReadAll(Ini(dir)));
        } else {
            EXPECT_EQ(dir + "\\TrelvoxOne.exe", ExePath(dir, "TrelvoxOne.exe"));
        }
        EXPECT_EQ(0u, dock.Exit());
        if (lock != INVALID_HANDLE_VALUE)
            ::CloseHandle(lock);
        ::SetFileAttributesA(Ini(dir).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(HostileTest, BrokenSettings_Utf16FileIsReadAndItsOtherEntriesSurvive)
{
    std::string dir = Install("utf16", { "TrelvoxOne.exe", "TrelvoxForVnc.exe" });
    std::string text = "[TrelvoxOne.exe]\r\nEXEPATH=" + dir + "\\TrelvoxOne.exe\r\n[Keep]\r\nK=v\r\n";
    std::wstring wide(text.size(), L'\0');
    wide.resize(::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size()));
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    ts::WriteAll(Ini(dir), bytes);

    auto other = StartGuest(dir, "TrelvoxForVnc.exe");
    HWND ow = WaitGuestWindow(other->pid, kCaptions[1]);
    ASSERT_TRUE(ow);
    Dock dock;
    dock.Start(dir);
    ASSERT_TRUE(dock.hwnd);
    // The stored path was read and launched.
    EXPECT_TRUE(ts::WaitUntil([&] { return !ts::GuestLog(dir, "TrelvoxOne").empty(); }, 10000));
    EXPECT_TRUE(ts::WaitUntil([&] { return Docked(ow); }, 10000));
    EXPECT_TRUE(ts::WaitUntil([&] { return ExePath(dir, "TrelvoxForVnc.exe") == dir + "\\TrelvoxForVnc.exe"; }, 5000));
    char keep[16] = {};
    ::GetPrivateProfileStringA("Keep", "K", "", keep, sizeof(keep), Ini(dir).c_str());
    EXPECT_STREQ("v", keep);
    EXPECT_EQ(0u, dock.Exit());
}

// Paths that cannot be started: one failure box per record, in guest order,
// with the system's error code; the dock then runs and nothing is rewritten.
TEST_F(HostileTest, BrokenSettings_UnstartablePathsShowOneBoxEachAndTheDockGoesOn)
{
    std::string dir = Install("unstartable");
    ::CreateDirectoryA((dir + "\\adir").c_str(), nullptr);
    ts::WriteAll(dir + "\\notes.txt", "not a program");
    struct Entry { const char* section; std::string path; };
    const Entry entries[] = {
        { "TrelvoxOne.exe", dir + "\\adir" },                   // a directory
        { "TrelvoxForVnc.exe", dir + "\\notes.txt" },           // not an executable
        { "TrelvoxForFtp.exe", dir + "\\has\"quote.exe" },      // a quote inside
        { "TrelvoxForCvs.exe", dir + "\\missing.exe" },         // nothing there
    };
    for (const Entry& e : entries)
        ::WritePrivateProfileStringA(e.section, "EXEPATH", e.path.c_str(), Ini(dir).c_str());
    std::string before = ts::ReadAll(Ini(dir));

    Dock dock;
    dock.proc = ts::Start("\"" + dir + "\\Holvane.exe\" -SHOW", dir, "", false);
    ASSERT_TRUE(dock.proc);
    std::vector<std::string> texts;
    ts::WaitUntil([&] {
        std::vector<std::string> more = CloseBoxes(dock.proc->pid, 500);
        texts.insert(texts.end(), more.begin(), more.end());
        return texts.size() >= 4;
    }, 60000, 10);
    ASSERT_EQ(4u, texts.size());
    for (const std::string& t : texts)
        EXPECT_EQ(0u, t.find("プロセス起動に失敗しました. err=0x")) << t;
    dock.hwnd = ts::WaitDock(dock.proc->pid);
    ASSERT_TRUE(dock.hwnd);
    EXPECT_TRUE(Answers(dock.hwnd));
    EXPECT_EQ(before, ts::ReadAll(Ini(dir)));
    EXPECT_EQ(0u, dock.Exit());
}

TEST_F(HostileTest, ManyStarts_TenAtOnceLeaveExactlyOneDock)
{
    std::string dir = Install("ten");
    std::vector<std::unique_ptr<ts::Process>> procs;
    for (int i = 0; i < 10; ++i)
        procs.push_back(ts::Start("\"" + dir + "\\Holvane.exe\"", dir, "", false));
    // Every refused start shows its box; closing it ends that process.
    int refused = 0;
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 60000 && refused < 9) {
        for (auto& p : procs) {
            if (!p->Running())
                continue;
            for (const std::string& t : CloseBoxes(p->pid, 200))
                if (t == "     既に起動されています.     ")
                    ++refused;
        }
    }
    EXPECT_EQ(9, refused);
    int running = 0, docks = 0;
    ts::WaitUntil([&] {
        running = 0;
        for (auto& p : procs)
            running += p->Running() ? 1 : 0;
        return running == 1;
    }, 15000);
    EXPECT_EQ(1, running);
    for (auto& p : procs) {
        if (p->Running()) {
            docks += ts::WaitDock(p->pid, 5000) ? 1 : 0;
        } else {
            EXPECT_EQ(0u, p->Wait(0));
        }
    }
    EXPECT_EQ(1, docks);
}

// Guests that misbehave at the end: one never answers WM_GUEST_QUIT; the dock
// still ends within the bound and the others are told. The guest goes deaf
// only once the dock has laid it out: moving another thread's window waits
// for that thread, so a guest that hangs in the middle of a layout holds the
// dock there until it answers again.
TEST_F(HostileTest, HostileGuests_AGuestThatNeverAnswersQuitDoesNotHoldTheExit)
{
    Pair p;
    DockPair("noquit", 0, 1, p);
    if (HasFatalFailure())
        return;
    // From now on the first guest answers nothing for a minute; the exit
    // meets it already deaf.
    ::PostMessageA(p.aw, WM_APP + 1, 60000, 0);
    ::Sleep(300);
    EXPECT_TRUE(Answers(p.dock.hwnd));
    DWORD t0 = ::GetTickCount();
    EXPECT_EQ(0u, p.dock.Exit(30000));
    DWORD took = ::GetTickCount() - t0;
    EXPECT_LT(took, 20000u);
    EXPECT_EQ(0u, p.b->Wait(10000));
    std::vector<std::string> events = ts::GuestEvents(p.dir, "TrelvoxForVnc", p.b->pid);
    EXPECT_NE(events.end(), std::find(events.begin(), events.end(), "QUIT"));
}

TEST_F(HostileTest, HostileGuests_GuestCaptionFromAnotherProgramAndOverlongCaptionsAreLeftAlone)
{
    std::string dir = Install("impostor", { "TrelvoxOne.exe" });
    ts::CopyTo(ts::BinDir() + "\\TrelvoxOne.exe", dir + "\\Impostor.exe");
    auto impostor = StartGuest(dir, "Impostor.exe", "-caption \"TrelvoxOne Ⅱ\"");
    HWND iw = WaitGuestWindow(impostor->pid, kCaptions[0]);
    ASSERT_TRUE(iw);
    // Captions the dock reads cut at 255 bytes, some cut inside a
    // double-byte character, from the guest's own executable.
    const std::string captions[] = {
        std::string(255, 'x'),
        std::string(256, 'x'),
        std::string(1000, 'x'),
        std::string(254, 'x') + "Ⅱ",
        std::string(kCaptions[0]) + std::string(300, 'x'),
        std::string(kCaptions[0]) + " ",
    };
    std::vector<std::unique_ptr<ts::Process>> others;
    std::vector<HWND> windows;
    for (const std::string& c : captions) {
        others.push_back(StartGuest(dir, "TrelvoxOne.exe", "-caption \"" + c + "\""));
        windows.push_back(ts::WaitTopWindow(others.back()->pid, nullptr, 10000, true));
        ASSERT_TRUE(windows.back()) << c.size();
        char text[2048] = {};
        ::GetWindowTextA(windows.back(), text, sizeof(text));
        ASSERT_EQ(c, text);
    }
    Dock dock;
    dock.Start(dir);
    ASSERT_TRUE(dock.hwnd);
    ts::PumpFor(2500);
    EXPECT_FALSE(Docked(iw));
    for (size_t i = 0; i < windows.size(); ++i)
        EXPECT_FALSE(Docked(windows[i])) << "caption of " << captions[i].size() << " bytes";
    EXPECT_EQ(0, Frames(dock.hwnd));
    EXPECT_TRUE(Answers(dock.hwnd));
    // The real guest still docks.
    auto real = StartGuest(dir, "TrelvoxOne.exe");
    HWND rw = WaitGuestWindow(real->pid, kCaptions[0]);
    ASSERT_TRUE(rw);
    EXPECT_TRUE(ts::WaitUntil([&] { return ts::Settled(dock.hwnd, { rw }); }, 10000));
    EXPECT_EQ(0u, dock.Exit());
}

// A guest that dies while the dock takes its system menu away: its record
// is attached and its path written as for any docked guest, its frame stays
// empty like that of a guest closed later, and the dock goes on with the
// others.
TEST_F(HostileTest, HostileGuests_AGuestThatDiesWhileAdoptedLeavesAnEmptyFrame)
{
    std::string dir = Install("adoptdeath", { "TrelvoxOne.exe", "TrelvoxForVnc.exe" });
    auto dying = StartGuest(dir, "TrelvoxOne.exe", "-exitondock");
    auto good = StartGuest(dir, "TrelvoxForVnc.exe");
    ASSERT_TRUE(WaitGuestWindow(dying->pid, kCaptions[0]));
    HWND gw = WaitGuestWindow(good->pid, kCaptions[1]);
    ASSERT_TRUE(gw);
    Dock dock;
    dock.Start(dir);
    ASSERT_TRUE(dock.hwnd);
    EXPECT_EQ(7u, dying->Wait(10000));
    ASSERT_TRUE(ts::WaitUntil([&] { return ts::Settled(dock.hwnd, { gw }) && Frames(dock.hwnd) == 2; }, 10000));
    EXPECT_EQ(dir + "\\TrelvoxOne.exe", ExePath(dir, "TrelvoxOne.exe"));
    EXPECT_EQ(dir + "\\TrelvoxForVnc.exe", ExePath(dir, "TrelvoxForVnc.exe"));
    ::SendMessageA(dock.hwnd, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
    ::SetWindowPos(dock.hwnd, nullptr, 120, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(Answers(dock.hwnd));
    EXPECT_TRUE(ts::WaitUntil([&] { return ts::Settled(dock.hwnd, { gw }); }, 5000));
    EXPECT_TRUE(ts::WaitUntil([&] {
        std::vector<std::string> e = ts::GuestEvents(dir, "TrelvoxForVnc", good->pid);
        return std::find(e.begin(), e.end(), "OPEN") != e.end();
    }, 5000));
    // Its next start is not docked into the stack: the record stays attached.
    auto again = StartGuest(dir, "TrelvoxOne.exe");
    HWND aw = WaitGuestWindow(again->pid, kCaptions[0]);
    ASSERT_TRUE(aw);
    ts::PumpFor(2500);
    EXPECT_FALSE(Docked(aw));
    EXPECT_EQ(2, Frames(dock.hwnd));
    EXPECT_EQ(0u, dock.Exit());
    EXPECT_EQ(0u, good->Wait(10000));
}

// A docked guest that stops answering for a while: moving or showing another
// thread's window waits for that thread, so the dock waits with it; once the
// guest answers again the dock finishes the move and the buttons, and
// nothing is lost on either guest.
TEST_F(HostileTest, HostileGuests_AGuestThatHangsForAWhileLosesNoMoveAndNoButton)
{
    Pair p;
    DockPair("slow", 0, 2, p);
    if (HasFatalFailure())
        return;
    RECT before = ts::WindowRect(p.dock.hwnd);
    ::PostMessageA(p.aw, WM_APP + 1, 3000, 0);
    ::Sleep(300);
    // Neither call may wait for the dock here: it is about to wait.
    ::SetWindowPos(p.dock.hwnd, nullptr, before.left + 40, before.top + 30, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
    ::PostMessageA(p.dock.hwnd, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
    EXPECT_TRUE(Answers(p.dock.hwnd, 10000));
    EXPECT_TRUE(ts::WaitUntil([&] {
        return ts::WindowRect(p.dock.hwnd).left == before.left + 40 && ts::Settled(p.dock.hwnd, { p.aw, p.bw });
    }, 10000));
    const std::vector<std::string> slow = { "START", "HANG", "OPEN" };
    EXPECT_TRUE(ts::WaitUntil([&] { return ts::GuestEvents(p.dir, "TrelvoxOne", p.a->pid) == slow; }, 5000));
    const std::vector<std::string> quick = { "START", "OPEN" };
    EXPECT_EQ(quick, ts::GuestEvents(p.dir, "TrelvoxForFtp", p.b->pid));
    EXPECT_EQ(0u, p.dock.Exit());
}

TEST_F(HostileTest, HostileGuests_AGuestThatVanishesWhileDockedLeavesAWorkingDock)
{
    Pair p;
    DockPair("vanish", 0, 2, p);
    if (HasFatalFailure())
        return;
    // The first guest dies without a word; every button and move goes on.
    ::PostMessageA(p.aw, WM_APP + 3, 5, 0);
    EXPECT_EQ(5u, p.a->Wait(10000));
    for (int id : { 1004, 1005, 1006 })
        ::SendMessageA(p.dock.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    ::SetWindowPos(p.dock.hwnd, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(Answers(p.dock.hwnd));
    EXPECT_TRUE(ts::WaitUntil([&] { return ts::GuestEvents(p.dir, "TrelvoxForFtp", p.b->pid).size() >= 4; }, 5000));
    std::vector<std::string> expect = { "START", "OPEN", "CLOSE", "SELECT" };
    EXPECT_EQ(expect, ts::GuestEvents(p.dir, "TrelvoxForFtp", p.b->pid));
    EXPECT_EQ(2, Frames(p.dock.hwnd));
    EXPECT_EQ(0u, p.dock.Exit());
}
