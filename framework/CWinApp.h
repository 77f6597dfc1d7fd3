// The one application object; AfxWinMain runs it.
#pragma once
#include "CWnd.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    // Message loop; without a main window it ends at once with code 0.
    virtual int Run();
    void OnHelp() {}

    CWnd* m_pMainWnd = nullptr;
    LPCSTR m_pszAppName = nullptr; // the executable's name without extension
    HINSTANCE m_hInstance = nullptr;

private:
    CString m_strAppName;
    friend int AfxWinMain(HINSTANCE);
    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxEnableControlContainer();
void AfxInitMultibyte();
int AfxWinMain(HINSTANCE hInstance);
// Message box owned by the main window, captioned with the application
// title; MB_OK and MB_OKCANCEL boxes get the exclamation icon.
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
UINT AfxMessageBoxType(UINT nType);
