// A window handle with a message map. Windows that the framework creates
// (dialogs) are subclassed so that WindowProc sees every message first.
#pragma once
#include "CCmdTarget.h"
#include "CString.h"
#include "CDC.h"
#include <map>
#include <commctrl.h>
#include <memory>

class CDC;
#include "CMenu.h"
class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() {}
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }

    // Pseudo windows for SetWindowPos's insert-after argument.
    static const CWnd wndTop, wndBottom, wndTopMost, wndNoTopMost;

    // A wrapper of a window the framework does not own; valid while this
    // window lives.
    CWnd* FromHandleTemp(HWND hWnd);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Map dispatch: TRUE when an entry handled the message.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The window's own procedure from before the framework subclassed it.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Gives the message being handled right now to the default processing.
    LRESULT Default();
    virtual void PostNcDestroy() {}
    virtual void DoDataExchange(CDataExchange*) {}
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Thin wrappers.
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
    { return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr, x, y, cx, cy, nFlags); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    void CenterWindow(CWnd* pAlternateOwner = nullptr);
    CMenu* GetSystemMenu(BOOL bRevert);
    CWnd* GetDlgItem(int nID);
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfn) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfn); }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint = TRUE) { ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint); }
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void ClientToScreen(LPRECT lpRect) const;
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageA(m_hWnd, message, wParam, lParam); }
    void SetWindowText(LPCSTR psz) { ::SetWindowTextA(m_hWnd, psz); }
    void GetWindowText(CString& rString) const;
    BOOL DestroyWindow();

    // Used by the window procedure of the framework.
    static CWnd* FromHandlePermanent(HWND hWnd);
    void Attach(HWND hWnd);
    void Detach();
    void Subclass(HWND hWnd);

protected:
    WNDPROC m_pfnSuper = nullptr;

private:
    struct PseudoTag {};
    CWnd(PseudoTag, HWND h) : m_hWnd(h) {}
    std::map<HWND, std::unique_ptr<CWnd>> m_temps;
    std::unique_ptr<CMenu> m_sysMenu;
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The message the GUI thread is handling now, as seen by AfxWndProc.
const MSG* AfxGetCurrentMessage();

// Subclasses the next window created on this thread (before WM_NCCREATE
// reaches it), so that WindowProc sees WM_CREATE.
void AfxHookWindowCreate(CWnd* pWnd);
void AfxUnhookWindowCreate();

#define ON_WM_SYSCOMMAND()  AFX_ENTRY(WM_SYSCOMMAND, 0, 0, AFX_T(OnSysCommand(static_cast<UINT>(w), l)))
#define ON_WM_PAINT()       AFX_ENTRY(WM_PAINT, 0, 0, AFX_T(OnPaint()))
#define ON_WM_QUERYDRAGICON() AFX_ENTRY(WM_QUERYDRAGICON, 0, 0, *r = reinterpret_cast<LRESULT>(AFX_T(OnQueryDragIcon())))
#define ON_WM_TIMER()       AFX_ENTRY(WM_TIMER, 0, 0, AFX_T(OnTimer(static_cast<UINT_PTR>(w))))
#define ON_WM_MOVE()        AFX_ENTRY(WM_MOVE, 0, 0, AFX_T(OnMove(static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)))))
#define ON_WM_LBUTTONDOWN() AFX_ENTRY(WM_LBUTTONDOWN, 0, 0, POINT p = { static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)) }; AFX_T(OnLButtonDown(static_cast<UINT>(w), p)))
#define ON_WM_LBUTTONUP()   AFX_ENTRY(WM_LBUTTONUP, 0, 0, POINT p = { static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)) }; AFX_T(OnLButtonUp(static_cast<UINT>(w), p)))
#define ON_WM_CLOSE()       AFX_ENTRY(WM_CLOSE, 0, 0, AFX_T(OnClose()))
#define ON_WM_WINDOWPOSCHANGING() AFX_ENTRY(WM_WINDOWPOSCHANGING, 0, 0, AFX_T(OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(l))))
#define ON_WM_CTLCOLOR()    AFX_ENTRY(WM_CTLCOLORMSGBOX, 0, 0, CDC dc(reinterpret_cast<HDC>(w)); \
        *r = reinterpret_cast<LRESULT>(AFX_T(OnCtlColor(&dc, AFX_T(FromHandleTemp(reinterpret_cast<HWND>(l))), m - WM_CTLCOLORMSGBOX))))

