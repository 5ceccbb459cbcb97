#include "protocol/ResponseParser.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "protocol/WireFields.h"

namespace {

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

bool IsMcuIdLine(const std::wstring& strLine)
{
    return BeginsWith(strLine, L"MCUID ") || BeginsWith(strLine, L"SN ");
}

ReplyVerdict ParseVer(const std::wstring& t, DeviceInfo& info, bool bQuiet)
{
    const std::vector<std::wstring> lines = CompleteLines(t);
    if (IsErrorReply(lines))
        return ReplyVerdict::Error;
    // The version line and the MCU ID line, in the order they come. Once both
    // are in, further lines (a build date, say) belong to neither.
    const std::wstring* pVersion = nullptr;
    const std::wstring* pMcuId = nullptr;
    for (const std::wstring& strLine : lines) {
        if (pVersion && pMcuId)
            break;
        if (!pVersion && BeginsWith(strLine, L"VER "))
            pVersion = &strLine;
        else if (!pMcuId && IsMcuIdLine(strLine))
            pMcuId = &strLine;
        else
            return ReplyVerdict::Error;
    }
    if (!pVersion && !pMcuId)
        return ReplyVerdict::Incomplete;
    // Settles: one of the two alone is a whole reply of a unit that sends
    // only that line, or the first half of one whose other line may still
    // come.
    if (!(pVersion && pMcuId) && !bQuiet)
        return ReplyVerdict::Settling;
    if (pVersion)
        info.strVersion = *pVersion;
    if (pMcuId)
        info.strMcuId = *pMcuId;
    LogDebug(logtext::kParseSetEvent);
    return ReplyVerdict::Complete;
}

// The text without the blanks (space, tab) at its ends.
std::wstring TrimBlanks(const std::wstring& str)
{
    const size_t nFirst = str.find_first_not_of(L" \t");
    if (nFirst == std::wstring::npos)
        return std::wstring();
    return str.substr(nFirst, str.find_last_not_of(L" \t") - nFirst + 1);
}

ReplyVerdict ParseSerial(const std::wstring& t, DeviceInfo& info, bool bQuiet)
{
    const std::vector<std::wstring> lines = CompleteLines(t);
    // The line labelled "SERIAL " is the serial number, complete as it
    // stands. A line without that label (what is left of an earlier reply,
    // an extra line) is not it while that line comes with it.
    for (const std::wstring& strLine : lines) {
        if (BeginsWith(strLine, L"SERIAL ")) {
            info.strSerial = TrimBlanks(strLine.substr(7));
            return ReplyVerdict::Complete;
        }
    }
    if (IsErrorReply(lines)) {
        info.strSerial.clear();
        return ReplyVerdict::Error;
    }
    // Settles: "SN " labels the serial number of some units and the MCU ID
    // of others, so a "SERIAL " line may still follow it.
    for (const std::wstring& strLine : lines) {
        if (!BeginsWith(strLine, L"SN "))
            continue;
        if (!bQuiet)
            return ReplyVerdict::Settling;
        info.strSerial = TrimBlanks(strLine.substr(3));
        return ReplyVerdict::Complete;
    }
    // Settles: a lone unlabelled line. A unit that labels its serial number
    // otherwise sends one line, a seven-character label and the number; the
    // same line may as well be left from an earlier reply, ahead of the
    // labelled line. An identity line left from "ver" never is the number.
    if (lines.size() == 1 && !BeginsWith(lines[0], L"VER ") && !IsMcuIdLine(lines[0])) {
        if (!bQuiet)
            return ReplyVerdict::Settling;
        info.strSerial = TrimBlanks(lines[0].size() > 7 ? lines[0].substr(7) : std::wstring());
        return ReplyVerdict::Complete;
    }
    return ReplyVerdict::Incomplete;
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
    const std::vector<std::wstring> lines = CompleteLines(t);
    // A line that is its label without the final blank holds an empty value:
    // a unit that trims trailing blanks sends an empty value that way.
    auto carriesLabel = [&fields](const std::wstring& strLine, size_t k) {
        const std::wstring strLabel = fields[k].ReplyLabel();
        return BeginsWith(strLine, strLabel)
            || (strLine.size() + 1 == strLabel.size() && BeginsWith(strLabel, strLine));
    };
    // The reply begins with its first field's label. Whole lines before it
    // are what an earlier reply left: passed over and logged, never a value.
    // An "ERROR" line among them answers this command.
    size_t nFirst = 0;
    for (; nFirst < lines.size() && !carriesLabel(lines[nFirst], 0); ++nFirst) {
        if (lines[nFirst] == L"ERROR")
            return ReplyVerdict::Error;
    }
    const size_t nLines = std::min(lines.size() - nFirst, fields.size());
    // From there every line must carry its own label; one that does not (an
    // "ERROR" line, text left from something else) makes the whole reply an
    // error reply, and nothing of it is stored.
    for (size_t k = 0; k < nLines; ++k) {
        if (!carriesLabel(lines[nFirst + k], k))
            return ReplyVerdict::Error;
    }
    // Nothing is stored until all 24 lines are in.
    if (nLines < fields.size())
        return ReplyVerdict::Incomplete;
    for (size_t k = 0; k < nFirst; ++k)
        LogDebug(logtext::kParsePassedOver, lines[k]);
    for (size_t k = 0; k < nLines; ++k) {
        const std::wstring& strLine = lines[nFirst + k];
        const size_t nLabel = fields[k].ReplyLabel().size();
        fields[k].In(profiles, wifi) = strLine.size() > nLabel ? strLine.substr(nLabel) : std::wstring();
    }
    return ReplyVerdict::Complete;
}

ReplyVerdict ParseSet(const std::wstring& strSendData, const std::wstring& t)
{
    if (IsErrorReply(CompleteLines(t)))
        return ReplyVerdict::Error;
    return BeginsWithNoCase(WithoutLeadingLineEnds(t), strSendData) ? ReplyVerdict::Complete : ReplyVerdict::Incomplete;
}

void LogSend(const std::wstring& strSendData)
{
    LogDebug(logtext::kParseSend, strSendData);
}

} // namespace

ReplyVerdict ParseResponse(const std::wstring& strSendData, const std::wstring& strRecv, DeviceInfo& info,
                           WwanProfiles& profiles, WifiSettings& wifi, bool bQuiet)
{
    if (strSendData == L"ver\r") {
        LogSend(strSendData);
        return ParseVer(strRecv, info, bQuiet);
    }
    if (strSendData == L"serial\r") {
        LogSend(strSendData);
        return ParseSerial(strRecv, info, bQuiet);
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
    m_bReplySettling = false;
    if (!m_bAwaitingReply)
        return;
    const ReplyVerdict verdict =
        ParseResponse(m_strSendData, m_strRecvData, m_DeviceInfo, m_WwanProfiles, m_WifiSettings);
    if (verdict == ReplyVerdict::Settling)
        m_bReplySettling = true;
    if (verdict == ReplyVerdict::Incomplete || verdict == ReplyVerdict::Settling)
        return;
    m_bAwaitingReply = false;
    m_bReplyComplete = true;
    m_bReplyError = verdict == ReplyVerdict::Error;
    m_pRecvEvent->Set();
}

bool CQVLSession::IsReplySettling() const
{
    auto lock = LockShared();
    return m_bReplySettling;
}

void CQVLSession::SettleRecvData()
{
    auto lock = LockShared();
    if (!m_bAwaitingReply || !m_bReplySettling)
        return;
    m_bReplySettling = false;
    const ReplyVerdict verdict =
        ParseResponse(m_strSendData, m_strRecvData, m_DeviceInfo, m_WwanProfiles, m_WifiSettings, true);
    if (verdict != ReplyVerdict::Complete && verdict != ReplyVerdict::Error)
        return;
    m_bAwaitingReply = false;
    m_bReplyComplete = true;
    m_bReplyError = verdict == ReplyVerdict::Error;
    m_pRecvEvent->Set();
}
