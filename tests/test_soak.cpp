// A long run of the real dock: many scans, moves and guest restarts leave
// its handles, windows and memory flat, and it keeps answering.
// HOLVANE_SOAK=full runs the long version (scripts/soak).
#include <gtest/gtest.h>
#include "TestSupport.h"
#include <psapi.h>
#include <winternl.h>
#include <stdlib.h>
#include <string>

namespace {

struct HandleEntry {
    ULONG pid;
    BYTE type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

// Handles of one process, from the system's handle list (the per-process
// handle count reads 0 here).
long HandleCount(DWORD pid)
{
    typedef NTSTATUS (NTAPI* QueryFn)(ULONG, PVOID, ULONG, PULONG);
    static QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll"), "NtQuerySystemInformation")));
    std::vector<BYTE> buf(1 << 20);
    for (;;) {
        ULONG needed = 0;
        NTSTATUS st = query(16 /* SystemHandleInformation */, buf.data(), (ULONG)buf.size(), &needed);
        if (st == (NTSTATUS)0xC0000004L) {  // length mismatch
            buf.resize(buf.size() * 2);
            continue;
        }
        if (st != 0)
            return -1;
        break;
    }
    ULONG count = *reinterpret_cast<ULONG*>(buf.data());
    const HandleEntry* e = reinterpret_cast<const HandleEntry*>(buf.data() + sizeof(ULONG_PTR));
    long n = 0;
    for (ULONG i = 0; i < count; ++i)
        if (e[i].pid == pid)
            ++n;
    return n;
}

int TopWindowsOf(DWORD pid)
{
    int n = 0;
    for (HWND h : ts::TopWindows())
        if (ts::WindowPid(h) == pid)
            ++n;
    return n;
}

SIZE_T PrivateBytes(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(process, &pmc, sizeof(pmc));
    return pmc.PagefileUsage;
}

bool AnswersWithin(HWND h, UINT ms)
{
    DWORD_PTR r = 0;
    return ::SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &r) != 0;
}

struct Figures {
    long handles;
    int windows;
    SIZE_T bytes;
};

} // namespace

TEST(Soak, ScansMovesAndGuestRestartsLeaveTheDockFlat)
{
    const bool full = getenv("HOLVANE_SOAK") && std::string(getenv("HOLVANE_SOAK")) == "full";
    const int scans = full ? 10000 : 1000;
    const int moves = full ? 1000 : 100;
    const int restarts = full ? 50 : 5;

    std::string dir = ts::MakeInstall("soak", { "TrelvoxOne.exe", "TrelvoxForVnc.exe" });
    auto one = ts::Start("\"" + dir + "\\TrelvoxOne.exe\"", dir, "", false);
    auto vnc = ts::Start("\"" + dir + "\\TrelvoxForVnc.exe\"", dir, "", false);
    HWND w1 = ts::WaitTopWindow(one->pid, "TrelvoxOne Ⅱ", 10000, true);
    HWND w2 = ts::WaitTopWindow(vnc->pid, "TrelvoxForVNC Ⅱ", 10000, true);
    ASSERT_TRUE(w1 && w2);
    auto dock = ts::Start("\"" + dir + "\\Holvane.exe\" -SHOW", dir, "", false);
    ASSERT_TRUE(dock);
    HWND hDock = ts::WaitDock(dock->pid);
    ASSERT_TRUE(hDock);
    ASSERT_TRUE(ts::WaitUntil([&] { return ts::Settled(hDock, { w1, w2 }); }, 10000));
    ts::WaitUntil([] { return false; }, 1500);

    auto measure = [&] {
        Figures f;
        f.handles = HandleCount(dock->pid);
        f.windows = TopWindowsOf(dock->pid);
        f.bytes = PrivateBytes(dock->h);
        return f;
    };
    // Warm up once so that lazily made objects exist before the baseline.
    for (int i = 0; i < 50; ++i)
        ::SendMessageA(hDock, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
    Figures before = measure();
    ASSERT_GT(before.handles, 0) << "the system handle list is not available";

    int unanswered = 0;
    std::vector<std::unique_ptr<ts::Process>> restarted;
    for (int i = 0; i < scans; ++i) {
        // One scan, run by the dock before SendMessage returns.
        ::SendMessageA(hDock, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
        if (i % (scans / moves) == 0)
            ::SetWindowPos(hDock, nullptr, 50 + (i % 7) * 20, 40 + (i % 5) * 15, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        if (i % (scans / restarts) == 0) {
            // A guest of a docked program restarted: its new window is not
            // docked again, but every scan looks at it.
            restarted.clear();
            restarted.push_back(ts::Start("\"" + dir + "\\TrelvoxForVnc.exe\"", dir, "", false));
        }
        if (i % 100 == 0 && !AnswersWithin(hDock, 500))
            ++unanswered;
    }
    restarted.clear();
    ts::WaitUntil([] { return false; }, 1500);
    for (int i = 0; i < 50; ++i)
        ::SendMessageA(hDock, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
    Figures after = measure();
    printf("soak: %d scans, %d moves, %d restarts; handles %ld -> %ld, top-level windows %d -> %d, "
           "private bytes %lu -> %lu\n", scans, moves, restarts, before.handles, after.handles, before.windows,
           after.windows, (unsigned long)before.bytes, (unsigned long)after.bytes);

    EXPECT_EQ(0, unanswered);
    EXPECT_LE(after.handles, before.handles + 5);
    EXPECT_EQ(before.windows, after.windows);
    EXPECT_LE(after.bytes, before.bytes + 1024 * 1024);
    ::PostMessageA(hDock, WM_COMMAND, 32772, 0);
    EXPECT_EQ(0u, dock->Wait(20000));
}
