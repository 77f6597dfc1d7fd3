// Which top-level windows the hang watchdog tests.
#pragma once
#include <windows.h>

// Position (0-5) of the upper-cased executable name in the watched list,
// -1 when it is not watched.
int WatchedNameIndex(LPCSTR pszBaseName);

// What the watchdog knows of a window once it has asked its process.
struct WindowFacts {
    BOOL bVisible;
    LPCSTR pszCaption;
    LPCSTR pszBaseName;
    DWORD dwStyle;
    RECT rcWindow;
};

// The collection tests after the process queries, in their order: system
// menu, minimise box, non-empty rectangle, watched name. Visibility and a
// caption are tested too, so that a table of facts can be checked alone.
bool IsWatchedWindow(const WindowFacts& facts);
// The same tests without the name: visible, captioned, system menu,
// minimise box, non-empty rectangle.
bool PassesWatchStyle(const WindowFacts& facts);
