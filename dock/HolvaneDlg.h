// The dock window: the program's main dialog and the owner of all its
// run-time state.
#pragma once
#include "Framework.h"
#include "resource.h"
#include "guests/GuestMessages.h"
#include "guests/TrelvoxObj.h"
#include "watchdog/WatchEntry.h"
#include <shellapi.h>
#include <map>
#include <vector>

class CBaseDlg;

enum {
    TIMER_SCAN = 101,
    TIMER_TRAY = 102,
    TIMER_WATCH = 103,
};

// The notification icon data in the layout that ends with guidItem.
const DWORD kNotifyIconDataSize = 504;

// Seams for the shell and the sleep of the icon's retry, so that tests can
// make the shell answer ERROR_TIMEOUT, which the real one never does here.
extern BOOL (WINAPI* g_pfnShellNotifyIcon)(DWORD, PNOTIFYICONDATAA);
extern void (WINAPI* g_pfnRetrySleep)(DWORD);
// Most ERROR_TIMEOUT retries one AddNotifyIcon makes (one second each).
const int kMaxNotifyRetries = 3;

extern UINT g_uTaskbarCreated;

class CHolvaneDlg : public CDialog {
public:
    explicit CHolvaneDlg(CWnd* pParent = nullptr);
    ~CHolvaneDlg() override;
    enum { IDD = IDD_MAIN };

    // Dock window.
    void ShowDock(BOOL bShow);
    void SetColorKey();
    // Notification-area icon.
    void InitNotifyIcon();
    void AddNotifyIcon();
    // Guest table and launching.
    void InitGuestTable();
    // Discovery.
    void ScanWindows();
    void TryAttach(HWND hWnd);
    static BOOL CALLBACK EnumTopWindowProc(HWND hWnd, LPARAM lParam);
    // Process identity.
    void GetProcessBaseName(DWORD dwProcessId, CString& strName);
    void GetProcessFullPath(DWORD dwProcessId, CString& strPath);
    // Docking stack.
    void AttachWindow(int nIndex, HWND hWnd);
    void LayoutFrames();
    // Hang watchdog.
    void OnWatchTimer();
    static BOOL CALLBACK EnumWatchWindowProc(HWND hWnd, LPARAM lParam);
    void CollectWatchWindow(HWND hWnd);
    BOOL IsHungUnderCursor(HWND hWnd);
    void ForegroundIfUnderCursor(HWND hWnd);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR nIDEvent);
    void OnBnClickedSearch();
    void OnMove(int x, int y);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnLButtonUp(UINT nFlags, POINT point);
    void OnTrayExit();
    void OnTrayShowMain();
    void OnClose();
    void OnBnClickedOpen();
    void OnBnClickedClose();
    void OnBnClickedSelect();
    void OnNMClickLink(NMHDR* pNMHDR, LRESULT* pResult);
    void OnWindowPosChanging(WINDOWPOS* lpwndpos);

    HICON m_hIcon;
    CString m_strDir;
    CString m_strIniPath;
    std::vector<CTrelvoxObj> m_guests;
    std::vector<CBaseDlg*> m_frames;
    std::vector<HWND> m_topWindows;
    NOTIFYICONDATAA m_nid;
    HWND m_hWndNotify;
    BOOL m_bShown;
    std::vector<WatchEntry> m_watch;
    int m_nWatchInterval;
    int m_nHangTimeout;

private:
    // One scan or watchdog run asks each process once, however many windows
    // it shows; the answers are dropped when the run ends.
    struct ProcessAnswer {
        bool bHaveBase = false;
        bool bHavePath = false;
        CString strBase;
        CString strPath;
    };
    std::map<DWORD, ProcessAnswer> m_runAnswers;
    int m_nRunDepth;
    void BeginRun();
    void EndRun();
    void RunBaseName(DWORD dwProcessId, CString& strName);
    void RunFullPath(DWORD dwProcessId, CString& strPath);
    // psapi stays mapped while the dock lives: the queries' own loads and
    // frees then only count references.
    HMODULE m_hPsapi;

    void LaunchMissingGuests();
    void ShowTrayMenu();
    void ShowFromTray();
    template <class Op> void OnEveryFrame(Op op);

    DECLARE_MESSAGE_MAP()
};

// "On every frame": by index, reading the count again before each step.
template <class Op>
void CHolvaneDlg::OnEveryFrame(Op op)
{
    for (size_t i = 0; i < m_frames.size(); ++i)
        if (m_frames[i])
            op(m_frames[i]);
}
