// A device context handle; does not own it.
#pragma once
#include <windows.h>

class CDC {
public:
    CDC() {}
    explicit CDC(HDC hDC) : m_hDC(hDC) {}
    virtual ~CDC() {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }
    int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
};
