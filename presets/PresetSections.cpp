// Moving one preset section between a file and the settings records.
#include "core/QVLSession.h"

#include <algorithm>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "presets/PresetSections.h"
#include "protocol/WireFields.h"

namespace {

const wchar_t* const kWifiSection = L"Wi-Fi";

std::wstring WwanSectionName(int nNo, bool bNumbered)
{
    return bNumbered ? L"WWAN" + std::to_wstring(nNo + 1) : std::wstring(L"WWAN");
}

// Reads the key of a field: an absent key gives the field's default; an index
// field's value is read by PresetIndexText.
std::wstring ReadKey(const CIniFile& ini, const std::wstring& strSection, const FieldSpec& spec)
{
    std::wstring strValue = ini.GetString(strSection, spec.pszPresetKey, spec.pszPresetDefault);
    return spec.IsIndex() ? PresetIndexText(spec, strValue) : strValue;
}

// No value of the section may hold what a save refuses (PresetValueProblem):
// a line end in a value would reach the unit as a command of its own. The
// first one found is logged with its key and file, and refused (InvalidData).
Status AllValuesStorable(const CIniFile& ini, const std::wstring& strSection, const IniValues& keys,
                         const std::wstring& strPath)
{
    for (const auto& key : keys) {
        const IniValues value{{key.first, ini.GetString(strSection, key.first, L"")}};
        std::wstring strReason = UnstorableValueReason(value, L"[" + strSection + L"]");
        if (!strReason.empty()) {
            LogError(logtext::kPresetValueRefused, key.first, strSection, strPath);
            return Failure{FailureKind::InvalidData, 0, std::move(strReason)};
        }
    }
    return Status();
}

void LogWwanSave(int nNo, const WwanProfile& profile)
{
    for (const FieldSpec* pSpec : WwanLogOrder())
        LogInfo(logtext::kSaveWwanField, nNo + 1, pSpec->pszLogName, profile.*pSpec->pWwan);
}

void LogWifiSave(const WifiSettings& settings)
{
    for (const FieldSpec* pSpec : WifiLogOrder())
        LogInfo(logtext::kSaveWifiField, pSpec->pszLogName, settings.*pSpec->pWifi);
}

bool IsGroupNumber(int nNo)
{
    return static_cast<unsigned>(nNo) < static_cast<unsigned>(kWwanCount);
}

Failure NoGroup(int nNo)
{
    return Failure{FailureKind::NotFound, 0, L"There is no WWAN group " + std::to_wstring(nNo + 1) + L"."};
}

Failure NoSection(const std::wstring& strSection)
{
    return Failure{FailureKind::NotFound, 0, L"The file has no [" + strSection + L"] section."};
}

} // namespace

std::wstring PresetIndexText(const FieldSpec& spec, const std::wstring& strValue)
{
    const int nValue = IndexTextToInt(strValue);
    return nValue < 0 || nValue > spec.MaxIndex() ? std::wstring(spec.pszPresetDefault) : strValue;
}

IniValues WwanSectionValues(const WwanProfile& profile)
{
    IniValues values;
    for (const FieldSpec* pSpec : WwanPresetOrder())
        values.push_back({pSpec->pszPresetKey, profile.*pSpec->pWwan});
    return values;
}

IniValues WifiSectionValues(const WifiSettings& settings)
{
    IniValues values;
    for (const FieldSpec* pSpec : WifiPresetOrder())
        values.push_back({pSpec->pszPresetKey, settings.*pSpec->pWifi});
    return values;
}

bool SectionExists(const std::wstring& strSection, const std::wstring& strPath)
{
    CIniFile ini;
    if (!ini.Load(strPath))
        return false;
    return ini.HasSectionExact(strSection);
}

Status CQVLSession::ReadWwanSection(int nNo, const std::wstring& strPath, bool bNumbered)
{
    CIniFile ini;
    const Status loaded = ini.Load(strPath);
    return ReadWwanSection(nNo, ini, loaded, strPath, bNumbered);
}

Status CQVLSession::ReadWwanSection(int nNo, const CIniFile& ini, const Status& loaded, const std::wstring& strPath,
                                    bool bNumbered)
{
    LogInfo(logtext::kLoadWwanPreset, nNo + 1, strPath);
    if (!IsGroupNumber(nNo))
        return NoGroup(nNo);

    const std::wstring strSection = WwanSectionName(nNo, bNumbered);
    if (!loaded)
        return loaded;
    if (!ini.HasSectionExact(strSection))
        return NoSection(strSection);
    if (Status storable = AllValuesStorable(ini, strSection, WwanSectionValues(WwanProfile{}), strPath); !storable)
        return storable;

    WwanProfile profile;
    for (const FieldSpec& spec : WwanFieldSpecs())
        profile.*spec.pWwan = ReadKey(ini, strSection, spec);
    SetWwanProfile(nNo, profile);
    return Status();
}

Status CQVLSession::ReadWifiSection(const std::wstring& strPath)
{
    CIniFile ini;
    const Status loaded = ini.Load(strPath);
    return ReadWifiSection(ini, loaded, strPath);
}

Status CQVLSession::ReadWifiSection(const CIniFile& ini, const Status& loaded, const std::wstring& strPath)
{
    LogInfo(logtext::kLoadWifiPreset, strPath);

    if (!loaded)
        return loaded;
    if (!ini.HasSectionExact(kWifiSection))
        return NoSection(kWifiSection);
    if (Status storable = AllValuesStorable(ini, kWifiSection, WifiSectionValues(WifiSettings{}), strPath); !storable)
        return storable;

    WifiSettings settings;
    for (const FieldSpec& spec : WifiFieldSpecs())
        settings.*spec.pWifi = ReadKey(ini, kWifiSection, spec);
    SetWifiSettings(settings);
    return Status();
}

Status CQVLSession::WriteWwanSection(int nNo, const std::wstring& strPath, bool bNumbered)
{
    LogInfo(logtext::kSaveWwanPreset, nNo + 1, strPath);
    if (!IsGroupNumber(nNo))
        return NoGroup(nNo);

    const WwanProfile profile = GetWwanProfile(nNo);
    LogWwanSave(nNo, profile);

    Status written = UpdateIniFile(strPath, WwanSectionName(nNo, bNumbered), WwanSectionValues(profile));
    if (!written)
        LogError(logtext::kSaveWwanPresetFailed, nNo + 1, strPath, written.Text());
    return written;
}

Status CQVLSession::WriteWifiSection(const std::wstring& strPath)
{
    LogInfo(logtext::kSaveWifiPreset, strPath);

    const WifiSettings settings = GetWifiSettings();
    LogWifiSave(settings);

    Status written = UpdateIniFile(strPath, kWifiSection, WifiSectionValues(settings));
    if (!written)
        LogError(logtext::kSaveWifiPresetFailed, strPath, written.Text());
    return written;
}

Status CQVLSession::WriteAllSections(const std::wstring& strPath)
{
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

    Status written = UpdateIniFile(strPath, sections);
    if (!written)
        LogError(logtext::kSaveAllPresetFailed, strPath, written.Text());
    return written;
}
