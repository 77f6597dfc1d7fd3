// The dock's icon in the notification area.
#include "dock/HolvaneDlg.h"
#include "docking/BaseDlg.h"
#include <stddef.h>
#include "app/Trace.h"
#include <stdio.h>
#include <string.h>

static_assert(offsetof(NOTIFYICONDATAA, guidItem) + sizeof(GUID) == kNotifyIconDataSize,
              "the icon data ends with guidItem");

UINT g_uTaskbarCreated = 0;
BOOL (WINAPI* g_pfnShellNotifyIcon)(DWORD, PNOTIFYICONDATAA) = ::Shell_NotifyIconA;
void (WINAPI* g_pfnRetrySleep)(DWORD) = ::Sleep;

void CHolvaneDlg::InitNotifyIcon()
{
    memset(&m_nid, 0, sizeof(m_nid));
    m_hWndNotify = m_hWnd;
    m_nid.hWnd = m_hWnd;
    m_nid.uID = 0;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = WM_TRAYNOTIFY;
    m_nid.hIcon = m_hIcon;
    m_nid.cbSize = kNotifyIconDataSize;
    lstrcpynA(m_nid.szTip, "Holvane", sizeof(m_nid.szTip));
}

void CHolvaneDlg::AddNotifyIcon()
{
    if (g_pfnShellNotifyIcon(NIM_ADD, &m_nid))
        return;
    // A shell that keeps timing out must not freeze the dock: after a few
    // retries the icon is left to the periodic refresh.
    for (int retries = 0;; ++retries) {
        DWORD err = ::GetLastError();
        if (err != ERROR_TIMEOUT || retries >= kMaxNotifyRetries) {
            Trace("通知領域にアイコンを登録できませんでした。 err=%d\n", (int)err);
            return;
        }
        if (g_pfnShellNotifyIcon(NIM_MODIFY, &m_nid))
            return;
        g_pfnRetrySleep(1000);
        if (g_pfnShellNotifyIcon(NIM_ADD, &m_nid))
            return;
    }
}

LRESULT CHolvaneDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        g_uTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    } else if (message == WM_TRAYNOTIFY) {
        switch (lParam) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            return 0;
        case WM_LBUTTONDBLCLK:
            ShowFromTray();
            return 0;
        case WM_RBUTTONUP:
            ShowTrayMenu();
            return 0;
        default:
            break;
        }
    }
    if (g_uTaskbarCreated != 0 && message == g_uTaskbarCreated)
        AddNotifyIcon();
    return CDialog::WindowProc(message, wParam, lParam);
}

void CHolvaneDlg::ShowFromTray()
{
    ShowDock(TRUE);
    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    OnEveryFrame([](CBaseDlg* f) { f->ShowGuest(); });
    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CHolvaneDlg::ShowTrayMenu()
{
    SetForegroundWindow();
    POINT pt;
    ::GetCursorPos(&pt);
    CMenu menu;
    if (!menu.LoadMenu(IDR_TRAYMENU))
        return;
    if (CMenu* pPopup = menu.GetSubMenu(0))
        pPopup->TrackPopupMenu(0, pt.x, pt.y, this);
    menu.DestroyMenu();
}
