#include "app/Startup.h"
#include <string.h>

int g_bDebugMode = 0;
int g_bShowMode = 0;
CString g_strCurrentDir;

SwitchResult ExamineArgument(int nIndex, LPCSTR pszArg)
{
    SwitchResult r;
    r.bDebug = false;
    r.bShow = false;
    CString label, line;
    label.Format("%d番目の引数", nIndex);
    line.Format("%s=%s\n", (LPCSTR)label, pszArg);
    r.strLines = line;
    // The whole argument, terminating zero included, must be the switch.
    if (strcmp(pszArg, "-D119") == 0) {
        r.bDebug = true;
        r.strLines += "DEBUGMODE ON\n";
    }
    if (strcmp(pszArg, "-SHOW") == 0) {
        r.bShow = true;
        r.strLines += "SHOWMODE ON\n";
    }
    return r;
}
