#include "qvlctl/CtlFields.h"

#include <cstring>

#include "app/TextUtil.h"

namespace {

struct Naming {
    bool bWifi;
    const char* pszWireKey;
    const char* pszName;             // the preset key, lower case
    std::vector<std::string> arrLabels;
};

// The list items follow the window's drop-down lists.
const Naming kNaming[] = {
    {false, "apn", "apn", {}},
    {false, "user", "username", {}},
    {false, "pw", "password", {}},
    {false, "auth", "authtype", {"none", "CHAP", "PAP"}},
    {false, "pdp", "pdptype", {"IPV4", "IPV6", "IPV4V6"}},
    {true, "ssid", "ssid", {}},
    {true, "sec", "security", {"none", "WPA2-PSK (AES)"}},
    {true, "pw_type", "pwtype", {"ASCII", "HEX"}},
    {true, "pw", "passphrase", {}},
};

std::string Lower(std::string str)
{
    for (char& c : str)
        c = static_cast<char>(AsciiLower(static_cast<wchar_t>(static_cast<unsigned char>(c))));
    return str;
}

std::vector<CtlField> BuildFields()
{
    std::vector<CtlField> fields;
    for (const WireField& wire : WireFields()) {
        for (const Naming& n : kNaming) {
            if (n.bWifi != wire.IsWifi() || std::strcmp(n.pszWireKey, wire.pszKey) != 0)
                continue;
            CtlField field;
            field.pWire = &wire;
            field.strKey = n.pszName;
            field.strName = (wire.IsWifi() ? std::string("wifi") : "wwan" + std::to_string(wire.nGroup + 1)) + "." +
                            n.pszName;
            field.bSecret = std::strcmp(wire.pszKey, "pw") == 0;
            field.arrLabels = n.arrLabels;
            fields.push_back(std::move(field));
        }
    }
    return fields;
}

} // namespace

const std::vector<CtlField>& CtlFields()
{
    static const std::vector<CtlField> fields = BuildFields();
    return fields;
}

const CtlField* FindCtlField(const std::string& strKey)
{
    const std::string strLower = Lower(strKey);
    const size_t nDot = strLower.find('.');
    if (nDot == std::string::npos)
        return nullptr;
    const std::string strGroup = strLower.substr(0, nDot);
    const std::string strField = strLower.substr(nDot + 1);
    for (const CtlField& field : CtlFields()) {
        if (field.strName.compare(0, nDot + 1, strGroup + ".") != 0)
            continue;
        if (field.strKey == strField || field.pWire->pszKey == strField)
            return &field;
    }
    return nullptr;
}

const CtlField* FieldOfSetLine(const std::wstring& strLine)
{
    for (const CtlField& field : CtlFields()) {
        const std::wstring strHead = field.pWire->SetLine(L"");
        if (strLine.compare(0, strHead.size() - 1, strHead, 0, strHead.size() - 1) == 0)
            return &field;
    }
    return nullptr;
}

const CtlField& FieldOfFailure(const ValidationFailure& failure)
{
    const char* pszKey = "passphrase";
    switch (failure.field) {
    case ValidationField::Apn:        pszKey = "apn"; break;
    case ValidationField::UserName:   pszKey = "username"; break;
    case ValidationField::Password:   pszKey = "password"; break;
    case ValidationField::Ssid:       pszKey = "ssid"; break;
    case ValidationField::Passphrase: pszKey = "passphrase"; break;
    }
    const std::string strGroup = failure.nNo == kWifiGroup ? std::string("wifi") : "wwan" + std::to_string(failure.nNo + 1);
    return *FindCtlField(strGroup + "." + pszKey);
}

std::optional<std::wstring> ParseIndexValue(const CtlField& field, const std::string& strValue)
{
    for (size_t i = 0; i < field.arrLabels.size(); ++i) {
        if (strValue == std::to_string(i) || Lower(strValue) == Lower(field.arrLabels[i]))
            return std::to_wstring(i);
    }
    return std::nullopt;
}

std::string ShowLine(const std::wstring& strLine, bool bShowSecrets)
{
    std::wstring strShown = strLine;
    if (!strShown.empty() && strShown.back() == L'\r')
        strShown.pop_back();
    const CtlField* pField = FieldOfSetLine(strLine);
    if (pField && pField->bSecret && !bShowSecrets)
        strShown = pField->pWire->SetLine(L"***");
    if (!strShown.empty() && strShown.back() == L'\r')
        strShown.pop_back();
    return ToUtf8(strShown);
}
