// One window watched for hangs.
#pragma once
#include "Framework.h"

struct WatchEntry {
    CString strTitle;
    CString strExeName;
    CString strExePath;
    HWND hWnd = nullptr;
    DWORD dwProcessId = 0;
};
