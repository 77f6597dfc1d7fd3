#include "about/VersionLabel.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char g_szVersion[256];
int g_bVersionReady;
char g_szModulePath[260];

namespace {
// Fills out with "Ver.:" and the ProductVersion of the module file; false
// (and out empty) when the file has no version resource or translation.
bool BuildLabel(LPCSTR pszPath, char* out, size_t cbOut)
{
    memset(out, 0, cbOut);
    DWORD dummy = 0;
    DWORD size = ::GetFileVersionInfoSizeA(pszPath, &dummy);
    if (size == 0) {
        ::GetLastError();
        return false;
    }
    char* block = static_cast<char*>(malloc(size + 1));
    if (!block)
        return false;
    if (!::GetFileVersionInfoA(pszPath, 0, size, block)) {
        free(block);
        return false;
    }
    WORD* trans = nullptr;
    UINT cb = 0;
    if (!::VerQueryValueA(block, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&trans), &cb) ||
        !trans || cb < 4) {
        free(block);
        return false;
    }
    char lang[16];
    _snprintf(lang, sizeof(lang), "%04x%04x", trans[0], trans[1]);
    lang[sizeof(lang) - 1] = '\0';
    char sub[64];
    _snprintf(sub, sizeof(sub), "\\StringFileInfo\\%s\\%s", lang, "ProductVersion");
    sub[sizeof(sub) - 1] = '\0';
    char* value = nullptr;
    UINT cchValue = 0;
    // A translation without ProductVersion gives "Ver.:" and nothing more.
    if (!::VerQueryValueA(block, sub, reinterpret_cast<void**>(&value), &cchValue) || !value)
        value = const_cast<char*>("");
    // Bounded: a longer ProductVersion is cut to what the label holds.
    _snprintf(out, cbOut - 1, "Ver.:%s", value);
    out[cbOut - 1] = '\0';
    free(block);
    return true;
}
} // namespace

LPCSTR GetVersionString()
{
    if (g_bVersionReady == 1)
        return g_szVersion;
    memset(g_szVersion, 0, sizeof(g_szVersion));
    // A path that does not fit is cut by the call and ends in a zero.
    DWORD n = ::GetModuleFileNameA(nullptr, g_szModulePath, sizeof(g_szModulePath));
    g_szModulePath[sizeof(g_szModulePath) - 1] = '\0';
    if (n == 0 || n >= sizeof(g_szModulePath))
        return g_szVersion;
    if (BuildLabel(g_szModulePath, g_szVersion, sizeof(g_szVersion)))
        g_bVersionReady = 1;
    return g_szVersion;
}

CString ReadVersionLabel(LPCSTR pszModulePath, bool* pbOk)
{
    char buf[256];
    bool ok = BuildLabel(pszModulePath, buf, sizeof(buf));
    if (pbOk)
        *pbOk = ok;
    return CString(buf);
}

CString FormatVersionLabel(LPCSTR pszLabel)
{
    CString text(pszLabel);
    text.Replace(",", "-");
    text.Replace(";", ".");
    CString result;
    result.Format("%s %s", "Holvane", (LPCSTR)text);
    return result;
}
