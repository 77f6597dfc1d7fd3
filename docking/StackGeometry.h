// Where the frames of the stack go and how big the dock becomes.
#pragma once
#include <windows.h>
#include <vector>

struct StackLayout {
    int cxDock;                 // dock window, outer size
    int cyDock;
    std::vector<RECT> frames;   // frame rectangles in the dock's client area
};

// fw, fh: frame 0's window size; n: number of frames; ncW, ncH: the dock's
// non-client width and height.
StackLayout ComputeStack(int fw, int fh, int n, int ncW, int ncH);

// The frame size for a guest window of the given outer size. A window less
// than 20 pixels high gives a frame of height 0, never a negative one.
SIZE FrameSizeForGuest(int cxGuest, int cyGuest);
