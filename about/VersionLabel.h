// The version label of the About box.
#pragma once
#include "Framework.h"

extern char g_szVersion[256];
extern int g_bVersionReady;
extern char g_szModulePath[260];

// "Ver.:" and the ProductVersion of the running executable, read once.
LPCSTR GetVersionString();
// Same, for any module file; the cache is not used. For tests.
CString ReadVersionLabel(LPCSTR pszModulePath, bool* pbOk);
// "Holvane " and the label, with "," made "-" and then ";" made ".".
CString FormatVersionLabel(LPCSTR pszLabel);
