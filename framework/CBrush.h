// A GDI brush owned by the object: deleted with it.
#pragma once
#include <windows.h>

class CBrush {
public:
    CBrush() {}
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    ~CBrush() { DeleteObject(); }
    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;

    BOOL CreateSolidBrush(COLORREF color);
    BOOL DeleteObject();
    HBRUSH GetSafeHandle() const { return m_hBrush; }
    operator HBRUSH() const { return m_hBrush; }

private:
    HBRUSH m_hBrush = nullptr;
};
