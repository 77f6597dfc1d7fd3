// Start-up decisions that need no window.
#pragma once
#include "Framework.h"

extern int g_bDebugMode;
extern int g_bShowMode;
extern CString g_strCurrentDir;

// The trace line of argument nIndex (1-based) and the switch it sets.
struct SwitchResult {
    CString strLines;   // what is printed for the argument
    bool bDebug;
    bool bShow;
};
SwitchResult ExamineArgument(int nIndex, LPCSTR pszArg);
