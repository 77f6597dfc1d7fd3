#include "guests/MbPath.h"
#include <mbstring.h>

CString MbDirectoryOf(LPCSTR pszPath)
{
    if (!pszPath)
        return CString();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszPath);
    const unsigned char* slash = _mbsrchr(p, '\\');
    if (!slash)
        return CString();
    return CString(pszPath, static_cast<int>(slash - p));
}
