// Start-up of Holvane.exe: one instance only, the two switches and what is
// printed for them, the debug console, and the working directory taken from
// the program's own path.

#include <gtest/gtest.h>
#include "TestSupport.h"
#include "app/Startup.h"
#include "guests/MbPath.h"

#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

// "番目の引数" as code page 932 bytes, spelled out so the expectation does
// not rest on the compiler's conversion of literals.
const std::string kArgLabel = "\x94\xD4\x96\xDA\x82\xCC\x88\xF8\x90\x94";
// ソ: its trail byte is a backslash.
const std::string kSo = "\x83\x5C";

const char kBanner[] = "********** Start Holvane DEBUG MODE  *******";
// "２重起動" and "     既に起動されています.     " in code page 932.
const std::string kBoxCaption = "\x82\x51\x8F\x64\x8B\x4E\x93\xAE";
const std::string kBoxText = "     \x8A\xF9\x82\xC9\x8B\x4E\x93\xAE\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7.     ";

const UINT kTrayExit = 32772;

std::string ArgLine(int index, const std::string& arg)
{
    return std::to_string(index) + kArgLabel + "=" + arg + "\n";
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Standard output is a text-mode stream: a line break reaches a file as CR LF.
std::string Crlf(const std::string& s)
{
    std::string r;
    for (char ch : s) {
        if (ch == '\n')
            r += '\r';
        r += ch;
    }
    return r;
}

bool IsCodePage932() { return ::GetACP() == 932; }

// ---------------------------------------------------------------------------
// The console of another process, read by attaching to it.

struct ConsoleView {
    bool exists = false;
    HWND window = nullptr;
    std::vector<std::string> lines;  // screen rows joined where they wrapped
};

std::string ToCp932(const std::wstring& w)
{
    if (w.empty())
        return std::string();
    int n = ::WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    ::WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

ConsoleView ReadConsoleOf(DWORD pid)
{
    ConsoleView v;
    ::FreeConsole();
    if (!::AttachConsole(pid))
        return v;
    v.exists = true;
    v.window = ::GetConsoleWindow();
    HANDLE h = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (h != INVALID_HANDLE_VALUE && ::GetConsoleScreenBufferInfo(h, &info)) {
        const int width = info.dwSize.X;
        std::wstring line;
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            std::wstring row(width, L' ');
            DWORD n = 0;
            COORD at = { 0, y };
            ::ReadConsoleOutputCharacterW(h, &row[0], width, at, &n);
            row.resize(n);
            // A row filled to its last cell goes on in the next one.
            bool wrapped = static_cast<int>(n) == width && row.back() != L' ';
            size_t end = row.find_last_not_of(L' ');
            row.resize(end == std::wstring::npos ? 0 : end + 1);
            line += row;
            if (!wrapped) {
                v.lines.push_back(ToCp932(line));
                line.clear();
            }
        }
        if (!line.empty())
            v.lines.push_back(ToCp932(line));
        while (!v.lines.empty() && v.lines.back().empty())
            v.lines.pop_back();
    }
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    ::FreeConsole();
    return v;
}

// Wine's console decodes every write on its own and the runtime's printf
// writes byte by byte, so there a double-byte character shows as "・" for
// its lead byte followed by its trail byte read alone. A console that joins
// the bytes shows the text as written.
std::string AsShownByteByByte(const std::string& s)
{
    std::string r;
    for (unsigned char b : s) {
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            r += static_cast<char>(b);
        else
            r += "\x81\x45";
    }
    return r;
}

::testing::AssertionResult ShownAs(const std::string& written, const std::string& shown)
{
    if (shown == written || shown == AsShownByteByByte(written))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the console shows " << ::testing::PrintToString(shown) << " for "
                                         << ::testing::PrintToString(written);
}

std::set<HWND> ConsoleWindows()
{
    std::set<HWND> s;
    for (HWND h : ts::TopWindows())
        if (ts::ClassName(h) == "WineConsoleClass" || ts::ClassName(h) == "ConsoleWindowClass")
            s.insert(h);
    return s;
}

// ---------------------------------------------------------------------------
// The real program.

struct RunningDock {
    std::unique_ptr<ts::Process> proc;
    HWND hwnd = nullptr;
    std::string dir;  // where Holvane.exe lies
    std::string out;  // its first standard output

    // Ends it through the icon menu's exit command.
    bool End()
    {
        if (!proc)
            return true;
        if (hwnd)
            ::PostMessageA(hwnd, WM_COMMAND, kTrayExit, 0);
        return proc->Wait(15000) != STILL_ACTIVE;
    }
};

RunningDock StartDock(const std::string& dir, const std::string& args)
{
    RunningDock d;
    d.dir = dir;
    d.out = ts::NewTempDir("stdout") + "\\out.txt";
    std::string cmd = Quote(dir + "\\Holvane.exe");
    if (!args.empty())
        cmd += " " + args;
    d.proc = ts::Start(cmd, dir, d.out);
    if (d.proc)
        d.hwnd = ts::WaitDock(d.proc->pid, 15000);
    return d;
}

bool BecomesVisible(HWND h, DWORD ms)
{
    return ts::WaitUntil([&] { return ::IsWindowVisible(h) != FALSE; }, ms);
}

class RealProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Started from the desktop the program has no console to inherit;
        // without this it would share this test's console and its own
        // AllocConsole would fail.
        ::FreeConsole();
        // Away from every window: the hang watchdog traces windows under the
        // cursor into the debug console.
        ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    }
};

// ---------------------------------------------------------------------------
// Single instance.

struct SecondStart {
    const char* name;
    const char* args;
};
std::ostream& operator<<(std::ostream& os, const SecondStart& s) { return os << s.name; }

class SingleInstance : public RealProgram, public ::testing::WithParamInterface<SecondStart> {};

TEST_P(SingleInstance, SecondStartShowsBoxAndEnds)
{
    RunningDock first = StartDock(ts::MakeInstall("first"), "");
    ASSERT_TRUE(first.proc);
    ASSERT_TRUE(first.hwnd);
    const std::set<HWND> consolesBefore = ConsoleWindows();

    std::string out2 = ts::NewTempDir("second") + "\\out.txt";
    std::string cmd = Quote(first.dir + "\\Holvane.exe");
    if (*GetParam().args)
        cmd += std::string(" ") + GetParam().args;
    std::unique_ptr<ts::Process> second = ts::Start(cmd, first.dir, out2, false);
    ASSERT_TRUE(second);

    HWND box = nullptr;
    ASSERT_TRUE(ts::WaitUntil([&] {
        box = ts::FindTopWindow(second->pid, kBoxCaption.c_str(), true);
        return box != nullptr;
    }, 15000)) << "no box captioned ２重起動";
    EXPECT_EQ("#32770", ts::ClassName(box));
    EXPECT_EQ(nullptr, ::GetWindow(box, GW_OWNER));

    // One OK button, the text, and no icon.
    std::vector<HWND> buttons;
    std::vector<std::string> texts;
    int icons = 0;
    for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        std::string cls = ts::ClassName(c);
        if (cls == "Button" && ::IsWindowVisible(c))
            buttons.push_back(c);
        else if (cls == "Static" && (::GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icons += (::IsWindowVisible(c) && ::SendMessageA(c, STM_GETICON, 0, 0)) ? 1 : 0;
        else if (cls == "Static" && !ts::WindowText(c).empty())
            texts.push_back(ts::WindowText(c));
    }
    ASSERT_EQ(1u, buttons.size());
    EXPECT_EQ(IDOK, ::GetDlgCtrlID(buttons[0]));
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ(kBoxText, texts[0]);
    EXPECT_EQ(0, icons);

    // The box is the only thing the refused instance shows.
    for (HWND h : ts::TopWindows()) {
        if (ts::WindowPid(h) == second->pid && ::IsWindowVisible(h)) {
            EXPECT_EQ(box, h) << ts::ClassName(h) << " " << ts::WindowText(h);
        }
    }
    EXPECT_FALSE(ReadConsoleOf(second->pid).exists) << "the refused instance has a console";
    EXPECT_EQ(consolesBefore, ConsoleWindows()) << "a console window appeared";
    EXPECT_TRUE(second->Running()) << "ended before the box was closed";

    ::SendMessageA(buttons[0], BM_CLICK, 0, 0);
    EXPECT_EQ(0u, second->Wait(15000));
    EXPECT_EQ("", ts::ReadAll(out2));

    // The running instance is neither ended nor brought forward.
    EXPECT_TRUE(first.proc->Running());
    EXPECT_TRUE(::IsWindow(first.hwnd));
    EXPECT_FALSE(::IsWindowVisible(first.hwnd));
    EXPECT_TRUE(first.End());
}

INSTANTIATE_TEST_SUITE_P(Start, SingleInstance,
                         ::testing::Values(SecondStart{ "Plain", "" }, SecondStart{ "Debug", "-D119" },
                                           SecondStart{ "ShowAndDebug", "-SHOW -D119" }),
                         [](const ::testing::TestParamInfo<SecondStart>& i) { return std::string(i.param.name); });

TEST_F(RealProgram, NextStartRunsOnceTheFirstHasEnded)
{
    std::string dir = ts::MakeInstall("again");
    RunningDock first = StartDock(dir, "");
    ASSERT_TRUE(first.hwnd);
    ASSERT_TRUE(first.End());

    RunningDock next = StartDock(dir, "");
    ASSERT_TRUE(next.proc);
    EXPECT_TRUE(next.hwnd) << "no dock after the first instance ended";
    EXPECT_EQ(nullptr, ts::FindTopWindow(next.proc->pid, kBoxCaption.c_str()));
    EXPECT_TRUE(next.End());
}

// ---------------------------------------------------------------------------
// Switches, each judged on the whole argument.

struct SwitchExpectation {
    int index;
    const char* arg;
    bool debug;
    bool show;
};
std::ostream& operator<<(std::ostream& os, const SwitchExpectation& s)
{
    return os << s.index << ":" << s.arg;
}

class ExamineArgumentTable : public ::testing::TestWithParam<SwitchExpectation> {};

TEST_P(ExamineArgumentTable, LinesAndSwitch)
{
    const SwitchExpectation& c = GetParam();
    SwitchResult r = ExamineArgument(c.index, c.arg);
    std::string expected = ArgLine(c.index, c.arg);
    if (c.debug)
        expected += "DEBUGMODE ON\n";
    if (c.show)
        expected += "SHOWMODE ON\n";
    EXPECT_EQ(expected, std::string(static_cast<LPCSTR>(r.strLines)));
    EXPECT_EQ(c.debug, r.bDebug);
    EXPECT_EQ(c.show, r.bShow);
}

INSTANTIATE_TEST_SUITE_P(Arguments, ExamineArgumentTable,
                         ::testing::Values(SwitchExpectation{ 1, "-SHOW", false, true },
                                           SwitchExpectation{ 1, "-D119", true, false },
                                           SwitchExpectation{ 2, "-SHOW", false, true },
                                           SwitchExpectation{ 12, "-D119", true, false },
                                           SwitchExpectation{ 1, "-d119", false, false },
                                           SwitchExpectation{ 1, "-D1190", false, false },
                                           SwitchExpectation{ 1, "-D11", false, false },
                                           SwitchExpectation{ 1, "/D119", false, false },
                                           SwitchExpectation{ 1, "D119", false, false },
                                           SwitchExpectation{ 1, "-show", false, false },
                                           SwitchExpectation{ 1, "-Show", false, false },
                                           SwitchExpectation{ 1, "-SHOWX", false, false },
                                           SwitchExpectation{ 1, "-SHO", false, false },
                                           SwitchExpectation{ 1, "-SHOW ", false, false },
                                           SwitchExpectation{ 1, " -SHOW", false, false },
                                           SwitchExpectation{ 1, "", false, false },
                                           SwitchExpectation{ 3, "\x83\x5C", false, false }));

// The real program: what it prints on the standard output it was started
// with, whether the dock shows, and whether the debug console opens.
struct SwitchRun {
    const char* name;
    const char* args;
    std::string expectedOut;
    bool debug;
    bool show;
};
std::ostream& operator<<(std::ostream& os, const SwitchRun& s) { return os << s.name; }

class Switches : public RealProgram, public ::testing::WithParamInterface<SwitchRun> {};

TEST_P(Switches, PrintedLinesAndModes)
{
    const SwitchRun& c = GetParam();
    const std::set<HWND> consolesBefore = ConsoleWindows();
    RunningDock d = StartDock(ts::MakeInstall("switch"), c.args);
    ASSERT_TRUE(d.proc);
    ASSERT_TRUE(d.hwnd);

    if (c.show) {
        EXPECT_TRUE(BecomesVisible(d.hwnd, 10000)) << "dock not shown";
    } else {
        EXPECT_FALSE(BecomesVisible(d.hwnd, 2000)) << "dock shown";
    }

    ConsoleView con = ReadConsoleOf(d.proc->pid);
    EXPECT_EQ(c.debug, con.exists);
    std::set<HWND> consolesNow = ConsoleWindows();
    if (c.debug) {
        EXPECT_NE(nullptr, con.window);
        EXPECT_EQ(0u, consolesBefore.count(con.window)) << "not a console of its own";
        EXPECT_EQ(1u, consolesNow.count(con.window));
        // The console starts with the banner, the mode lines and the
        // directory; the argument lines went to the first output.
        std::vector<std::string> expected = { kBanner, "DEBUG_MODE ON" };
        if (c.show)
            expected.push_back("SHOW_MODE ON");
        expected.push_back("CurrentDir=" + d.dir);
        std::vector<std::string> head(con.lines.begin(),
                                      con.lines.begin() + std::min(con.lines.size(), expected.size()));
        EXPECT_EQ(expected, head);
        for (const std::string& line : con.lines)
            EXPECT_EQ(std::string::npos, line.find(kArgLabel)) << line;
    } else {
        EXPECT_EQ(consolesBefore, consolesNow) << "a console window appeared";
    }

    ASSERT_TRUE(d.End());
    EXPECT_EQ(Crlf(c.expectedOut), ts::ReadAll(d.out));
}

const std::string kDebugOn = "DEBUGMODE ON\n";
const std::string kShowOn = "SHOWMODE ON\n";

INSTANTIATE_TEST_SUITE_P(
    Start, Switches,
    ::testing::Values(
        SwitchRun{ "None", "", "", false, false },
        SwitchRun{ "Show", "-SHOW", ArgLine(1, "-SHOW") + kShowOn, false, true },
        SwitchRun{ "Debug", "-D119", ArgLine(1, "-D119") + kDebugOn, true, false },
        SwitchRun{ "ShowDebug", "-SHOW -D119", ArgLine(1, "-SHOW") + kShowOn + ArgLine(2, "-D119") + kDebugOn,
                   true, true },
        SwitchRun{ "DebugShow", "-D119 -SHOW", ArgLine(1, "-D119") + kDebugOn + ArgLine(2, "-SHOW") + kShowOn,
                   true, true },
        SwitchRun{ "ShowTwice", "-SHOW -SHOW", ArgLine(1, "-SHOW") + kShowOn + ArgLine(2, "-SHOW") + kShowOn,
                   false, true },
        SwitchRun{ "LowerDebug", "-d119", ArgLine(1, "-d119"), false, false },
        SwitchRun{ "LongerDebug", "-D1190", ArgLine(1, "-D1190"), false, false },
        SwitchRun{ "SlashDebug", "/D119", ArgLine(1, "/D119"), false, false },
        SwitchRun{ "LowerShow", "-show", ArgLine(1, "-show"), false, false },
        SwitchRun{ "LongerShow", "-SHOWX", ArgLine(1, "-SHOWX"), false, false },
        SwitchRun{ "QuotedWithSpace", "\"-SHOW \" other", ArgLine(1, "-SHOW ") + ArgLine(2, "other"), false,
                   false },
        SwitchRun{ "OthersAround", "x -D119 y", ArgLine(1, "x") + ArgLine(2, "-D119") + kDebugOn + ArgLine(3, "y"),
                   true, false }),
    [](const ::testing::TestParamInfo<SwitchRun>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// The debug console.

BOOL WINAPI IgnoreControlEvent(DWORD) { return TRUE; }

TEST_F(RealProgram, CtrlCInDebugConsoleLeavesItRunning)
{
    RunningDock d = StartDock(ts::MakeInstall("ctrlc"), "-D119");
    ASSERT_TRUE(d.hwnd);
    ASSERT_TRUE(ReadConsoleOf(d.proc->pid).exists);

    ::FreeConsole();
    ASSERT_TRUE(::AttachConsole(d.proc->pid));
    // The events go to every process on the console, this one included.
    ::SetConsoleCtrlHandler(IgnoreControlEvent, TRUE);
    EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    ::Sleep(500);
    ::FreeConsole();
    ::SetConsoleCtrlHandler(IgnoreControlEvent, FALSE);

    EXPECT_FALSE(ts::WaitUntil([&] { return !d.proc->Running(); }, 3000)) << "ended by a control event";
    EXPECT_TRUE(::IsWindow(d.hwnd));
    EXPECT_TRUE(d.End());
}

TEST_F(RealProgram, DebugTailReleasesConsoleThenLingers)
{
    RunningDock d = StartDock(ts::MakeInstall("tail"), "-D119");
    ASSERT_TRUE(d.hwnd);
    ConsoleView con = ReadConsoleOf(d.proc->pid);
    ASSERT_TRUE(con.exists);
    ASSERT_TRUE(::IsWindow(con.window));

    ::PostMessageA(d.hwnd, WM_COMMAND, kTrayExit, 0);
    ASSERT_TRUE(ts::WaitUntil([&] { return !::IsWindow(d.hwnd); }, 15000, 10));
    const DWORD dockGone = ::GetTickCount();
    // The console goes (its last process left it) while the program waits.
    ts::WaitUntil([&] { return !::IsWindow(con.window) || !d.proc->Running(); }, 5000, 10);
    EXPECT_FALSE(::IsWindow(con.window)) << "console still there";
    EXPECT_TRUE(d.proc->Running()) << "ended before its console went";
    ASSERT_NE(static_cast<DWORD>(STILL_ACTIVE), d.proc->Wait(15000));
    EXPECT_GE(::GetTickCount() - dockGone, 700u) << "no pause after the console was released";
}

// ---------------------------------------------------------------------------
// Working directory.

struct DirCase {
    const char* name;
    std::string path;
    std::string dir;
};
std::ostream& operator<<(std::ostream& os, const DirCase& c) { return os << c.name; }

class DirectoryOf : public ::testing::TestWithParam<DirCase> {};

TEST_P(DirectoryOf, TextBeforeLastBackslash)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "system code page is " << ::GetACP() << ", not 932";
    EXPECT_EQ(GetParam().dir, std::string(static_cast<LPCSTR>(MbDirectoryOf(GetParam().path.c_str()))));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DirectoryOf,
    ::testing::Values(
        DirCase{ "Full", "C:\\Tools\\Holvane\\Holvane.exe", "C:\\Tools\\Holvane" },
        DirCase{ "BareName", "Holvane.exe", "" },
        DirCase{ "Empty", "", "" },
        DirCase{ "DriveRoot", "C:\\Holvane.exe", "C:" },
        DirCase{ "Relative", "bin\\Holvane.exe", "bin" },
        DirCase{ "Unc", "\\\\server\\share\\Holvane.exe", "\\\\server\\share" },
        DirCase{ "TrailingBackslash", "C:\\Tools\\", "C:\\Tools" },
        DirCase{ "DirectoryWithSo", "C:\\" + kSo + "\\Holvane.exe", "C:\\" + kSo },
        DirCase{ "DirectoryEndingInSo", "C:\\Tools\\A" + kSo + "\\Holvane.exe", "C:\\Tools\\A" + kSo },
        DirCase{ "FileWithSo", "C:\\Tools\\Hol" + kSo + "vane.exe", "C:\\Tools" },
        DirCase{ "FileEndingInSo", "C:\\Tools\\" + kSo, "C:\\Tools" },
        DirCase{ "BareNameWithSo", kSo + ".exe", "" },
        // 表: another trail byte 0x5C; ｲ: a single-byte katakana before a real backslash.
        DirCase{ "FileWithHyou", "D:\\x\\\x95\x5C.exe", "D:\\x" },
        DirCase{ "HalfWidthKatakana", "C:\\\xB2\\Holvane.exe", "C:\\\xB2" }),
    [](const ::testing::TestParamInfo<DirCase>& i) { return std::string(i.param.name); });

TEST(DirectoryOfNull, IsEmpty)
{
    EXPECT_EQ("", std::string(static_cast<LPCSTR>(MbDirectoryOf(nullptr))));
}

// Starts the executable exe with a command line of our own, so that argv[0]
// may name another path than the file that runs.
std::unique_ptr<ts::Process> StartAs(const std::string& exe, const std::string& cmdline, const std::string& cwd,
                                     const std::string& outFile)
{
    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    HANDLE hOut = ::CreateFileA(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOut;
    si.hStdError = hOut;
    PROCESS_INFORMATION pi = {};
    std::string cmd = cmdline;
    BOOL ok = ::CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &si, &pi);
    ::CloseHandle(hOut);
    if (!ok)
        return nullptr;
    ::CloseHandle(pi.hThread);
    std::unique_ptr<ts::Process> p(new ts::Process);
    p->h = pi.hProcess;
    p->pid = pi.dwProcessId;
    return p;
}

// A guest window is docked at the dock's first scan, which writes the
// guest's path into Holvane.ini in the dock's working directory.
class WorkingDirectory : public RealProgram {
protected:
    void SetUp() override
    {
        RealProgram::SetUp();
        guestDir = ts::NewTempDir("guest");
        ASSERT_TRUE(ts::CopyTo(ts::BinDir() + "\\TrelvoxOne.exe", guestDir + "\\TrelvoxOne.exe"));
        guest = ts::Start(Quote(guestDir + "\\TrelvoxOne.exe"), guestDir);
        ASSERT_TRUE(guest);
        ASSERT_TRUE(ts::WaitTopWindow(guest->pid, "TrelvoxOne \x87\x55", 15000, true)) << "guest window missing";
    }

    static bool WaitIni(const std::string& dir)
    {
        return ts::WaitUntil([&] { return ts::FileExists(dir + "\\Holvane.ini"); }, 15000);
    }

    static std::string IniExePath(const std::string& dir)
    {
        char buf[MAX_PATH + 1] = {};
        ::GetPrivateProfileStringA("TrelvoxOne.exe", "EXEPATH", "", buf, sizeof(buf),
                                   (dir + "\\Holvane.ini").c_str());
        return buf;
    }

    // Runs the dock in debug mode and checks where Holvane.ini lands and
    // what the console says the directory is.
    void Check(RunningDock& d, const std::string& iniDir, const std::string& notIniDir,
               const std::string& currentDirLine)
    {
        ASSERT_TRUE(d.proc);
        d.hwnd = ts::WaitDock(d.proc->pid, 15000);
        ASSERT_TRUE(d.hwnd);
        EXPECT_TRUE(WaitIni(iniDir)) << "no Holvane.ini in " << iniDir;
        EXPECT_EQ(guestDir + "\\TrelvoxOne.exe", IniExePath(iniDir));
        EXPECT_FALSE(ts::FileExists(notIniDir + "\\Holvane.ini")) << "Holvane.ini in " << notIniDir;

        ConsoleView con = ReadConsoleOf(d.proc->pid);
        ASSERT_TRUE(con.exists);
        ASSERT_GE(con.lines.size(), 3u);
        EXPECT_EQ(kBanner, con.lines[0]);
        EXPECT_EQ("DEBUG_MODE ON", con.lines[1]);
        EXPECT_TRUE(ShownAs(currentDirLine, con.lines[2]));
        EXPECT_TRUE(d.End());
        EXPECT_EQ(Crlf(ArgLine(1, "-D119") + kDebugOn), ts::ReadAll(d.out));
    }

    std::string guestDir;
    std::unique_ptr<ts::Process> guest;
};

// argv[0] as the program sees it, for an executable at exeDir\Holvane.exe
// started in another directory.
struct Argv0Case {
    const char* name;
    std::string (*argv0)(const std::string& exeDir);
    // The directory line's text after "CurrentDir=", and whether the
    // program then works in exeDir (else in the directory it inherited).
    std::string (*currentDir)(const std::string& exeDir);
    bool worksInExeDir;
};
std::ostream& operator<<(std::ostream& os, const Argv0Case& c) { return os << c.name; }

class WorkingDirectoryFromArgv0 : public WorkingDirectory, public ::testing::WithParamInterface<Argv0Case> {};

TEST_P(WorkingDirectoryFromArgv0, CutAtLastBackslash)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "system code page is " << ::GetACP() << ", not 932";
    const Argv0Case& c = GetParam();
    std::string exeDir = ts::MakeInstall("exe");
    std::string inherited = ts::NewTempDir("inherited");
    RunningDock d;
    d.dir = exeDir;
    d.out = ts::NewTempDir("stdout") + "\\out.txt";
    d.proc = StartAs(exeDir + "\\Holvane.exe", Quote(c.argv0(exeDir)) + " -D119", inherited, d.out);
    Check(d, c.worksInExeDir ? exeDir : inherited, c.worksInExeDir ? inherited : exeDir,
          "CurrentDir=" + c.currentDir(exeDir));
}

INSTANTIATE_TEST_SUITE_P(
    Start, WorkingDirectoryFromArgv0,
    ::testing::Values(
        Argv0Case{ "FullPath", [](const std::string& d) { return d + "\\Holvane.exe"; },
                   [](const std::string& d) { return d; }, true },
        // The trail byte of ソ in the file name is no backslash.
        Argv0Case{ "SoInFileName", [](const std::string& d) { return d + "\\Hol" + kSo + "vane.exe"; },
                   [](const std::string& d) { return d; }, true },
        Argv0Case{ "SoEndsFileName", [](const std::string& d) { return d + "\\" + kSo; },
                   [](const std::string& d) { return d; }, true },
        // A directory that does not exist: the inherited one stays.
        Argv0Case{ "SoInMissingDirectory", [](const std::string& d) { return d + "\\x" + kSo + "\\Holvane.exe"; },
                   [](const std::string& d) { return d + "\\x" + kSo; }, false },
        // The bare drive stands for the drive's current directory, the
        // inherited one here.
        Argv0Case{ "DriveRoot", [](const std::string& d) { return d.substr(0, 2) + "\\Holvane.exe"; },
                   [](const std::string& d) { return d.substr(0, 2); }, false }),
    [](const ::testing::TestParamInfo<Argv0Case>& i) { return std::string(i.param.name); });

TEST_F(WorkingDirectory, DirectoryNamedWithSo)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "system code page is " << ::GetACP() << ", not 932";
    std::string dir = ts::NewTempDir("Hol" + kSo + "vane");
    if (!ts::FileExists(dir))
        GTEST_SKIP() << "this file system cannot hold the name (error " << ::GetLastError()
                     << "); Wine needs a Unix locale with UTF-8 file names";
    ASSERT_TRUE(ts::CopyTo(ts::BinDir() + "\\Holvane.exe", dir + "\\Holvane.exe"));
    std::string inherited = ts::NewTempDir("inherited");
    RunningDock d;
    d.dir = dir;
    d.out = ts::NewTempDir("stdout") + "\\out.txt";
    d.proc = ts::Start(Quote(dir + "\\Holvane.exe") + " -D119", inherited, d.out);
    Check(d, dir, inherited, "CurrentDir=" + dir);
}

TEST_F(WorkingDirectory, BareNameKeepsTheInheritedDirectory)
{
    // Found through the search path (the directory of this program holds a
    // Holvane.exe); argv[0] holds no backslash.
    std::string inherited = ts::NewTempDir("inherited");
    const std::string binIni = ts::BinDir() + "\\Holvane.ini";
    const bool binIniBefore = ts::FileExists(binIni);
    RunningDock d;
    d.dir = ts::BinDir();
    d.out = ts::NewTempDir("stdout") + "\\out.txt";
    d.proc = ts::Start("Holvane.exe -D119", inherited, d.out);
    Check(d, inherited, inherited + "\\none", "CurrentDir=");
    if (!binIniBefore) {
        EXPECT_FALSE(ts::FileExists(binIni)) << "Holvane.ini beside the executable";
        ::DeleteFileA(binIni.c_str());
    }
}

} // namespace
