#pragma once
// The unit's 24 settings fields as the wire names them, in the order the unit
// lists them in its reply to "get\r" and the order a write sends them: per
// profile 1..4 apn, user, pw, auth, pdp, then the Wi-Fi ssid, sec, pw_type,
// pw. One table serves the set-line encoder, the response parser and the
// virtual unit. Display-free.
//
// A field is addressed by its group (0..3 WWAN1..WWAN4, 4 Wi-Fi, as kWifiGroup)
// and its wire key. On the wire the group is the token "1".."4" or "w":
//   set line     "set <token> <key> <value>\r"
//   reply line   "GET <token> <key> <value>"

#include <array>
#include <iterator>
#include <string>
#include <string_view>

#include "editor/Records.h"

struct WireField {
    int nGroup;                        // 0..3 WWAN1..WWAN4, kWifiGroup
    const char* pszKey;                // "apn", "user", "pw", "auth", "pdp", "ssid", "sec", "pw_type", "pw"
    std::wstring WwanProfile::*pWwan;  // the profile member (WWAN groups), else nullptr
    std::wstring WifiSettings::*pWifi; // the Wi-Fi member (Wi-Fi group), else nullptr
    const char* pszLogName;            // the field's name in the write log: "APN", "username", ..., "passphrase"

    bool IsWifi() const { return pWifi != nullptr; }
    std::string GroupToken() const;  // "1".."4" or "w"
    std::wstring ReplyLabel() const; // "GET 1 apn ", ..., "GET w pw " (trailing blank included)
    std::wstring SetLine(const std::wstring& strValue) const; // "set 1 apn <value>\r"

    // The member this field names in a pair of records.
    std::wstring& In(WwanProfiles& profiles, WifiSettings& wifi) const;
    const std::wstring& In(const WwanProfiles& profiles, const WifiSettings& wifi) const;
};

constexpr size_t kWireFieldCount = 24;

// All 24 fields in wire order.
const std::array<WireField, kWireFieldCount>& WireFields();

// The field of a group (0..4) by wire key; nullptr when there is none.
const WireField* FindWireField(int nGroup, std::string_view key);
// The same by wire group token ("1".."4", "w"); nullptr for anything else.
const WireField* FindWireField(std::string_view groupToken, std::string_view key);
