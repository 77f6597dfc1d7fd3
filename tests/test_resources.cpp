// Reads the resources back from the built Holvane.exe (the file beside this
// test program) and checks them byte by byte against what the program and
// the shell rely on: dialog templates, string, menu, icon group, manifest,
// version resource, and the kind of executable the file is.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);  // 0x0411

// Resource types by number (RT_* are pointers in the ANSI headers).
const WORD kTypeIcon = 3, kTypeDialog = 5, kTypeGroupIcon = 14, kTypeVersion = 16,
           kTypeManifest = 24;

// Our own rights line: the About box's second line and LegalCopyright.
const wchar_t kRightsLine[] = L"Copyright (C) 2026 Marrowfield";

std::string ExePath()
{
    char self[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    size_t cut = dir.find_last_of('\\');
    if (cut != std::string::npos)
        dir.erase(cut);
    return dir + "\\Holvane.exe";
}

std::string Narrow(const std::wstring& w)
{
    std::string s;
    for (wchar_t c : w)
        s += (c < 0x80) ? static_cast<char>(c) : '?';
    return s;
}

// ---------------------------------------------------------------------------
// The executable, loaded once as a data file: no code of it runs.

class Module {
public:
    static HMODULE Get()
    {
        static HMODULE h = LoadLibraryExA(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        return h;
    }

    // The bytes of one resource in Japanese; empty when it is missing.
    static std::vector<BYTE> Bytes(WORD type, WORD name)
    {
        HRSRC r = FindResourceExW(Get(), MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name), kJapanese);
        if (!r)
            return {};
        HGLOBAL g = LoadResource(Get(), r);
        const BYTE* p = static_cast<const BYTE*>(LockResource(g));
        DWORD size = SizeofResource(Get(), r);
        if (!p)
            return {};
        return std::vector<BYTE>(p, p + size);
    }
};

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(Module::Get(), nullptr)
            << "cannot load " << ExePath() << " (error " << GetLastError() << ")";
    }
};

// ---------------------------------------------------------------------------
// A little-endian reader over a resource, with bounds checks: reading past
// the end yields zeros and marks the reader bad.

class Reader {
public:
    Reader(const std::vector<BYTE>& data, size_t pos = 0) : m_data(data), m_pos(pos) {}

    bool Ok() const { return m_ok; }
    size_t Pos() const { return m_pos; }
    void Seek(size_t pos) { m_pos = pos; if (pos > m_data.size()) m_ok = false; }
    void AlignDword() { Seek((m_pos + 3) & ~size_t(3)); }

    BYTE Byte() { return static_cast<BYTE>(Take(1)); }
    WORD Word() { return static_cast<WORD>(Take(2)); }
    DWORD Dword() { return static_cast<DWORD>(Take(4)); }
    short Short() { return static_cast<short>(Word()); }

    std::wstring Sz()
    {
        std::wstring s;
        for (;;) {
            WORD c = Word();
            if (!m_ok || c == 0)
                return s;
            s += static_cast<wchar_t>(c);
        }
    }

    std::vector<BYTE> Raw(size_t n)
    {
        if (m_pos + n > m_data.size()) {
            m_ok = false;
            m_pos = m_data.size();
            return {};
        }
        std::vector<BYTE> v(m_data.begin() + m_pos, m_data.begin() + m_pos + n);
        m_pos += n;
        return v;
    }

private:
    unsigned long Take(size_t n)
    {
        if (m_pos + n > m_data.size()) {
            m_ok = false;
            m_pos = m_data.size();
            return 0;
        }
        unsigned long v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= static_cast<unsigned long>(m_data[m_pos + i]) << (8 * i);
        m_pos += n;
        return v;
    }

    const std::vector<BYTE>& m_data;
    size_t m_pos;
    bool m_ok = true;
};

// A dialog template field that is either empty, an ordinal or a string.
struct SzOrOrd {
    bool ordinal = false;
    WORD id = 0;
    std::wstring text;

    static SzOrOrd Ord(WORD id) { SzOrOrd v; v.ordinal = true; v.id = id; return v; }
    static SzOrOrd Str(const wchar_t* s) { SzOrOrd v; v.text = s; return v; }
    static SzOrOrd None() { return SzOrOrd(); }

    static SzOrOrd Read(Reader& r)
    {
        WORD first = r.Word();
        if (first == 0xFFFF)
            return Ord(r.Word());
        SzOrOrd v;
        if (first != 0) {
            v.text += static_cast<wchar_t>(first);
            v.text += r.Sz();
        }
        return v;
    }

    bool operator==(const SzOrOrd& o) const
    {
        return ordinal == o.ordinal && (ordinal ? id == o.id : text == o.text);
    }
};

void PrintTo(const SzOrOrd& v, std::ostream* os)
{
    if (v.ordinal)
        *os << "ordinal 0x" << std::hex << v.id << std::dec;
    else
        *os << "\"" << ::testing::PrintToString(v.text) << "\"";
}

// ---------------------------------------------------------------------------
// Dialog templates (DLGTEMPLATEEX with DLGITEMTEMPLATEEX items).

struct DialogItem {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    SzOrOrd cls, text;
    WORD extraBytes;
};

struct DialogTemplate {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    WORD count;
    short x, y, cx, cy;
    SzOrOrd menu, cls;
    std::wstring title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::wstring face;
    std::vector<DialogItem> items;
    size_t end;  // bytes used by the template
};

bool ParseDialog(const std::vector<BYTE>& data, DialogTemplate& d)
{
    Reader r(data);
    d.version = r.Word();
    d.signature = r.Word();
    if (d.version != 1 || d.signature != 0xFFFF)
        return false;
    d.helpId = r.Dword();
    d.exStyle = r.Dword();
    d.style = r.Dword();
    d.count = r.Word();
    d.x = r.Short(); d.y = r.Short(); d.cx = r.Short(); d.cy = r.Short();
    d.menu = SzOrOrd::Read(r);
    d.cls = SzOrOrd::Read(r);
    d.title = r.Sz();
    d.pointSize = d.weight = 0;
    d.italic = d.charset = 0;
    if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
        d.pointSize = r.Word();
        d.weight = r.Word();
        d.italic = r.Byte();
        d.charset = r.Byte();
        d.face = r.Sz();
    }
    for (WORD i = 0; i < d.count && r.Ok(); ++i) {
        r.AlignDword();
        DialogItem it;
        it.helpId = r.Dword();
        it.exStyle = r.Dword();
        it.style = r.Dword();
        it.x = r.Short(); it.y = r.Short(); it.cx = r.Short(); it.cy = r.Short();
        it.id = r.Dword();
        it.cls = SzOrOrd::Read(r);
        it.text = SzOrOrd::Read(r);
        it.extraBytes = r.Word();
        r.Raw(it.extraBytes);
        d.items.push_back(it);
    }
    d.end = r.Pos();
    return r.Ok();
}

const WORD kButton = 0x0080;
const WORD kStatic = 0x0082;

struct ExpectedItem {
    const char* name;
    DWORD id;
    WORD classOrdinal;        // 0: the class is named
    const wchar_t* className;
    SzOrOrd text;
    DWORD style;
    short x, y, cx, cy;
};

struct ExpectedDialog {
    const char* name;
    WORD id;
    DWORD style, exStyle;
    short cx, cy;
    const wchar_t* title;
    BYTE charset;
    std::vector<ExpectedItem> items;
};

void PrintTo(const ExpectedDialog& d, std::ostream* os) { *os << d.name; }

const DWORD kStaticId = static_cast<DWORD>(-1);

std::vector<ExpectedDialog> ExpectedDialogs()
{
    return {
        {"IDD_ABOUTBOX", 100,
         WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0,
         235, 61, L"Holvaneのﾊﾞｰｼﾞｮﾝ情報", 0,
         {
             {"icon", kStaticId, kStatic, nullptr, SzOrOrd::Ord(128),
              WS_CHILD | WS_VISIBLE | SS_ICON, 12, 12, 18, 21},
             {"IDC_VERSION", 1003, kStatic, nullptr, SzOrOrd::Str(L"Holvane Version 1.0"),
              WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX | SS_LEFT, 40, 10, 119, 8},
             {"rights line", kStaticId, kStatic, nullptr, SzOrOrd::Str(kRightsLine),
              WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 40, 25, 119, 8},
             {"IDOK", IDOK, kButton, nullptr, SzOrOrd::Str(L"OK"),
              WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 178, 7, 50, 14},
             {"IDC_ABOUT_LINK", 1005, 0, L"SysLink", SzOrOrd::Str(L"<a>Marrowfieldホームページ</a>"),
              WS_CHILD | WS_VISIBLE | WS_TABSTOP, 40, 42, 126, 11},
         }},
        {"IDD_MAIN", 102,
         WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
         WS_EX_APPWINDOW, 198, 46, L"Holvane", 1,
         {
             {"IDC_OPEN", 1004, kButton, nullptr, SzOrOrd::Str(L"open"),
              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 2, 2, 24, 14},
             {"IDC_CLOSE", 1005, kButton, nullptr, SzOrOrd::Str(L"close"),
              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 28, 2, 24, 14},
             {"IDC_SELECT", 1006, kButton, nullptr, SzOrOrd::Str(L"select"),
              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 55, 2, 29, 14},
             {"IDC_SEARCH", 1000, kButton, nullptr, SzOrOrd::Str(L"検索"),
              WS_CHILD | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON, 90, 0, 19, 10},
             {"IDC_LINK", 1007, 0, L"SysLink", SzOrOrd::Str(L"<a>Powered By Marrowfield</a>"),
              WS_CHILD | WS_VISIBLE | WS_TABSTOP, 119, 2, 77, 12},
         }},
        {"IDD_FRAME", 129, WS_CHILD | DS_CONTROL | DS_SETFONT, WS_EX_STATICEDGE,
         199, 67, L"", 1,
         {
             {"IDC_TITLE", 1001, kStatic, nullptr, SzOrOrd::Str(L"Title"),
              WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_CENTERIMAGE | SS_SUNKEN,
              2, 2, 77, 12},
         }},
    };
}

class DialogTemplateTest : public ResourceTest,
                           public ::testing::WithParamInterface<ExpectedDialog> {};

TEST_P(DialogTemplateTest, MatchesTable)
{
    const ExpectedDialog& want = GetParam();
    std::vector<BYTE> data = Module::Bytes(kTypeDialog, want.id);
    ASSERT_FALSE(data.empty()) << "no Japanese dialog " << want.id;

    DialogTemplate d;
    ASSERT_TRUE(ParseDialog(data, d)) << "not a complete extended dialog template";
    EXPECT_EQ(d.end, data.size()) << "bytes left over after the last control";

    EXPECT_EQ(d.helpId, 0u);
    EXPECT_EQ(d.style, want.style) << std::hex << "style 0x" << d.style;
    EXPECT_EQ(d.exStyle, want.exStyle) << std::hex << "ex style 0x" << d.exStyle;
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, want.cx);
    EXPECT_EQ(d.cy, want.cy);
    EXPECT_EQ(d.menu, SzOrOrd::None());
    EXPECT_EQ(d.cls, SzOrOrd::None());
    EXPECT_EQ(d.title, std::wstring(want.title));
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.weight, 0);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, want.charset);
    EXPECT_EQ(d.face, std::wstring(L"ＭＳ Ｐゴシック"));

    ASSERT_EQ(d.items.size(), want.items.size());
    for (size_t i = 0; i < want.items.size(); ++i) {
        const ExpectedItem& w = want.items[i];
        const DialogItem& it = d.items[i];
        SCOPED_TRACE(std::string("control ") + std::to_string(i) + " " + w.name);
        EXPECT_EQ(it.id, w.id);
        EXPECT_EQ(it.style, w.style) << std::hex << "style 0x" << it.style;
        EXPECT_EQ(it.exStyle, 0u);
        EXPECT_EQ(it.helpId, 0u);
        EXPECT_EQ(it.x, w.x);
        EXPECT_EQ(it.y, w.y);
        EXPECT_EQ(it.cx, w.cx);
        EXPECT_EQ(it.cy, w.cy);
        EXPECT_EQ(it.text, w.text);
        EXPECT_EQ(it.extraBytes, 0);
        if (w.classOrdinal) {
            EXPECT_EQ(it.cls, SzOrOrd::Ord(w.classOrdinal));
        } else {
            // The resource compiler stores class names upper-cased; window
            // classes are looked up without regard to case.
            ASSERT_FALSE(it.cls.ordinal);
            EXPECT_EQ(_wcsicmp(it.cls.text.c_str(), w.className), 0)
                << "class " << ::testing::PrintToString(it.cls.text);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Resources, DialogTemplateTest, ::testing::ValuesIn(ExpectedDialogs()),
                         [](const ::testing::TestParamInfo<ExpectedDialog>& info) {
                             return std::string(info.param.name);
                         });

// The templates make real windows: every control's class exists (SysLink
// needs common controls 6), and each control answers to its id.
INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(ResourceTest, TopLevelDialogsCreateTheirControls)
{
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&icc));

    for (const ExpectedDialog& want : ExpectedDialogs()) {
        if (want.style & WS_CHILD)
            continue;
        SCOPED_TRACE(want.name);
        std::vector<BYTE> data = Module::Bytes(kTypeDialog, want.id);
        ASSERT_FALSE(data.empty());
        // The test program carries the same resources, so the icon static
        // finds icon 128 in this module.
        HWND dlg = CreateDialogIndirectParamW(
            GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(data.data()),
            nullptr, QuietDialogProc, 0);
        ASSERT_NE(dlg, nullptr) << "error " << GetLastError();
        for (const ExpectedItem& w : want.items) {
            if (w.id == kStaticId)
                continue;
            SCOPED_TRACE(w.name);
            HWND ctl = GetDlgItem(dlg, static_cast<int>(w.id));
            ASSERT_NE(ctl, nullptr);
            wchar_t cls[64] = {};
            GetClassNameW(ctl, cls, 64);
            const wchar_t* wantCls = w.classOrdinal == kButton ? L"Button"
                                   : w.classOrdinal == kStatic ? L"Static"
                                   : w.className;
            EXPECT_EQ(_wcsicmp(cls, wantCls), 0) << Narrow(cls);
            EXPECT_EQ(IsWindowEnabled(ctl) != FALSE, (w.style & WS_DISABLED) == 0);
        }
        DestroyWindow(dlg);
    }
}

// ---------------------------------------------------------------------------
// Every resource of the file is in Japanese, and the expected ones exist.

BOOL CALLBACK CollectLang(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR p)
{
    reinterpret_cast<std::set<WORD>*>(p)->insert(lang);
    return TRUE;
}

struct ResKey {
    std::wstring type, name;  // "#n" for ordinals
    bool operator<(const ResKey& o) const
    {
        return type != o.type ? type < o.type : name < o.name;
    }
};

std::wstring IdText(LPCWSTR id)
{
    if (IS_INTRESOURCE(id))
        return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id));
    return id;
}

BOOL CALLBACK CollectName(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR p)
{
    auto* all = reinterpret_cast<std::map<ResKey, std::set<WORD>>*>(p);
    std::set<WORD>& langs = (*all)[ResKey{IdText(type), IdText(name)}];
    EnumResourceLanguagesW(m, type, name, CollectLang, reinterpret_cast<LONG_PTR>(&langs));
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE m, LPWSTR type, LONG_PTR p)
{
    EnumResourceNamesW(m, type, CollectName, p);
    return TRUE;
}

TEST_F(ResourceTest, EveryResourceIsJapanese)
{
    std::map<ResKey, std::set<WORD>> all;
    EnumResourceTypesW(Module::Get(), CollectType, reinterpret_cast<LONG_PTR>(&all));

    const ResKey expected[] = {
        {L"#5", L"#100"}, {L"#5", L"#102"}, {L"#5", L"#129"},  // dialogs
        {L"#4", L"#130"},                                      // menu
        {L"#6", L"#7"},                                        // strings 96..111
        {L"#14", L"#128"},                                     // icon group
        {L"#16", L"#1"},                                       // version
        {L"#24", L"#1"},                                       // manifest
    };
    for (const ResKey& k : expected)
        EXPECT_EQ(all.count(k), 1u) << "missing type " << Narrow(k.type) << " name " << Narrow(k.name);

    for (const auto& e : all) {
        EXPECT_EQ(e.second, std::set<WORD>{kJapanese})
            << "type " << Narrow(e.first.type) << " name " << Narrow(e.first.name);
    }
}

// ---------------------------------------------------------------------------
// String 101 and the notification icon's menu.

const wchar_t kAboutItemW[] = L"Holvane のﾊﾞｰｼﾞｮﾝ情報(&A)...";
const char kAboutItemA[] = "Holvane のﾊﾞｰｼﾞｮﾝ情報(&A)...";  // code page 932 bytes

TEST_F(ResourceTest, AboutItemString)
{
    wchar_t w[128] = {};
    int n = LoadStringW(Module::Get(), 101, w, 128);
    EXPECT_EQ(std::wstring(w, n), std::wstring(kAboutItemW));
}

struct MenuEntry {
    const wchar_t* textW;
    const char* textA;  // code page 932 bytes
    UINT id;            // 0 for the separator
};

const MenuEntry kTrayMenu[] = {
    {L"メイン画面起動", "メイン画面起動", 32771},
    {nullptr, nullptr, 0},
    {L"終了", "終了", 32772},
};

TEST_F(ResourceTest, TrayMenu)
{
    HMENU menu = LoadMenuW(Module::Get(), MAKEINTRESOURCEW(130));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);

    wchar_t text[64] = {};
    MENUITEMINFOW top{};
    top.cbSize = sizeof(top);
    top.fMask = MIIM_SUBMENU | MIIM_STRING;
    top.dwTypeData = text;
    top.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 0, TRUE, &top));
    EXPECT_EQ(std::wstring(text), L"TRAY");
    HMENU popup = top.hSubMenu;
    ASSERT_NE(popup, nullptr);

    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(sizeof(kTrayMenu) / sizeof(kTrayMenu[0])));
    for (UINT i = 0; i < sizeof(kTrayMenu) / sizeof(kTrayMenu[0]); ++i) {
        const MenuEntry& want = kTrayMenu[i];
        SCOPED_TRACE("item " + std::to_string(i));
        wchar_t buf[64] = {};
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_STATE;
        mi.dwTypeData = buf;
        mi.cch = 64;
        ASSERT_TRUE(GetMenuItemInfoW(popup, i, TRUE, &mi));
        EXPECT_EQ(mi.hSubMenu, nullptr);
        if (!want.textW) {
            EXPECT_TRUE(mi.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_FALSE(mi.fType & MFT_SEPARATOR);
        EXPECT_EQ(mi.fState & (MFS_GRAYED | MFS_CHECKED | MFS_DEFAULT), 0u);
        EXPECT_EQ(mi.wID, want.id);
        EXPECT_EQ(std::wstring(buf), std::wstring(want.textW));
    }
    DestroyMenu(menu);
}

// The program reads its texts through the ANSI calls; in the Japanese code
// page they come back as exactly the program's own literals.
TEST_F(ResourceTest, AnsiTextsInCodePage932)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "system code page is " << GetACP() << ", not 932";

    char s[128] = {};
    int n = LoadStringA(Module::Get(), 101, s, sizeof(s));
    EXPECT_EQ(std::string(s, n), std::string(kAboutItemA));

    HMENU menu = LoadMenuA(Module::Get(), MAKEINTRESOURCEA(130));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    for (UINT i = 0; i < sizeof(kTrayMenu) / sizeof(kTrayMenu[0]); ++i) {
        if (!kTrayMenu[i].textA)
            continue;
        char buf[64] = {};
        MENUITEMINFOA mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_STRING;
        mi.dwTypeData = buf;
        mi.cch = sizeof(buf);
        ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &mi));
        EXPECT_EQ(std::string(buf), std::string(kTrayMenu[i].textA)) << "item " << i;
    }
    DestroyMenu(menu);
}

// ---------------------------------------------------------------------------
// Icon group 128: 15 square 32-bit images, 16 to 256 pixels.

TEST_F(ResourceTest, IconGroup)
{
    std::vector<BYTE> dir = Module::Bytes(kTypeGroupIcon, 128);
    ASSERT_FALSE(dir.empty());
    Reader r(dir);
    EXPECT_EQ(r.Word(), 0);  // reserved
    EXPECT_EQ(r.Word(), 1);  // icons, not cursors
    WORD count = r.Word();
    ASSERT_EQ(count, 15);
    ASSERT_EQ(dir.size(), 6u + 14u * count);

    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        int w = r.Byte(), h = r.Byte();
        BYTE colours = r.Byte();
        r.Byte();
        WORD planes = r.Word(), bits = r.Word();
        DWORD bytes = r.Dword();
        WORD id = r.Word();
        if (w == 0) w = 256;
        if (h == 0) h = 256;
        SCOPED_TRACE("entry " + std::to_string(i) + ", " + std::to_string(w) + " px");
        EXPECT_EQ(w, h);
        EXPECT_EQ(colours, 0);
        EXPECT_EQ(planes, 1);
        EXPECT_EQ(bits, 32);
        EXPECT_TRUE(sizes.insert(w).second) << "size given twice";

        std::vector<BYTE> image = Module::Bytes(kTypeIcon, id);
        ASSERT_EQ(image.size(), bytes);
        ASSERT_GE(image.size(), 40u);
        static const BYTE png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (memcmp(image.data(), png, 8) != 0) {
            BITMAPINFOHEADER bih;
            memcpy(&bih, image.data(), sizeof(bih));
            EXPECT_EQ(bih.biSize, sizeof(bih));
            EXPECT_EQ(bih.biWidth, w);
            EXPECT_EQ(bih.biHeight, 2 * h);  // colour and mask
            EXPECT_EQ(bih.biBitCount, 32);
        } else {
            // IHDR: width and height big-endian at bytes 16 and 20
            auto be = [&](size_t at) {
                return (image[at] << 24) | (image[at + 1] << 16) | (image[at + 2] << 8) | image[at + 3];
            };
            EXPECT_EQ(be(16), w);
            EXPECT_EQ(be(20), h);
            EXPECT_EQ(image[24], 8);  // bits per channel
            EXPECT_EQ(image[25], 6);  // RGBA
        }
        HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()),
                                              TRUE, 0x00030000, w, h, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << "image does not decode";
        if (icon)
            DestroyIcon(icon);
    }
    ASSERT_EQ(sizes.size(), 15u);
    EXPECT_EQ(*sizes.begin(), 16);
    EXPECT_EQ(*sizes.rbegin(), 256);
}

// ---------------------------------------------------------------------------
// Application manifest.

// The attributes of the first element named tag at or after from.
std::map<std::string, std::string> Attributes(const std::string& xml, const std::string& tag,
                                              size_t from, size_t* at = nullptr)
{
    std::map<std::string, std::string> attrs;
    size_t start = xml.find("<" + tag, from);
    if (at)
        *at = start;
    if (start == std::string::npos)
        return attrs;
    size_t end = xml.find('>', start);
    std::string el = xml.substr(start + tag.size() + 1, end - start - tag.size() - 1);
    size_t p = 0;
    for (;;) {
        size_t eq = el.find('=', p);
        if (eq == std::string::npos)
            break;
        size_t nameStart = el.find_last_of(" \t\r\n", eq);
        std::string name = el.substr(nameStart + 1, eq - nameStart - 1);
        char quote = el[eq + 1];
        size_t close = el.find(quote, eq + 2);
        attrs[name] = el.substr(eq + 2, close - eq - 2);
        p = close + 1;
    }
    return attrs;
}

TEST_F(ResourceTest, Manifest)
{
    std::vector<BYTE> data = Module::Bytes(kTypeManifest, 1);
    ASSERT_FALSE(data.empty());
    std::string xml(data.begin(), data.end());

    size_t dep = xml.find("<dependentAssembly");
    ASSERT_NE(dep, std::string::npos);

    size_t selfAt = 0;
    auto self = Attributes(xml, "assemblyIdentity", 0, &selfAt);
    EXPECT_LT(selfAt, dep) << "the program's own identity comes first";
    const std::pair<const char*, const char*> own[] = {
        {"type", "win32"}, {"name", "Holvane.exe"},
        {"version", "1.0.0.0"}, {"processorArchitecture", "X86"},
    };
    for (const auto& kv : own)
        EXPECT_EQ(self[kv.first], kv.second) << "program identity, " << kv.first;

    auto cc = Attributes(xml, "assemblyIdentity", dep);
    const std::pair<const char*, const char*> controls[] = {
        {"type", "win32"}, {"name", "Microsoft.Windows.Common-Controls"},
        {"version", "6.0.0.0"}, {"processorArchitecture", "X86"},
        {"publicKeyToken", "6595b64144ccf1df"}, {"language", "*"},
    };
    for (const auto& kv : controls)
        EXPECT_EQ(cc[kv.first], kv.second) << "common controls, " << kv.first;

    auto level = Attributes(xml, "requestedExecutionLevel", 0);
    EXPECT_EQ(level["level"], "asInvoker");
    EXPECT_EQ(level["uiAccess"], "false");

    size_t dpi = xml.find("<dpiAware");
    ASSERT_NE(dpi, std::string::npos);
    size_t value = xml.find('>', dpi) + 1;
    EXPECT_EQ(xml.substr(value, xml.find('<', value) - value), "true");
}

// ---------------------------------------------------------------------------
// Version resource.

const std::pair<const char*, const wchar_t*> kVersionStrings[] = {
    {"FileDescription", L"Holvane"},
    {"FileVersion", L"1.0.1.111"},
    {"InternalName", L"Holvane"},
    {"LegalCopyright", kRightsLine},
    {"OriginalFilename", L"Holvane.EXE"},
    {"ProductName", L"Holvane"},
    {"ProductVersion", L"1.0.1.111"},
};

TEST_F(ResourceTest, VersionThroughVersionApi)
{
    std::string path = ExePath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_NE(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD ms = MAKELONG(0, 1), ls = MAKELONG(111, 1);  // 1.0 . 1.111
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    WORD* trans = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&trans), &len));
    ASSERT_EQ(len, 4u) << "exactly one translation";
    EXPECT_EQ(trans[0], 0x0411);
    EXPECT_EQ(trans[1], 0x04B0);

    for (const auto& kv : kVersionStrings) {
        std::string sub = std::string("\\StringFileInfo\\041104b0\\") + kv.first;
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), sub.c_str(), reinterpret_cast<void**>(&value), &len))
            << kv.first;
        EXPECT_EQ(std::string(value), Narrow(kv.second)) << kv.first;
    }
}

// One node of the VS_VERSIONINFO tree.
struct VerNode {
    std::wstring key;
    WORD type = 0;             // 1 text, 0 binary
    std::vector<BYTE> value;
    std::vector<VerNode> children;
};

// Parses the node at `at`; `end` receives the end of its bytes (before any
// padding that may follow it).
bool ParseVerNode(const std::vector<BYTE>& data, size_t at, VerNode& node, size_t& end)
{
    Reader r(data, at);
    WORD length = r.Word();
    WORD valueLength = r.Word();
    node.type = r.Word();
    node.key = r.Sz();
    r.AlignDword();
    end = at + length;
    if (!r.Ok() || length < 6 || end > data.size())
        return false;
    size_t valueBytes = node.type == 1 ? valueLength * 2u : valueLength;  // text: in WCHARs
    node.value = r.Raw(valueBytes);
    size_t pos = r.Pos();
    while (r.Ok() && pos < end) {
        r.Seek(pos);
        r.AlignDword();
        VerNode child;
        if (!ParseVerNode(data, r.Pos(), child, pos))
            return false;
        node.children.push_back(child);
    }
    return r.Ok() && pos == end;
}

std::wstring TextValue(const VerNode& n)
{
    std::wstring s;
    for (size_t i = 0; i + 1 < n.value.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(n.value[i] | (n.value[i + 1] << 8));
        if (c == 0)
            break;
        s += c;
    }
    return s;
}

TEST_F(ResourceTest, VersionBlockLayout)
{
    std::vector<BYTE> data = Module::Bytes(kTypeVersion, 1);
    ASSERT_FALSE(data.empty());
    VerNode root;
    size_t end = 0;
    ASSERT_TRUE(ParseVerNode(data, 0, root, end)) << "malformed version block";
    EXPECT_EQ(end, data.size());
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));

    ASSERT_EQ(root.children.size(), 2u);
    const VerNode& sfi = root.children[0];
    const VerNode& vfi = root.children[1];
    EXPECT_EQ(sfi.key, L"StringFileInfo");
    EXPECT_EQ(vfi.key, L"VarFileInfo");

    ASSERT_EQ(sfi.children.size(), 1u);
    const VerNode& table = sfi.children[0];
    EXPECT_EQ(table.key, L"041104b0");
    ASSERT_EQ(table.children.size(), sizeof(kVersionStrings) / sizeof(kVersionStrings[0]));
    for (size_t i = 0; i < table.children.size(); ++i) {
        const VerNode& s = table.children[i];
        SCOPED_TRACE("string " + std::to_string(i));
        EXPECT_EQ(Narrow(s.key), kVersionStrings[i].first);
        EXPECT_EQ(s.type, 1);
        EXPECT_EQ(TextValue(s), std::wstring(kVersionStrings[i].second));
    }

    ASSERT_EQ(vfi.children.size(), 1u);
    const VerNode& tr = vfi.children[0];
    EXPECT_EQ(tr.key, L"Translation");
    EXPECT_EQ(tr.type, 0);
    const std::vector<BYTE> japaneseUnicode = {0x11, 0x04, 0xB0, 0x04};
    EXPECT_EQ(tr.value, japaneseUnicode);
}

// ---------------------------------------------------------------------------
// The file itself: a 32-bit x86 GUI program that needs no runtime DLL beyond
// the system's msvcrt.dll.

std::vector<BYTE> ReadFileBytes(const std::string& path)
{
    std::vector<BYTE> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    BYTE buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
}

// A C or C++ runtime library, by DLL name (lower case).
bool IsRuntimeDll(const std::string& dll)
{
    static const char* const prefixes[] = {
        "msvcr", "msvcp", "ucrtbase", "vcruntime", "api-ms-win-crt-",
        "libstdc++", "libgcc", "libwinpthread", "libc++", "libunwind", "cygwin1", "msys-",
    };
    for (const char* p : prefixes)
        if (dll.compare(0, strlen(p), p) == 0)
            return true;
    return false;
}

TEST_F(ResourceTest, ExecutableKindAndImports)
{
    std::vector<BYTE> file = ReadFileBytes(ExePath());
    ASSERT_GE(file.size(), sizeof(IMAGE_DOS_HEADER));
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, file.data(), sizeof(dos));
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LE(static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS32), file.size());
    IMAGE_NT_HEADERS32 nt;
    memcpy(&nt, file.data() + dos.e_lfanew, sizeof(nt));
    ASSERT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    ASSERT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_FALSE(nt.FileHeader.Characteristics & IMAGE_FILE_DLL);

    size_t sectionsAt = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader)
                      + nt.FileHeader.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
    ASSERT_LE(sectionsAt + sections.size() * sizeof(IMAGE_SECTION_HEADER), file.size());
    memcpy(sections.data(), file.data() + sectionsAt, sections.size() * sizeof(IMAGE_SECTION_HEADER));
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (const IMAGE_SECTION_HEADER& s : sections) {
            DWORD size = s.Misc.VirtualSize ? s.Misc.VirtualSize : s.SizeOfRawData;
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size)
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return file.size();
    };

    const IMAGE_DATA_DIRECTORY& imp = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(imp.VirtualAddress, 0u);
    std::vector<std::string> dlls;
    for (size_t at = offsetOf(imp.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        ASSERT_LE(at + sizeof(IMAGE_IMPORT_DESCRIPTOR), file.size());
        IMAGE_IMPORT_DESCRIPTOR d;
        memcpy(&d, file.data() + at, sizeof(d));
        if (d.Name == 0)
            break;
        size_t name = offsetOf(d.Name);
        ASSERT_LT(name, file.size());
        std::string dll;
        for (size_t i = name; i < file.size() && file[i]; ++i)
            dll += static_cast<char>(tolower(file[i]));
        dlls.push_back(dll);
    }
    ASSERT_FALSE(dlls.empty());

    bool user32 = false;
    for (const std::string& dll : dlls) {
        if (IsRuntimeDll(dll)) {
            EXPECT_EQ(dll, "msvcrt.dll") << "imports a runtime DLL that a bare system lacks";
        }
        user32 = user32 || dll == "user32.dll";
    }
    EXPECT_TRUE(user32) << "a GUI program that imports no user32.dll is not this one";
}

}  // namespace
