#include "docking/BaseDlg.h"
#include "docking/StackGeometry.h"
#include "guests/GuestMessages.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CBaseDlg, CDialog)
    ON_WM_CTLCOLOR()
    ON_WM_PAINT()
    ON_WM_MOVE()
END_MESSAGE_MAP()

CBaseDlg::CBaseDlg(CWnd* pParent)
    : CDialog(IDD_FRAME, pParent), m_hWndGuest(nullptr), m_pGuest(nullptr),
      m_dwSavedStyle(0), m_dwSavedExStyle(0), m_pDock(nullptr), m_bDockMoving(0)
{
    m_brushKey.CreateSolidBrush(RGB(255, 0, 0));
    m_brushTitle.CreateSolidBrush(RGB(255, 255, 255));
}

CBaseDlg::~CBaseDlg()
{
    m_brushKey.DeleteObject();
    m_brushTitle.DeleteObject();
}

bool CBaseDlg::GuestAlive() const
{
    return m_hWndGuest != nullptr && ::IsWindow(m_hWndGuest);
}

void CBaseDlg::Attach(CTrelvoxObj* pGuest, HWND hWnd)
{
    m_hWndGuest = hWnd;
    m_pGuest = pGuest;
    AdoptGuest();
}

void CBaseDlg::AdoptGuest()
{
    if (!GuestAlive())
        return;
    if (m_pGuest)
        ::SetDlgItemTextA(m_hWnd, IDC_TITLE, m_pGuest->m_strTitle);
    RECT rc = {};
    ::GetWindowRect(m_hWndGuest, &rc);
    m_dwSavedStyle = ::GetWindowLongA(m_hWndGuest, GWL_STYLE);
    m_dwSavedExStyle = ::GetWindowLongA(m_hWndGuest, GWL_EXSTYLE);
    // Clears WS_POPUP, WS_BORDER and WS_SYSMENU: the title bar and the
    // system menu go, everything else stays.
    ::SetWindowLongA(m_hWndGuest, GWL_STYLE, m_dwSavedStyle & 0x7F77FFFF);
    ::SetWindowPos(m_hWndGuest, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    SIZE sz = FrameSizeForGuest(rc.right - rc.left, rc.bottom - rc.top);
    MoveWindow(0, 0, sz.cx, sz.cy, TRUE);
}

void CBaseDlg::ShowGuest()
{
    if (!GuestAlive())
        return;
    ::ShowWindow(m_hWndGuest, SW_SHOW);
    ::SetWindowPos(m_hWndGuest, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CBaseDlg::HideGuest()
{
    if (!GuestAlive())
        return;
    ::ShowWindow(m_hWndGuest, SW_HIDE);
}

void CBaseDlg::SendQuit()
{
    if (!GuestAlive())
        return;
    // A guest that never answers must not keep the dock from ending; one
    // that answers within the bound sees an ordinary sent message.
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(m_hWndGuest, WM_GUEST_QUIT, 0, 0, SMTO_NORMAL, kQuitTimeoutMs, &result);
}

void CBaseDlg::PostOpen()
{
    if (GuestAlive())
        ::PostMessageA(m_hWndGuest, WM_GUEST_OPEN, 0, 0);
}

void CBaseDlg::PostClose()
{
    if (GuestAlive())
        ::PostMessageA(m_hWndGuest, WM_GUEST_CLOSE, 0, 0);
}

void CBaseDlg::PostSelect()
{
    if (GuestAlive())
        ::PostMessageA(m_hWndGuest, WM_GUEST_SELECT, 0, 0);
}

HBRUSH CBaseDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH hbr = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    switch (nCtlColor) {
    case CTLCOLOR_BTN:
        return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    case CTLCOLOR_DLG:
        return m_brushKey;
    case CTLCOLOR_STATIC:
        if (pWnd && pWnd->GetDlgCtrlID() == IDC_TITLE) {
            pDC->SetBkMode(TRANSPARENT);
            return m_brushTitle;
        }
        return hbr;
    default:
        return hbr;
    }
}

void CBaseDlg::OnPaint()
{
    CPaintDC dc(this);
}

void CBaseDlg::OnMove(int, int)
{
    // The dock also calls this directly while it handles its own WM_MOVE or
    // SC_MOVE; those messages are not the frame's to pass on.
    const MSG* cur = AfxGetCurrentMessage();
    if (cur && cur->hwnd == m_hWnd && cur->message == WM_MOVE)
        Default();
    if (!GuestAlive())
        return;
    RECT rc;
    GetClientRect(&rc);
    ClientToScreen(&rc);
    if (m_pDock != nullptr && m_bDockMoving != 1)
        ::SetWindowPos(m_hWndGuest, HWND_TOPMOST, rc.left, rc.top, 0, 0, SWP_NOSIZE);
    else
        ::MoveWindow(m_hWndGuest, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}
