// Guest records, Holvane.ini, launching, the launch pass and the process
// queries, with the dock in this process and with the real program.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "app/Startup.h"
#include "dock/HolvaneDlg.h"
#include "docking/BaseDlg.h"
#include "guests/MbPath.h"
#include "guests/ProcessQuery.h"
#include "guests/TrelvoxObj.h"
#include <mbstring.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace {

// The guest table as the dock must know it (code page 932 bytes).
const char* const kExeNames[4] = {"TrelvoxOne.exe", "TrelvoxForVnc.exe", "TrelvoxForFtp.exe",
                                  "TrelvoxForCvs.exe"};
const char* const kTitles[4] = {"TrelvoxOne Ⅱ", "TrelvoxForVNC Ⅱ", "TrelvoxForFTP Ⅱ", "TrelvoxForCVS Ⅱ"};
const char kMissing[] = "<missing>";

std::string S(const CString& s) { return std::string(static_cast<LPCSTR>(s)); }

std::string IniValue(const std::string& ini, const char* section, const char* key = "EXEPATH")
{
    char buf[2048] = {};
    ::GetPrivateProfileStringA(section, key, kMissing, buf, sizeof(buf), ini.c_str());
    return buf;
}

std::string IniText(const std::vector<std::pair<std::string, std::string>>& sections)
{
    std::string t;
    for (const auto& s : sections)
        t += "[" + s.first + "]\r\nEXEPATH=" + s.second + "\r\n";
    return t;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Guest() { return ts::BinDir() + "\\TrelvoxGuest.exe"; }

// Position of the last backslash, whole characters only (a trail byte
// 0x5C of a double-byte character is none).
size_t LastSep(const std::string& path)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(path.c_str());
    const unsigned char* bs = _mbsrchr(p, '\\');
    return bs ? static_cast<size_t>(bs - p) : std::string::npos;
}

std::string FileName(const std::string& path)
{
    size_t n = LastSep(path);
    return n == std::string::npos ? path : path.substr(n + 1);
}

std::string DirOf(const std::string& path)
{
    size_t n = LastSep(path);
    return n == std::string::npos ? std::string() : path.substr(0, n);
}

std::string BaseOf(const std::string& file)
{
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

using ts::MakeInstall;

// Lines "START <pid> <hwnd> <cwd>\t<cmdline>" of a guest's log.
struct StartLine {
    DWORD pid = 0;
    std::string cwd, cmdline;
};

std::vector<StartLine> StartLines(const std::string& exePath)
{
    std::string dir = DirOf(exePath);
    std::vector<StartLine> out;
    for (const std::string& line : ts::GuestLog(dir, BaseOf(FileName(exePath)))) {
        if (line.compare(0, 6, "START ") != 0)
            continue;
        StartLine s;
        s.pid = strtoul(line.c_str() + 6, nullptr, 10);
        size_t sp = line.find(' ', 6);
        sp = line.find(' ', sp + 1);
        size_t tab = line.find('\t');
        if (sp != std::string::npos && tab != std::string::npos && tab > sp) {
            s.cwd = line.substr(sp + 1, tab - sp - 1);
            s.cmdline = line.substr(tab + 1);
        }
        out.push_back(s);
    }
    return out;
}

HWND WaitGuestWindow(DWORD pid, DWORD ms = 10000)
{
    HWND found = nullptr;
    ts::WaitUntil([&] {
        for (HWND h : ts::TopWindows())
            if (ts::WindowPid(h) == pid && ts::ClassName(h) == "TrelvoxGuestWnd")
                return (found = h) != nullptr;
        return false;
    }, ms);
    return found;
}

using ts::Docked;

// ---------------------------------------------------------------------------
// Seams in this program's import table: the program's code (linked into this
// test) calls the platform through it, so a test can count, fail or record
// those calls. Only calls from the thread that enabled recording count.

struct LaunchCall {
    bool appNull = true, cmdNull = true, dirNull = true, envNull = true, saNull = true;
    std::string app, cmd, dir;
    BOOL inherit = FALSE;
    DWORD flags = 0, cb = 0, siFlags = 0;
    BOOL ok = FALSE;
    DWORD err = 0, pid = 0;
};

struct Hooks {
    std::atomic<bool> on{false};
    DWORD thread = 0;
    DWORD pid = 0;             // process whose opens are counted
    int opens = 0;
    int failOpenFrom = 0;      // this and later opens of pid fail (0: none)
    bool failPsapi = false;    // LoadLibraryA("psapi") fails
    std::string failProc;      // GetProcAddress of this name fails
    int psapiLoads = 0, psapiFrees = 0;
    HMODULE psapi = nullptr;
    std::vector<std::string> lookups;
    std::mutex mu;
    std::vector<LaunchCall> launches;
    std::atomic<int> launchCount{0};

    bool Mine() const { return on && ::GetCurrentThreadId() == thread; }
} g_hooks;

decltype(&::OpenProcess) g_realOpenProcess;
decltype(&::LoadLibraryA) g_realLoadLibraryA;
decltype(&::GetProcAddress) g_realGetProcAddress;
decltype(&::FreeLibrary) g_realFreeLibrary;
decltype(&::CreateProcessA) g_realCreateProcessA;

HANDLE WINAPI HookOpenProcess(DWORD access, BOOL inherit, DWORD pid)
{
    if (g_hooks.Mine() && pid == g_hooks.pid) {
        ++g_hooks.opens;
        if (g_hooks.failOpenFrom && g_hooks.opens >= g_hooks.failOpenFrom) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    return g_realOpenProcess(access, inherit, pid);
}

HMODULE WINAPI HookLoadLibraryA(LPCSTR name)
{
    if (g_hooks.Mine() && name && lstrcmpiA(name, "psapi") == 0) {
        ++g_hooks.psapiLoads;
        if (g_hooks.failPsapi) {
            ::SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        HMODULE h = g_realLoadLibraryA(name);
        g_hooks.psapi = h;
        return h;
    }
    return g_realLoadLibraryA(name);
}

FARPROC WINAPI HookGetProcAddress(HMODULE mod, LPCSTR name)
{
    if (g_hooks.Mine() && mod && mod == g_hooks.psapi && HIWORD(name)) {
        g_hooks.lookups.push_back(name);
        if (g_hooks.failProc == name) {
            ::SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
    }
    return g_realGetProcAddress(mod, name);
}

BOOL WINAPI HookFreeLibrary(HMODULE mod)
{
    if (g_hooks.Mine() && mod && mod == g_hooks.psapi)
        ++g_hooks.psapiFrees;
    return g_realFreeLibrary(mod);
}

BOOL WINAPI HookCreateProcessA(LPCSTR app, LPSTR cmd, LPSECURITY_ATTRIBUTES psa, LPSECURITY_ATTRIBUTES tsa,
                               BOOL inherit, DWORD flags, LPVOID env, LPCSTR dir, LPSTARTUPINFOA si,
                               LPPROCESS_INFORMATION pi)
{
    bool record = g_hooks.Mine();
    LaunchCall c;
    if (record) {
        c.appNull = app == nullptr;
        c.app = app ? app : "";
        c.cmdNull = cmd == nullptr;
        c.cmd = cmd ? cmd : "";
        c.dirNull = dir == nullptr;
        c.dir = dir ? dir : "";
        c.envNull = env == nullptr;
        c.saNull = psa == nullptr && tsa == nullptr;
        c.inherit = inherit;
        c.flags = flags;
        c.cb = si ? si->cb : 0;
        c.siFlags = si ? si->dwFlags : 0;
    }
    BOOL ok = g_realCreateProcessA(app, cmd, psa, tsa, inherit, flags, env, dir, si, pi);
    DWORD err = ::GetLastError();
    if (record) {
        c.ok = ok;
        c.err = ok ? 0 : err;
        c.pid = ok && pi ? pi->dwProcessId : 0;
        {
            std::lock_guard<std::mutex> lock(g_hooks.mu);
            g_hooks.launches.push_back(c);
        }
        ++g_hooks.launchCount;
    }
    ::SetLastError(err);
    return ok;
}

void** ImportSlot(const char* function)
{
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + imp->Name), "kernel32.dll") != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

template <class F>
bool Patch(const char* function, F hook, F* real)
{
    void** slot = ImportSlot(function);
    if (!slot)
        return false;
    DWORD old = 0;
    ::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *real = reinterpret_cast<F>(*slot);
    *slot = reinterpret_cast<void*>(hook);
    ::VirtualProtect(slot, sizeof(void*), old, &old);
    return true;
}

bool InstallHooks()
{
    static bool done = false, ok = false;
    if (!done) {
        done = true;
        ok = Patch("OpenProcess", &HookOpenProcess, &g_realOpenProcess)
            && Patch("LoadLibraryA", &HookLoadLibraryA, &g_realLoadLibraryA)
            && Patch("GetProcAddress", &HookGetProcAddress, &g_realGetProcAddress)
            && Patch("FreeLibrary", &HookFreeLibrary, &g_realFreeLibrary)
            && Patch("CreateProcessA", &HookCreateProcessA, &g_realCreateProcessA);
    }
    return ok;
}

// Recording on this thread while the object lives; settings start clean.
struct Recording {
    explicit Recording(DWORD pid = 0)
    {
        g_hooks.pid = pid;
        g_hooks.opens = 0;
        g_hooks.failOpenFrom = 0;
        g_hooks.failPsapi = false;
        g_hooks.failProc.clear();
        g_hooks.psapiLoads = g_hooks.psapiFrees = 0;
        g_hooks.psapi = nullptr;
        g_hooks.lookups.clear();
        {
            std::lock_guard<std::mutex> lock(g_hooks.mu);
            g_hooks.launches.clear();
        }
        g_hooks.launchCount = 0;
        g_hooks.thread = ::GetCurrentThreadId();
        g_hooks.on = true;
    }
    ~Recording() { g_hooks.on = false; }
    std::vector<LaunchCall> Launches()
    {
        std::lock_guard<std::mutex> lock(g_hooks.mu);
        return g_hooks.launches;
    }
};

// ---------------------------------------------------------------------------
// Message boxes: modal, so a second thread reads and closes them.

struct BoxSeen {
    std::string caption, text;
    bool iconShown = false;
    bool exclamation = false;  // only known for boxes of this process
    int mostOpen = 0;          // most boxes open at once while it was up
    int launchesWhileOpen = 0; // launch attempts recorded while it was up
};

bool IsDockWindow(HWND h) { return ::GetDlgItem(h, IDC_OPEN) != nullptr; }

std::vector<HWND> Boxes(DWORD pid)
{
    std::vector<HWND> list;
    for (HWND h : ts::TopWindows())
        if (ts::WindowPid(h) == pid && ::IsWindowVisible(h) && ts::ClassName(h) == "#32770"
            && ::GetDlgItem(h, IDOK) && !IsDockWindow(h))
            list.push_back(h);
    return list;
}

std::string BoxText(HWND box)
{
    char buf[1024] = {};
    ::GetDlgItemTextA(box, 0xFFFF, buf, sizeof(buf));
    if (buf[0])
        return buf;
    // Any static with text, should the platform number it differently.
    std::string found;
    for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (ts::ClassName(c) == "Static" && !ts::WindowText(c).empty())
            found = ts::WindowText(c);
    return found;
}

class BoxClicker {
public:
    explicit BoxClicker(DWORD pid, DWORD holdMs = 400) : m_pid(pid), m_hold(holdMs), m_thread([this] { Loop(); }) {}
    ~BoxClicker()
    {
        m_stop = true;
        m_thread.join();
    }
    std::vector<BoxSeen> Seen()
    {
        std::lock_guard<std::mutex> lock(m_mu);
        return m_seen;
    }
    size_t Count() { return Seen().size(); }

private:
    void Loop()
    {
        while (!m_stop) {
            std::vector<HWND> boxes = Boxes(m_pid);
            if (boxes.empty()) {
                ::Sleep(30);
                continue;
            }
            HWND box = boxes[0];
            BoxSeen b;
            b.caption = ts::WindowText(box);
            b.text = BoxText(box);
            HWND icon = ::GetDlgItem(box, 0x0440);
            b.iconShown = icon && ::IsWindowVisible(icon);
            if (m_pid == ::GetCurrentProcessId() && icon) {
                HICON shown = reinterpret_cast<HICON>(::SendMessageA(icon, STM_GETICON, 0, 0));
                b.exclamation = shown && shown == ::LoadIconA(nullptr, IDI_EXCLAMATION);
            }
            // Hold it open a while: nothing else may happen meanwhile.
            b.mostOpen = 1;
            DWORD t0 = ::GetTickCount();
            while (::GetTickCount() - t0 < m_hold) {
                b.mostOpen = std::max(b.mostOpen, static_cast<int>(Boxes(m_pid).size()));
                ::Sleep(20);
            }
            b.launchesWhileOpen = g_hooks.launchCount;
            {
                std::lock_guard<std::mutex> lock(m_mu);
                m_seen.push_back(b);
            }
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
            ts::WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000, 10);
        }
    }

    DWORD m_pid;
    DWORD m_hold;
    std::atomic<bool> m_stop{false};
    std::mutex m_mu;
    std::vector<BoxSeen> m_seen;
    std::thread m_thread;
};

// ---------------------------------------------------------------------------
// The dock in this process, like ts::RunDock, except that the body waits
// for the failure boxes of the launch pass: their modal loops would
// otherwise run it in the middle of OnInitDialog.

const std::function<void(CHolvaneDlg&)>* g_body;
CHolvaneDlg* g_dock;

BOOL CALLBACK FindThreadBox(HWND h, LPARAM l)
{
    if (ts::ClassName(h) == "#32770" && ::GetDlgItem(h, IDOK) && !IsDockWindow(h)) {
        *reinterpret_cast<bool*>(l) = true;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK RunBodyAfterInit(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    bool box = false;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindThreadBox, reinterpret_cast<LPARAM>(&box));
    if (box) {
        ::SetTimer(nullptr, 0, 50, RunBodyAfterInit);
        return;
    }
    (*g_body)(*g_dock);
    if (g_dock->m_hWnd)
        g_dock->EndDialog(IDOK);
}

void RunDock(const std::function<void(CHolvaneDlg&)>& body)
{
    g_bShowMode = 1;
    CHolvaneDlg dlg(nullptr);
    g_body = &body;
    g_dock = &dlg;
    AfxGetApp()->m_pMainWnd = &dlg;
    ::SetTimer(nullptr, 0, 1, RunBodyAfterInit);
    dlg.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    g_body = nullptr;
    g_dock = nullptr;
}

// A fresh working directory (where the dock keeps Holvane.ini) per test;
// guests are ended afterwards.
class GuestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallHooks());
        ts::EndSampleGuests();
        char cur[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, cur);
        m_saved = cur;
        std::string tag = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& ch : tag)
            if (ch == '/')
                ch = '-';
        m_dir = ts::NewTempDir(tag);
        ::SetCurrentDirectoryA(m_dir.c_str());
    }
    void TearDown() override
    {
        g_hooks.on = false;
        ::SetCurrentDirectoryA(m_saved.c_str());
        ts::EndSampleGuests();
    }
    std::string Ini() const { return m_dir + "\\Holvane.ini"; }
    // A copy of the sample guest at dir\rel (folders made as needed).
    std::string PlaceGuest(const std::string& rel)
    {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(rel.c_str());
        for (const unsigned char* q = p; *q; q = _mbsinc(q))
            if (*q == '\\')
                ::CreateDirectoryA((m_dir + "\\" + rel.substr(0, q - p)).c_str(), nullptr);
        std::string exe = m_dir + "\\" + rel;
        EXPECT_TRUE(ts::CopyTo(Guest(), exe)) << exe;
        return exe;
    }
    std::string m_saved, m_dir;
};

// ===========================================================================
// The record and Holvane.ini

using TrelvoxObjTest = GuestTest;

TEST_F(TrelvoxObjTest, NewRecordIsEmptyAndCopiesCarryEveryMember)
{
    CTrelvoxObj blank;
    EXPECT_EQ("", S(blank.m_strIniPath));
    EXPECT_EQ("", S(blank.m_strExeName));
    EXPECT_EQ("", S(blank.m_strTitle));
    EXPECT_EQ("", S(blank.m_strExePath));
    EXPECT_FALSE(blank.m_bAttached);

    CTrelvoxObj a;
    a.m_strIniPath = "C:\\x\\Holvane.ini";
    a.m_strExeName = "TrelvoxOne.exe";
    a.m_strTitle = kTitles[0];
    a.m_strExePath = "C:\\y\\TrelvoxOne.exe";
    a.m_bAttached = TRUE;
    CTrelvoxObj b(a), c;
    c = a;
    for (const CTrelvoxObj* o : {&b, &c}) {
        EXPECT_EQ("C:\\x\\Holvane.ini", S(o->m_strIniPath));
        EXPECT_EQ("TrelvoxOne.exe", S(o->m_strExeName));
        EXPECT_EQ(kTitles[0], S(o->m_strTitle));
        EXPECT_EQ("C:\\y\\TrelvoxOne.exe", S(o->m_strExePath));
        EXPECT_TRUE(o->m_bAttached);
    }
}

struct LoadCase {
    const char* name;
    bool writeFile;
    std::string content;   // file text
    std::string expected;  // m_strExePath after SetExeName("TrelvoxOne.exe")
};

class LoadExePathTest : public GuestTest, public ::testing::WithParamInterface<LoadCase> {};

const std::string kLong300 = "C:\\" + std::string(296, 'a') + ".exe";

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Settings, LoadExePathTest, ::testing::Values(
    LoadCase{"NoFile", false, "", ""},
    LoadCase{"OtherSectionOnly", true, "[TrelvoxForVnc.exe]\r\nEXEPATH=C:\\v\\TrelvoxForVnc.exe\r\n", ""},
    LoadCase{"OtherKeyOnly", true, "[TrelvoxOne.exe]\r\nPATH=C:\\o\\TrelvoxOne.exe\r\n", ""},
    LoadCase{"EmptyValue", true, "[TrelvoxOne.exe]\r\nEXEPATH=\r\n", ""},
    LoadCase{"Plain", true, "[TrelvoxOne.exe]\r\nEXEPATH=C:\\o\\TrelvoxOne.exe\r\n", "C:\\o\\TrelvoxOne.exe"},
    LoadCase{"CodePage932", true, "[TrelvoxOne.exe]\r\nEXEPATH=C:\\ソフト\\表\\TrelvoxOne.exe\r\n",
             "C:\\ソフト\\表\\TrelvoxOne.exe"},
    LoadCase{"Exactly260", true, "[TrelvoxOne.exe]\r\nEXEPATH=" + kLong300.substr(0, 260) + "\r\n",
             kLong300.substr(0, 260)},
    LoadCase{"LongerThan260IsCut", true, "[TrelvoxOne.exe]\r\nEXEPATH=" + kLong300 + "\r\n", kLong300.substr(0, 260)}),
    [](const ::testing::TestParamInfo<LoadCase>& i) { return std::string(i.param.name); });

TEST_P(LoadExePathTest, SetExeNameReadsTheEntry)
{
    const LoadCase& c = GetParam();
    if (c.writeFile)
        ts::WriteAll(Ini(), c.content);
    CTrelvoxObj o;
    o.m_strIniPath = Ini().c_str();
    o.m_strExePath = "stale";
    o.SetExeName("TrelvoxOne.exe");
    EXPECT_EQ("TrelvoxOne.exe", S(o.m_strExeName));
    EXPECT_EQ(c.expected, S(o.m_strExePath));
    EXPECT_EQ(static_cast<int>(c.expected.size()), o.m_strExePath.GetLength());
    // Reading never creates or changes the file.
    EXPECT_EQ(c.writeFile, ts::FileExists(Ini()));
    if (c.writeFile) {
        EXPECT_EQ(c.content, ts::ReadAll(Ini()));
    }
}

TEST_F(TrelvoxObjTest, SetExePathWritesAtOnceAndLeavesTheRestOfTheFile)
{
    const std::string before = "[Other]\r\nKEY=1\r\n[TrelvoxOne.exe]\r\nNOTE=keep\r\nEXEPATH=C:\\old\\TrelvoxOne.exe\r\n";
    ts::WriteAll(Ini(), before);
    CTrelvoxObj o;
    o.m_strIniPath = Ini().c_str();
    o.SetExeName("TrelvoxOne.exe");
    ASSERT_EQ("C:\\old\\TrelvoxOne.exe", S(o.m_strExePath));

    o.SetExePath("C:\\新しい\\ソ\\TrelvoxOne.exe");
    EXPECT_EQ("C:\\新しい\\ソ\\TrelvoxOne.exe", S(o.m_strExePath));
    EXPECT_EQ("C:\\新しい\\ソ\\TrelvoxOne.exe", IniValue(Ini(), "TrelvoxOne.exe"));
    EXPECT_EQ("keep", IniValue(Ini(), "TrelvoxOne.exe", "NOTE"));
    EXPECT_EQ("1", IniValue(Ini(), "Other", "KEY"));

    // The same value is written again, not skipped: a file changed behind
    // the record's back is put right.
    ts::WriteAll(Ini(), "[TrelvoxOne.exe]\r\nEXEPATH=C:\\elsewhere.exe\r\n");
    o.SetExePath("C:\\新しい\\ソ\\TrelvoxOne.exe");
    EXPECT_EQ("C:\\新しい\\ソ\\TrelvoxOne.exe", IniValue(Ini(), "TrelvoxOne.exe"));
}

TEST_F(TrelvoxObjTest, NullPointersCountAsEmptyText)
{
    ts::WriteAll(Ini(), "[TrelvoxOne.exe]\r\nEXEPATH=C:\\o\\TrelvoxOne.exe\r\n");
    CTrelvoxObj o;
    o.m_strIniPath = Ini().c_str();
    o.SetExeName("TrelvoxOne.exe");
    ASSERT_EQ("C:\\o\\TrelvoxOne.exe", S(o.m_strExePath));

    // An empty path is written as an empty value; the key stays.
    o.SetExePath(nullptr);
    EXPECT_EQ("", S(o.m_strExePath));
    EXPECT_EQ("", IniValue(Ini(), "TrelvoxOne.exe"));
    EXPECT_NE(std::string::npos, ts::ReadAll(Ini()).find("EXEPATH="));

    // Without a name the record reads nothing: the path stays as it was.
    o.m_strExePath = "kept";
    o.SetExeName(nullptr);
    EXPECT_EQ("", S(o.m_strExeName));
    EXPECT_EQ("kept", S(o.m_strExePath));
}

TEST_F(TrelvoxObjTest, EmptyExeNameNeitherReadsNorWrites)
{
    CTrelvoxObj o;
    o.m_strIniPath = Ini().c_str();
    o.m_strExePath = "kept";
    o.LoadExePath();
    EXPECT_EQ("kept", S(o.m_strExePath));
    o.SaveExePath();
    EXPECT_FALSE(ts::FileExists(Ini()));
    o.SetExePath("C:\\p\\TrelvoxOne.exe");
    EXPECT_EQ("C:\\p\\TrelvoxOne.exe", S(o.m_strExePath));
    EXPECT_FALSE(ts::FileExists(Ini()));

    // The same with an existing file: its text does not change.
    const std::string text = "[TrelvoxOne.exe]\r\nEXEPATH=C:\\o\\TrelvoxOne.exe\r\n";
    ts::WriteAll(Ini(), text);
    o.SetExePath("C:\\q\\x.exe");
    o.LoadExePath();
    EXPECT_EQ("C:\\q\\x.exe", S(o.m_strExePath));
    EXPECT_EQ(text, ts::ReadAll(Ini()));
}

TEST_F(TrelvoxObjTest, EmptyPathLaunchesNothingAndShowsNoBox)
{
    BoxClicker boxes(::GetCurrentProcessId());
    Recording rec;
    CTrelvoxObj o;
    o.m_strIniPath = Ini().c_str();
    o.SetExeName("TrelvoxOne.exe");
    o.Launch();
    EXPECT_TRUE(rec.Launches().empty());
    ::Sleep(600);
    EXPECT_EQ(0u, boxes.Count());
}

// ===========================================================================
// The guest table of the dock

using GuestTableTest = GuestTest;

TEST_F(GuestTableTest, FourRecordsInIndexOrderWithExactNamesAndCaptions)
{
    CHolvaneDlg dock(nullptr);
    EXPECT_EQ(m_dir + "\\Holvane.ini", S(dock.m_strIniPath));
    dock.InitGuestTable();
    ASSERT_EQ(4u, dock.m_guests.size());
    const int titleBytes[4] = {13, 16, 16, 16};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const CTrelvoxObj& g = dock.m_guests[i];
        EXPECT_EQ(kExeNames[i], S(g.m_strExeName));
        EXPECT_EQ(kTitles[i], S(g.m_strTitle));
        EXPECT_EQ(titleBytes[i], g.m_strTitle.GetLength());
        // " Ⅱ": a space and the two bytes 0x87 0x55.
        std::string t = S(g.m_strTitle);
        EXPECT_EQ(std::string(" \x87\x55"), t.substr(t.size() - 3));
        EXPECT_EQ(S(dock.m_strIniPath), S(g.m_strIniPath));
        EXPECT_EQ("", S(g.m_strExePath));
        EXPECT_FALSE(g.m_bAttached);
    }
    EXPECT_FALSE(ts::FileExists(Ini()));
}

TEST_F(GuestTableTest, SectionsAreTheExecutableNamesLetterForLetter)
{
    CHolvaneDlg dock(nullptr);
    dock.InitGuestTable();
    for (int i = 0; i < 4; ++i)
        dock.m_guests[i].SetExePath(("C:\\g" + std::to_string(i) + "\\" + kExeNames[i]).c_str());
    std::string text = ts::ReadAll(Ini());
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(std::string::npos, text.find(std::string("[") + kExeNames[i] + "]")) << text;
    // Not the spelling of the captions.
    EXPECT_EQ(std::string::npos, text.find("[TrelvoxForVNC.exe]")) << text;
    EXPECT_EQ(std::string::npos, text.find("[TrelvoxForFTP.exe]")) << text;
    EXPECT_EQ(std::string::npos, text.find("[TrelvoxForCVS.exe]")) << text;
}

TEST_F(GuestTableTest, PathsWrittenByOneDockAreReadByTheNext)
{
    const std::string paths[4] = {"C:\\a\\TrelvoxOne.exe", "D:\\ソフト\\TrelvoxForVnc.exe",
                                  "C:\\Program Files\\x\\TrelvoxForFtp.exe", kLong300};
    {
        CHolvaneDlg first(nullptr);
        first.InitGuestTable();
        for (int i = 0; i < 4; ++i)
            first.m_guests[i].SetExePath(paths[i].c_str());
    }
    CHolvaneDlg next(nullptr);
    next.InitGuestTable();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(paths[i], S(next.m_guests[i].m_strExePath)) << i;
    EXPECT_EQ(kLong300.substr(0, 260), S(next.m_guests[3].m_strExePath));
}

// ===========================================================================
// Multibyte paths

struct DirCase {
    const char* path;
    const char* dir;
};

class MbDirectoryOfTest : public ::testing::TestWithParam<DirCase> {};

void PrintTo(const DirCase& c, std::ostream* os) { *os << c.path; }

INSTANTIATE_TEST_SUITE_P(Paths, MbDirectoryOfTest, ::testing::Values(
    DirCase{"C:\\a\\b.exe", "C:\\a"},
    DirCase{"b.exe", ""},
    DirCase{"", ""},
    DirCase{"\\b.exe", ""},
    DirCase{"C:\\a\\", "C:\\a"},
    DirCase{"C:\\ソフト\\b.exe", "C:\\ソフト"},
    DirCase{"C:\\ソ\\b.exe", "C:\\ソ"},
    DirCase{"C:\\a\\ソ.exe", "C:\\a"},
    DirCase{"C:\\aソ", "C:"},
    DirCase{"ソ", ""},
    DirCase{"C:\\表示\\予定\\x", "C:\\表示\\予定"}));

TEST_P(MbDirectoryOfTest, TextBeforeTheLastWholeBackslash)
{
    EXPECT_EQ(GetParam().dir, S(MbDirectoryOf(GetParam().path)));
}

TEST(MbDirectoryOf, NullIsEmpty) { EXPECT_EQ("", S(MbDirectoryOf(nullptr))); }

// ===========================================================================
// Launching

// The error code the platform gives for one launch as the dock makes it.
DWORD LaunchError(const std::string& path)
{
    std::string dir = DirOf(path);
    std::string cmd = Quoted(path);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (::CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, dir.c_str(),
                         &si, &pi)) {
        ::TerminateProcess(pi.hProcess, 0);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
        return 0;
    }
    return ::GetLastError();
}

std::string FailureText(DWORD err)
{
    char text[128];
    snprintf(text, sizeof(text), "プロセス起動に失敗しました. err=0x%x", static_cast<unsigned>(err));
    return text;
}

struct LaunchCase {
    const char* name;
    const char* place;   // where the guest lies, below the test folder
    const char* stored;  // the stored path, below the test folder
    const char* dir;     // the working-directory text, below the test folder
    const char* seen;    // the working directory the guest reports
    const char* decoy;   // a program at a prefix of the path
};

class LaunchTest : public GuestTest, public ::testing::WithParamInterface<LaunchCase> {};

void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Launch, LaunchTest, ::testing::Values(
    LaunchCase{"Plain", "guest\\TrelvoxOne.exe", "guest\\TrelvoxOne.exe", "guest", "guest", nullptr},
    LaunchCase{"SpacesWithDecoyAtPrefix", "Program Files\\Trelvox One\\TrelvoxOne.exe",
               "Program Files\\Trelvox One\\TrelvoxOne.exe", "Program Files\\Trelvox One",
               "Program Files\\Trelvox One", "Program.exe"},
    // 表 and ソ end in the byte 0x5C. The folder is left again by "..", so
    // that the platform needs no file of that name.
    LaunchCase{"DoubleByteFolderText", "guest\\TrelvoxOne.exe", "guest\\表ソ\\..\\TrelvoxOne.exe",
               "guest\\表ソ\\..", "guest", nullptr}),
    [](const ::testing::TestParamInfo<LaunchCase>& i) { return std::string(i.param.name); });

TEST_P(LaunchTest, StartsTheStoredPathInItsOwnDirectory)
{
    const LaunchCase& c = GetParam();
    std::string exe = PlaceGuest(c.place);
    std::string stored = m_dir + "\\" + c.stored;
    std::string dir = m_dir + "\\" + c.dir;
    std::string decoy;
    if (c.decoy)
        decoy = PlaceGuest(c.decoy);
    ts::WriteAll(Ini(), IniText({{"TrelvoxOne.exe", stored}}));

    std::vector<LaunchCall> calls;
    {
        BoxClicker boxes(::GetCurrentProcessId());
        Recording rec;
        RunDock([&](CHolvaneDlg&) {
            ts::PumpUntil([&] { return !StartLines(exe).empty(); }, 15000);
        });
        calls = rec.Launches();
        EXPECT_EQ(0u, boxes.Count()) << (boxes.Count() ? boxes.Seen()[0].text : "");
    }
    ASSERT_EQ(1u, calls.size());
    const LaunchCall& l = calls[0];
    // The stored path names the program; quoted, it is the command line.
    EXPECT_FALSE(l.appNull);
    EXPECT_EQ(stored, l.app);
    EXPECT_EQ(Quoted(stored), l.cmd);
    EXPECT_FALSE(l.dirNull);
    EXPECT_EQ(dir, l.dir);
    EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), l.flags);
    EXPECT_FALSE(l.inherit);
    EXPECT_TRUE(l.envNull);
    EXPECT_TRUE(l.saNull);
    EXPECT_EQ(68u, l.cb);
    EXPECT_EQ(0u, l.siFlags);
    EXPECT_TRUE(l.ok) << l.err;

    std::vector<StartLine> starts = StartLines(exe);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(l.pid, starts[0].pid);
    EXPECT_EQ(m_dir + "\\" + c.seen, starts[0].cwd);
    EXPECT_EQ(Quoted(stored), starts[0].cmdline);
    if (!decoy.empty()) {
        ::Sleep(1000);
        EXPECT_TRUE(StartLines(decoy).empty()) << "the program at the prefix ran";
    }
}

// Can this platform hold file names in Japanese? (Wine cannot when the
// Unix side has no UTF-8 locale.)
bool JapaneseNamesWork(const std::string& dir)
{
    std::string probe = dir + "\\ソ表";
    if (!::CreateDirectoryA(probe.c_str(), nullptr))
        return false;
    ::RemoveDirectoryA(probe.c_str());
    return true;
}

struct MbLaunchCase {
    const char* name;
    const char* stored;  // below the test folder
    const char* dir;     // the working-directory text, below the test folder
};

class MbLaunchTest : public GuestTest, public ::testing::WithParamInterface<MbLaunchCase> {};

void PrintTo(const MbLaunchCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Launch, MbLaunchTest, ::testing::Values(
    MbLaunchCase{"FolderName", "ソフト\\表ソ\\TrelvoxOne.exe", "ソフト\\表ソ"},
    MbLaunchCase{"FileName", "guest\\ソ.exe", "guest"}),
    [](const ::testing::TestParamInfo<MbLaunchCase>& i) { return std::string(i.param.name); });

// The trail byte 0x5C of ソ is no backslash: the working directory is the
// whole folder. Where the platform can hold such names the guest runs
// there; where it cannot, the dock still hands over the whole folder and
// reports the platform's refusal.
TEST_P(MbLaunchTest, WorkingDirectoryIsTheWholeFolder)
{
    const MbLaunchCase& c = GetParam();
    const bool names = JapaneseNamesWork(m_dir);
    std::string stored = m_dir + "\\" + c.stored;
    std::string dir = m_dir + "\\" + c.dir;
    if (names)
        PlaceGuest(c.stored);
    else
        ::CreateDirectoryA((m_dir + "\\guest").c_str(), nullptr);
    DWORD expectedErr = names ? 0 : LaunchError(stored);
    ts::WriteAll(Ini(), IniText({{"TrelvoxOne.exe", stored}}));

    std::vector<LaunchCall> calls;
    std::vector<BoxSeen> seen;
    {
        BoxClicker boxes(::GetCurrentProcessId());
        Recording rec;
        RunDock([&](CHolvaneDlg&) {
            if (names)
                ts::PumpUntil([&] { return !StartLines(stored).empty(); }, 15000);
        });
        calls = rec.Launches();
        seen = boxes.Seen();
    }
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(stored, calls[0].app);
    EXPECT_EQ(dir, calls[0].dir);
    if (names) {
        EXPECT_TRUE(calls[0].ok) << calls[0].err;
        std::vector<StartLine> starts = StartLines(stored);
        ASSERT_EQ(1u, starts.size());
        EXPECT_EQ(dir, starts[0].cwd);
        EXPECT_TRUE(seen.empty());
    } else {
        printf("no Japanese file names here: launch refused with error %lu\n", expectedErr);
        EXPECT_FALSE(calls[0].ok);
        EXPECT_EQ(expectedErr, calls[0].err);
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(FailureText(expectedErr), seen[0].text);
    }
}

using LaunchBoxTest = GuestTest;

// A stored path without a backslash: the working-directory text is empty,
// not null. The platform takes an empty directory text as an invalid name
// and the launch fails with the usual box.
TEST_F(LaunchBoxTest, PathWithoutBackslashPassesAnEmptyDirectoryText)
{
    std::string exe = PlaceGuest("TrelvoxOne.exe");  // in the working directory
    ts::WriteAll(Ini(), IniText({{"TrelvoxOne.exe", "TrelvoxOne.exe"}}));
    std::vector<LaunchCall> calls;
    std::vector<BoxSeen> seen;
    {
        BoxClicker boxes(::GetCurrentProcessId());
        Recording rec;
        RunDock([&](CHolvaneDlg&) { ts::PumpFor(1500); });
        calls = rec.Launches();
        seen = boxes.Seen();
    }
    ASSERT_EQ(1u, calls.size());
    EXPECT_FALSE(calls[0].appNull);
    EXPECT_EQ("TrelvoxOne.exe", calls[0].app);
    EXPECT_EQ("\"TrelvoxOne.exe\"", calls[0].cmd);
    EXPECT_FALSE(calls[0].dirNull);
    EXPECT_EQ("", calls[0].dir);

    // What the platform does with it, checked against a direct call.
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    char cmd[] = "\"TrelvoxOne.exe\"";
    BOOL ok = ::CreateProcessA("TrelvoxOne.exe", cmd, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, "",
                               &si, &pi);
    DWORD err = ok ? 0 : ::GetLastError();
    if (ok) {
        ::TerminateProcess(pi.hProcess, 0);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    EXPECT_EQ(ok, calls[0].ok);
    EXPECT_FALSE(calls[0].ok) << "started with an empty directory text";
    EXPECT_EQ(err, calls[0].err);
    ASSERT_EQ(1u, seen.size());
    char text[128];
    snprintf(text, sizeof(text), "プロセス起動に失敗しました. err=0x%x", static_cast<unsigned>(calls[0].err));
    EXPECT_EQ(text, seen[0].text);
}

TEST_F(LaunchBoxTest, EachFailureShowsOneBoxInIndexOrderAndTheDockGoesOn)
{
    // Four different faults, so that the order of the boxes shows.
    ::CreateDirectoryA((m_dir + "\\adir.exe").c_str(), nullptr);
    ts::WriteAll(m_dir + "\\text.exe", "not a program\r\n");
    const std::string paths[4] = {m_dir + "\\no such dir\\TrelvoxOne.exe", m_dir + "\\TrelvoxForVnc.exe",
                                  m_dir + "\\text.exe", m_dir + "\\adir.exe"};
    DWORD errs[4];
    std::set<DWORD> distinct;
    for (int i = 0; i < 4; ++i) {
        errs[i] = LaunchError(paths[i]);
        ASSERT_NE(0u, errs[i]) << paths[i];
        distinct.insert(errs[i]);
    }
    std::string ini = IniText({{kExeNames[0], paths[0]}, {kExeNames[1], paths[1]}, {kExeNames[2], paths[2]},
                               {kExeNames[3], paths[3]}});
    ts::WriteAll(Ini(), ini);

    std::vector<BoxSeen> seen;
    bool bodyRan = false, dockedLater = false;
    std::vector<std::string> pathsAfter;
    std::vector<bool> attachedAfter;
    {
        BoxClicker boxes(::GetCurrentProcessId());
        Recording rec;
        RunDock([&](CHolvaneDlg& dock) {
            bodyRan = true;
            g_hooks.on = false;
            for (const CTrelvoxObj& g : dock.m_guests) {
                pathsAfter.push_back(S(g.m_strExePath));
                attachedAfter.push_back(g.m_bAttached != FALSE);
            }
            EXPECT_EQ(ini, ts::ReadAll(Ini()));
            // The dock runs normally: its scan docks a guest started now.
            std::string exe = PlaceGuest("later\\TrelvoxForCvs.exe");
            auto p = ts::Start(Quoted(exe));
            dockedLater = p && ts::PumpUntil([&] { return dock.m_guests[3].m_bAttached != FALSE; }, 8000);
        });
        seen = boxes.Seen();
    }
    EXPECT_TRUE(bodyRan);
    ASSERT_EQ(4u, seen.size());
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(FailureText(errs[i]), seen[i].text);
        EXPECT_EQ("HolvaneTest", seen[i].caption);
        EXPECT_TRUE(seen[i].iconShown);
        EXPECT_TRUE(seen[i].exclamation);
        // One box at a time; the pass waits for OK before the next launch.
        EXPECT_EQ(1, seen[i].mostOpen);
        EXPECT_EQ(i + 1, seen[i].launchesWhileOpen);
    }
    // Nothing else changes.
    ASSERT_EQ(4u, pathsAfter.size());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(paths[i], pathsAfter[i]);
        EXPECT_FALSE(attachedAfter[i]);
    }
    EXPECT_TRUE(dockedLater);
    EXPECT_GE(distinct.size(), 3u) << "faults too alike to show the order";
}

// The real program: the box carries the application's title.
TEST_F(LaunchBoxTest, RealProgramShowsTheBoxAndStartsNormally)
{
    std::string dir = MakeInstall("failbox", {"TrelvoxOne.exe"});
    std::string missing = dir + "\\gone\\TrelvoxForFtp.exe";
    DWORD err = LaunchError(missing);
    ASSERT_NE(0u, err);
    ts::WriteAll(dir + "\\Holvane.ini", IniText({{"TrelvoxForFtp.exe", missing}}));

    auto dock = ts::Start(Quoted(dir + "\\Holvane.exe"), dir, "", false);
    ASSERT_TRUE(dock);
    std::vector<BoxSeen> seen;
    {
        BoxClicker boxes(dock->pid);
        ts::WaitUntil([&] { return boxes.Count() >= 1; }, 15000);
        ::Sleep(500);
        seen = boxes.Seen();
    }
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Holvane", seen[0].caption);
    EXPECT_EQ(FailureText(err), seen[0].text);
    EXPECT_TRUE(seen[0].iconShown);

    // After OK the dock is up (hidden, without -SHOW) and docks a guest.
    HWND hDock = nullptr;
    ts::WaitUntil([&] {
        for (HWND h : ts::TopWindows())
            if (ts::WindowPid(h) == dock->pid && IsDockWindow(h))
                return (hDock = h) != nullptr;
        return false;
    }, 10000);
    ASSERT_TRUE(hDock);
    auto guest = ts::Start(Quoted(dir + "\\TrelvoxOne.exe"));
    ASSERT_TRUE(guest);
    HWND g = WaitGuestWindow(guest->pid);
    ASSERT_TRUE(g);
    EXPECT_TRUE(ts::WaitUntil([&] { return Docked(g); }, 10000));
    EXPECT_TRUE(ts::WaitUntil([&] { return !::IsWindowVisible(g); }, 5000));
    EXPECT_EQ(missing, IniValue(dir + "\\Holvane.ini", "TrelvoxForFtp.exe"));
    EXPECT_TRUE(ts::WaitUntil([&] { return IniValue(dir + "\\Holvane.ini", "TrelvoxOne.exe") != kMissing; }, 5000));
    EXPECT_TRUE(dock->Running());
}

// ===========================================================================
// Settings as the dock sees them at start

using StartSettingsTest = GuestTest;

TEST_F(StartSettingsTest, NoFileLaunchesNothingUntilTheFirstDocking)
{
    std::vector<LaunchCall> calls;
    size_t boxCount = 0;
    bool fileBefore = true, docked = false;
    std::string exe = PlaceGuest("by hand\\TrelvoxForVnc.exe");
    {
        BoxClicker boxes(::GetCurrentProcessId());
        Recording rec;
        RunDock([&](CHolvaneDlg& dock) {
            ts::PumpFor(1500);
            calls = rec.Launches();
            fileBefore = ts::FileExists(Ini());
            for (const CTrelvoxObj& g : dock.m_guests)
                EXPECT_EQ("", S(g.m_strExePath));
            g_hooks.on = false;
            auto p = ts::Start(Quoted(exe));
            docked = p && ts::PumpUntil([&] { return dock.m_guests[1].m_bAttached != FALSE; }, 8000);
        });
        boxCount = boxes.Count();
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(0u, boxCount);
    EXPECT_FALSE(fileBefore);
    ASSERT_TRUE(docked);
    // Created at the first docking, with that guest's entry only.
    EXPECT_EQ(exe, IniValue(Ini(), "TrelvoxForVnc.exe"));
    for (int i : {0, 2, 3})
        EXPECT_EQ(kMissing, IniValue(Ini(), kExeNames[i]));
}

TEST_F(StartSettingsTest, EmptyValuesLaunchNothing)
{
    std::string ini = IniText({{kExeNames[0], ""}, {kExeNames[1], ""}, {kExeNames[2], ""}, {kExeNames[3], ""}});
    ts::WriteAll(Ini(), ini);
    std::vector<LaunchCall> calls;
    size_t boxCount = 0;
    {
        BoxClicker boxes(::GetCurrentProcessId());
        Recording rec;
        RunDock([&](CHolvaneDlg& dock) {
            ts::PumpFor(1000);
            for (const CTrelvoxObj& g : dock.m_guests)
                EXPECT_EQ("", S(g.m_strExePath));
        });
        calls = rec.Launches();
        boxCount = boxes.Count();
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(0u, boxCount);
    EXPECT_EQ(ini, ts::ReadAll(Ini()));
}

// ===========================================================================
// The launch pass after the first scan

struct PassCase {
    const char* name;
    const char* args;   // of the instance started before the dock
    bool dockedAtStart;
};

class LaunchPassTest : public GuestTest, public ::testing::WithParamInterface<PassCase> {};

void PrintTo(const PassCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(LaunchPass, LaunchPassTest, ::testing::Values(
    PassCase{"DockedAtStartIsNotLaunched", "", true},
    PassCase{"HiddenAtStartIsLaunchedAgain", " -hidden", false},
    PassCase{"OtherCaptionAtStartIsLaunchedAgain", " -caption Other", false}),
    [](const ::testing::TestParamInfo<PassCase>& i) { return std::string(i.param.name); });

TEST_P(LaunchPassTest, SkipsRecordsTheFirstScanAttached)
{
    const PassCase& c = GetParam();
    std::string exe = PlaceGuest("g\\TrelvoxForFtp.exe");
    ts::WriteAll(Ini(), IniText({{"TrelvoxForFtp.exe", exe}}));
    auto running = ts::Start(Quoted(exe) + c.args);
    ASSERT_TRUE(running);
    ASSERT_TRUE(WaitGuestWindow(running->pid));

    std::vector<LaunchCall> calls;
    bool attachedAtBody = false;
    DWORD dockedPid = 0;
    {
        Recording rec;
        RunDock([&](CHolvaneDlg& dock) {
            attachedAtBody = dock.m_guests[2].m_bAttached != FALSE;
            if (c.dockedAtStart) {
                ts::PumpFor(2000);
            } else {
                ts::PumpUntil([&] { return StartLines(exe).size() >= 2; }, 15000);
                ts::PumpUntil([&] { return dock.m_guests[2].m_bAttached != FALSE; }, 8000);
            }
            if (dock.m_frames.size() == 1)
                dockedPid = ts::WindowPid(dock.m_frames[0]->m_hWndGuest);
        });
        calls = rec.Launches();
    }
    EXPECT_EQ(c.dockedAtStart, attachedAtBody);
    std::vector<StartLine> starts = StartLines(exe);
    if (c.dockedAtStart) {
        EXPECT_TRUE(calls.empty());
        EXPECT_EQ(1u, starts.size());
        EXPECT_EQ(running->pid, dockedPid);
    } else {
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(exe, calls[0].app);
        ASSERT_EQ(2u, starts.size());
        EXPECT_EQ(calls[0].pid, starts[1].pid);
        EXPECT_EQ(calls[0].pid, dockedPid);
    }
}

// ===========================================================================
// Process identity queries

using ProcessQueryTest = GuestTest;

TEST_F(ProcessQueryTest, ThisProcess)
{
    CHolvaneDlg dock(nullptr);
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    CString base = "stale", full = "stale";
    dock.GetProcessBaseName(::GetCurrentProcessId(), base);
    dock.GetProcessFullPath(::GetCurrentProcessId(), full);
    EXPECT_EQ("test_guests.exe", S(base));
    EXPECT_EQ(path, S(full));
}

TEST_F(ProcessQueryTest, NoProcessAndEndedProcessGiveEmptyText)
{
    CHolvaneDlg dock(nullptr);
    std::string exe = PlaceGuest("TrelvoxOne.exe");
    DWORD ended = 0;
    {
        auto p = ts::Start(Quoted(exe));
        ASSERT_TRUE(p);
        ended = p->pid;
        CString alive;
        dock.GetProcessBaseName(ended, alive);
        EXPECT_EQ("TrelvoxOne.exe", S(alive));
        p->Kill();
        ASSERT_FALSE(p->Running());
    }
    for (DWORD pid : {static_cast<DWORD>(0), ended}) {
        SCOPED_TRACE(pid);
        CString base = "stale", full = "stale";
        dock.GetProcessBaseName(pid, base);
        dock.GetProcessFullPath(pid, full);
        EXPECT_EQ("", S(base));
        EXPECT_EQ("", S(full));
    }
}

TEST_F(ProcessQueryTest, RefusedOpenGivesEmptyText)
{
    CHolvaneDlg dock(nullptr);
    Recording rec(::GetCurrentProcessId());
    g_hooks.failOpenFrom = 1;
    CString base = "stale", full = "stale";
    dock.GetProcessBaseName(::GetCurrentProcessId(), base);
    dock.GetProcessFullPath(::GetCurrentProcessId(), full);
    EXPECT_EQ(2, g_hooks.opens);
    EXPECT_EQ("", S(base));
    EXPECT_EQ("", S(full));
    // Nothing is asked of the library without a process handle.
    EXPECT_TRUE(g_hooks.lookups.empty());
}

TEST_F(ProcessQueryTest, BaseNameKeepsTheLetterCaseOfTheModule)
{
    CHolvaneDlg dock(nullptr);
    for (const char* name : {"tReLvOxOnE.exe", "TRELVOXFORVNC.EXE", "trelvoxforftp.exe"}) {
        SCOPED_TRACE(name);
        std::string exe = PlaceGuest(std::string("case\\") + name);
        auto p = ts::Start(Quoted(exe));
        ASSERT_TRUE(p);
        CString base, full;
        dock.GetProcessBaseName(p->pid, base);
        dock.GetProcessFullPath(p->pid, full);
        EXPECT_EQ(name, S(base));
        EXPECT_EQ(exe, S(full));
    }
}

TEST_F(ProcessQueryTest, SuccessfulQueryLoadsAndFreesTheLibraryPerCall)
{
    CHolvaneDlg dock(nullptr);
    CString base, full;
    {
        Recording rec(::GetCurrentProcessId());
        dock.GetProcessBaseName(::GetCurrentProcessId(), base);
        EXPECT_EQ(1, g_hooks.opens);
        EXPECT_EQ(2, g_hooks.psapiLoads);
        EXPECT_EQ(2, g_hooks.psapiFrees);
        EXPECT_EQ((std::vector<std::string>{"EnumProcessModules", "GetModuleBaseNameA"}), g_hooks.lookups);
    }
    {
        Recording rec(::GetCurrentProcessId());
        dock.GetProcessFullPath(::GetCurrentProcessId(), full);
        EXPECT_EQ(1, g_hooks.opens);
        EXPECT_EQ(2, g_hooks.psapiLoads);
        EXPECT_EQ(2, g_hooks.psapiFrees);
        EXPECT_EQ((std::vector<std::string>{"EnumProcessModules", "GetModuleFileNameExA"}), g_hooks.lookups);
    }
    EXPECT_EQ("test_guests.exe", S(base));
    EXPECT_FALSE(full.IsEmpty());
}

TEST_F(ProcessQueryTest, WithoutThePsapiLibraryEveryQueryIsEmpty)
{
    CHolvaneDlg dock(nullptr);
    Recording rec(::GetCurrentProcessId());
    g_hooks.failPsapi = true;
    HMODULE mods[4] = {};
    DWORD needed = 0;
    char buf[64] = "x";
    HANDLE self = ::GetCurrentProcess();
    EXPECT_EQ(0, PsapiEnumProcessModules(self, mods, sizeof(mods), &needed));
    EXPECT_EQ(0u, PsapiGetModuleBaseName(self, nullptr, buf, sizeof(buf)));
    EXPECT_EQ(0u, PsapiGetModuleFileNameEx(self, nullptr, buf, sizeof(buf)));
    EXPECT_STREQ("x", buf);
    CString base = "stale", full = "stale";
    dock.GetProcessBaseName(::GetCurrentProcessId(), base);
    dock.GetProcessFullPath(::GetCurrentProcessId(), full);
    EXPECT_EQ("", S(base));
    EXPECT_EQ("", S(full));
    EXPECT_TRUE(g_hooks.lookups.empty());
    EXPECT_EQ(0, g_hooks.psapiFrees);
    EXPECT_EQ(5, g_hooks.psapiLoads);
}

struct MissingCase {
    const char* function;
    bool baseEmpty, fullEmpty;
};

class MissingFunctionTest : public GuestTest, public ::testing::WithParamInterface<MissingCase> {};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.function; }

INSTANTIATE_TEST_SUITE_P(Psapi, MissingFunctionTest, ::testing::Values(
    MissingCase{"EnumProcessModules", true, true},
    MissingCase{"GetModuleBaseNameA", true, false},
    MissingCase{"GetModuleFileNameExA", false, true}),
    [](const ::testing::TestParamInfo<MissingCase>& i) { return std::string(i.param.function); });

TEST_P(MissingFunctionTest, WrapperGivesZeroAndFreesTheLibrary)
{
    const MissingCase& c = GetParam();
    CHolvaneDlg dock(nullptr);
    Recording rec(::GetCurrentProcessId());
    g_hooks.failProc = c.function;

    HANDLE self = ::GetCurrentProcess();
    HMODULE mods[512] = {};
    DWORD needed = 0;
    char buf[1024] = {};
    BOOL enumOk = PsapiEnumProcessModules(self, mods, sizeof(mods), &needed);
    EXPECT_EQ(c.function != std::string("EnumProcessModules"), enumOk != FALSE);
    HMODULE exe = ::GetModuleHandleA(nullptr);
    DWORD n1 = PsapiGetModuleBaseName(self, exe, buf, sizeof(buf));
    EXPECT_EQ(c.function == std::string("GetModuleBaseNameA"), n1 == 0);
    DWORD n2 = PsapiGetModuleFileNameEx(self, exe, buf, sizeof(buf));
    EXPECT_EQ(c.function == std::string("GetModuleFileNameExA"), n2 == 0);

    CString base = "stale", full = "stale";
    dock.GetProcessBaseName(::GetCurrentProcessId(), base);
    dock.GetProcessFullPath(::GetCurrentProcessId(), full);
    EXPECT_EQ(c.baseEmpty, base.IsEmpty()) << S(base);
    EXPECT_EQ(c.fullEmpty, full.IsEmpty()) << S(full);
    // Every load is matched by a free, also when the look-up failed.
    EXPECT_GT(g_hooks.psapiLoads, 0);
    EXPECT_EQ(g_hooks.psapiLoads, g_hooks.psapiFrees);
}

// ===========================================================================
// What a single window test costs, seen through the process opens

struct CostCase {
    const char* name;
    const char* args;
    int opens;
    std::vector<std::string> lookups;
    bool attached;
};

class TryAttachCostTest : public GuestTest, public ::testing::WithParamInterface<CostCase> {};

void PrintTo(const CostCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Discovery, TryAttachCostTest, ::testing::Values(
    CostCase{"Hidden", " -hidden", 0, {}, false},
    CostCase{"EmptyCaption", " -caption \"\"", 0, {}, false},
    // A caption no record has cannot make a match whatever the program.
    CostCase{"OtherCaption", " -caption Other", 0, {}, false},
    // Another guest's caption could: the program's name decides.
    CostCase{"OtherGuestsCaption", " -caption \"TrelvoxForVNC Ⅱ\"", 1,
             {"EnumProcessModules", "GetModuleBaseNameA"}, false},
    CostCase{"Match", "", 2,
             {"EnumProcessModules", "GetModuleBaseNameA", "EnumProcessModules", "GetModuleFileNameExA"}, true}),
    [](const ::testing::TestParamInfo<CostCase>& i) { return std::string(i.param.name); });

TEST_P(TryAttachCostTest, OnlyCandidatesCostAProcessQuery)
{
    const CostCase& c = GetParam();
    std::string exe = PlaceGuest("g\\TrelvoxOne.exe");
    RunDock([&](CHolvaneDlg& dock) {
        auto p = ts::Start(Quoted(exe) + c.args);
        ASSERT_TRUE(p);
        HWND h = WaitGuestWindow(p->pid);
        ASSERT_TRUE(h);
        if (std::string(c.name) == "EmptyCaption") {
            ASSERT_EQ("", ts::WindowText(h));
        }
        {
            Recording rec(p->pid);
            dock.TryAttach(h);
            EXPECT_EQ(c.opens, g_hooks.opens);
            EXPECT_EQ(c.lookups, g_hooks.lookups);
        }
        EXPECT_EQ(c.attached, dock.m_guests[0].m_bAttached != FALSE);
        EXPECT_EQ(c.attached ? 1u : 0u, dock.m_frames.size());
        EXPECT_EQ(c.attached, ts::FileExists(Ini()));
    });
}

// Within one scan a process is asked once, however many candidate windows
// it shows; the next scan asks again.
TEST_F(GuestTest, ScanAsksEachProcessOnceAndAgainNextScan)
{
    RunDock([&](CHolvaneDlg& dock) {
        std::vector<HWND> mine;
        for (int i = 0; i < 3; ++i)
            mine.push_back(::CreateWindowA("STATIC", "TrelvoxOne Ⅱ", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                           10 + i * 20, 10, 200, 100, nullptr, nullptr, nullptr, nullptr));
        {
            Recording rec(::GetCurrentProcessId());
            dock.ScanWindows();
            EXPECT_EQ(1, g_hooks.opens);
            dock.ScanWindows();
            EXPECT_EQ(2, g_hooks.opens);
        }
        EXPECT_FALSE(dock.m_guests[0].m_bAttached);
        for (HWND h : mine)
            ::DestroyWindow(h);
    });
}

// The watchdog too asks a process once per run, and its full path only when
// its name is watched.
TEST_F(GuestTest, WatchdogRunAsksEachProcessOnceAndThePathOnlyForWatchedNames)
{
    RunDock([&](CHolvaneDlg& dock) {
        std::vector<HWND> mine;
        for (int i = 0; i < 3; ++i)
            mine.push_back(::CreateWindowA("STATIC", "watched?", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                           10 + i * 20, 10, 200, 100, nullptr, nullptr, nullptr, nullptr));
        {
            Recording rec(::GetCurrentProcessId());
            dock.OnWatchTimer();
            EXPECT_EQ(1, g_hooks.opens);
            std::vector<std::string> expect = { "EnumProcessModules", "GetModuleBaseNameA" };
            EXPECT_EQ(expect, g_hooks.lookups);
        }
        EXPECT_TRUE(dock.m_watch.empty());
        for (HWND h : mine)
            ::DestroyWindow(h);
    });
}

using TryAttachSkipTest = GuestTest;

TEST_F(TryAttachSkipTest, OwnWindowAndVanishedWindowCostNothing)
{
    std::string exe = PlaceGuest("g\\TrelvoxOne.exe");
    RunDock([&](CHolvaneDlg& dock) {
        {
            Recording rec(::GetCurrentProcessId());
            dock.TryAttach(dock.m_hWnd);
            EXPECT_EQ(0, g_hooks.opens);
        }
        auto p = ts::Start(Quoted(exe));
        ASSERT_TRUE(p);
        HWND h = WaitGuestWindow(p->pid);
        ASSERT_TRUE(h);
        DWORD pid = p->pid;
        p->Kill();
        ASSERT_TRUE(ts::WaitUntil([&] { return !::IsWindow(h); }, 5000));
        {
            Recording rec(pid);
            dock.TryAttach(h);
            EXPECT_EQ(0, g_hooks.opens);
        }
        EXPECT_FALSE(dock.m_guests[0].m_bAttached);
        EXPECT_TRUE(dock.m_frames.empty());
    });
}

using PsapiMissingScanTest = GuestTest;

TEST_F(PsapiMissingScanTest, WithoutPsapiNoWindowIsRecognised)
{
    std::string exe = PlaceGuest("g\\TrelvoxOne.exe");
    RunDock([&](CHolvaneDlg& dock) {
        auto p = ts::Start(Quoted(exe));
        ASSERT_TRUE(p);
        HWND h = WaitGuestWindow(p->pid);
        ASSERT_TRUE(h);
        {
            Recording rec(p->pid);
            g_hooks.failPsapi = true;
            dock.ScanWindows();
            EXPECT_EQ(1, g_hooks.opens);
        }
        EXPECT_FALSE(dock.m_guests[0].m_bAttached);
        EXPECT_TRUE(dock.m_frames.empty());
        // With the library back the same window is docked.
        dock.ScanWindows();
        EXPECT_TRUE(dock.m_guests[0].m_bAttached);
    });
}

// The process ends between the name query and the full-path query: the
// record is attached and docked, the remembered path is kept.
struct PathLossCase {
    const char* name;
    int failOpenFrom;
    bool keepsOldPath;
};

class FullPathLostTest : public GuestTest, public ::testing::WithParamInterface<PathLossCase> {};

void PrintTo(const PathLossCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Discovery, FullPathLostTest, ::testing::Values(
    PathLossCase{"QueryWorks", 0, false},
    PathLossCase{"QueryFails", 2, true}),
    [](const ::testing::TestParamInfo<PathLossCase>& i) { return std::string(i.param.name); });

TEST_P(FullPathLostTest, RecordIsAttachedAndTheKnownPathStays)
{
    const PathLossCase& c = GetParam();
    std::string exe = PlaceGuest("g\\TrelvoxOne.exe");
    const std::string old = "C:\\old place\\TrelvoxOne.exe";
    const std::string text = IniText({{"TrelvoxOne.exe", old}});
    RunDock([&](CHolvaneDlg& dock) {
        // Written after the launch pass, so that nothing tries the old path.
        ts::WriteAll(Ini(), text);
        dock.m_guests[0].LoadExePath();
        ASSERT_EQ(old, S(dock.m_guests[0].m_strExePath));
        auto p = ts::Start(Quoted(exe));
        ASSERT_TRUE(p);
        HWND h = WaitGuestWindow(p->pid);
        ASSERT_TRUE(h);
        {
            Recording rec(p->pid);
            g_hooks.failOpenFrom = c.failOpenFrom;
            dock.TryAttach(h);
            EXPECT_EQ(2, g_hooks.opens);
        }
        EXPECT_TRUE(dock.m_guests[0].m_bAttached);
        ASSERT_EQ(1u, dock.m_frames.size());
        EXPECT_EQ(h, dock.m_frames[0]->m_hWndGuest);
        if (c.keepsOldPath) {
            EXPECT_EQ(old, S(dock.m_guests[0].m_strExePath));
            EXPECT_EQ(text, ts::ReadAll(Ini()));
        } else {
            EXPECT_EQ(exe, S(dock.m_guests[0].m_strExePath));
            EXPECT_EQ(exe, IniValue(Ini(), "TrelvoxOne.exe"));
        }
    });
}

} // namespace
