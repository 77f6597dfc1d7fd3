// Private messages of the dock and its guest windows.
#pragma once
#include <windows.h>

#define WM_TRAYNOTIFY   (WM_USER + 100)
#define WM_GUEST_QUIT   (WM_USER + 201)
#define WM_GUEST_OPEN   (WM_USER + 202)
#define WM_GUEST_CLOSE  (WM_USER + 203)
#define WM_GUEST_SELECT (WM_USER + 204)
