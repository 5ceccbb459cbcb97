// Moving one preset section between a file and the settings records.
#include "core/QVLSession.h"

#include <algorithm>

#include <spdlog/spdlog.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "presets/PresetSections.h"

namespace {

const wchar_t* const kWifiSection = L"Wi-Fi";

std::wstring WwanSectionName(int nNo, bool bNumbered)
{
    return bNumbered ? L"WWAN" + std::to_wstring(nNo + 1) : std::wstring(L"WWAN");
}

// Reads an index key: an accepted value (by its leading number) stays exactly
// as the file has it, any other is replaced; an absent key gives strDefault.
std::wstring ReadIndexKey(const CIniFile& ini, const std::wstring& strSection, const std::wstring& strKey,
                          const std::wstring& strDefault, int nMax, const std::wstring& strReplacement)
{
    std::wstring strValue = ini.GetString(strSection, strKey, strDefault);
    const int nValue = IndexTextToInt(strValue);
    if (nValue < 0 || nValue > nMax)
        strValue = strReplacement;
    return strValue;
}

// No value of the section may hold what a save refuses (PresetValueProblem):
// a line end in a value would reach the unit as a command of its own. The
// first one found is logged with its key and file, and strReason tells it.
bool AllValuesStorable(const CIniFile& ini, const std::wstring& strSection, const IniValues& keys,
                       const std::wstring& strPath, std::wstring& strReason)
{
    for (const auto& key : keys) {
        const IniValues value{{key.first, ini.GetString(strSection, key.first, L"")}};
        strReason = UnstorableValueReason(value, L"[" + strSection + L"]");
        if (!strReason.empty()) {
            LogError(logtext::kPresetValueRefused, key.first, strSection, strPath);
            return false;
        }
    }
    return true;
}

void LogWwanSave(int nNo, const WwanProfile& profile)
{
    spdlog::info("Save WWAN {} APN {}", nNo + 1, ToUtf8(profile.strApn));
    spdlog::info("Save WWAN {} username {}", nNo + 1, ToUtf8(profile.strUserName));
    spdlog::info("Save WWAN {} password {}", nNo + 1, ToUtf8(profile.strPassword));
    spdlog::info("Save WWAN {} PDP {}", nNo + 1, ToUtf8(profile.strPdpType));
    spdlog::info("Save WWAN {} Auth {}", nNo + 1, ToUtf8(profile.strAuthType));
}

void LogWifiSave(const WifiSettings& settings)
{
    spdlog::info("Save WiFi SSID {}", ToUtf8(settings.strSsid));
    spdlog::info("Save WiFi security {}", ToUtf8(settings.strSecurity));
    spdlog::info("Save WiFi key_fmt {}", ToUtf8(settings.strKeyFormat));
    spdlog::info("Save WiFi passphrase {}", ToUtf8(settings.strPassphrase));
}

bool IsGroupNumber(int nNo)
{
    return static_cast<unsigned>(nNo) < static_cast<unsigned>(kWwanCount);
}

} // namespace

IniValues WwanSectionValues(const WwanProfile& profile)
{
    return {
        {L"APN", profile.strApn},           {L"USERNAME", profile.strUserName}, {L"PASSWORD", profile.strPassword},
        {L"AUTHTYPE", profile.strAuthType}, {L"PDPTYPE", profile.strPdpType},
    };
}

IniValues WifiSectionValues(const WifiSettings& settings)
{
    return {
        {L"SSID", settings.strSsid},
        {L"PASSPHRASE", settings.strPassphrase},
        {L"SECURITY", settings.strSecurity},
        {L"PWTYPE", settings.strKeyFormat},
    };
}

bool SectionExists(const std::wstring& strSection, const std::wstring& strPath)
{
    CIniFile ini;
    if (ini.Load(strPath) != CIniFile::LoadResult::Ok)
        return false;
    return ini.HasSectionExact(strSection);
}

bool CQVLSession::ReadWwanSection(int nNo, const std::wstring& strPath, bool bNumbered)
{
    CIniFile ini;
    const bool bLoaded = ini.Load(strPath) == CIniFile::LoadResult::Ok;
    return ReadWwanSection(nNo, bLoaded ? &ini : nullptr, strPath, bNumbered);
}

bool CQVLSession::ReadWwanSection(int nNo, const CIniFile* pIni, const std::wstring& strPath, bool bNumbered)
{
    LogInfo(logtext::kLoadWwanPreset, nNo + 1, strPath);
    m_strPresetError.clear();
    if (!IsGroupNumber(nNo))
        return false;

    const std::wstring strSection = WwanSectionName(nNo, bNumbered);
    if (pIni == nullptr || !pIni->HasSectionExact(strSection))
        return false;
    const CIniFile& ini = *pIni;
    if (!AllValuesStorable(ini, strSection, WwanSectionValues(WwanProfile{}), strPath, m_strPresetError))
        return false;

    WwanProfile profile;
    profile.strApn = ini.GetString(strSection, L"APN", L"");
    profile.strUserName = ini.GetString(strSection, L"USERNAME", L"");
    profile.strPassword = ini.GetString(strSection, L"PASSWORD", L"");
    profile.strAuthType = ReadIndexKey(ini, strSection, L"AUTHTYPE", L"1", 2, L"1");
    profile.strPdpType = ReadIndexKey(ini, strSection, L"PDPTYPE", L"0", 2, L"0");
    SetWwanProfile(nNo, profile);
    return true;
}

bool CQVLSession::ReadWifiSection(const std::wstring& strPath)
{
    CIniFile ini;
    const bool bLoaded = ini.Load(strPath) == CIniFile::LoadResult::Ok;
    return ReadWifiSection(bLoaded ? &ini : nullptr, strPath);
}

bool CQVLSession::ReadWifiSection(const CIniFile* pIni, const std::wstring& strPath)
{
    LogInfo(logtext::kLoadWifiPreset, strPath);
    m_strPresetError.clear();

    if (pIni == nullptr || !pIni->HasSectionExact(kWifiSection))
        return false;
    const CIniFile& ini = *pIni;
    if (!AllValuesStorable(ini, kWifiSection, WifiSectionValues(WifiSettings{}), strPath, m_strPresetError))
        return false;

    WifiSettings settings;
    settings.strSsid = ini.GetString(kWifiSection, L"SSID", L"");
    settings.strPassphrase = ini.GetString(kWifiSection, L"PASSPHRASE", L"");
    settings.strSecurity = ReadIndexKey(ini, kWifiSection, L"SECURITY", L"1", 1, L"1");
    settings.strKeyFormat = ReadIndexKey(ini, kWifiSection, L"PWTYPE", L"0", 1, L"0");
    SetWifiSettings(settings);
    return true;
}

bool CQVLSession::WriteWwanSection(int nNo, const std::wstring& strPath, bool bNumbered)
{
    m_strPresetError.clear();
    LogInfo(logtext::kSaveWwanPreset, nNo + 1, strPath);
    if (!IsGroupNumber(nNo)) {
        m_strPresetError = L"There is no WWAN group " + std::to_wstring(nNo + 1) + L".";
        return false;
    }

    const WwanProfile profile = GetWwanProfile(nNo);
    LogWwanSave(nNo, profile);

    std::wstring strError;
    if (!UpdateIniFile(strPath, WwanSectionName(nNo, bNumbered), WwanSectionValues(profile), strError)) {
        m_strPresetError = strError;
        LogError(logtext::kSaveWwanPresetFailed, nNo + 1, strPath, strError);
        return false;
    }
    return true;
}

bool CQVLSession::WriteWifiSection(const std::wstring& strPath)
{
    m_strPresetError.clear();
    LogInfo(logtext::kSaveWifiPreset, strPath);

    const WifiSettings settings = GetWifiSettings();
    LogWifiSave(settings);

    std::wstring strError;
    if (!UpdateIniFile(strPath, kWifiSection, WifiSectionValues(settings), strError)) {
        m_strPresetError = strError;
        LogError(logtext::kSaveWifiPresetFailed, strPath, strError);
        return false;
    }
    return true;
}

bool CQVLSession::WriteAllSections(const std::wstring& strPath)
{
    m_strPresetError.clear();
    // All five sections go into the file in one replacement: it ends up with
    // all of them or stays as it was.
    IniSections sections;
    for (int nNo = 0; nNo < kWwanCount; ++nNo) {
        LogInfo(logtext::kSaveWwanPreset, nNo + 1, strPath);
        const WwanProfile profile = GetWwanProfile(nNo);
        LogWwanSave(nNo, profile);
        sections.push_back({WwanSectionName(nNo, true), WwanSectionValues(profile)});
    }
    LogInfo(logtext::kSaveWifiPreset, strPath);
    const WifiSettings settings = GetWifiSettings();
    LogWifiSave(settings);
    sections.push_back({kWifiSection, WifiSectionValues(settings)});

    std::wstring strError;
    if (!UpdateIniFile(strPath, sections, strError)) {
        m_strPresetError = strError;
        LogError(logtext::kSaveAllPresetFailed, strPath, strError);
        return false;
    }
    return true;
}
