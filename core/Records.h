#pragma once
// The settings records the form, the unit and the preset files share, and the
// unit's identity. Display-free.

#include <array>
#include <string>

// Group numbers: 0..3 are WWAN1..WWAN4, 4 is the Wi-Fi group.
constexpr int kWwanCount = 4;
constexpr int kWifiGroup = 4;
constexpr int kGroupCount = 5;

// One WWAN profile. The two enumerated fields hold index text: the zero-based
// position in their drop-down list as decimal text, "-1" for no selection.
struct WwanProfile {
    std::wstring strApn;
    std::wstring strUserName;
    std::wstring strPassword;
    std::wstring strPdpType;  // "0" IPV4, "1" IPV6, "2" IPV4V6
    std::wstring strAuthType; // "0" none, "1" CHAP, "2" PAP

    bool operator==(const WwanProfile& o) const
    {
        return strApn == o.strApn && strUserName == o.strUserName && strPassword == o.strPassword
            && strPdpType == o.strPdpType && strAuthType == o.strAuthType;
    }
    bool operator!=(const WwanProfile& o) const { return !(*this == o); }
};

struct WifiSettings {
    std::wstring strSsid;
    std::wstring strSecurity;  // "0" none, "1" WPA2-PSK (AES)
    std::wstring strKeyFormat; // "0" ASCII, "1" HEX
    std::wstring strPassphrase;

    bool operator==(const WifiSettings& o) const
    {
        return strSsid == o.strSsid && strSecurity == o.strSecurity && strKeyFormat == o.strKeyFormat
            && strPassphrase == o.strPassphrase;
    }
    bool operator!=(const WifiSettings& o) const { return !(*this == o); }
};

// The unit's identity as the parser stores it: the version and MCU ID keep
// their reply labels ("VER ", "MCUID ") until the unit panel shows them.
struct DeviceInfo {
    std::wstring strMcuId;
    std::wstring strVersion;
    std::wstring strSerial;
};

using WwanProfiles = std::array<WwanProfile, kWwanCount>;

// Everything the unit holds: the four WWAN profiles and the Wi-Fi settings.
struct UnitSettings {
    WwanProfiles wwan;
    WifiSettings wifi;

    bool operator==(const UnitSettings& o) const { return wwan == o.wwan && wifi == o.wifi; }
    bool operator!=(const UnitSettings& o) const { return !(*this == o); }
};
