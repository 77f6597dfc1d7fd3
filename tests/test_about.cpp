// The About box and its version label: the label's text rules, the cache of
// the running executable's label, labels of made-up modules, and the box as
// the dock's system menu opens it (in this process and in the real program).
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "about/AboutDlg.h"
#include "about/VersionLabel.h"
#include "dock/HolvaneDlg.h"
#include <atomic>
#include <mutex>
#include <string.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

const char kAboutCaption[] = "Holvaneのﾊﾞｰｼﾞｮﾝ情報";
const char kLabel[] = "Holvane Ver.:1.0.1.111";
const char kUrl[] = "https://www.marrowfield.example/toppage/";
const char kGuestExe[] = "TrelvoxOne.exe";
const char kGuestCaption[] = "TrelvoxOne Ⅱ";

// ---------------------------------------------------------------------------
// Version resources made for a test: a copy of a sample guest (which has
// none) gets one written into it.

struct VerNode {
    std::wstring key;
    std::vector<BYTE> value;
    bool text = false;
    std::vector<VerNode> children;
};

void Align4(std::vector<BYTE>& out)
{
    while (out.size() % 4)
        out.push_back(0);
}

void Emit(const VerNode& n, std::vector<BYTE>& out)
{
    size_t start = out.size();
    out.resize(start + 6);
    for (wchar_t c : n.key) {
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    Align4(out);
    out.insert(out.end(), n.value.begin(), n.value.end());
    for (const VerNode& c : n.children) {
        Align4(out);
        Emit(c, out);
    }
    WORD len = static_cast<WORD>(out.size() - start);
    WORD valueLen = static_cast<WORD>(n.text ? n.value.size() / 2 : n.value.size());
    WORD type = (n.text || n.value.empty()) ? 1 : 0;
    memcpy(&out[start], &len, 2);
    memcpy(&out[start + 2], &valueLen, 2);
    memcpy(&out[start + 4], &type, 2);
}

VerNode StringValue(const std::wstring& key, const std::wstring& value)
{
    VerNode n;
    n.key = key;
    n.text = true;
    for (wchar_t c : value) {
        n.value.push_back(static_cast<BYTE>(c & 0xFF));
        n.value.push_back(static_cast<BYTE>(c >> 8));
    }
    n.value.push_back(0);
    n.value.push_back(0);
    return n;
}

struct StringTable {
    std::wstring name;  // "041104b0"
    std::vector<std::pair<std::wstring, std::wstring>> values;
};

// translations null: no VarFileInfo at all.
std::vector<BYTE> VersionResource(const std::vector<StringTable>& tables,
                                  const std::vector<std::pair<WORD, WORD>>* translations)
{
    VerNode root;
    root.key = L"VS_VERSION_INFO";
    VS_FIXEDFILEINFO ffi = {};
    ffi.dwSignature = 0xFEEF04BD;
    ffi.dwStrucVersion = 0x10000;
    root.value.assign(reinterpret_cast<BYTE*>(&ffi), reinterpret_cast<BYTE*>(&ffi) + sizeof(ffi));
    VerNode sfi;
    sfi.key = L"StringFileInfo";
    for (const StringTable& t : tables) {
        VerNode table;
        table.key = t.name;
        for (const auto& v : t.values)
            table.children.push_back(StringValue(v.first, v.second));
        sfi.children.push_back(table);
    }
    root.children.push_back(sfi);
    if (translations) {
        VerNode vfi;
        vfi.key = L"VarFileInfo";
        VerNode var;
        var.key = L"Translation";
        for (const auto& t : *translations) {
            DWORD d = MAKELONG(t.first, t.second);
            var.value.insert(var.value.end(), reinterpret_cast<BYTE*>(&d), reinterpret_cast<BYTE*>(&d) + 4);
        }
        vfi.children.push_back(var);
        root.children.push_back(vfi);
    }
    std::vector<BYTE> blob;
    Emit(root, blob);
    return blob;
}

bool WriteVersionResource(const std::string& path, const std::vector<BYTE>& blob)
{
    HANDLE h = ::BeginUpdateResourceA(path.c_str(), FALSE);
    if (!h)
        return false;
    BOOL ok = ::UpdateResourceA(h, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT),
                                const_cast<BYTE*>(blob.data()), static_cast<DWORD>(blob.size()));
    return ::EndUpdateResourceA(h, !ok) && ok;
}

bool HasVersionResource(const std::string& path)
{
    DWORD dummy = 0;
    return ::GetFileVersionInfoSizeA(path.c_str(), &dummy) != 0;
}

// ---------------------------------------------------------------------------
// This program run again as a child, with one of the ChildProcess tests.

struct ChildResult {
    DWORD code = 0;
    std::string output;
};

ChildResult RunChild(const std::string& exe, const std::string& test)
{
    ChildResult r;
    std::string out = ts::NewTempDir("child") + "\\out.txt";
    auto p = ts::Start("\"" + exe + "\" --gtest_also_run_disabled_tests --gtest_filter=ChildProcess.DISABLED_" + test,
                       "", out, false);
    if (!p) {
        r.code = 0xDEAD;
        return r;
    }
    r.code = p->Wait(60000);
    r.output = ts::ReadAll(out);
    return r;
}

std::string SelfPath()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// ---------------------------------------------------------------------------
// The shell seam of the links.

struct ExecCall {
    HWND owner;
    std::string verb, file;
    bool params, dir;
    INT show;
};
std::mutex g_execLock;
std::vector<ExecCall> g_execCalls;
std::atomic<int> g_execCount{ 0 };

HINSTANCE WINAPI RecordingExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, INT show)
{
    std::lock_guard<std::mutex> lock(g_execLock);
    g_execCalls.push_back({ owner, verb ? verb : "(null)", file ? file : "(null)", params != nullptr, dir != nullptr,
                            show });
    ++g_execCount;
    return reinterpret_cast<HINSTANCE>(42);
}

class ExecSeam {
public:
    ExecSeam() : m_prev(g_pfnShellExecute)
    {
        g_pfnShellExecute = RecordingExecute;
        std::lock_guard<std::mutex> lock(g_execLock);
        g_execCalls.clear();
        g_execCount = 0;
    }
    ~ExecSeam() { g_pfnShellExecute = m_prev; }
    std::vector<ExecCall> Calls()
    {
        std::lock_guard<std::mutex> lock(g_execLock);
        return g_execCalls;
    }

private:
    HINSTANCE(WINAPI* m_prev)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
};

void ExpectHomePageCall(const ExecCall& c, HWND owner)
{
    EXPECT_EQ(owner, c.owner);
    EXPECT_EQ("open", c.verb);
    EXPECT_EQ(kUrl, c.file);
    EXPECT_FALSE(c.params);
    EXPECT_FALSE(c.dir);
    EXPECT_EQ(SW_SHOWNORMAL, c.show);
}

LRESULT SendClick(HWND dlg, int id, UINT code = NM_CLICK)
{
    NMHDR hdr = {};
    hdr.hwndFrom = ::GetDlgItem(dlg, id);
    hdr.idFrom = static_cast<UINT_PTR>(id);
    hdr.code = code;
    return ::SendMessageA(dlg, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&hdr));
}

// Wine answers GetCursorPos from the display once the last change is older
// than 100 ms: wait past that and read it back.
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

// A real left click just inside the link text of a SysLink control.
bool ClickLink(HWND link)
{
    RECT rc = ts::WindowRect(link);
    POINT at = { rc.left + 6, (rc.top + rc.bottom) / 2 };
    if (!MoveCursor(at) || ::WindowFromPoint(at) != link)
        return false;
    ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    return true;
}

void PostKey(HWND h, UINT vk)
{
    ::PostMessageA(h, WM_KEYDOWN, vk, 1);
    ::PostMessageA(h, WM_KEYUP, vk, 0xC0000001);
}

HWND FindAboutBox(DWORD pid)
{
    for (HWND h : ts::TopWindows())
        if (ts::WindowPid(h) == pid && ts::ClassName(h) == "#32770" && ts::WindowText(h) == kAboutCaption)
            return h;
    return nullptr;
}

// What a look at an open About box found.
struct AboutSeen {
    HWND box = nullptr;
    bool visible = false;
    std::string label;
    HWND focus = nullptr;
    HWND okButton = nullptr;
    HWND owner = nullptr;
    bool dockEnabled = true;
    int realClickCalls = -1;  // calls recorded by a real click on the link
};

enum class CloseBy { Enter, Escape, CloseBox };

AboutSeen LookAtAboutBox(DWORD pid, DWORD guiTid, HWND dock)
{
    AboutSeen s;
    ts::WaitUntil([&] { return (s.box = FindAboutBox(pid)) != nullptr; }, 10000, 20);
    if (!s.box)
        return s;
    // The modal loop shows the box once it is idle.
    s.visible = ts::WaitUntil([&] { return ::IsWindowVisible(s.box) != FALSE; }, 3000, 20);
    // Until the framework's DoModal shows a template without WS_VISIBLE,
    // show it here so that the rest can be checked; s.visible tells.
    if (!s.visible)
        ::ShowWindow(s.box, SW_SHOWNORMAL);
    ts::WaitUntil([&] {
        GUITHREADINFO gti = {};
        gti.cbSize = sizeof(gti);
        return ::GetGUIThreadInfo(guiTid, &gti) && (s.focus = gti.hwndFocus) != nullptr;
    }, 5000, 20);
    s.label = ts::WindowText(::GetDlgItem(s.box, IDC_VERSION));
    s.okButton = ::GetDlgItem(s.box, IDOK);
    s.owner = ::GetWindow(s.box, GW_OWNER);
    s.dockEnabled = ::IsWindowEnabled(dock) != FALSE;
    return s;
}

// Ends the box the way asked and waits until it is gone; falls back to a
// cancel command so that no test is left inside a modal loop.
void CloseAboutBox(const AboutSeen& s, CloseBy how)
{
    switch (how) {
    case CloseBy::Enter:
        PostKey(s.okButton, VK_RETURN);
        break;
    case CloseBy::Escape:
        PostKey(s.okButton, VK_ESCAPE);
        break;
    case CloseBy::CloseBox:
        ::PostMessageA(s.box, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    if (!ts::WaitUntil([&] { return !::IsWindow(s.box) || !::IsWindowVisible(s.box); }, 5000))
        ::PostMessageA(s.box, WM_COMMAND, IDCANCEL, 0);
    ts::WaitUntil([&] { return !::IsWindow(s.box) || !::IsWindowVisible(s.box); }, 5000);
}

struct Guest : ts::InstalledGuest {
    void Start(const std::string& tag) { InstalledGuest::Start(tag, kGuestExe, kGuestCaption); }
};

// Keeps the process-wide label cache as the test found it.
class VersionCacheGuard {
public:
    VersionCacheGuard()
    {
        memcpy(m_version, g_szVersion, sizeof(m_version));
        memcpy(m_path, g_szModulePath, sizeof(m_path));
        m_ready = g_bVersionReady;
    }
    ~VersionCacheGuard()
    {
        memcpy(g_szVersion, m_version, sizeof(m_version));
        memcpy(g_szModulePath, m_path, sizeof(m_path));
        g_bVersionReady = m_ready;
    }

private:
    char m_version[sizeof(g_szVersion)];
    char m_path[sizeof(g_szModulePath)];
    int m_ready;
};

} // namespace

// ---------------------------------------------------------------------------
// The label's text.

TEST(VersionLabel, FormatTable)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        { "Ver.:1.0.1.111", "Holvane Ver.:1.0.1.111" },
        { "Ver.:1, 0, 1, 111", "Holvane Ver.:1- 0- 1- 111" },
        { "Ver.:1;0;1;111", "Holvane Ver.:1.0.1.111" },
        { "Ver.:1,0;1,,;;", "Holvane Ver.:1-0.1--.." },
        { "", "Holvane " },
        { "Ver.:", "Holvane Ver.:" },
        { "1-0.1", "Holvane 1-0.1" },
        // Double-byte characters whose second byte is a backslash, and
        // full-width comma and semicolon: none of them is touched.
        { "Ver.:ソ表能,１，０；", "Holvane Ver.:ソ表能-１，０；" },
        { "Ver.:ﾊﾞｰｼﾞｮﾝ;2", "Holvane Ver.:ﾊﾞｰｼﾞｮﾝ.2" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_STREQ(c.out, (LPCSTR)FormatVersionLabel(c.in));
    }
}

// ---------------------------------------------------------------------------
// The running executable's label: read once, then from the cache.

TEST(VersionString, ReadsOwnExecutableOnce)
{
    VersionCacheGuard keep;
    g_bVersionReady = 0;
    memset(g_szVersion, 'x', sizeof(g_szVersion) - 1);
    memset(g_szModulePath, 0, sizeof(g_szModulePath));

    LPCSTR first = GetVersionString();
    EXPECT_EQ(g_szVersion, first);
    EXPECT_STREQ("Ver.:1.0.1.111", first);
    EXPECT_EQ(1, g_bVersionReady);
    EXPECT_EQ(SelfPath(), g_szModulePath);

    // A second call must neither clear the label nor look up the module
    // again: what the cache holds now comes back untouched.
    strcpy(g_szVersion, "Ver.:cached;9");
    strcpy(g_szModulePath, "C:\\nowhere\\none.exe");
    LPCSTR second = GetVersionString();
    EXPECT_EQ(first, second);
    EXPECT_STREQ("Ver.:cached;9", second);
    EXPECT_STREQ("C:\\nowhere\\none.exe", g_szModulePath);
    EXPECT_EQ(1, g_bVersionReady);
}

// The same program started from a copy whose version resource was changed,
// or from the longest path that still fits the path buffer.
TEST(VersionString, ChildProcesses)
{
    const std::string self = SelfPath();
    const std::vector<std::pair<WORD, WORD>> japanese = { { 0x0411, 1200 } };
    struct Case {
        const char* test;
        bool noTranslation;
        bool noProductVersion;
        size_t pathLength;  // 0: a short path
    } cases[] = {
        { "NoTranslation", true, false, 0 },
        { "NoProductVersion", false, true, 0 },
        { "LongestPath", false, false, MAX_PATH - 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.test);
        std::string dir = ts::NewTempDir("child");
        if (c.pathLength) {
            size_t fixed = dir.size() + 2 + strlen("test_about.exe");
            ASSERT_LT(fixed, c.pathLength);
            dir += "\\" + std::string(c.pathLength - fixed, 'd');
            ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
        }
        std::string exe = dir + "\\test_about.exe";
        ASSERT_TRUE(ts::CopyTo(self, exe));
        if (c.pathLength) {
            ASSERT_EQ(c.pathLength, exe.size());
        }
        if (c.noTranslation || c.noProductVersion) {
            std::vector<StringTable> tables = { { L"041104b0", { { L"ProductName", L"Holvane" } } } };
            if (!c.noProductVersion)
                tables[0].values.push_back({ L"ProductVersion", L"5.5" });
            ASSERT_TRUE(WriteVersionResource(exe, VersionResource(tables, c.noTranslation ? nullptr : &japanese)));
            bool ok = true;
            ReadVersionLabel(exe.c_str(), &ok);
            ASSERT_EQ(!c.noTranslation, ok) << "the made resource is not as meant";
        }
        ChildResult r = RunChild(exe, c.test);
        EXPECT_EQ(0u, r.code) << r.output;
        EXPECT_NE(std::string::npos, r.output.find("[  PASSED  ] 1 test.")) << r.output;
    }
}

// Run only as a child of VersionString.ChildProcesses.
TEST(ChildProcess, DISABLED_NoTranslation)
{
    LPCSTR v = GetVersionString();
    EXPECT_STREQ("", v);
    EXPECT_EQ(0, g_bVersionReady);
    EXPECT_EQ(SelfPath(), g_szModulePath);
    // The next call starts again: it clears the label and fills the path.
    strcpy(g_szVersion, "Ver.:stale");
    strcpy(g_szModulePath, "C:\\stale.exe");
    EXPECT_STREQ("", GetVersionString());
    EXPECT_EQ(0, g_bVersionReady);
    EXPECT_EQ(SelfPath(), g_szModulePath);
}

TEST(ChildProcess, DISABLED_NoProductVersion)
{
    EXPECT_STREQ("Ver.:", GetVersionString());
    EXPECT_EQ(1, g_bVersionReady);
    EXPECT_STREQ("Holvane Ver.:", (LPCSTR)FormatVersionLabel(GetVersionString()));
}

TEST(ChildProcess, DISABLED_LongestPath)
{
    EXPECT_STREQ("Ver.:1.0.1.111", GetVersionString());
    EXPECT_EQ(1, g_bVersionReady);
    EXPECT_EQ(static_cast<size_t>(MAX_PATH - 1), strlen(g_szModulePath));
    EXPECT_EQ(SelfPath(), g_szModulePath);
}

// ---------------------------------------------------------------------------
// Labels of other modules.

TEST(VersionLabel, ReadsModulesTable)
{
    const std::string dir = ts::NewTempDir("modules");
    const std::string guest = ts::BinDir() + "\\TrelvoxGuest.exe";
    ASSERT_FALSE(HasVersionResource(guest)) << "the sample guest is meant to have no version resource";
    const std::vector<std::pair<WORD, WORD>> ja = { { 0x0411, 1200 } };
    const std::vector<std::pair<WORD, WORD>> none = {};
    const std::vector<std::pair<WORD, WORD>> enFirst = { { 0x0409, 1200 }, { 0x0411, 1200 } };
    const std::vector<std::pair<WORD, WORD>> en1252 = { { 0x0409, 0x04E4 } };
    auto pv = [](const wchar_t* table, const std::wstring& v) {
        return StringTable{ table, { { L"ProductName", L"X" }, { L"ProductVersion", v } } };
    };
    const std::wstring digits = L"1234567890";
    std::wstring v249, v300;
    while (v300.size() < 300)
        v300 += digits;
    v249 = v300.substr(0, 249);
    std::string n300(v300.begin(), v300.end());

    struct Case {
        const char* name;
        std::vector<StringTable> tables;
        const std::vector<std::pair<WORD, WORD>>* translations;
        bool ok;
        std::string label;
    };
    const std::vector<Case> cases = {
        { "commas", { pv(L"041104b0", L"1, 0, 1, 111") }, &ja, true, "Ver.:1, 0, 1, 111" },
        { "no ProductVersion", { { L"041104b0", { { L"ProductName", L"X" } } } }, &ja, true, "Ver.:" },
        { "no VarFileInfo", { pv(L"041104b0", L"1.0") }, nullptr, false, "" },
        { "empty translation list", { pv(L"041104b0", L"1.0") }, &none, false, "" },
        { "first translation only", { pv(L"041104b0", L"1.0"), pv(L"040904b0", L"2.0") }, &enFirst, true, "Ver.:2.0" },
        { "code page in lower-case hex", { pv(L"041104b0", L"1.0"), pv(L"040904e4", L"3.1") }, &en1252, true,
          "Ver.:3.1" },
        { "double-byte text", { pv(L"041104b0", L"版１．０ ｿﾌﾄ") }, &ja, true, "Ver.:版１．０ ｿﾌﾄ" },
        { "249 characters fit", { pv(L"041104b0", v249) }, &ja, true, "Ver.:" + n300.substr(0, 249) },
        { "250 characters fit", { pv(L"041104b0", v300.substr(0, 250)) }, &ja, true, "Ver.:" + n300.substr(0, 250) },
        { "251 characters are cut", { pv(L"041104b0", v300.substr(0, 251)) }, &ja, true,
          "Ver.:" + n300.substr(0, 250) },
        { "300 characters are cut", { pv(L"041104b0", v300) }, &ja, true, "Ver.:" + n300.substr(0, 250) },
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir + "\\m" + std::to_string(++n) + ".exe";
        ASSERT_TRUE(ts::CopyTo(guest, path));
        ASSERT_TRUE(WriteVersionResource(path, VersionResource(c.tables, c.translations)));
        ASSERT_TRUE(HasVersionResource(path));
        bool ok = !c.ok;
        CString label = ReadVersionLabel(path.c_str(), &ok);
        EXPECT_EQ(c.ok, ok);
        EXPECT_EQ(c.label, std::string(label));
    }

    // Without any version resource, or without the file.
    struct Plain {
        std::string path;
        bool ok;
        std::string label;
    } plain[] = {
        { ts::BinDir() + "\\Holvane.exe", true, "Ver.:1.0.1.111" },
        { guest, false, "" },
        { dir + "\\missing.exe", false, "" },
    };
    for (const Plain& p : plain) {
        SCOPED_TRACE(p.path);
        bool ok = !p.ok;
        EXPECT_EQ(p.label, std::string(ReadVersionLabel(p.path.c_str(), &ok)));
        EXPECT_EQ(p.ok, ok);
    }

    // Commas of a version written the old way, as the box shows them.
    std::string path = dir + "\\commas.exe";
    ASSERT_TRUE(ts::CopyTo(guest, path));
    ASSERT_TRUE(WriteVersionResource(path, VersionResource({ pv(L"041104b0", L"1, 0, 1, 111") }, &ja)));
    EXPECT_STREQ("Holvane Ver.:1- 0- 1- 111", (LPCSTR)FormatVersionLabel(ReadVersionLabel(path.c_str(), nullptr)));
}

// ---------------------------------------------------------------------------
// The box from the dock's system menu, in this process.

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = ts::NewTempDir("about");
        ::SetCurrentDirectoryA(m_dir.c_str());
    }
    std::string m_dir;
};

TEST_F(AboutBoxTest, FromSystemMenu)
{
    VersionCacheGuard keep;
    g_bVersionReady = 0;
    ExecSeam exec;
    Guest guest;
    ASSERT_NO_FATAL_FAILURE(guest.Start("aboutguest"));
    const CloseBy ways[] = { CloseBy::Enter, CloseBy::Escape, CloseBy::CloseBox };
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        DWORD tid = ::GetCurrentThreadId();
        ASSERT_TRUE(ts::PumpUntil([&] { return dock.m_frames.size() == 1; }, 5000));

        // The item the system menu sends.
        char item[128] = {};
        ASSERT_GT(::GetMenuStringA(::GetSystemMenu(h, FALSE), IDM_ABOUTBOX, item, sizeof(item), MF_BYCOMMAND), 0);
        EXPECT_STREQ("Holvane のﾊﾞｰｼﾞｮﾝ情報(&A)...", item);

        int round = 0;
        for (CloseBy how : ways) {
            SCOPED_TRACE(round);
            // A guest hidden while the dock is shown, out of the topmost band.
            ::ShowWindow(guest.wnd, SW_HIDE);
            ::SetWindowPos(guest.wnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            ASSERT_FALSE(::IsWindowVisible(guest.wnd));
            ASSERT_FALSE(ts::IsTopMost(guest.wnd));
            // The last opening shows the cached label as it stands, with its
            // commas and semicolons replaced: the file is not read again.
            if (round == 2) {
                ASSERT_EQ(1, g_bVersionReady);
                strcpy(g_szVersion, "Ver.:9;9,9");
            }

            AboutSeen seen;
            std::thread watcher([&] {
                seen = LookAtAboutBox(::GetCurrentProcessId(), tid, h);
                if (!seen.box)
                    return;
                if (round == 0) {
                    int before = g_execCount;
                    if (ClickLink(::GetDlgItem(seen.box, IDC_ABOUT_LINK)))
                        ts::WaitUntil([&] { return g_execCount > before; }, 5000);
                    seen.realClickCalls = g_execCount - before;
                }
                CloseAboutBox(seen, how);
            });
            ::SendMessageA(h, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            watcher.join();

            ASSERT_TRUE(seen.box) << "no About box";
            EXPECT_TRUE(seen.visible) << "the About box was never shown";
            EXPECT_FALSE(::IsWindow(seen.box));
            EXPECT_EQ(round == 2 ? std::string("Holvane Ver.:9.9-9") : std::string(kLabel), seen.label);
            EXPECT_EQ(seen.okButton, seen.focus);
            EXPECT_EQ(h, seen.owner);
            EXPECT_FALSE(seen.dockEnabled);
            EXPECT_TRUE(::IsWindowEnabled(h));
            EXPECT_TRUE(::IsWindowVisible(h));
            EXPECT_TRUE(::IsWindowVisible(guest.wnd));
            EXPECT_TRUE(ts::IsTopMost(guest.wnd));
            if (round == 0) {
                EXPECT_EQ(1, seen.realClickCalls);
                std::vector<ExecCall> calls = exec.Calls();
                ASSERT_EQ(1u, calls.size());
                ExpectHomePageCall(calls[0], seen.box);
            }
            ++round;
        }
    }, true);
}

TEST_F(AboutBoxTest, BoxTexts)
{
    VersionCacheGuard keep;
    g_bVersionReady = 0;
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        AboutSeen seen;
        std::string caption, version;
        std::thread watcher([&] {
            seen = LookAtAboutBox(::GetCurrentProcessId(), ::GetWindowThreadProcessId(h, nullptr), h);
            if (!seen.box)
                return;
            caption = ts::WindowText(seen.box);
            CloseAboutBox(seen, CloseBy::Enter);
        });
        ::SendMessageA(h, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        watcher.join();
        ASSERT_TRUE(seen.box);
        EXPECT_TRUE(seen.visible) << "the About box was never shown";
        EXPECT_EQ(kAboutCaption, caption);
        EXPECT_EQ(kLabel, seen.label);
        // Opened while the dock is hidden, the box still disables it.
        EXPECT_FALSE(seen.dockEnabled);
        EXPECT_TRUE(::IsWindowEnabled(h));
        EXPECT_FALSE(::IsWindowVisible(h));
    }, false);
}

// Both links open the same page; other notifications do not.
TEST_F(AboutBoxTest, LinksOpenHomePage)
{
    ExecSeam exec;
    ts::RunDock([&](CHolvaneDlg& dock) {
        HWND h = dock.m_hWnd;
        EXPECT_STREQ(kUrl, kHomePageUrl);

        // The dock's own link, notified and clicked.
        EXPECT_EQ(0, SendClick(h, IDC_LINK));
        ASSERT_EQ(1u, exec.Calls().size());
        ExpectHomePageCall(exec.Calls()[0], h);
        ASSERT_TRUE(ClickLink(::GetDlgItem(h, IDC_LINK)));
        EXPECT_TRUE(ts::PumpUntil([] { return g_execCount >= 2; }, 5000));
        ASSERT_EQ(2u, exec.Calls().size());
        ExpectHomePageCall(exec.Calls()[1], h);

        // The box's link; a click from another control id or another
        // notification code opens nothing.
        HWND box = nullptr;
        std::thread watcher([&] {
            AboutSeen seen = LookAtAboutBox(::GetCurrentProcessId(), ::GetWindowThreadProcessId(h, nullptr), h);
            if (!seen.box)
                return;
            box = seen.box;
            SendClick(seen.box, IDC_ABOUT_LINK);
            SendClick(seen.box, IDC_VERSION);
            SendClick(seen.box, IDC_ABOUT_LINK, NM_RETURN);
            CloseAboutBox(seen, CloseBy::Enter);
        });
        ::SendMessageA(h, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        watcher.join();
        ASSERT_TRUE(box);
        std::vector<ExecCall> calls = exec.Calls();
        ASSERT_EQ(3u, calls.size());
        ExpectHomePageCall(calls[2], box);
    }, true);
}

// ---------------------------------------------------------------------------
// The real program.

TEST(AboutProgram, FromSystemMenu)
{
    Guest guest;
    guest.Start("aboutreal");
    if (::testing::Test::HasFatalFailure())
        return;
    const std::string& dir = guest.dir;
    HWND guestWnd = guest.wnd;
    auto prog = ts::Start("\"" + dir + "\\Holvane.exe\"", dir);
    ASSERT_TRUE(prog);
    HWND dock = ts::WaitDock(prog->pid);
    ASSERT_TRUE(dock);
    // Docked (its system menu gone) and hidden with the dock.
    ASSERT_TRUE(ts::WaitUntil([&] {
        return !(::GetWindowLongA(guestWnd, GWL_STYLE) & WS_SYSMENU) && !::IsWindowVisible(guestWnd);
    }, 10000));
    ASSERT_FALSE(ts::IsTopMost(guestWnd));

    ASSERT_TRUE(::PostMessageA(dock, WM_SYSCOMMAND, IDM_ABOUTBOX, 0));
    AboutSeen seen = LookAtAboutBox(prog->pid, ::GetWindowThreadProcessId(dock, nullptr), dock);
    ASSERT_TRUE(seen.box) << "no About box";
    std::string caption = ts::WindowText(seen.box);
    CloseAboutBox(seen, CloseBy::Enter);

    EXPECT_TRUE(seen.visible) << "the About box was never shown";
    EXPECT_EQ(kAboutCaption, caption);
    EXPECT_EQ(kLabel, seen.label);
    EXPECT_EQ(seen.okButton, seen.focus);
    EXPECT_EQ(dock, seen.owner);
    EXPECT_FALSE(seen.dockEnabled);
    EXPECT_TRUE(ts::WaitUntil([&] { return !::IsWindow(seen.box); }, 5000));
    EXPECT_TRUE(ts::WaitUntil([&] { return ::IsWindowEnabled(dock) != FALSE; }, 5000));
    // The guest is shown and raised again; the dock itself stays hidden.
    EXPECT_TRUE(ts::WaitUntil([&] { return ::IsWindowVisible(guestWnd) && ts::IsTopMost(guestWnd); }, 5000));
    EXPECT_FALSE(::IsWindowVisible(dock));

    ::PostMessageA(dock, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(0u, prog->Wait(10000));
}
