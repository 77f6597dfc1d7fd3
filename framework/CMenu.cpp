#include "CMenu.h"
#include "CWinApp.h"
#include "CWnd.h"

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    DestroyMenu();
    m_hMenu = ::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDResource));
    m_bOwned = m_hMenu != nullptr;
    return m_bOwned;
}

BOOL CMenu::DestroyMenu()
{
    m_sub.reset();
    BOOL ok = FALSE;
    if (m_hMenu && m_bOwned)
        ok = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    m_bOwned = false;
    return ok;
}

void CMenu::AttachBorrowed(HMENU hMenu)
{
    DestroyMenu();
    m_hMenu = hMenu;
}

CMenu* CMenu::GetSubMenu(int nPos)
{
    HMENU h = ::GetSubMenu(m_hMenu, nPos);
    if (!h)
        return nullptr;
    if (!m_sub)
        m_sub.reset(new CMenu);
    m_sub->AttachBorrowed(h);
    return m_sub.get();
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect)
{
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd ? pWnd->m_hWnd : nullptr, lpRect);
}
