// Helpers for tests that run real programs and look at real windows.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CHolvaneDlg;

namespace ts {

// Directory of the test program, where the build puts every executable.
std::string BinDir();
// A fresh, empty directory for one test (name may hold cp932 text).
std::string NewTempDir(const std::string& tag);
bool CopyTo(const std::string& from, const std::string& to);
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& data);
std::vector<std::string> ReadLines(const std::string& path);
// Lines of a text without their CR LF / LF ends.
std::vector<std::string> SplitLines(const std::string& text);
bool FileExists(const std::string& path);

// A child process, ended (killed) when the object goes if still running.
class Process {
public:
    ~Process();
    HANDLE h = nullptr;
    DWORD pid = 0;
    bool Running() const;
    // Exit code, or STILL_ACTIVE when it did not end within ms.
    DWORD Wait(DWORD ms);
    void Kill();
};
// Starts cmdline in cwd (empty: inherit); stdout and stderr go to outFile
// when one is given. nullptr when CreateProcess fails.
std::unique_ptr<Process> Start(const std::string& cmdline, const std::string& cwd = "",
                               const std::string& outFile = "", bool waitIdle = true);

// Ends a process that need not be a child of this one (a guest a dock
// launched); nothing when it cannot be opened.
void EndProcess(DWORD pid);
// Ends every sample guest with a window on this display. The tests own the
// display (their own Wine session), so no later dock adopts a leftover.
void EndSampleGuests();

// A fresh folder with Holvane.exe and the named sample guests copied into
// it ("TrelvoxOne.exe", ...); a copy that fails fails the test.
std::string MakeInstall(const std::string& tag, const std::vector<std::string>& guests = {});

// A sample guest running from a fresh install of its own (Holvane.exe
// beside it); Start fails the test when it or its window does not come up.
struct InstalledGuest {
    std::string dir;
    std::unique_ptr<Process> proc;
    HWND wnd = nullptr;
    void Start(const std::string& tag, const std::string& exe, const char* caption);
};

bool WaitUntil(const std::function<bool()>& pred, DWORD ms, DWORD stepMs = 50);
// Like WaitUntil, but dispatches this thread's messages while waiting.
bool PumpUntil(const std::function<bool()>& pred, DWORD ms);
void PumpFor(DWORD ms);

std::string WindowText(HWND h);
std::string ClassName(HWND h);
DWORD WindowPid(HWND h);
// First top-level window of the process (with the caption, when given).
HWND FindTopWindow(DWORD pid, const char* caption = nullptr, bool visibleOnly = false);
std::vector<HWND> TopWindows();
HWND WaitTopWindow(DWORD pid, const char* caption, DWORD ms, bool visibleOnly = false);
// The dock window of a running Holvane.exe.
HWND WaitDock(DWORD pid, DWORD ms = 10000);
bool IsTopMost(HWND h);
RECT WindowRect(HWND h);
RECT ClientRectOnScreen(HWND h);
// A guest window with its caption and system menu taken by a dock.
bool Docked(HWND guest);
// Every guest docked and lying exactly over the client area of one of the
// dock's frames, the frames in their slots under the buttons. Only then is
// the dock done with adopting and laying them out: a guest's style changes
// before its frame joins the stack.
bool Settled(HWND dock, const std::vector<HWND>& guests);

// Lines of a sample guest's log beside its executable, without line ends.
std::vector<std::string> GuestLog(const std::string& dir, const std::string& baseName);
// Log lines of one guest process whose first word is in the list, the
// pid field dropped ("OPEN", "QUIT", ...).
std::vector<std::string> GuestEvents(const std::string& dir, const std::string& baseName, DWORD pid);


// Standard output of this process goes to a file while the object lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    std::string Text();
    std::string path;
};

// Runs a dock window in this process: DoModal, then body inside its modal
// loop once OnInitDialog is done; the dock ends after body returns.
void RunDock(const std::function<void(CHolvaneDlg&)>& body, bool show = true);

// Saves a picture of the whole virtual display (for the README).
bool Screenshot(const std::string& windowsPath);

} // namespace ts
