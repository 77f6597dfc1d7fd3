#include "guests/GuestTable.h"
#include "dock/HolvaneDlg.h"

const GuestIdentity g_guestIdentities[4] = {
    { "TrelvoxOne.exe", "TrelvoxOne Ⅱ" },
    { "TrelvoxForVnc.exe", "TrelvoxForVNC Ⅱ" },
    { "TrelvoxForFtp.exe", "TrelvoxForFTP Ⅱ" },
    { "TrelvoxForCvs.exe", "TrelvoxForCVS Ⅱ" },
};

int MatchGuest(const std::vector<CTrelvoxObj>& guests, LPCSTR pszExeName, LPCSTR pszCaption)
{
    for (size_t i = 0; i < guests.size(); ++i) {
        const CTrelvoxObj& g = guests[i];
        if (g.m_bAttached)
            continue;
        if (g.m_strExeName.Compare(pszExeName) == 0 && g.m_strTitle.Compare(pszCaption) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool CaptionMayMatch(const std::vector<CTrelvoxObj>& guests, LPCSTR pszCaption)
{
    for (size_t i = 0; i < guests.size(); ++i)
        if (!guests[i].m_bAttached && guests[i].m_strTitle.Compare(pszCaption) == 0)
            return true;
    return false;
}

void CHolvaneDlg::InitGuestTable()
{
    CTrelvoxObj blank;
    for (int i = 0; i < 4; ++i)
        m_guests.push_back(blank);
    for (size_t i = 0; i < m_guests.size(); ++i)
        m_guests[i].m_strIniPath = m_strIniPath;
    for (int i = 0; i < 4; ++i) {
        m_guests[i].SetExeName(g_guestIdentities[i].pszExeName);
        m_guests[i].m_strTitle = g_guestIdentities[i].pszTitle;
    }
}

void CHolvaneDlg::LaunchMissingGuests()
{
    for (size_t i = 0; i < m_guests.size(); ++i)
        if (!m_guests[i].m_bAttached)
            m_guests[i].Launch();
}
