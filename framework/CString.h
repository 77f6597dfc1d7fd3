// Multibyte text in the system code page, copied by value.
#pragma once
#include <windows.h>
#include <string>

class CString {
public:
    CString() {}
    CString(const char* psz) : m_s(psz ? psz : "") {}
    CString(const char* p, int n) : m_s(p ? std::string(p, n) : std::string()) {}
    CString(const CString&) = default;
    CString& operator=(const CString&) = default;
    CString& operator=(const char* psz) { m_s = psz ? psz : ""; return *this; }

    operator LPCSTR() const { return m_s.c_str(); }
    LPCSTR GetString() const { return m_s.c_str(); }
    int GetLength() const { return static_cast<int>(m_s.size()); }
    BOOL IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }

    void Format(LPCSTR fmt, ...);
    // Replaces whole characters only: a match never starts on the trail
    // byte of a double-byte character. Returns the number of replacements.
    int Replace(LPCSTR pszOld, LPCSTR pszNew);
    // Multibyte comparison of the runtime (_mbscmp): <0, 0, >0.
    int Compare(LPCSTR psz) const;
    void MakeUpper();

    CString& operator+=(const char* psz) { m_s += psz ? psz : ""; return *this; }
    CString& operator+=(const CString& s) { m_s += s.m_s; return *this; }
    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
    bool operator==(LPCSTR psz) const { return Compare(psz) == 0; }
    bool operator!=(LPCSTR psz) const { return Compare(psz) != 0; }
    bool operator==(const CString& s) const { return Compare(s) == 0; }
    bool operator!=(const CString& s) const { return Compare(s) != 0; }

private:
    std::string m_s;
};
