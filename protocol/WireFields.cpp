#include "protocol/WireFields.h"

namespace {

struct WwanEntry {
    const char* pszKey;
    std::wstring WwanProfile::*pMember;
    const char* pszLogName;
};

// The unit sends and takes the authentication type before the PDP type,
// although the record keeps the PDP type first.
constexpr WwanEntry kWwanEntries[] = {
    {"apn", &WwanProfile::strApn, "APN"},          {"user", &WwanProfile::strUserName, "username"},
    {"pw", &WwanProfile::strPassword, "password"}, {"auth", &WwanProfile::strAuthType, "Auth"},
    {"pdp", &WwanProfile::strPdpType, "PDP"},
};

struct WifiEntry {
    const char* pszKey;
    std::wstring WifiSettings::*pMember;
    const char* pszLogName;
};

constexpr WifiEntry kWifiEntries[] = {
    {"ssid", &WifiSettings::strSsid, "SSID"},
    {"sec", &WifiSettings::strSecurity, "security"},
    {"pw_type", &WifiSettings::strKeyFormat, "key_fmt"},
    {"pw", &WifiSettings::strPassphrase, "passphrase"},
};

static_assert(std::size(kWwanEntries) * kWwanCount + std::size(kWifiEntries) == kWireFieldCount);

std::array<WireField, kWireFieldCount> BuildTable()
{
    std::array<WireField, kWireFieldCount> table{};
    size_t i = 0;
    for (int n = 0; n < kWwanCount; ++n) {
        for (const WwanEntry& e : kWwanEntries)
            table[i++] = {n, e.pszKey, e.pMember, nullptr, e.pszLogName};
    }
    for (const WifiEntry& e : kWifiEntries)
        table[i++] = {kWifiGroup, e.pszKey, nullptr, e.pMember, e.pszLogName};
    return table;
}

std::wstring Widen(const std::string& str)
{
    return std::wstring(str.begin(), str.end());
}

} // namespace

std::string WireField::GroupToken() const
{
    return IsWifi() ? std::string("w") : std::to_string(nGroup + 1);
}

std::wstring WireField::ReplyLabel() const
{
    return Widen("GET " + GroupToken() + " " + pszKey + " ");
}

std::wstring WireField::SetLine(const std::wstring& strValue) const
{
    return Widen("set " + GroupToken() + " " + pszKey + " ") + strValue + L"\r";
}

std::wstring& WireField::In(WwanProfiles& profiles, WifiSettings& wifi) const
{
    return IsWifi() ? wifi.*pWifi : profiles[static_cast<size_t>(nGroup)].*pWwan;
}

const std::wstring& WireField::In(const WwanProfiles& profiles, const WifiSettings& wifi) const
{
    return IsWifi() ? wifi.*pWifi : profiles[static_cast<size_t>(nGroup)].*pWwan;
}

const std::array<WireField, kWireFieldCount>& WireFields()
{
    static const std::array<WireField, kWireFieldCount> table = BuildTable();
    return table;
}

const WireField* FindWireField(int nGroup, std::string_view key)
{
    for (const WireField& f : WireFields()) {
        if (f.nGroup == nGroup && key == f.pszKey)
            return &f;
    }
    return nullptr;
}

const WireField* FindWireField(std::string_view groupToken, std::string_view key)
{
    if (groupToken == "w")
        return FindWireField(kWifiGroup, key);
    if (groupToken.size() == 1 && groupToken[0] >= '1' && groupToken[0] <= '4')
        return FindWireField(groupToken[0] - '1', key);
    return nullptr;
}
