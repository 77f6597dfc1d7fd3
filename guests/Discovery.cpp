// Finding guest windows among the top-level windows and docking them.
#include "dock/HolvaneDlg.h"
#include "guests/GuestTable.h"
#include <string.h>

BOOL CALLBACK CHolvaneDlg::EnumTopWindowProc(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<CHolvaneDlg*>(lParam)->m_topWindows.push_back(hWnd);
    return TRUE;
}

void CHolvaneDlg::ScanWindows()
{
    m_topWindows.clear();
    ::EnumWindows(EnumTopWindowProc, reinterpret_cast<LPARAM>(this));
    BeginRun();
    for (size_t i = 0; i < m_topWindows.size(); ++i)
        TryAttach(m_topWindows[i]);
    EndRun();
}

void CHolvaneDlg::TryAttach(HWND hWnd)
{
    if (hWnd == m_hWnd)
        return;
    if (!::IsWindow(hWnd))
        return;
    if (!::IsWindowVisible(hWnd))
        return;
    char caption[256];
    memset(caption, 0, sizeof(caption));
    ::GetWindowTextA(hWnd, caption, 256);
    if (caption[0] == '\0')
        return;
    // The process is asked only when the caption could make a match: the
    // answer could not change the outcome otherwise, and it is the costly
    // part of a scan.
    if (!CaptionMayMatch(m_guests, caption))
        return;

    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    CString strBase;
    RunBaseName(pid, strBase);

    int nIndex = MatchGuest(m_guests, strBase, caption);
    if (nIndex < 0)
        return;
    CTrelvoxObj& guest = m_guests[nIndex];
    guest.m_bAttached = TRUE;
    CString strPath;
    GetProcessFullPath(pid, strPath);
    // The process may have ended since its name was read: keep the path
    // already remembered rather than wiping it.
    if (!strPath.IsEmpty())
        guest.SetExePath(strPath);
    AttachWindow(nIndex, hWnd);
}
