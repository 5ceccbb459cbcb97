// Reply rules, one per command:
//   "ver\r"     version and MCU ID lines, complete at the final CR LF
//   "serial\r"  one line behind a 7-character label
//   "get\r"     24 "GET ..." lines (or an error reply)
//   "fe\r", "fw\r"  exactly "FE OK"/"FW OK" or "ERROR", each with CR LF
//   "set ..."   the line echoed back (letter case aside) or an error reply
#include "protocol/ResponseParser.h"

#include <array>
#include <vector>

#include <spdlog/spdlog.h>

#include "app/QVLSession.h"
#include "app/TextUtil.h"
#include "protocol/WireFields.h"

namespace {

constexpr const char* kParseRecvData = "CQVLUtilityDlg::ParseRecvData";
const std::wstring kCrLf = L"\r\n";
const std::wstring kError = L"ERROR\r\n";
constexpr size_t kGetLines = kWireFieldCount;
constexpr size_t kSerialLabel = 7;

bool EndsWith(const std::wstring& str, const std::wstring& strEnd)
{
    return str.size() >= strEnd.size() && str.compare(str.size() - strEnd.size(), strEnd.size(), strEnd) == 0;
}

bool BeginsWith(const std::wstring& str, const std::wstring& strBegin)
{
    return str.compare(0, strBegin.size(), strBegin) == 0;
}

// Carriage returns and line feeds removed from both ends only.
std::wstring Trimmed(const std::wstring& str)
{
    const size_t nFirst = str.find_first_not_of(L"\r\n");
    if (nFirst == std::wstring::npos)
        return {};
    const size_t nLast = str.find_last_not_of(L"\r\n");
    return str.substr(nFirst, nLast - nFirst + 1);
}

// True when strText begins with strPrefix, letters A to Z compared without
// regard to case.
bool BeginsWithNoCase(const std::wstring& strText, const std::wstring& strPrefix)
{
    if (strText.size() < strPrefix.size())
        return false;
    for (size_t i = 0; i < strPrefix.size(); ++i) {
        if (AsciiLower(strText[i]) != AsciiLower(strPrefix[i]))
            return false;
    }
    return true;
}

bool ParseVer(const std::wstring& t, DeviceInfo& info)
{
    const bool bLineEnd = EndsWith(t, kCrLf);
    bool bSignal = false;
    if (t.find(L"VER ") != std::wstring::npos) {
        size_t nSplit = t.find(L"SN ");
        if (nSplit == std::wstring::npos)
            nSplit = t.find(L"MCUID ");
        if (bLineEnd && nSplit != std::wstring::npos) {
            info.strVersion = Trimmed(t.substr(0, nSplit));
            info.strMcuId = Trimmed(t.substr(nSplit));
            bSignal = true;
        } else if (bLineEnd) {
            info.strVersion = Trimmed(t);
            bSignal = true;
        }
    } else if (bLineEnd && (BeginsWith(t, L"\r\nSN") || BeginsWith(t, L"\r\nMCUID"))) {
        info.strMcuId = Trimmed(t);
        bSignal = true;
    }
    if (bSignal)
        spdlog::debug("{} SetEvent", kParseRecvData);
    return bSignal;
}

bool ParseSerial(const std::wstring& t, DeviceInfo& info)
{
    if (!EndsWith(t, kCrLf))
        return false;
    if (t == kError)
        info.strSerial.clear();
    else
        info.strSerial = t.size() > kSerialLabel ? Trimmed(t.substr(kSerialLabel)) : std::wstring();
    return true;
}

// The complete lines of the text: runs of characters other than CR and LF
// that a CR or LF follows. A last run without its line end is still arriving.
std::vector<std::wstring> CompleteLines(const std::wstring& t, size_t nMax)
{
    std::vector<std::wstring> lines;
    size_t nPos = 0;
    while (lines.size() < nMax) {
        const size_t nStart = t.find_first_not_of(L"\r\n", nPos);
        if (nStart == std::wstring::npos)
            break;
        const size_t nEnd = t.find_first_of(L"\r\n", nStart);
        if (nEnd == std::wstring::npos)
            break;
        lines.push_back(t.substr(nStart, nEnd - nStart));
        nPos = nEnd;
    }
    return lines;
}

// Only the label's length counts, not its text.
std::wstring ValueAfter(const std::wstring& strLine, size_t nLabel)
{
    return strLine.size() > nLabel ? strLine.substr(nLabel) : std::wstring();
}

bool ParseGet(const std::wstring& t, WwanProfiles& profiles, WifiSettings& wifi)
{
    if (EndsWith(t, kError))
        return true;
    // Nothing is stored until all 24 lines are in: a reply read in pieces
    // never leaves empty values behind.
    const std::vector<std::wstring> lines = CompleteLines(t, kGetLines);
    if (lines.size() < kGetLines)
        return false;
    size_t k = 0;
    for (const WireField& f : WireFields())
        f.In(profiles, wifi) = ValueAfter(lines[k++], f.ReplyLabel().size());
    return true;
}

void LogSend(const std::wstring& strSendData)
{
    spdlog::debug("{} send:[{}]", kParseRecvData, ToUtf8(strSendData));
}

} // namespace

bool ParseResponse(const std::wstring& strSendData, const std::wstring& strRecv, DeviceInfo& info,
                   WwanProfiles& profiles, WifiSettings& wifi)
{
    if (strSendData == L"ver\r") {
        LogSend(strSendData);
        return ParseVer(strRecv, info);
    }
    if (strSendData == L"serial\r") {
        LogSend(strSendData);
        return ParseSerial(strRecv, info);
    }
    if (strSendData == L"fw\r") {
        LogSend(strSendData);
        return strRecv == L"FW OK\r\n" || strRecv == kError;
    }
    if (strSendData == L"fe\r") {
        LogSend(strSendData);
        return strRecv == L"FE OK\r\n" || strRecv == kError;
    }
    if (strSendData == L"get\r") {
        LogSend(strSendData);
        return ParseGet(strRecv, profiles, wifi);
    }
    if (BeginsWith(strSendData, L"set ")) {
        LogSend(strSendData);
        return EndsWith(strRecv, kError) || BeginsWithNoCase(strRecv, strSendData);
    }
    return false;
}

void CQVLSession::ParseRecvData()
{
    auto lock = LockShared();
    if (ParseResponse(m_strSendData, m_strRecvData, m_DeviceInfo, m_WwanProfiles, m_WifiSettings)) {
        m_bReplyComplete = true;
        m_pRecvEvent->Set();
    }
}
