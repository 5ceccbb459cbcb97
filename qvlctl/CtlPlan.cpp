#include "qvlctl/CtlPlan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "presets/FileAccess.h"
#include "presets/IniFile.h"
#include "presets/PresetSections.h"

namespace qvlctl {

namespace {

std::string Extension(const std::string& strPath)
{
    const size_t nSlash = strPath.find_last_of('/');
    const size_t nDot = strPath.find_last_of('.');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash))
        return {};
    std::string strExt = strPath.substr(nDot + 1);
    for (char& c : strExt)
        c = static_cast<char>(AsciiLower(static_cast<wchar_t>(static_cast<unsigned char>(c))));
    return strExt;
}

std::string UpperAscii(std::string str)
{
    for (char& c : str) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return str;
}

} // namespace

// Checks the values a command gives, before any unit is touched. A value
// whose rule depends on the unit (a passphrase without its key format) is
// checked with each unit's settings.
bool CheckGivenValues(const std::vector<Assignment>& assignments, CtlError& err)
{
    UnitSettings given; // the empty texts pass every rule
    bool bKeyFormat = false;
    for (const Assignment& a : assignments) {
        a.pField->In(given) = a.strValue;
        bKeyFormat = bKeyFormat || (a.pField->pWire->IsWifi() && a.pField->strKey == "pwtype");
    }
    if (!bKeyFormat)
        given.wifi.strPassphrase.clear();
    return ValidateSettings(given, err);
}

// Checks the command's arguments before any unit is touched.
bool PlanAssignments(const Options& o, std::vector<Assignment>& assignments, CtlError& err)
{
    for (const std::string& strArg : o.arrAssignments) {
        const size_t nEq = strArg.find('=');
        if (nEq == std::string::npos) {
            err = {kExitUsage, "\"" + strArg + "\" is not KEY=VALUE", ""};
            return false;
        }
        const std::string strKey = strArg.substr(0, nEq);
        const std::string strValue = strArg.substr(nEq + 1);
        const CtlField* pField = FindCtlField(strKey);
        if (!pField) {
            err = {kExitUsage,
                   "unknown key \"" + strKey
                       + "\" (keys are wwan1.apn ... wwan4.pdptype, wifi.ssid ... wifi.pwtype; see qvlctl set --help)",
                   ""};
            return false;
        }
        Assignment a{pField, FromUtf8(strValue)};
        if (pField->IsIndex()) {
            const std::optional<std::wstring> index = ParseIndexValue(*pField, strValue);
            if (!index) {
                err = {kExitInvalid, pField->strName + ": Please enter one of " + IndexChoices(*pField) + ".",
                       pField->strName};
                return false;
            }
            a.strValue = *index;
        }
        assignments.push_back(a);
    }
    return CheckGivenValues(assignments, err);
}

// Reads the preset file once, by the bytes of its name, and turns the
// sections it holds into the fields they set. Every section holds all its
// keys (one that lacks a key is cut, or not a preset); an index key holds
// its list position as plain decimal.
bool PlanPreset(const Options& o, std::vector<Assignment>& assignments, CtlError& err, std::string* pstrBytes)
{
    const std::string strExt = Extension(o.strFile);
    if (strExt == "wwan" && o.nGroup == 0) {
        err = {kExitUsage, "a *.wwan preset holds one profile: say which with --group 1..4", ""};
        return false;
    }
    if (strExt != "wwan" && o.nGroup != 0) {
        err = {kExitUsage, "--group is for *.wwan presets only", ""};
        return false;
    }
    // One open and one read: the content checked is the content sent and
    // fingerprinted.
    CIniFile ini;
    std::string strBytes;
    bool bCut = false;
    const Status read = o.strFile.empty() ? Status(ErrnoFailure(ENOENT))
                                          : ReadRegularFile(o.strFile, CIniFile::kMaxFileBytes, strBytes, bCut);
    if (!read) {
        if (read.Is(FailureKind::NotFound))
            err = {kExitPreset, o.strFile + ": no such file", ""};
        else
            err = {kExitPreset, o.strFile + ": " + ToUtf8(read.Text()), ""};
        return false;
    }
    ini.Parse(strBytes);
    if (ini.TooManyLines()) {
        err = {kExitPreset,
               o.strFile + ": " + std::strerror(EFBIG) + " (a preset has at most " + std::to_string(CIniFile::kMaxLines)
                   + " lines)",
               ""};
        return false;
    }
    if (bCut) {
        err = {kExitPreset,
               o.strFile + ": larger than the " + std::to_string(CIniFile::kMaxFileBytes / (1024 * 1024))
                   + " MiB a preset may have",
               ""};
        return false;
    }

    // The sections to use: the file's section name and the group it sets.
    std::vector<std::pair<std::wstring, int>> sections;
    if (strExt == "wwan") {
        if (ini.HasSectionExact(L"WWAN"))
            sections.push_back({L"WWAN", o.nGroup - 1});
    } else if (strExt == "wifi") {
        if (ini.HasSectionExact(L"Wi-Fi"))
            sections.push_back({L"Wi-Fi", kWifiGroup});
    } else {
        for (int n = 0; n < kWwanCount; ++n) {
            if (ini.HasSectionExact(L"WWAN" + std::to_wstring(n + 1)))
                sections.push_back({L"WWAN" + std::to_wstring(n + 1), n});
        }
        if (ini.HasSectionExact(L"Wi-Fi"))
            sections.push_back({L"Wi-Fi", kWifiGroup});
    }
    if (sections.empty()) {
        const char* pszWanted = strExt == "wwan" ? "[WWAN]"
            : strExt == "wifi"                   ? "[Wi-Fi]"
                                                 : "[WWAN1] to [WWAN4] or [Wi-Fi]";
        err = {kExitPreset, o.strFile + ": no " + std::string(pszWanted) + " section", ""};
        return false;
    }

    for (const auto& [strSection, nGroup] : sections) {
        for (const CtlField& field : CtlFields()) {
            if (field.pWire->nGroup != nGroup)
                continue;
            const std::string strKey = UpperAscii(field.strKey);
            const std::string strWhere = o.strFile + ": [" + ToUtf8(strSection) + "] " + strKey;
            std::wstring strValue;
            if (!ini.GetValue(strSection, FromUtf8(strKey), strValue)) {
                err = {kExitPreset, strWhere + " is missing (is the file cut?)", field.strName};
                return false;
            }
            if (field.IsIndex() && !ParseIndexNumber(field, strValue)) {
                if (strValue != IndexToText(-1)) {
                    err = {kExitInvalid,
                           strWhere + "=" + ToUtf8(strValue) + ": Please enter one of " + IndexChoices(field) + ".",
                           field.strName};
                    return false;
                }
                // A list the window saved with nothing chosen: read as the window reads it.
                strValue = PresetIndexText(*field.pWire, strValue);
                const std::string strLabel = field.Labels().at(static_cast<size_t>(IndexTextToInt(strValue)));
                std::fprintf(stderr, "qvlctl: %s=-1 (nothing chosen) reads as %s (%s), as in the window\n",
                             Printable(strWhere).c_str(), ToUtf8(strValue).c_str(), strLabel.c_str());
            }
            assignments.push_back({&field, strValue});
        }
    }
    if (pstrBytes)
        *pstrBytes = std::move(strBytes);
    return CheckGivenValues(assignments, err);
}

} // namespace qvlctl
