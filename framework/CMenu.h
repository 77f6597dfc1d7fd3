// A menu handle. A menu loaded through the object is destroyed with it;
// system menus and submenus are only borrowed.
#pragma once
#include <windows.h>
#include <memory>

class CWnd;

class CMenu {
public:
    CMenu() {}
    ~CMenu() { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }

    BOOL LoadMenu(UINT nIDResource);
    BOOL DestroyMenu();
    void AttachBorrowed(HMENU hMenu);
    CMenu* GetSubMenu(int nPos);
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr)
    { return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem); }
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr);

private:
    bool m_bOwned = false;
    std::unique_ptr<CMenu> m_sub;
};
