// Everything the program uses of the class framework.
#pragma once
#include "CString.h"
#include "CCmdTarget.h"
#include "CWnd.h"
#include "CDialog.h"
#include "CWinApp.h"
#include "CMenu.h"
#include "CBrush.h"
#include "CDC.h"
#include "CPaintDC.h"
#include "CDataExchange.h"
