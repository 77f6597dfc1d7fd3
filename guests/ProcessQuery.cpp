#include "guests/ProcessQuery.h"
#include "dock/HolvaneDlg.h"
#include <string.h>

namespace {
// Loads psapi, looks the function up and calls it; 0 when it is missing.
template <class Fn, class... Args>
DWORD CallPsapi(const char* pszName, Args... args)
{
    HMODULE hLib = ::LoadLibraryA("psapi");
    FARPROC proc = hLib ? ::GetProcAddress(hLib, pszName) : nullptr;
    if (!proc) {
        if (hLib)
            ::FreeLibrary(hLib);
        return 0;
    }
    DWORD r = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc))(args...);
    ::FreeLibrary(hLib);
    return r;
}
} // namespace

BOOL PsapiEnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded)
{
    typedef BOOL (WINAPI* Fn)(HANDLE, HMODULE*, DWORD, LPDWORD);
    return static_cast<BOOL>(CallPsapi<Fn>("EnumProcessModules", hProcess, lphModule, cb, lpcbNeeded));
}

DWORD PsapiGetModuleBaseName(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize)
{
    typedef DWORD (WINAPI* Fn)(HANDLE, HMODULE, LPSTR, DWORD);
    return CallPsapi<Fn>("GetModuleBaseNameA", hProcess, hModule, lpBaseName, nSize);
}

DWORD PsapiGetModuleFileNameEx(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    typedef DWORD (WINAPI* Fn)(HANDLE, HMODULE, LPSTR, DWORD);
    return CallPsapi<Fn>("GetModuleFileNameExA", hProcess, hModule, lpFilename, nSize);
}

namespace {
typedef DWORD (*NameFn)(HANDLE, HMODULE, LPSTR, DWORD);

void QueryProcess(DWORD dwProcessId, CString& strOut, NameFn pfnName)
{
    char buf[1024];
    memset(buf, 0, sizeof(buf));
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwProcessId);
    if (hProcess) {
        HMODULE modules[1024];
        DWORD cbNeeded = 0;
        if (PsapiEnumProcessModules(hProcess, modules, sizeof(modules), &cbNeeded))
            pfnName(hProcess, modules[0], buf, sizeof(buf));
        ::CloseHandle(hProcess);
    }
    buf[sizeof(buf) - 1] = '\0';
    strOut = buf;
}
} // namespace

void CHolvaneDlg::GetProcessBaseName(DWORD dwProcessId, CString& strName)
{
    QueryProcess(dwProcessId, strName, PsapiGetModuleBaseName);
}

void CHolvaneDlg::GetProcessFullPath(DWORD dwProcessId, CString& strPath)
{
    QueryProcess(dwProcessId, strPath, PsapiGetModuleFileNameEx);
}

void CHolvaneDlg::BeginRun()
{
    if (m_nRunDepth++ == 0)
        m_runAnswers.clear();
}

void CHolvaneDlg::EndRun()
{
    if (--m_nRunDepth == 0)
        m_runAnswers.clear();
}

void CHolvaneDlg::RunBaseName(DWORD dwProcessId, CString& strName)
{
    if (m_nRunDepth == 0) {
        GetProcessBaseName(dwProcessId, strName);
        return;
    }
    ProcessAnswer& a = m_runAnswers[dwProcessId];
    if (!a.bHaveBase) {
        GetProcessBaseName(dwProcessId, a.strBase);
        a.bHaveBase = true;
    }
    strName = a.strBase;
}

void CHolvaneDlg::RunFullPath(DWORD dwProcessId, CString& strPath)
{
    if (m_nRunDepth == 0) {
        GetProcessFullPath(dwProcessId, strPath);
        return;
    }
    ProcessAnswer& a = m_runAnswers[dwProcessId];
    if (!a.bHavePath) {
        GetProcessFullPath(dwProcessId, a.strPath);
        a.bHavePath = true;
    }
    strPath = a.strPath;
}
