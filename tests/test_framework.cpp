// The class framework on real windows: message maps, default processing,
// modal dialogs, data exchange and multibyte text.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "Framework.h"
#include "resource.h"
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_log;

// A plain window class whose own procedure records what reaches it: the
// default processing of a subclassed window.
LRESULT CALLBACK RecordingProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m >= WM_APP)
        g_log.push_back("default:" + std::to_string(m - WM_APP) + ":" + std::to_string(w));
    return ::DefWindowProcA(h, m, w, l);
}

HWND MakeRecordingWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "FrameworkTestWnd";
        ::RegisterClassA(&wc);
        registered = true;
    }
    return ::CreateWindowA("FrameworkTestWnd", "t", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

class BaseWnd : public CWnd {
public:
    void OnA() { g_log.push_back("base:A"); }
    void OnB() { g_log.push_back("base:B"); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(BaseWnd, CWnd)
    AFX_ENTRY(WM_APP + 1, 0, 0, AFX_T(OnA()))
    AFX_ENTRY(WM_APP + 2, 0, 0, AFX_T(OnB()))
END_MESSAGE_MAP()

class DerivedWnd : public BaseWnd {
public:
    void OnA() { g_log.push_back("derived:A"); }
    void OnAagain() { g_log.push_back("derived:A2"); }
    void OnCmd() { g_log.push_back("derived:cmd"); }
    // Sends a nested message, then hands its own message to the default.
    void OnOuter()
    {
        SendMessage(WM_APP + 4, 44, 0);
        Default();
    }
    void OnInner() { Default(); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(DerivedWnd, BaseWnd)
    AFX_ENTRY(WM_APP + 1, 0, 0, AFX_T(OnA()))
    AFX_ENTRY(WM_APP + 1, 0, 0, AFX_T(OnAagain()))
    AFX_ENTRY(WM_APP + 3, 0, 0, AFX_T(OnOuter()))
    AFX_ENTRY(WM_APP + 4, 0, 0, AFX_T(OnInner()))
    ON_BN_CLICKED(77, OnCmd)
END_MESSAGE_MAP()

struct Subclassed {
    DerivedWnd wnd;
    Subclassed() { wnd.Subclass(MakeRecordingWindow()); }
    ~Subclassed() { wnd.DestroyWindow(); }
};

} // namespace

TEST(MessageMap, DerivedEntryWinsFirstEntryWinsBaseChainsUnhandledGoesToDefault)
{
    struct Case { UINT msg; WPARAM w; std::vector<std::string> expect; };
    const Case cases[] = {
        { WM_APP + 1, 0, { "derived:A" } },               // derived overrides; first of two entries
        { WM_APP + 2, 0, { "base:B" } },                  // only the base has it
        { WM_APP + 9, 9, { "default:9:9" } },             // nobody: the window's own procedure
        { WM_COMMAND, MAKEWPARAM(77, BN_CLICKED), { "derived:cmd" } },
        { WM_COMMAND, MAKEWPARAM(78, BN_CLICKED), {} },   // other control: default, not recorded
        { WM_COMMAND, MAKEWPARAM(77, EN_CHANGE), {} },    // other code
    };
    Subclassed s;
    for (const Case& c : cases) {
        g_log.clear();
        ::SendMessageA(s.wnd.m_hWnd, c.msg, c.w, 0);
        EXPECT_EQ(c.expect, g_log) << "message " << c.msg;
    }
}

TEST(MessageMap, DefaultForwardsTheMessageBeingHandledAcrossNestedSends)
{
    Subclassed s;
    g_log.clear();
    ::SendMessageA(s.wnd.m_hWnd, WM_APP + 3, 33, 0);
    // The inner Default() got the inner message; the outer one, after the
    // nested send returned, its own.
    std::vector<std::string> expect = { "default:4:44", "default:3:33" };
    EXPECT_EQ(expect, g_log);
}

namespace {

struct LifeLog {
    std::vector<std::string> events;
    BOOL ownerEnabledDuring = TRUE;
};

// The About template: no WS_VISIBLE, a static 1003 and an OK button.
class LifeDlg : public CDialog {
public:
    LifeDlg(LifeLog& log, CWnd* parent) : CDialog(IDD_ABOUTBOX, parent), m_log(log) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_log.events.push_back("init");
        HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
        m_log.ownerEnabledDuring = owner ? ::IsWindowEnabled(owner) : -1;
        ::PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    void OnOK() override
    {
        m_log.events.push_back("ok");
        CDialog::OnOK();
    }
    void PostNcDestroy() override { m_log.events.push_back("postncdestroy"); }
    LifeLog& m_log;
};

} // namespace

TEST(Dialog, DoModalRunsInitLoopEndAndPostNcDestroyWithTheOwnerDisabled)
{
    Subclassed owner;
    LifeLog log;
    LifeDlg dlg(log, &owner.wnd);
    INT_PTR r = dlg.DoModal();
    log.events.push_back("returned");
    EXPECT_EQ(IDOK, r);
    std::vector<std::string> expect = { "init", "ok", "postncdestroy", "returned" };
    EXPECT_EQ(expect, log.events);
    EXPECT_FALSE(log.ownerEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(owner.wnd.m_hWnd));
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

TEST(Dialog, WithoutParentTheMainWindowIsTheOwner)
{
    Subclassed main;
    AfxGetApp()->m_pMainWnd = &main.wnd;
    LifeLog log;
    LifeDlg dlg(log, nullptr);
    dlg.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    EXPECT_FALSE(log.ownerEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(main.wnd.m_hWnd));
}

namespace {

// The modal loop shows the dialog when it first runs idle (after
// OnInitDialog), with or without WS_VISIBLE in its template, and a handler
// that clears SWP_SHOWWINDOW keeps it hidden.
class IdleShowDlg : public CDialog {
public:
    IdleShowDlg(UINT id, bool veto) : CDialog(id), m_veto(veto) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_visibleAtInit = ::IsWindowVisible(m_hWnd);
        ::SetTimer(m_hWnd, 1, 300, nullptr);
        return TRUE;
    }
    void OnTimer(UINT_PTR)
    {
        ::KillTimer(m_hWnd, 1);
        m_visibleInLoop = ::IsWindowVisible(m_hWnd);
        EndDialog(IDCANCEL);
    }
    void OnWindowPosChanging(WINDOWPOS* p)
    {
        Default();
        if (m_veto)
            p->flags &= ~SWP_SHOWWINDOW;
    }
    bool m_veto;
    BOOL m_visibleAtInit = -1;
    BOOL m_visibleInLoop = -1;
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(IdleShowDlg, CDialog)
    ON_WM_TIMER()
    ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

} // namespace

TEST(Dialog, VisibleTemplateIsShownWhenIdleUnlessTheHandlerVetoes)
{
    for (UINT id : { IDD_MAIN, IDD_ABOUTBOX }) {
        for (bool veto : { false, true }) {
            IdleShowDlg dlg(id, veto);
            dlg.DoModal();
            EXPECT_FALSE(dlg.m_visibleAtInit) << "template " << id << " veto " << veto;
            EXPECT_EQ(veto ? FALSE : TRUE, dlg.m_visibleInLoop) << "template " << id << " veto " << veto;
        }
    }
}

namespace {

class DdxDlg : public CDialog {
public:
    DdxDlg() : CDialog(IDD_ABOUTBOX) {}
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_VERSION, m_str); }
    BOOL OnInitDialog() override
    {
        m_str = "初期 値";
        CDialog::OnInitDialog();  // members to controls
        char buf[64] = {};
        ::GetDlgItemTextA(m_hWnd, IDC_VERSION, buf, sizeof(buf));
        m_shown = buf;
        ::SetDlgItemTextA(m_hWnd, IDC_VERSION, "入力\x83\x5C");
        ::PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0);  // OnOK saves controls to members
        return TRUE;
    }
    CString m_str;
    std::string m_shown;
};

} // namespace

TEST(Dialog, DataExchangeBothWays)
{
    DdxDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ("初期 値", dlg.m_shown);
    EXPECT_STREQ("入力\x83\x5C", (LPCSTR)dlg.m_str);
}

namespace {

class CancelDlg : public CDialog {
public:
    CancelDlg() : CDialog(IDD_ABOUTBOX) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        // The dialog manager turns WM_CLOSE into IDCANCEL.
        ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        return TRUE;
    }
};

} // namespace

TEST(Dialog, CloseBecomesCancel)
{
    CancelDlg dlg;
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}

TEST(CString, MultibyteTextWithTrailBackslashes)
{
    // ソ is 0x83 0x5C and 表 is 0x95 0x5C in code page 932.
    const char* so = "\x83\x5C";
    CString path = CString("C:\\") + so + "\\x" + "\x95\x5C";
    EXPECT_EQ(2, path.Replace("\\", "/"));
    EXPECT_STREQ("C:/\x83\x5C/x\x95\x5C", (LPCSTR)path);

    CString s("a,b;c");
    EXPECT_EQ(1, s.Replace(",", "-"));
    EXPECT_EQ(1, s.Replace(";", "."));
    EXPECT_STREQ("a-b.c", (LPCSTR)s);
    EXPECT_EQ(0, s.Replace("", "x"));

    CString f;
    f.Format("%d番目の引数=%s", 12, "-SHOW");
    EXPECT_STREQ("12番目の引数=-SHOW", (LPCSTR)f);
    EXPECT_EQ(static_cast<int>(strlen("12番目の引数=-SHOW")), f.GetLength());

    CString u("skype.exeソ");
    u.MakeUpper();
    EXPECT_STREQ("SKYPE.EXEソ", (LPCSTR)u);

    CString a("TrelvoxOne Ⅱ");
    CString copy = a;
    copy += "x";
    EXPECT_STREQ("TrelvoxOne Ⅱ", (LPCSTR)a);
    EXPECT_TRUE(a == "TrelvoxOne Ⅱ");
    EXPECT_TRUE(a != "trelvoxone Ⅱ");
    EXPECT_TRUE(a != "TrelvoxOne");
    EXPECT_FALSE(CString().GetLength());
    EXPECT_TRUE(CString(nullptr).IsEmpty());
}

namespace {

struct BoxSeen {
    std::string caption, text;
    LONG style = 0;
    HWND owner = nullptr;
};

DWORD WINAPI CloseBoxLater(LPVOID p)
{
    BoxSeen* seen = static_cast<BoxSeen*>(p);
    DWORD tid = *reinterpret_cast<DWORD*>(&seen->style);
    HWND box = nullptr;
    ts::WaitUntil([&] {
        for (HWND h : ts::TopWindows())
            if (::GetWindowThreadProcessId(h, nullptr) == tid && ts::ClassName(h) == "#32770" && ::IsWindowVisible(h))
                return (box = h) != nullptr;
        return false;
    }, 10000);
    if (!box)
        return 0;
    seen->caption = ts::WindowText(box);
    seen->owner = ::GetWindow(box, GW_OWNER);
    char text[256] = {};
    ::GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    seen->text = text;
    // The box's icon is a visible SS_ICON static holding the icon.
    for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if ((::GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(c) &&
            ::SendMessageA(c, STM_GETICON, 0, 0))
            seen->style = 1;
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

} // namespace

TEST(AfxMessageBox, OwnedByMainWindowWithAppTitleAndExclamationIcon)
{
    // Without an icon of its own an OK box gets one; one given is kept.
    EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), AfxMessageBoxType(MB_OK));
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONEXCLAMATION), AfxMessageBoxType(MB_OKCANCEL));
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), AfxMessageBoxType(MB_OK | MB_ICONINFORMATION));

    Subclassed main;
    AfxGetApp()->m_pMainWnd = &main.wnd;
    BoxSeen seen;
    *reinterpret_cast<DWORD*>(&seen.style) = ::GetCurrentThreadId();
    HANDLE t = ::CreateThread(nullptr, 0, CloseBoxLater, &seen, 0, nullptr);
    int r = AfxMessageBox("メッセージ", MB_OK);
    ::WaitForSingleObject(t, 10000);
    ::CloseHandle(t);
    AfxGetApp()->m_pMainWnd = nullptr;
    EXPECT_EQ(IDOK, r);
    EXPECT_EQ("HolvaneTest", seen.caption);
    EXPECT_EQ("メッセージ", seen.text);
    EXPECT_EQ(1, seen.style);
    EXPECT_EQ(main.wnd.m_hWnd, seen.owner);
}
