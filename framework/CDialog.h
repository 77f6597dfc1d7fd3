// Dialogs from resource templates: modal (DoModal) or modeless children
// (Create). The dialog manager's procedure stays the window's default
// processing; the framework's dialog procedure only runs OnInitDialog.
#pragma once
#include "CWnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

    virtual INT_PTR DoModal();
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int nResult);
    void OnPaint() { Default(); }

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    BOOL CreateIndirect(const DLGTEMPLATE* pTemplate, HWND hParent);
    // Runs until EndDialog; shows the dialog when the queue first runs dry,
    // after OnInitDialog and everything it posted.
    int RunModalLoop();
    bool m_bModal = false;
    bool m_bEnded = false;
    int m_nModalResult = -1;
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()
};

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
