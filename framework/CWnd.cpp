#include "CWnd.h"
#include "CDataExchange.h"
#include "CMenu.h"
#include "CWinApp.h"

namespace {
// Windows subclassed by the framework. One GUI thread: no lock.
std::map<HWND, CWnd*>& PermanentMap()
{
    static std::map<HWND, CWnd*> map;
    return map;
}
MSG g_currentMsg;
bool g_haveCurrentMsg = false;
CWnd* g_pWndInit = nullptr;
HHOOK g_hHookCbt = nullptr;

LRESULT CALLBACK CbtFilterHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && g_pWndInit) {
        CWnd* pWnd = g_pWndInit;
        g_pWndInit = nullptr;
        pWnd->Subclass(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(g_hHookCbt, code, wParam, lParam);
}
} // namespace

const CWnd CWnd::wndTop(PseudoTag(), HWND_TOP);
const CWnd CWnd::wndBottom(PseudoTag(), HWND_BOTTOM);
const CWnd CWnd::wndTopMost(PseudoTag(), HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(PseudoTag(), HWND_NOTOPMOST);

CWnd::~CWnd()
{
    // Pseudo windows hold constants, not handles.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        HWND h = m_hWnd;
        ::DestroyWindow(h);
        if (FromHandlePermanent(h) == this)
            Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto it = PermanentMap().find(hWnd);
    return it == PermanentMap().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandleTemp(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd))
        return p;
    std::unique_ptr<CWnd>& slot = m_temps[hWnd];
    if (!slot) {
        slot.reset(new CWnd);
        slot->m_hWnd = hWnd;
    }
    return slot.get();
}

void CWnd::Attach(HWND hWnd)
{
    m_hWnd = hWnd;
    PermanentMap()[hWnd] = this;
}

void CWnd::Detach()
{
    if (m_hWnd)
        PermanentMap().erase(m_hWnd);
    m_hWnd = nullptr;
}

void CWnd::Subclass(HWND hWnd)
{
    Attach(hWnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
}

void AfxHookWindowCreate(CWnd* pWnd)
{
    if (!g_hHookCbt)
        g_hHookCbt = ::SetWindowsHookExA(WH_CBT, CbtFilterHook, nullptr, ::GetCurrentThreadId());
    g_pWndInit = pWnd;
}

void AfxUnhookWindowCreate()
{
    g_pWndInit = nullptr;
    if (g_hHookCbt) {
        ::UnhookWindowsHookEx(g_hHookCbt);
        g_hHookCbt = nullptr;
    }
}

const MSG* AfxGetCurrentMessage()
{
    return g_haveCurrentMsg ? &g_currentMsg : nullptr;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    // Nested sends replace the current message for their duration.
    MSG saved = g_currentMsg;
    bool hadSaved = g_haveCurrentMsg;
    g_currentMsg.hwnd = hWnd;
    g_currentMsg.message = message;
    g_currentMsg.wParam = wParam;
    g_currentMsg.lParam = lParam;
    g_haveCurrentMsg = true;

    LRESULT result;
    if (message == WM_NCDESTROY) {
        result = pWnd->WindowProc(message, wParam, lParam);
        WNDPROC super = pWnd->m_pfnSuper;
        if (super && reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == &AfxWndProc)
            ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        pWnd->Detach();
        pWnd->m_temps.clear();
        pWnd->m_sysMenu.reset();
        if (CWinApp* app = AfxGetApp())
            if (app->m_pMainWnd == pWnd)
                app->m_pMainWnd = nullptr;
        pWnd->PostNcDestroy();
    } else {
        result = pWnd->WindowProc(message, wParam, lParam);
    }

    g_currentMsg = saved;
    g_haveCurrentMsg = hadSaved;
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const MsgMapEntry* e = FindMsgMapEntry(GetMessageMap(), message, wParam, lParam);
    if (!e)
        return FALSE;
    LRESULT r = 0;
    e->pfn(this, message, wParam, lParam, &r);
    if (pResult)
        *pResult = r;
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const MSG* m = AfxGetCurrentMessage();
    if (!m)
        return 0;
    return DefWindowProc(m->message, m->wParam, m->lParam);
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT)
{
    return reinterpret_cast<HBRUSH>(Default());
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::CenterWindow(CWnd* pAlternateOwner)
{
    RECT rcDlg;
    ::GetWindowRect(m_hWnd, &rcDlg);
    HWND hCenter = pAlternateOwner ? pAlternateOwner->m_hWnd : nullptr;
    if (!hCenter) {
        DWORD style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
        hCenter = (style & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
    }
    RECT rcArea;
    MONITORINFO mi = { sizeof(mi), {}, {}, 0 };
    HMONITOR mon = ::MonitorFromWindow(hCenter ? hCenter : m_hWnd, MONITOR_DEFAULTTONEAREST);
    ::GetMonitorInfoA(mon, &mi);
    rcArea = mi.rcWork;
    RECT rcCenter = rcArea;
    if (hCenter && ::IsWindowVisible(hCenter) && !::IsIconic(hCenter))
        ::GetWindowRect(hCenter, &rcCenter);
    int w = rcDlg.right - rcDlg.left, h = rcDlg.bottom - rcDlg.top;
    int x = (rcCenter.left + rcCenter.right) / 2 - w / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - h / 2;
    // Keep the window on its work area.
    if (x + w > rcArea.right) x = rcArea.right - w;
    if (x < rcArea.left) x = rcArea.left;
    if (y + h > rcArea.bottom) y = rcArea.bottom - h;
    if (y < rcArea.top) y = rcArea.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert)
{
    HMENU h = ::GetSystemMenu(m_hWnd, bRevert);
    if (!h)
        return nullptr;
    if (!m_sysMenu)
        m_sysMenu.reset(new CMenu);
    m_sysMenu->AttachBorrowed(h);
    return m_sysMenu.get();
}

CWnd* CWnd::GetDlgItem(int nID)
{
    return FromHandleTemp(::GetDlgItem(m_hWnd, nID));
}

void CWnd::ClientToScreen(LPRECT lpRect) const
{
    ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(lpRect));
    ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(lpRect) + 1);
}

void CWnd::GetWindowText(CString& rString) const
{
    int n = ::GetWindowTextLengthA(m_hWnd);
    std::string buf(n + 1, '\0');
    ::GetWindowTextA(m_hWnd, &buf[0], n + 1);
    rString = buf.c_str();
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}
