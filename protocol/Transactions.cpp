// Request/reply exchanges with the unit, run on the user-interface thread.
// Exactly one command is outstanding at a time. Each exchange records its
// command and clears the previous reply under the lock the parser runs under,
// so a signal that belongs to an earlier command never ends its wait, while a
// signal given before it starts waiting is kept. Every wait is bounded.
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include <spdlog/spdlog.h>

#include "app/QVLSession.h"
#include "app/TextUtil.h"
#include "protocol/WireFields.h"

namespace {

constexpr const char* kQueryQvlVer = "CQVLUtilityDlg::QueryQvlVer";
constexpr const char* kGetInfo = "CQVLUtilityDlg::get_APN_WIFI_info";
constexpr const char* kFeInfo = "CQVLUtilityDlg::fe_APN_WIFI_info";
constexpr const char* kSetInfo = "CQVLUtilityDlg::set_APN_WIFI_info";
const std::wstring kError = L"ERROR\r\n";

} // namespace

TxStatus CQVLSession::Transact(const std::wstring& strCommand, std::wstring* pstrReply)
{
    {
        auto lock = LockShared();
        m_strRecvData.clear();
        m_strSendData = strCommand;
        m_bReplyComplete = false;
        m_pRecvEvent->Reset();
    }
    if (!SendData(strCommand))
        return TxStatus::WriteFailed;

    const auto deadline = std::chrono::steady_clock::now() + m_replyTimeout;
    for (;;) {
        {
            auto lock = LockShared();
            if (m_bReplyComplete) {
                if (pstrReply)
                    *pstrReply = m_strRecvData;
                return TxStatus::Ok;
            }
        }
        // The receive thread sets the event as it ends, so this is seen at once.
        if (!m_bRecvRunning)
            return TxStatus::Lost;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return TxStatus::Timeout;
        m_pRecvEvent->Wait(left + std::chrono::milliseconds(1));
    }
}

std::wstring CQVLSession::TxErrorText(TxStatus status) const
{
    switch (status) {
    case TxStatus::Timeout:     return m_strComPort + L" Timeout Error.";
    case TxStatus::Lost:        return m_strComPort + L" Disconnected.";
    case TxStatus::WriteFailed: return m_strComPort + L" Write Error.";
    case TxStatus::Ok:          break;
    }
    return {};
}

bool CQVLSession::QueryQvlVer()
{
    spdlog::info("{}", kQueryQvlVer);
    for (const wchar_t* pszCommand : {L"ver\r", L"serial\r"}) {
        const TxStatus status = Transact(pszCommand);
        if (status != TxStatus::Ok) {
            spdlog::error("{} {}", kQueryQvlVer, ToUtf8(TxErrorText(status)));
            return false;
        }
    }
    const DeviceInfo info = GetDeviceInfo();
    spdlog::info("QvlVersion:{} QvlMcuID:{} QvlSerial: {}", ToUtf8(info.strVersion), ToUtf8(info.strMcuId),
                 ToUtf8(info.strSerial));
    return true;
}

namespace {

// One command whose reply "ERROR\r\n" is a failure with the given text.
bool CheckedCommand(CQVLSession& session, const char* pszName, const wchar_t* pszCommand,
                    const wchar_t* pszErrorReplyText, std::wstring& strErr)
{
    spdlog::info("{}", pszName);
    std::wstring strReply;
    const TxStatus status = session.Transact(pszCommand, &strReply);
    if (status != TxStatus::Ok)
        strErr = session.TxErrorText(status);
    else if (strReply == kError)
        strErr = session.ComPort() + pszErrorReplyText;
    else
        return true;
    spdlog::error("{} {}", pszName, ToUtf8(strErr));
    return false;
}

} // namespace

bool CQVLSession::get_APN_WIFI_info(std::wstring& strErr)
{
    return CheckedCommand(*this, kGetInfo, L"get\r", L" Reload Error.", strErr);
}

bool CQVLSession::fe_APN_WIFI_info(std::wstring& strErr)
{
    return CheckedCommand(*this, kFeInfo, L"fe\r", L" Erase Error.", strErr);
}

bool CQVLSession::set_APN_WIFI_info(std::wstring& strErr)
{
    spdlog::info("{}", kSetInfo);

    WwanProfiles profiles;
    WifiSettings wifi;
    {
        auto lock = LockShared();
        profiles = m_WwanProfiles;
        wifi = m_WifiSettings;
    }

    struct Line {
        std::wstring strLine;
        std::string strLog;
    };
    std::vector<Line> lines;
    for (const WireField& f : WireFields()) {
        const std::wstring& strValue = f.In(profiles, wifi);
        const std::string strLogHead = f.IsWifi() ? std::string("Write WiFi ")
                                                  : "Write WWAN " + std::to_string(f.nGroup + 1) + " ";
        lines.push_back({f.SetLine(strValue), strLogHead + f.pszLogName + " " + ToUtf8(strValue)});
    }

    for (const Line& line : lines) {
        spdlog::info("{}", line.strLog);
        std::wstring strReply;
        const TxStatus status = Transact(line.strLine, &strReply);
        if (status == TxStatus::Ok && strReply != kError)
            continue;
        strErr = TxErrorText(status == TxStatus::Ok ? TxStatus::WriteFailed : status);
        spdlog::error("{} {}", kSetInfo, ToUtf8(strErr));
        return false;
    }
    return true;
}

bool CQVLSession::fw_APN_WIFI_info(std::wstring& strErr, const char* pszLogName)
{
    std::wstring strReply;
    const TxStatus status = Transact(L"fw\r", &strReply);
    if (status == TxStatus::Ok && strReply != kError)
        return true;
    // An error reply means the unit did not commit the settings.
    strErr = TxErrorText(status == TxStatus::Ok ? TxStatus::WriteFailed : status);
    spdlog::error("{} {}", pszLogName, ToUtf8(strErr));
    return false;
}
