#include "CString.h"
#include <mbstring.h>
#include <stdarg.h>
#include <stdio.h>
#include <vector>

void CString::Format(LPCSTR fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = _vscprintf(fmt, ap);
    std::vector<char> buf(n > 0 ? n + 1 : 1, '\0');
    if (n > 0)
        _vsnprintf(buf.data(), buf.size(), fmt, ap2);
    va_end(ap2);
    va_end(ap);
    m_s.assign(buf.data(), n > 0 ? n : 0);
}

int CString::Replace(LPCSTR pszOld, LPCSTR pszNew)
{
    if (!pszOld || !*pszOld)
        return 0;
    std::string from(pszOld), to(pszNew ? pszNew : "");
    std::string out;
    int count = 0;
    size_t i = 0;
    while (i < m_s.size()) {
        if (m_s.compare(i, from.size(), from) == 0) {
            out += to;
            i += from.size();
            ++count;
            continue;
        }
        size_t step = (_ismbblead(static_cast<unsigned char>(m_s[i])) && i + 1 < m_s.size()) ? 2 : 1;
        out.append(m_s, i, step);
        i += step;
    }
    if (count)
        m_s.swap(out);
    return count;
}

int CString::Compare(LPCSTR psz) const
{
    return _mbscmp(reinterpret_cast<const unsigned char*>(m_s.c_str()),
                   reinterpret_cast<const unsigned char*>(psz ? psz : ""));
}

void CString::MakeUpper()
{
    std::vector<unsigned char> buf(m_s.begin(), m_s.end());
    buf.push_back(0);
    _mbsupr(buf.data());
    m_s.assign(reinterpret_cast<char*>(buf.data()));
}
