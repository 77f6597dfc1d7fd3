// The docked frame: a child dialog of the dock that carries one foreign
// top-level window (the guest window) over its see-through client area.
#pragma once
#include "Framework.h"
#include "guests/TrelvoxObj.h"

class CHolvaneDlg;

class CBaseDlg : public CDialog {
public:
    explicit CBaseDlg(CWnd* pParent = nullptr);
    ~CBaseDlg() override;
    enum { IDD = 129 };

    void Attach(CTrelvoxObj* pGuest, HWND hWnd);
    void AdoptGuest();
    void ShowGuest();
    void HideGuest();
    void SendQuit();
    void PostOpen();
    void PostClose();
    void PostSelect();

    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnPaint();
    void OnMove(int x, int y);

    HWND m_hWndGuest;
    CBrush m_brushKey;
    CBrush m_brushTitle;
    CTrelvoxObj* m_pGuest;
    DWORD m_dwSavedStyle;
    DWORD m_dwSavedExStyle;
    CHolvaneDlg* m_pDock;
    BOOL m_bDockMoving;

    // Longest wait for a guest to handle the quit message.
    static const UINT kQuitTimeoutMs = 5000;

private:
    bool GuestAlive() const;
    DECLARE_MESSAGE_MAP()
};
