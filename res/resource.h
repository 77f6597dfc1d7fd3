// Resource and command ids of Holvane.
#pragma once

#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_MAIN            102
#define IDR_MAINFRAME       128
#define IDD_FRAME           129
#define IDR_TRAYMENU        130

#define IDC_SEARCH          1000
#define IDC_TITLE           1001
#define IDC_VERSION         1003
#define IDC_OPEN            1004
#define IDC_CLOSE           1005
#define IDC_ABOUT_LINK      1005
#define IDC_SELECT          1006
#define IDC_LINK            1007

#define ID_TRAY_SHOWMAIN    32771
#define ID_TRAY_EXIT        32772

#define IDM_ABOUTBOX        0x0010

#define IDC_STATIC          (-1)
