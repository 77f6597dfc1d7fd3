#include "docking/StackGeometry.h"

StackLayout ComputeStack(int fw, int fh, int n, int ncW, int ncH)
{
    StackLayout s;
    s.cxDock = fw + ncW + 15;
    s.cyDock = n * (fh + 5) + ncH + 35;
    int y = 30;
    for (int i = 0; i < n; ++i) {
        RECT rc = { 5, y, 5 + fw, y + fh };
        s.frames.push_back(rc);
        y += fh + 5;
    }
    return s;
}

SIZE FrameSizeForGuest(int cxGuest, int cyGuest)
{
    SIZE sz = { cxGuest + 4, cyGuest - 20 };
    if (sz.cy < 0)
        sz.cy = 0;
    if (sz.cx < 0)
        sz.cx = 0;
    return sz;
}
