// libFuzzer target: arbitrary bytes as a reply to any command. The first byte
// picks the command (a set line takes its text from the input up to the first
// CR); the rest arrives as the receive thread widens it. The parser must never
// crash; it must store nothing for the commands that carry no values, and
// nothing from an error reply but the serial number's emptying.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/TextUtil.h"
#include "core/Records.h"
#include "protocol/ResponseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    std::string strBytes(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    static const char* const kCommands[] = {"ver\r", "serial\r", "get\r", "fe\r", "fw\r", "", "-"};
    std::string strCommand = kCommands[pData[0] % 7];
    if (strCommand == "-") {
        const size_t nEnd = strBytes.find('\r');
        strCommand = "set " + strBytes.substr(0, nEnd) + "\r";
        strBytes.erase(0, nEnd == std::string::npos ? strBytes.size() : nEnd + 1);
    }

    DeviceInfo info{L"m", L"v", L"s"};
    WwanProfiles profiles{};
    WifiSettings wifi{L"x", L"", L"", L""};
    const ReplyVerdict verdict = ParseResponse(WidenBytes(strCommand.data(), strCommand.size()),
                                               WidenBytes(strBytes.data(), strBytes.size()), info, profiles, wifi);
    const bool bStores = verdict == ReplyVerdict::Complete
        && (strCommand == "ver\r" || strCommand == "serial\r" || strCommand == "get\r");
    const bool bSerialEmptied = verdict == ReplyVerdict::Error && strCommand == "serial\r" && info.strSerial.empty();
    const bool bUntouched = info.strMcuId == L"m" && info.strVersion == L"v"
        && (info.strSerial == L"s" || bSerialEmptied) && wifi.strSsid == L"x" && profiles[0].strApn.empty();
    if (!bStores && !bUntouched) {
        std::fprintf(stderr,
                     "invariant broken: values stored from an incomplete or error reply, or one that carries none\n");
        std::abort();
    }
    return 0;
}
