#include "CBrush.h"

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    DeleteObject();
    m_hBrush = ::CreateSolidBrush(color);
    return m_hBrush != nullptr;
}

BOOL CBrush::DeleteObject()
{
    if (!m_hBrush)
        return FALSE;
    BOOL ok = ::DeleteObject(m_hBrush);
    m_hBrush = nullptr;
    return ok;
}
