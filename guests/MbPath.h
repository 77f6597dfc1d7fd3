// Paths in the ANSI multibyte code page.
#pragma once
#include "Framework.h"

// The text before the last backslash, searched character by character so
// that the trail byte 0x5C of a double-byte character is never taken for
// one; empty when there is no backslash.
CString MbDirectoryOf(LPCSTR pszPath);
