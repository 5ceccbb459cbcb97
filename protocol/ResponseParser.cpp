#include "protocol/ResponseParser.h"

#include <array>
#include <vector>

#include <spdlog/spdlog.h>

#include "app/QVLSession.h"
#include "app/TextUtil.h"
#include "protocol/WireFields.h"

namespace {

constexpr const char* kParseRecvData = "CQVLUtilityDlg::ParseRecvData";
constexpr size_t kSerialLabel = 7;

bool BeginsWith(const std::wstring& str, const std::wstring& strBegin)
{
    return str.compare(0, strBegin.size(), strBegin) == 0;
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

// The text without the CR and LF it starts with.
std::wstring WithoutLeadingLineEnds(const std::wstring& t)
{
    const size_t nFirst = t.find_first_not_of(L"\r\n");
    return nFirst == std::wstring::npos ? std::wstring() : t.substr(nFirst);
}

// The complete lines of the text (at most nMax): runs of characters other
// than CR and LF that a CR or LF follows. A last run without its line end is
// still arriving.
std::vector<std::wstring> CompleteLines(const std::wstring& t, size_t nMax = std::wstring::npos)
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

bool IsErrorReply(const std::vector<std::wstring>& lines)
{
    return !lines.empty() && lines.back() == L"ERROR";
}

ReplyVerdict ParseVer(const std::wstring& t, DeviceInfo& info)
{
    const std::vector<std::wstring> lines = CompleteLines(t);
    if (IsErrorReply(lines))
        return ReplyVerdict::Error;
    if (!lines.empty() && !BeginsWith(lines[0], L"VER "))
        return ReplyVerdict::Error;
    if (lines.size() < 2)
        return ReplyVerdict::Incomplete;
    if (!BeginsWith(lines[1], L"MCUID ") && !BeginsWith(lines[1], L"SN "))
        return ReplyVerdict::Error;
    info.strVersion = lines[0];
    info.strMcuId = lines[1];
    spdlog::debug("{} SetEvent", kParseRecvData);
    return ReplyVerdict::Complete;
}

ReplyVerdict ParseSerial(const std::wstring& t, DeviceInfo& info)
{
    const std::vector<std::wstring> lines = CompleteLines(t, 1);
    if (lines.empty())
        return ReplyVerdict::Incomplete;
    if (IsErrorReply(lines)) {
        info.strSerial.clear();
        return ReplyVerdict::Error;
    }
    info.strSerial = lines[0].size() > kSerialLabel ? lines[0].substr(kSerialLabel) : std::wstring();
    return ReplyVerdict::Complete;
}

ReplyVerdict ParseExact(const std::wstring& t, const wchar_t* pszGood)
{
    if (WithoutLeadingLineEnds(t) == pszGood)
        return ReplyVerdict::Complete;
    return IsErrorReply(CompleteLines(t)) ? ReplyVerdict::Error : ReplyVerdict::Incomplete;
}

ReplyVerdict ParseGet(const std::wstring& t, WwanProfiles& profiles, WifiSettings& wifi)
{
    const auto& fields = WireFields();
    const std::vector<std::wstring> lines = CompleteLines(t, fields.size());
    // Every line must carry its own label; one that does not (an "ERROR"
    // line, text left from something else) makes the whole reply an error
    // reply, and nothing of it is stored.
    for (size_t k = 0; k < lines.size(); ++k) {
        if (!BeginsWith(lines[k], fields[k].ReplyLabel()))
            return ReplyVerdict::Error;
    }
    // Nothing is stored until all 24 lines are in.
    if (lines.size() < fields.size())
        return ReplyVerdict::Incomplete;
    for (size_t k = 0; k < lines.size(); ++k)
        fields[k].In(profiles, wifi) = lines[k].substr(fields[k].ReplyLabel().size());
    return ReplyVerdict::Complete;
}

ReplyVerdict ParseSet(const std::wstring& strSendData, const std::wstring& t)
{
    if (IsErrorReply(CompleteLines(t)))
        return ReplyVerdict::Error;
    return BeginsWithNoCase(WithoutLeadingLineEnds(t), strSendData) ? ReplyVerdict::Complete
                                                                     : ReplyVerdict::Incomplete;
}

void LogSend(const std::wstring& strSendData)
{
    spdlog::debug("{} send:[{}]", kParseRecvData, ToUtf8(strSendData));
}

} // namespace

ReplyVerdict ParseResponse(const std::wstring& strSendData, const std::wstring& strRecv, DeviceInfo& info,
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
        return ParseExact(strRecv, L"FW OK\r\n");
    }
    if (strSendData == L"fe\r") {
        LogSend(strSendData);
        return ParseExact(strRecv, L"FE OK\r\n");
    }
    if (strSendData == L"get\r") {
        LogSend(strSendData);
        return ParseGet(strRecv, profiles, wifi);
    }
    if (BeginsWith(strSendData, L"set ")) {
        LogSend(strSendData);
        return ParseSet(strSendData, strRecv);
    }
    return ReplyVerdict::Incomplete;
}

void CQVLSession::ParseRecvData()
{
    auto lock = LockShared();
    // Once the reply is complete, or when no command waits for one, what
    // arrives is only logged: values are stored once per reply.
    if (!m_bAwaitingReply)
        return;
    const ReplyVerdict verdict =
        ParseResponse(m_strSendData, m_strRecvData, m_DeviceInfo, m_WwanProfiles, m_WifiSettings);
    if (verdict == ReplyVerdict::Incomplete)
        return;
    m_bAwaitingReply = false;
    m_bReplyComplete = true;
    m_bReplyError = verdict == ReplyVerdict::Error;
    m_pRecvEvent->Set();
}
