#include "CDialog.h"
#include "CWinApp.h"
#include <vector>

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    AFX_ENTRY(WM_COMMAND, 0, IDOK, AFX_T(OnOK()))
    AFX_ENTRY(WM_COMMAND, 0, IDCANCEL, AFX_T(OnCancel()))
END_MESSAGE_MAP()

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM)
{
    // Everything else has passed the message map already; returning FALSE
    // lets the dialog manager do its own processing.
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDlg = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hWnd));
    return pDlg ? pDlg->OnInitDialog() : TRUE;
}

namespace {
// A modal dialog loses WS_VISIBLE: its loop shows it once idle.
std::vector<BYTE> LoadTemplate(UINT nID, bool bStripVisible)
{
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = ::FindResourceA(hInst, MAKEINTRESOURCEA(nID), reinterpret_cast<LPCSTR>(RT_DIALOG));
    if (!hRes)
        return {};
    HGLOBAL hMem = ::LoadResource(hInst, hRes);
    const BYTE* p = static_cast<const BYTE*>(::LockResource(hMem));
    DWORD n = ::SizeofResource(hInst, hRes);
    if (!p || n < sizeof(DLGTEMPLATE))
        return {};
    std::vector<BYTE> t(p, p + n);
    // The style sits after the signature and help id of an extended template.
    bool ex = reinterpret_cast<const WORD*>(t.data())[1] == 0xFFFF;
    DWORD* pStyle = reinterpret_cast<DWORD*>(t.data() + (ex ? 12 : 0));
    if (bStripVisible)
        *pStyle &= ~WS_VISIBLE;
    return t;
}
} // namespace

BOOL CDialog::CreateIndirect(const DLGTEMPLATE* pTemplate, HWND hParent)
{
    AfxHookWindowCreate(this);
    HWND h = ::CreateDialogIndirectParamA(AfxGetResourceHandle(), pTemplate, hParent, AfxDlgProc, 0);
    AfxUnhookWindowCreate();
    if (!h) {
        if (m_hWnd)
            Detach();
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_nIDTemplate = nIDTemplate;
    if (pParentWnd)
        m_pParentWnd = pParentWnd;
    std::vector<BYTE> t = LoadTemplate(nIDTemplate, false);
    if (t.empty())
        return FALSE;
    m_bModal = false;
    return CreateIndirect(reinterpret_cast<const DLGTEMPLATE*>(t.data()),
                          m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr);
}

INT_PTR CDialog::DoModal()
{
    std::vector<BYTE> t = LoadTemplate(m_nIDTemplate, true);
    if (t.empty())
        return -1;

    // Owner: the given parent, else the main window; disabled while the
    // dialog runs.
    HWND hOwner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!hOwner) {
        CWnd* pMain = AfxGetMainWnd();
        if (pMain && pMain != this)
            hOwner = pMain->m_hWnd;
    }
    if (hOwner)
        hOwner = ::GetAncestor(hOwner, GA_ROOT);
    bool bEnableOwner = false;
    if (hOwner && ::IsWindowEnabled(hOwner)) {
        ::EnableWindow(hOwner, FALSE);
        bEnableOwner = true;
    }

    m_bModal = true;
    m_bEnded = false;
    m_nModalResult = -1;
    if (CreateIndirect(reinterpret_cast<const DLGTEMPLATE*>(t.data()), hOwner)) {
        if (!m_bEnded)
            RunModalLoop();
        if (m_hWnd)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (bEnableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (hOwner && m_hWnd && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hOwner);
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
    m_bModal = false;
    return m_nModalResult;
}

int CDialog::RunModalLoop()
{
    bool bIdle = true;
    bool bShown = false;
    MSG msg;
    for (;;) {
        // The window is shown once the queue first runs dry, after
        // OnInitDialog and everything it posted.
        while (bIdle && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!bShown) {
                ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
                bShown = true;
            }
            bIdle = false;
        }
        do {
            if (!::GetMessageA(&msg, nullptr, 0, 0)) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return m_nModalResult;
            }
            if (!m_hWnd || !::IsDialogMessageA(m_hWnd, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
            if (m_bEnded || !m_hWnd)
                return m_nModalResult;
            if (msg.message != WM_PAINT && msg.message != 0x0118 /* WM_SYSTIMER */ &&
                msg.message != WM_TIMER && msg.message != WM_MOUSEMOVE)
                bIdle = true;
        } while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
        if (!bShown)
            bIdle = true;
    }
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int nResult)
{
    if (m_bModal) {
        m_nModalResult = nResult;
        m_bEnded = true;
        // Wakes the modal loop if it is waiting.
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, nResult);
    }
}
