// The periodic hang test of watched windows under the cursor.
#include "dock/HolvaneDlg.h"
#include "watchdog/WatchFilter.h"
#include "app/Trace.h"
#include <stdio.h>
#include <string.h>

void CHolvaneDlg::OnWatchTimer()
{
    KillTimer(TIMER_WATCH);
    m_watch.clear();
    BeginRun();
    ::EnumWindows(EnumWatchWindowProc, reinterpret_cast<LPARAM>(this));
    EndRun();
    for (size_t i = 0; i < m_watch.size(); ++i) {
        HWND h = m_watch[i].hWnd;
        if (IsHungUnderCursor(h))
            ForegroundIfUnderCursor(h);
    }
    SetTimer(TIMER_WATCH, m_nWatchInterval, nullptr);
}

BOOL CALLBACK CHolvaneDlg::EnumWatchWindowProc(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<CHolvaneDlg*>(lParam)->CollectWatchWindow(hWnd);
    return TRUE;
}

void CHolvaneDlg::CollectWatchWindow(HWND hWnd)
{
    if (hWnd == m_hWnd)
        return;
    if (!::IsWindow(hWnd) || !::IsWindowVisible(hWnd))
        return;
    char caption[256];
    memset(caption, 0, sizeof(caption));
    ::GetWindowTextA(hWnd, caption, 256);
    if (caption[0] == '\0')
        return;
    // The style and rectangle tests come before the process queries, and the
    // name before the path: the outcome is the same, and a window rejected
    // early costs no query.
    WindowFacts facts;
    facts.bVisible = TRUE;
    facts.pszCaption = caption;
    facts.pszBaseName = nullptr;
    facts.dwStyle = static_cast<DWORD>(::GetWindowLongA(hWnd, GWL_STYLE));
    RECT rc = {};
    ::GetWindowRect(hWnd, &rc);
    facts.rcWindow = rc;
    if (!PassesWatchStyle(facts))
        return;

    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    CString strBase, strPath;
    RunBaseName(pid, strBase);
    facts.pszBaseName = strBase;
    if (!IsWatchedWindow(facts))
        return;
    RunFullPath(pid, strPath);

    WatchEntry e;
    e.strTitle = caption;
    e.strExeName = strBase;
    e.strExePath = strPath;
    e.hWnd = hWnd;
    e.dwProcessId = pid;
    m_watch.push_back(e);
}

BOOL CHolvaneDlg::IsHungUnderCursor(HWND hWnd)
{
    POINT pt;
    ::GetCursorPos(&pt);
    RECT rc = {};
    ::GetWindowRect(hWnd, &rc);
    if (!::PtInRect(&rc, pt))
        return FALSE;
    DWORD start = ::GetTickCount();
    DWORD_PTR result = 0;
    LRESULT ret = ::SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                        static_cast<UINT>(m_nHangTimeout), &result);
    DWORD err = ::GetLastError();
    Trace("LRESUST ret= %d, Time=%d\n", (int)ret, (int)(::GetTickCount() - start));
    if (ret != 0)
        return FALSE;
    if (err != ERROR_TIMEOUT)
        return FALSE;
    Trace("TIMEOUT DETECT!\n");
    return TRUE;
}

void CHolvaneDlg::ForegroundIfUnderCursor(HWND hWnd)
{
    POINT pt;
    ::GetCursorPos(&pt);
    RECT rc = {};
    ::GetWindowRect(hWnd, &rc);
    if (!::PtInRect(&rc, pt))
        return;
    SetForegroundWindow();
    Trace("SetForegroundWindow()\n");
}
