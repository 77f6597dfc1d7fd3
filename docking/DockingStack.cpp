// The stack of docked frames under the dock's buttons.
#include "dock/HolvaneDlg.h"
#include "docking/BaseDlg.h"
#include "docking/StackGeometry.h"
#include <stdio.h>

void CHolvaneDlg::AttachWindow(int nIndex, HWND hWnd)
{
    if (nIndex < 0 || nIndex >= static_cast<int>(m_guests.size()))
        return;
    CBaseDlg* pFrame = new CBaseDlg(nullptr);
    // A frame without a window could carry nothing: the guest stays
    // attached, but no empty slot is laid out.
    if (!pFrame->Create(IDD_FRAME, this)) {
        delete pFrame;
        return;
    }
    pFrame->Attach(&m_guests[nIndex], hWnd);
    m_frames.push_back(pFrame);
    LayoutFrames();
}

void CHolvaneDlg::LayoutFrames()
{
    if (m_frames.empty())
        return;
    RECT w, c;
    GetWindowRect(&w);
    GetClientRect(&c);
    int ncW = (w.right - w.left) - (c.right - c.left);
    int ncH = (w.bottom - w.top) - (c.bottom - c.top);
    RECT f;
    m_frames[0]->GetWindowRect(&f);
    int fw = f.right - f.left;
    int fh = f.bottom - f.top;
    int n = static_cast<int>(m_frames.size());
    StackLayout s = ComputeStack(fw, fh, n, ncW, ncH);
    SetWindowPos(&wndTopMost, 0, 0, s.cxDock, s.cyDock, SWP_SHOWWINDOW | SWP_NOMOVE);
    for (int i = 0; i < n; ++i) {
        const RECT& r = s.frames[i];
        m_frames[i]->MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        m_frames[i]->ShowWindow(SW_SHOW);
        if (!m_bShown)
            m_frames[i]->HideGuest();
    }
}

void CHolvaneDlg::OnMove(int x, int y)
{
    Default();
    for (size_t i = 0; i < m_frames.size(); ++i) {
        m_frames[i]->m_pDock = this;
        m_frames[i]->OnMove(x, y);
    }
}
