#include "CWinApp.h"
#include <mbctype.h>
#include <mbstring.h>
#include <commctrl.h>

namespace {
CWinApp* g_pApp = nullptr;

CString TitleFromModule(HINSTANCE hInst)
{
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(hInst, path, MAX_PATH);
    unsigned char* p = reinterpret_cast<unsigned char*>(path);
    unsigned char* slash = _mbsrchr(p, '\\');
    unsigned char* name = slash ? slash + 1 : p;
    unsigned char* dot = _mbsrchr(name, '.');
    if (dot)
        *dot = 0;
    return CString(reinterpret_cast<char*>(name));
}
} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    AfxInitMultibyte();
    g_pApp = this;
    if (lpszAppName) {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName;
    }
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

int CWinApp::Run()
{
    if (!m_pMainWnd)
        ::PostQuitMessage(0);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return g_pApp; }
CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

void AfxEnableControlContainer() {}

void AfxInitMultibyte()
{
    // Multibyte searches and comparisons work in the system's ANSI code page
    // (932 on a Japanese system), whatever the runtime chose at load.
    _setmbcp(_MB_CP_ANSI);
}

int AfxWinMain(HINSTANCE hInstance)
{
    AfxInitMultibyte();
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    if (app->m_strAppName.IsEmpty())
        app->m_strAppName = TitleFromModule(hInstance);
    app->m_pszAppName = app->m_strAppName;
    // The SysLink class lives in the common controls that the manifest binds.
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LINK_CLASS | ICC_STANDARD_CLASSES };
    ::InitCommonControlsEx(&icc);
    if (!app->InitInstance())
        return 0;
    return app->Run();
}

UINT AfxMessageBoxType(UINT nType)
{
    if ((nType & MB_ICONMASK) == 0) {
        UINT t = nType & MB_TYPEMASK;
        if (t == MB_OK || t == MB_OKCANCEL)
            nType |= MB_ICONEXCLAMATION;
    }
    return nType;
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT)
{
    nType = AfxMessageBoxType(nType);
    CWnd* pMain = AfxGetMainWnd();
    HWND hOwner = pMain ? pMain->m_hWnd : nullptr;
    CString title;
    if (g_pApp && g_pApp->m_pszAppName)
        title = g_pApp->m_pszAppName;
    else
        title = TitleFromModule(nullptr);
    return ::MessageBoxA(hOwner, lpszText, title, nType);
}
