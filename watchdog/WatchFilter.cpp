#include "watchdog/WatchFilter.h"
#include "Framework.h"
#include <mbstring.h>

namespace {
const char* const kWatchedNames[6] = {
    "SKYPE.EXE",
    "TRELVOXFORTCP.EXE",
    "TRELVOXFORFTP.EXE",
    "TRELVOXFORCVS.EXE",
    "TRELVOXFORVNC.EXE",
    "TRELVOXONE.EXE",
};
} // namespace

int WatchedNameIndex(LPCSTR pszBaseName)
{
    CString upper(pszBaseName);
    upper.MakeUpper();
    for (int i = 0; i < 6; ++i)
        if (upper.Compare(kWatchedNames[i]) == 0)
            return i;
    return -1;
}

bool IsWatchedWindow(const WindowFacts& f)
{
    return PassesWatchStyle(f) && WatchedNameIndex(f.pszBaseName ? f.pszBaseName : "") >= 0;
}

bool PassesWatchStyle(const WindowFacts& f)
{
    if (!f.bVisible || !f.pszCaption || !f.pszCaption[0])
        return false;
    if (!(f.dwStyle & WS_SYSMENU))
        return false;
    if (!(f.dwStyle & WS_MINIMIZEBOX))
        return false;
    return f.rcWindow.top != f.rcWindow.bottom && f.rcWindow.left != f.rcWindow.right;
}
