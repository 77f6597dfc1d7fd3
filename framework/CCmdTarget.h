// Base of everything that has a message map.
#pragma once
#include <windows.h>

class CCmdTarget;

// One row of a message map. For WM_COMMAND, nCode is the notification code
// and nID the control or command id; for WM_NOTIFY, the NMHDR code and
// idFrom. The handler unpacks the message and calls the member function.
struct MsgMapEntry {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    void (*pfn)(CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

struct MsgMap {
    const MsgMap* (*pfnGetBaseMap)();
    const MsgMapEntry* lpEntries;
};

// Finds the first entry for the message along the chain of maps, starting
// with the most derived class.
const MsgMapEntry* FindMsgMapEntry(const MsgMap* map, UINT message, WPARAM wParam, LPARAM lParam);

class CCmdTarget {
public:
    virtual ~CCmdTarget() {}
    static const MsgMap* GetThisMessageMap();
    virtual const MsgMap* GetMessageMap() const { return GetThisMessageMap(); }
    // Routes a command (WM_COMMAND id and code) through this object's map.
    BOOL OnCmdMsg(UINT nID, UINT nCode);
};

#define DECLARE_MESSAGE_MAP()                                   \
public:                                                         \
    static const MsgMap* GetThisMessageMap();                   \
    const MsgMap* GetMessageMap() const override;               \
private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                  \
    const MsgMap* theClass::GetMessageMap() const               \
    { return GetThisMessageMap(); }                             \
    const MsgMap* theClass::GetThisMessageMap()                 \
    {                                                           \
        typedef theClass ThisClass;                             \
        typedef baseClass TheBaseClass;                         \
        static const MsgMapEntry entries[] = {

#define END_MESSAGE_MAP()                                       \
            { 0, 0, 0, nullptr }                                \
        };                                                      \
        static const MsgMap map = { &TheBaseClass::GetThisMessageMap, entries }; \
        return &map;                                            \
    }

#define AFX_T(expr) static_cast<ThisClass*>(t)->expr
#define AFX_ENTRY(msg, code, id, ...)                          \
    { msg, code, static_cast<UINT>(id),                         \
      [](CCmdTarget* t, UINT m, WPARAM w, LPARAM l, LRESULT* r) { \
          (void)t; (void)m; (void)w; (void)l; (void)r; __VA_ARGS__; } },

#define ON_COMMAND(id, fn)      AFX_ENTRY(WM_COMMAND, 0, id, AFX_T(fn()))
#define ON_BN_CLICKED(id, fn)   AFX_ENTRY(WM_COMMAND, BN_CLICKED, id, AFX_T(fn()))
#define ON_NOTIFY(code, id, fn) AFX_ENTRY(WM_NOTIFY, static_cast<UINT>(code), id, \
                                    AFX_T(fn(reinterpret_cast<NMHDR*>(l), r)))
