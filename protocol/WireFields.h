#pragma once
// The field catalogue: the unit's 24 settings fields and everything each layer
// knows about them (wire key, record member, log name, preset key and default,
// qvlctl name, list items, secrecy). Every reader of the fields takes them from
// here. Display-free.
//
// A FieldSpec describes one kind of field, the same in each group it appears
// in: the five of a WWAN profile (WwanFieldSpecs()) and the four of the Wi-Fi
// group (WifiFieldSpecs()), each list in wire order. A WireField is one field
// of one group. WireFields() holds all 24 in the order the unit lists them in
// its reply to "get\r" and the order a write sends them: per profile 1..4 apn,
// user, pw, auth, pdp, then the Wi-Fi ssid, sec, pw_type, pw.
//
// A field is addressed by its group (0..3 WWAN1..WWAN4, 4 Wi-Fi, as kWifiGroup)
// and its wire key. On the wire the group is the token "1".."4" or "w":
//   set line     "set <token> <key> <value>\r"
//   reply line   "GET <token> <key> <value>"
//
// Three orders differ and each is kept by its own list:
//   wire      apn user pw auth pdp             ssid sec pw_type pw
//   preset    APN USERNAME PASSWORD AUTHTYPE PDPTYPE   SSID PASSPHRASE SECURITY PWTYPE
//   log       APN username password PDP Auth           SSID security key_fmt passphrase

#include <string>
#include <string_view>
#include <vector>

#include "core/Records.h"

// What a form checks in a free-text field before a write (editor/ValidationRules).
enum class TextRule {
    None,       // an index field: its list allows no other value
    Short,      // printable ASCII without spaces, at most 32 UTF-16 units
    Passphrase, // empty, or by the key format: ASCII 8..63 units, or 64 hex digits
};

struct FieldSpec {
    const char* pszKey;                 // wire key: "apn", "user", "pw", "auth", "pdp", "ssid", "sec", "pw_type", "pw"
    std::wstring WwanProfile::*pWwan;   // the profile member (WWAN fields), else nullptr
    std::wstring WifiSettings::*pWifi;  // the Wi-Fi member (Wi-Fi fields), else nullptr
    const char* pszLogName;             // the name in the Write/Save/Display logs: "APN", "username", ..., "passphrase"
    const wchar_t* pszPresetKey;        // the key in a preset section: L"APN", ..., L"PWTYPE"
    const wchar_t* pszPresetDefault;    // what a preset gives when the key is absent and, for an index
                                        // field, in place of an index outside the list
    const char* pszCtlName;             // qvlctl's name after the group's dot: "apn", ..., "pwtype"
    bool bSecret;                       // a password or the passphrase: hidden where lines are shown
    std::vector<std::string> arrLabels; // an index field's list items (UTF-8) in index order; empty for text
    int nPresetPos;                     // its place among its group's keys in a preset section
    int nLogPos;                        // its place in its group's "Save ..."/"Display ..." log block
    TextRule textRule;                  // the check a free-text field passes before a write
    const wchar_t* pszFormName;         // a free-text field's name in the form's check texts, else nullptr

    bool IsWifi() const { return pWifi != nullptr; }
    bool IsIndex() const { return !arrLabels.empty(); }
    int MaxIndex() const { return static_cast<int>(arrLabels.size()) - 1; } // the last list position
};

struct WireField : FieldSpec {
    int nGroup = 0; // 0..3 WWAN1..WWAN4, kWifiGroup

    std::string GroupToken() const;  // "1".."4" or "w"
    std::wstring ReplyLabel() const; // "GET 1 apn ", ..., "GET w pw " (trailing blank included)
    std::wstring SetLine(const std::wstring& strValue) const; // "set 1 apn <value>\r"

    // The member this field names in a pair of records, or in the settings.
    std::wstring& In(WwanProfiles& profiles, WifiSettings& wifi) const;
    const std::wstring& In(const WwanProfiles& profiles, const WifiSettings& wifi) const;
    std::wstring& In(UnitSettings& s) const { return In(s.wwan, s.wifi); }
    const std::wstring& In(const UnitSettings& s) const { return In(s.wwan, s.wifi); }
};

// The fields of a WWAN profile and of the Wi-Fi group, in wire order.
const std::vector<FieldSpec>& WwanFieldSpecs();
const std::vector<FieldSpec>& WifiFieldSpecs();

// The same in the order of a preset section's keys.
const std::vector<const FieldSpec*>& WwanPresetOrder();
const std::vector<const FieldSpec*>& WifiPresetOrder();

// The same in the order of the "Save ..." and "Display ..." log blocks.
const std::vector<const FieldSpec*>& WwanLogOrder();
const std::vector<const FieldSpec*>& WifiLogOrder();

// The field a record member holds.
const FieldSpec& FieldSpecOf(std::wstring WwanProfile::*pMember);
const FieldSpec& FieldSpecOf(std::wstring WifiSettings::*pMember);

// All 24 fields in wire order.
const std::vector<WireField>& WireFields();

// The field of a group (0..4) by wire key; nullptr when there is none.
const WireField* FindWireField(int nGroup, std::string_view key);
// The same by wire group token ("1".."4", "w"); nullptr for anything else.
const WireField* FindWireField(std::string_view groupToken, std::string_view key);
