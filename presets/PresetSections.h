#pragma once
// The preset sections: which keys a WWAN or Wi-Fi section holds, in the
// order they are written. The session's Read/Write...Section methods move
// them between a file and the records. Display-free.

#include <string>

#include "core/Records.h"
#include "presets/IniFile.h"

struct FieldSpec;

// An index key's value as the window reads it from a preset: kept as the file
// has it when its leading number (IndexTextToInt) is a list position,
// otherwise the key's default. So "-1", which the window saves for a list
// with nothing chosen, reads as the default.
std::wstring PresetIndexText(const FieldSpec& spec, const std::wstring& strValue);

// TRUE when the file has a section spelled exactly strSection (letter case
// counts). A missing or unreadable file gives FALSE.
bool SectionExists(const std::wstring& strSection, const std::wstring& strPath);

// "APN", "USERNAME", "PASSWORD", "AUTHTYPE", "PDPTYPE" with the profile's texts.
IniValues WwanSectionValues(const WwanProfile& profile);

// "SSID", "PASSPHRASE", "SECURITY", "PWTYPE" with the settings' texts.
IniValues WifiSectionValues(const WifiSettings& settings);
