#pragma once
// What the write benchmarks put on the virtual unit and send to it, and how
// they sum up their times. The set
// lines are spelled out here rather than taken from the program's own field
// table, so the minimal clients stay independent of the code they time.

#include <algorithm>
#include <string>
#include <vector>

#include "core/TextUtil.h"
#include "sim/VirtualUnit.h"

// Settings with every field filled.
inline UnitSettings BenchSettings()
{
    UnitSettings s;
    for (int n = 0; n < kWwanCount; ++n) {
        const std::wstring strNo = std::to_wstring(n + 1);
        s.wwan[static_cast<size_t>(n)] = {L"internet.provider" + strNo, L"user" + strNo, L"password" + strNo, L"2",
                                          L"1"};
    }
    s.wifi = {L"office-network", L"1", L"0", L"a-long-enough-passphrase"};
    return s;
}

// The 25 lines of a write (24 set lines and "fw"), as the unit receives them.
inline std::vector<std::string> BenchWriteLines(const UnitSettings& s)
{
    std::vector<std::string> lines;
    for (int n = 0; n < kWwanCount; ++n) {
        const WwanProfile& p = s.wwan[static_cast<size_t>(n)];
        const std::string strHead = "set " + std::to_string(n + 1) + " ";
        lines.push_back(strHead + "apn " + ToUtf8(p.strApn) + "\r");
        lines.push_back(strHead + "user " + ToUtf8(p.strUserName) + "\r");
        lines.push_back(strHead + "pw " + ToUtf8(p.strPassword) + "\r");
        lines.push_back(strHead + "auth " + ToUtf8(p.strAuthType) + "\r");
        lines.push_back(strHead + "pdp " + ToUtf8(p.strPdpType) + "\r");
    }
    lines.push_back("set w ssid " + ToUtf8(s.wifi.strSsid) + "\r");
    lines.push_back("set w sec " + ToUtf8(s.wifi.strSecurity) + "\r");
    lines.push_back("set w pw_type " + ToUtf8(s.wifi.strKeyFormat) + "\r");
    lines.push_back("set w pw " + ToUtf8(s.wifi.strPassphrase) + "\r");
    lines.push_back("fw\r");
    return lines;
}

// The middle of a benchmark's run times (0 for none).
inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
