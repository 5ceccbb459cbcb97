// Request/reply exchanges with the unit, run on the user-interface thread.
// Exactly one command is outstanding at a time. Each exchange records its
// command and clears the previous reply under the lock the parser runs under,
// so a signal that belongs to an earlier command never ends its wait, while a
// signal given before it starts waiting is kept. Every wait is bounded.
#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "link/SerialIo.h"
#include "protocol/WireFields.h"

namespace {

// How long the unit's answer to the fragment of a stalled line is awaited.
constexpr auto kFragmentReplyWait = std::chrono::milliseconds(300);

} // namespace

void CQVLSession::EndPartialLine()
{
    // The start of a line that a stalled write left behind sits in the unit's
    // line buffer and would be taken as the start of the next command. A CR
    // ends it there; the unit's answer to that fragment is awaited briefly
    // and dropped with the rest of the unread input.
    {
        auto lock = LockShared();
        m_strRecvData.clear();
        m_strSendData.clear();
        m_bAwaitingReply = false;
        ++m_nCommandSeq;
    }
    if (!SendData(L"\r"))
        return; // still unended: tried again before the next command
    m_bPartialLine = false;
    const auto deadline = std::chrono::steady_clock::now() + kFragmentReplyWait;
    while (m_bRecvRunning && std::chrono::steady_clock::now() < deadline) {
        if (GetRecvData().find(L'\n') != std::wstring::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void CQVLSession::RecordCommand(const std::wstring& strCommand)
{
    auto lock = LockShared();
    m_strRecvData.clear();
    m_strSendData = strCommand;
    ++m_nCommandSeq;
    m_bAwaitingReply = true;
    m_bReplyComplete = false;
    m_bReplyError = false;
    m_bReplySettling = false;
    m_pRecvEvent->Reset();
}

TxStatus CQVLSession::Transact(const std::wstring& strCommand, std::wstring* pstrReply)
{
    if (m_bPartialLine)
        EndPartialLine();
    // What is still unread belongs to an earlier exchange. (Only the receive
    // thread closes the port, and only this thread opens one, so the handle
    // cannot name another port here; a closed one is a no-op.)
    SerialFlushInput(m_hComm);
    RecordCommand(strCommand);
    auto giveUp = [this](TxStatus status) {
        auto lock = LockShared();
        m_bAwaitingReply = false;
        return status;
    };
    if (!SendData(strCommand))
        return giveUp(TxStatus::WriteFailed);

    const auto deadline = std::chrono::steady_clock::now() + m_replyTimeout;
    for (;;) {
        {
            auto lock = LockShared();
            if (m_bReplyComplete) {
                if (pstrReply)
                    *pstrReply = m_strRecvData;
                return m_bReplyError ? TxStatus::ErrorReply : TxStatus::Ok;
            }
        }
        // The receive thread sets the event as it ends, so this is seen at once.
        if (!m_bRecvRunning)
            return giveUp(TxStatus::Lost);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return giveUp(TxStatus::Timeout);
        m_pRecvEvent->Wait(left + std::chrono::milliseconds(1));
    }
}

std::wstring CQVLSession::TxErrorText(TxStatus status) const
{
    switch (status) {
    case TxStatus::Timeout:
        return m_strComPort + L" Timeout Error.";
    case TxStatus::Lost:
        return m_strComPort + L" Disconnected.";
    case TxStatus::WriteFailed:
    case TxStatus::ErrorReply:
        return m_strComPort + L" Write Error.";
    case TxStatus::Ok:
        break;
    }
    return {};
}

Failure CQVLSession::TxFailure(TxStatus status) const
{
    FailureKind kind = FailureKind::IoError;
    if (status == TxStatus::ErrorReply)
        kind = FailureKind::InvalidData;
    else if (status == TxStatus::Lost)
        kind = FailureKind::NotFound;
    return Failure{kind, 0, TxErrorText(status)};
}

bool CQVLSession::QueryQvlVer()
{
    LogInfo(logtext::kQueryQvlVer);
    for (const wchar_t* pszCommand : {L"ver\r", L"serial\r"}) {
        const TxStatus status = Transact(pszCommand);
        // A unit without a serial number answers "ERROR": the number is empty.
        const bool bNoSerial = status == TxStatus::ErrorReply && pszCommand == std::wstring(L"serial\r");
        if (status != TxStatus::Ok && !bNoSerial) {
            LogError(logtext::kQueryQvlVerFailed, TxErrorText(status));
            return false;
        }
    }
    const DeviceInfo info = GetDeviceInfo();
    LogInfo(logtext::kDeviceInfo, info.strVersion, info.strMcuId, info.strSerial);
    return true;
}

namespace {

// One command whose error reply is a failure with the given text.
Status CheckedCommand(CQVLSession& session, const char* pszName, const wchar_t* pszCommand,
                      const wchar_t* pszErrorReplyText)
{
    LogInfo(logtext::kStep, pszName);
    const TxStatus status = session.Transact(pszCommand);
    if (status == TxStatus::Ok)
        return {};
    Failure failure = session.TxFailure(status);
    if (status == TxStatus::ErrorReply)
        failure.strText = session.ComPort() + pszErrorReplyText;
    LogError(logtext::kStepFailed, pszName, failure.strText);
    return failure;
}

} // namespace

Status CQVLSession::get_APN_WIFI_info()
{
    return CheckedCommand(*this, logtext::kGetInfoStep, L"get\r", L" Reload Error.");
}

Status CQVLSession::fe_APN_WIFI_info()
{
    return CheckedCommand(*this, logtext::kFeInfoStep, L"fe\r", L" Erase Error.");
}

Status CQVLSession::set_APN_WIFI_info()
{
    LogInfo(logtext::kSetInfo);

    WwanProfiles profiles;
    WifiSettings wifi;
    {
        auto lock = LockShared();
        profiles = m_WwanProfiles;
        wifi = m_WifiSettings;
    }

    struct Line {
        std::wstring strLine;
        const WireField* pField;
        std::wstring strValue;
    };
    std::vector<Line> lines;
    for (const WireField& f : WireFields()) {
        const std::wstring& strValue = f.In(profiles, wifi);
        lines.push_back({f.SetLine(strValue), &f, strValue});
    }

    for (const Line& line : lines) {
        if (line.pField->IsWifi())
            LogInfo(logtext::kWriteWifiField, line.pField->pszLogName, line.strValue);
        else
            LogInfo(logtext::kWriteWwanField, line.pField->nGroup + 1, line.pField->pszLogName, line.strValue);
        const TxStatus status = Transact(line.strLine);
        if (status == TxStatus::Ok)
            continue;
        Failure failure = TxFailure(status);
        LogError(logtext::kSetInfoFailed, failure.strText);
        return failure;
    }
    return {};
}

Status CQVLSession::fw_APN_WIFI_info(const char* pszLogName)
{
    const TxStatus status = Transact(L"fw\r");
    if (status == TxStatus::Ok)
        return {};
    // An error reply means the unit did not commit the settings.
    Failure failure = TxFailure(status);
    LogError(logtext::kStepFailed, pszLogName, failure.strText);
    return failure;
}
