// The application object: single instance, switches, trace output,
// working directory, and the modal run of the dock.
#pragma once
#include "Framework.h"

class CHolvaneApp : public CWinApp {
public:
    CHolvaneApp();
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

BOOL WINAPI ConsoleCtrlHandler(DWORD dwCtrlType);
