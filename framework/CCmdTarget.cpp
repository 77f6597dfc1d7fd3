#include "CCmdTarget.h"

const MsgMap* CCmdTarget::GetThisMessageMap()
{
    static const MsgMapEntry entries[] = { { 0, 0, 0, nullptr } };
    static const MsgMap map = { nullptr, entries };
    return &map;
}

const MsgMapEntry* FindMsgMapEntry(const MsgMap* map, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Colour requests of every control kind share one entry.
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
        message = WM_CTLCOLORMSGBOX;
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const MsgMapEntry* e = map->lpEntries; e->pfn; ++e) {
            if (e->nMessage != message)
                continue;
            if (message == WM_COMMAND) {
                if (e->nCode != HIWORD(wParam) || e->nID != LOWORD(wParam))
                    continue;
            } else if (message == WM_NOTIFY) {
                const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
                if (!hdr || e->nCode != hdr->code || e->nID != static_cast<UINT>(hdr->idFrom))
                    continue;
            }
            return e;
        }
        if (!map->pfnGetBaseMap)
            break;
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, UINT nCode)
{
    const MsgMapEntry* e = FindMsgMapEntry(GetMessageMap(), WM_COMMAND, MAKEWPARAM(nID, nCode), 0);
    if (!e)
        return FALSE;
    LRESULT r = 0;
    e->pfn(this, WM_COMMAND, MAKEWPARAM(nID, nCode), 0, &r);
    return TRUE;
}
