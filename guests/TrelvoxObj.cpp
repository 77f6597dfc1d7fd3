#include "guests/TrelvoxObj.h"
#include "guests/MbPath.h"
#include <stdlib.h>
#include <string.h>

void CTrelvoxObj::SetExeName(LPCSTR pszExeName)
{
    m_strExeName = pszExeName ? pszExeName : "";
    LoadExePath();
}

void CTrelvoxObj::LoadExePath()
{
    if (m_strExeName.IsEmpty())
        return;
    char buf[261];
    memset(buf, 0, sizeof(buf));
    ::GetPrivateProfileStringA(m_strExeName, "EXEPATH", "", buf, 261, m_strIniPath);
    m_strExePath = buf;
}

void CTrelvoxObj::SetExePath(LPCSTR pszExePath)
{
    m_strExePath = pszExePath ? pszExePath : "";
    SaveExePath();
}

void CTrelvoxObj::SaveExePath()
{
    if (m_strExeName.IsEmpty())
        return;
    ::WritePrivateProfileStringA(m_strExeName, "EXEPATH", m_strExePath, m_strIniPath);
}

void CTrelvoxObj::Launch()
{
    if (m_strExePath.IsEmpty())
        return;
    CString strDir = MbDirectoryOf(m_strExePath);

    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    // The path names the program itself and, quoted, is the whole command
    // line: a path with spaces must never run a file at one of its prefixes.
    CString strCmdLine = CString("\"") + m_strExePath + "\"";
    char* cmd = _strdup(strCmdLine);
    BOOL ok = ::CreateProcessA(m_strExePath, cmd, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                               nullptr, strDir, &si, &pi);
    DWORD err = ::GetLastError();
    free(cmd);
    if (ok) {
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
        return;
    }
    CString msg;
    msg.Format("プロセス起動に失敗しました. err=0x%x", (unsigned)err);
    AfxMessageBox(msg, MB_OK, 0);
}
