#include "dock/HolvaneDlg.h"
#include "about/AboutDlg.h"
#include "app/Startup.h"
#include "docking/BaseDlg.h"
#include "app/Trace.h"
#include <stdio.h>

BEGIN_MESSAGE_MAP(CHolvaneDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_SEARCH, OnBnClickedSearch)
    ON_WM_MOVE()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_COMMAND(ID_TRAY_EXIT, OnTrayExit)
    ON_COMMAND(ID_TRAY_SHOWMAIN, OnTrayShowMain)
    ON_WM_CLOSE()
    ON_BN_CLICKED(IDC_OPEN, OnBnClickedOpen)
    ON_BN_CLICKED(IDC_CLOSE, OnBnClickedClose)
    ON_BN_CLICKED(IDC_SELECT, OnBnClickedSelect)
    ON_NOTIFY(NM_CLICK, IDC_LINK, OnNMClickLink)
    ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

CHolvaneDlg::CHolvaneDlg(CWnd* pParent)
    : CDialog(IDD_MAIN, pParent), m_nid(), m_hWndNotify(nullptr), m_bShown(FALSE),
      m_nRunDepth(0), m_hPsapi(::LoadLibraryA("psapi"))
{
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    char dir[261] = {};
    DWORD n = ::GetCurrentDirectoryA(261, dir);
    if (n == 0 || n >= 261)
        dir[0] = '\0';
    m_strDir = dir;
    m_strIniPath = m_strDir + "\\" + "Holvane.ini";
}

CHolvaneDlg::~CHolvaneDlg()
{
    m_watch.clear();
    m_topWindows.clear();
    m_frames.clear();
    m_guests.clear();
    if (m_hPsapi)
        ::FreeLibrary(m_hPsapi);
}

BOOL CHolvaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (CMenu* pSysMenu = GetSystemMenu(FALSE)) {
        char text[256] = {};
        ::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, text, sizeof(text));
        if (text[0]) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, text);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    InitGuestTable();
    SetColorKey();
    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowDock(TRUE);
    InitNotifyIcon();
    AddNotifyIcon();
    CenterWindow();
    ScanWindows();
    LaunchMissingGuests();
    SetTimer(TIMER_SCAN, 1000, nullptr);
    SetTimer(TIMER_TRAY, 5000, nullptr);
    m_nWatchInterval = 2000;
    m_nHangTimeout = 2000;
    SetTimer(TIMER_WATCH, 100, nullptr);
    if (!g_bShowMode)
        OnOK();
    return TRUE;
}

void CHolvaneDlg::ShowDock(BOOL bShow)
{
    m_bShown = bShow;
    ShowWindow(bShow ? SW_SHOW : SW_HIDE);
    if (bShow)
        ShowWindow(SW_SHOWNORMAL);
}

void CHolvaneDlg::SetColorKey()
{
    LONG ex = ::GetWindowLongA(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongA(m_hWnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, RGB(255, 0, 0), 0, LWA_COLORKEY);
}

void CHolvaneDlg::OnOK()
{
    ShowDock(FALSE);
    OnEveryFrame([](CBaseDlg* f) { f->HideGuest(); });
}

void CHolvaneDlg::OnCancel()
{
    OnOK();
}

void CHolvaneDlg::OnClose()
{
    Default();
}

void CHolvaneDlg::OnWindowPosChanging(WINDOWPOS* lpwndpos)
{
    Default();
    // Only ShowDock may make the dock visible.
    if (m_bShown)
        lpwndpos->flags |= SWP_SHOWWINDOW;
    else
        lpwndpos->flags &= ~SWP_SHOWWINDOW;
}

void CHolvaneDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    (void)lParam;
    UINT cmd = nID & 0xFFF0;
    if (cmd == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
        OnEveryFrame([](CBaseDlg* f) { f->ShowGuest(); });
    } else if (cmd == SC_MOVE) {
        Trace("CHolvaneDlg::OnSysCommand():SC_MOVE Start\n");
        OnEveryFrame([](CBaseDlg* f) {
            f->m_bDockMoving = 1;
            f->InvalidateRect(nullptr, TRUE);
        });
        Default();
        Trace("CHolvaneDlg::OnSysCommand():SC_MOVE End\n");
        OnEveryFrame([this](CBaseDlg* f) {
            f->m_bDockMoving = 0;
            f->InvalidateRect(nullptr, TRUE);
            f->m_pDock = this;
            f->OnMove(0, 0);
        });
    } else {
        Trace("CHolvaneDlg::OnSysCommand():Start value=%d\n", nID);
        Default();
        Trace("CHolvaneDlg::OnSysCommand():End value=%d\n", nID);
    }
}

void CHolvaneDlg::OnTimer(UINT_PTR nIDEvent)
{
    switch (nIDEvent) {
    case TIMER_SCAN:
        if (CWnd* pSearch = GetDlgItem(IDC_SEARCH)) {
            if (!pSearch->IsWindowEnabled())
                ScanWindows();
        } else {
            ScanWindows();
        }
        break;
    case TIMER_TRAY:
        if (!g_pfnShellNotifyIcon(NIM_MODIFY, &m_nid))
            AddNotifyIcon();
        break;
    case TIMER_WATCH:
        OnWatchTimer();
        break;
    }
    Default();
}

void CHolvaneDlg::OnBnClickedSearch()
{
    ScanWindows();
}

void CHolvaneDlg::OnBnClickedOpen()
{
    OnEveryFrame([](CBaseDlg* f) { f->PostOpen(); });
    OnEveryFrame([](CBaseDlg* f) { f->ShowGuest(); });
}

void CHolvaneDlg::OnBnClickedClose()
{
    OnEveryFrame([](CBaseDlg* f) { f->PostClose(); });
    OnEveryFrame([](CBaseDlg* f) { f->ShowGuest(); });
}

void CHolvaneDlg::OnBnClickedSelect()
{
    OnEveryFrame([](CBaseDlg* f) { f->PostSelect(); });
    OnEveryFrame([](CBaseDlg* f) { f->ShowGuest(); });
}

void CHolvaneDlg::OnTrayShowMain()
{
    ShowDock(TRUE);
    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    OnEveryFrame([](CBaseDlg* f) { f->ShowGuest(); });
}

void CHolvaneDlg::OnTrayExit()
{
    OnEveryFrame([](CBaseDlg* f) { f->SendQuit(); });
    CDialog::OnOK();
}

void CHolvaneDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        int cxIcon = ::GetSystemMetrics(SM_CXICON);
        int cyIcon = ::GetSystemMetrics(SM_CYICON);
        RECT rect;
        GetClientRect(&rect);
        int x = (rect.right - rect.left - cxIcon + 1) / 2;
        int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CHolvaneDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CHolvaneDlg::OnLButtonDown(UINT, POINT point)
{
    Trace("●CHolvaneDlg::OnLButtonDown() x=%d, y=%d\n", (int)point.x, (int)point.y);
    Default();
}

void CHolvaneDlg::OnLButtonUp(UINT, POINT point)
{
    Trace("■CHolvaneDlg::OnLButtonUp() x=%d, y=%d\n", (int)point.x, (int)point.y);
    Default();
}

void CHolvaneDlg::OnNMClickLink(NMHDR*, LRESULT* pResult)
{
    OpenHomePage(this, pResult);
}

void CHolvaneDlg::PostNcDestroy()
{
    for (size_t i = 0; i < m_frames.size(); ++i)
        delete m_frames[i];
    m_frames.clear();

    NOTIFYICONDATAA nid = {};
    nid.cbSize = kNotifyIconDataSize;
    nid.hWnd = m_hWndNotify;
    nid.uID = 0;
    nid.uFlags = 0;
    g_pfnShellNotifyIcon(NIM_DELETE, &nid);

    CDialog::PostNcDestroy();
}
