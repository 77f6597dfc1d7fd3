// The four guest programs the dock knows, and how a window is recognised.
#pragma once
#include "guests/TrelvoxObj.h"
#include <vector>

struct GuestIdentity {
    LPCSTR pszExeName;
    LPCSTR pszTitle;
};
extern const GuestIdentity g_guestIdentities[4];

// Index of the first record not yet attached whose executable name and
// caption equal the given ones byte for byte; -1 when none does.
int MatchGuest(const std::vector<CTrelvoxObj>& guests, LPCSTR pszExeName, LPCSTR pszCaption);
// Whether some record not yet attached has exactly this caption: without
// one no executable name can make the window a guest.
bool CaptionMayMatch(const std::vector<CTrelvoxObj>& guests, LPCSTR pszCaption);
