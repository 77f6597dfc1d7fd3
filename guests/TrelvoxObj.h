// The record of one guest program and its entry in Holvane.ini.
#pragma once
#include "Framework.h"

class CTrelvoxObj {
public:
    CTrelvoxObj() : m_bAttached(FALSE) {}
    CTrelvoxObj(const CTrelvoxObj&) = default;
    CTrelvoxObj& operator=(const CTrelvoxObj&) = default;
    virtual ~CTrelvoxObj() {}

    void SetExeName(LPCSTR pszExeName);
    void LoadExePath();
    void SetExePath(LPCSTR pszExePath);
    void SaveExePath();
    void Launch();

    CString m_strIniPath;
    CString m_strExeName;
    CString m_strTitle;
    CString m_strExePath;
    BOOL m_bAttached;
};
