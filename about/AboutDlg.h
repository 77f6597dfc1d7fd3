// The About box: product word, version label and the home-page link.
#pragma once
#include "Framework.h"
#include "resource.h"

// The maker's home page, opened by both links.
extern const char kHomePageUrl[];
// The shell call of the links; a seam so tests can see the call.
extern HINSTANCE (WINAPI* g_pfnShellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

// Shared by the About box's link and the dock's link.
void OpenHomePage(CWnd* pDlg, LRESULT* pResult);

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    enum { IDD = IDD_ABOUTBOX };

    CString m_strVersion;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnNMClickLink(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()
};
