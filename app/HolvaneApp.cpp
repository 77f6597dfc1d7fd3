#include "app/HolvaneApp.h"
#include "app/Startup.h"
#include "dock/HolvaneDlg.h"
#include "guests/MbPath.h"
#include "app/Trace.h"
#include <stdio.h>
#include <stdlib.h>

BEGIN_MESSAGE_MAP(CHolvaneApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CHolvaneApp::CHolvaneApp() : CWinApp(nullptr) {}

BOOL WINAPI ConsoleCtrlHandler(DWORD)
{
    // Ctrl+C and Ctrl+Break in the debug console must not end the dock.
    return TRUE;
}

BOOL CHolvaneApp::InitInstance()
{
    AfxEnableControlContainer();

    CString strMutex;
    strMutex.Format("%s%s", "__MARROWFIELD__", "HOLVANE");
    HANDLE hMutex = ::CreateMutexA(nullptr, TRUE, strMutex);
    if (!hMutex)
        return -1;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::MessageBoxA(nullptr, "     既に起動されています.     ", "２重起動", MB_OK);
        return -1;
    }
    // The mutex stays owned until the process ends.

    for (int i = 1; i < __argc; ++i) {
        SwitchResult r = ExamineArgument(i, __argv[i]);
        Trace("%s", (LPCSTR)r.strLines);
        if (r.bDebug)
            g_bDebugMode = 1;
        if (r.bShow)
            g_bShowMode = 1;
    }

    if (g_bDebugMode) {
        ::AllocConsole();
        freopen("CONOUT$", "w", stdout);
        freopen("CONIN$", "r", stdin);
        ::SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    } else {
        freopen("/dev/nul", "w", stdout);
        freopen("/dev/nul", "r", stdin);
    }

    Trace("********** Start Holvane DEBUG MODE  *******\n");
    if (g_bDebugMode)
        Trace("DEBUG_MODE ON\n");
    if (g_bShowMode)
        Trace("SHOW_MODE ON\n");

    g_strCurrentDir = MbDirectoryOf(__argc > 0 ? __argv[0] : "");
    ::SetCurrentDirectoryA(g_strCurrentDir);
    Trace("CurrentDir=%s", (LPCSTR)g_strCurrentDir);

    {
        CHolvaneDlg dlg(nullptr);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        if (g_bDebugMode) {
            ::FreeConsole();
            ::Sleep(1000);
        }
    }
    return FALSE;
}
