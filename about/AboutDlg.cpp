#include "about/AboutDlg.h"
#include "about/VersionLabel.h"
#include <shellapi.h>

const char kHomePageUrl[] = "https://www.marrowfield.example/toppage/";
HINSTANCE (WINAPI* g_pfnShellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = ::ShellExecuteA;

void OpenHomePage(CWnd* pDlg, LRESULT* pResult)
{
    g_pfnShellExecute(pDlg ? pDlg->m_hWnd : nullptr, "open", kHomePageUrl, nullptr, nullptr, SW_SHOWNORMAL);
    if (pResult)
        *pResult = 0;
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_NOTIFY(NM_CLICK, IDC_ABOUT_LINK, OnNMClickLink)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_VERSION, m_strVersion);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CString label = FormatVersionLabel(GetVersionString());
    m_strVersion = label;
    UpdateData(FALSE);
    return TRUE;
}

void CAboutDlg::OnNMClickLink(NMHDR*, LRESULT* pResult)
{
    OpenHomePage(this, pResult);
}
