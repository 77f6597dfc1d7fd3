#include "CDataExchange.h"
#include "CWnd.h"
#include <vector>

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hCtl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (!hCtl)
        return;
    if (pDX->m_bSaveAndValidate) {
        int n = ::GetWindowTextLengthA(hCtl);
        std::vector<char> buf(n + 1, '\0');
        ::GetWindowTextA(hCtl, buf.data(), n + 1);
        value = buf.data();
    } else {
        ::SetWindowTextA(hCtl, value);
    }
}
