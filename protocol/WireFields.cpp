#include "protocol/WireFields.h"

#include <algorithm>

namespace {

std::vector<const FieldSpec*> Ordered(const std::vector<FieldSpec>& specs, int FieldSpec::*pPos)
{
    std::vector<const FieldSpec*> order;
    for (const FieldSpec& spec : specs)
        order.push_back(&spec);
    std::stable_sort(order.begin(), order.end(),
                     [pPos](const FieldSpec* a, const FieldSpec* b) { return a->*pPos < b->*pPos; });
    return order;
}

std::vector<WireField> BuildTable()
{
    std::vector<WireField> table;
    for (int n = 0; n < kWwanCount; ++n) {
        for (const FieldSpec& spec : WwanFieldSpecs())
            table.push_back(WireField{spec, n});
    }
    for (const FieldSpec& spec : WifiFieldSpecs())
        table.push_back(WireField{spec, kWifiGroup});
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

// One row a field: wire key, record member (WWAN, Wi-Fi), log name, preset key,
// preset default, qvlctl name, secret, list items, place among the preset
// section's keys, place in the log block, the form's check and name.
// clang-format off
const std::vector<FieldSpec>& WwanFieldSpecs()
{
    // The unit sends and takes the authentication type before the PDP type;
    // the log blocks name the PDP type first.
    static const std::vector<FieldSpec> specs = {
        {"apn",  &WwanProfile::strApn,      nullptr, "APN",      L"APN",      L"",  "apn",      false, {},                         0, 0, TextRule::Short,      L"APN"},
        {"user", &WwanProfile::strUserName, nullptr, "username", L"USERNAME", L"",  "username", false, {},                         1, 1, TextRule::Short,      L"User Name"},
        {"pw",   &WwanProfile::strPassword, nullptr, "password", L"PASSWORD", L"",  "password", true,  {},                         2, 2, TextRule::Short,      L"Password"},
        {"auth", &WwanProfile::strAuthType, nullptr, "Auth",     L"AUTHTYPE", L"1", "authtype", false, {"none", "CHAP", "PAP"},    3, 4, TextRule::None,       nullptr},
        {"pdp",  &WwanProfile::strPdpType,  nullptr, "PDP",      L"PDPTYPE",  L"0", "pdptype",  false, {"IPV4", "IPV6", "IPV4V6"}, 4, 3, TextRule::None,       nullptr},
    };
    return specs;
}

const std::vector<FieldSpec>& WifiFieldSpecs()
{
    // A preset section holds the passphrase second.
    static const std::vector<FieldSpec> specs = {
        {"ssid",    nullptr, &WifiSettings::strSsid,       "SSID",       L"SSID",       L"",  "ssid",       false, {},                           0, 0, TextRule::Short,      L"SSID"},
        {"sec",     nullptr, &WifiSettings::strSecurity,   "security",   L"SECURITY",   L"1", "security",   false, {"none", "WPA2-PSK (AES)"}, 2, 1, TextRule::None,       nullptr},
        {"pw_type", nullptr, &WifiSettings::strKeyFormat,  "key_fmt",    L"PWTYPE",     L"0", "pwtype",     false, {"ASCII", "HEX"},             3, 2, TextRule::None,       nullptr},
        {"pw",      nullptr, &WifiSettings::strPassphrase, "passphrase", L"PASSPHRASE", L"",  "passphrase", true,  {},                           1, 3, TextRule::Passphrase, L"Passphrase"},
    };
    return specs;
}
// clang-format on

const std::vector<const FieldSpec*>& WwanPresetOrder()
{
    static const std::vector<const FieldSpec*> order = Ordered(WwanFieldSpecs(), &FieldSpec::nPresetPos);
    return order;
}

const std::vector<const FieldSpec*>& WifiPresetOrder()
{
    static const std::vector<const FieldSpec*> order = Ordered(WifiFieldSpecs(), &FieldSpec::nPresetPos);
    return order;
}

const std::vector<const FieldSpec*>& WwanLogOrder()
{
    static const std::vector<const FieldSpec*> order = Ordered(WwanFieldSpecs(), &FieldSpec::nLogPos);
    return order;
}

const std::vector<const FieldSpec*>& WifiLogOrder()
{
    static const std::vector<const FieldSpec*> order = Ordered(WifiFieldSpecs(), &FieldSpec::nLogPos);
    return order;
}

const FieldSpec& FieldSpecOf(std::wstring WwanProfile::*pMember)
{
    return *std::find_if(WwanFieldSpecs().begin(), WwanFieldSpecs().end(),
                         [pMember](const FieldSpec& spec) { return spec.pWwan == pMember; });
}

const FieldSpec& FieldSpecOf(std::wstring WifiSettings::*pMember)
{
    return *std::find_if(WifiFieldSpecs().begin(), WifiFieldSpecs().end(),
                         [pMember](const FieldSpec& spec) { return spec.pWifi == pMember; });
}

const std::vector<WireField>& WireFields()
{
    static const std::vector<WireField> table = BuildTable();
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
