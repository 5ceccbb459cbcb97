#include "core/QVLSession.h"

CQVLSession::CQVLSession() : m_pRecvEvent(std::make_unique<CQvlEvent>())
{
}

CQVLSession::~CQVLSession()
{
    StopRecvThread();
}

DeviceInfo CQVLSession::GetDeviceInfo() const
{
    auto lock = LockShared();
    return m_DeviceInfo;
}

void CQVLSession::SetDeviceInfo(const DeviceInfo& info)
{
    auto lock = LockShared();
    m_DeviceInfo = info;
}

WwanProfile CQVLSession::GetWwanProfile(int nNo) const
{
    auto lock = LockShared();
    return m_WwanProfiles.at(static_cast<size_t>(nNo));
}

void CQVLSession::SetWwanProfile(int nNo, const WwanProfile& profile)
{
    auto lock = LockShared();
    m_WwanProfiles.at(static_cast<size_t>(nNo)) = profile;
}

WifiSettings CQVLSession::GetWifiSettings() const
{
    auto lock = LockShared();
    return m_WifiSettings;
}

void CQVLSession::SetWifiSettings(const WifiSettings& settings)
{
    auto lock = LockShared();
    m_WifiSettings = settings;
}

std::wstring CQVLSession::GetSendData() const
{
    auto lock = LockShared();
    return m_strSendData;
}

std::wstring CQVLSession::GetRecvData() const
{
    auto lock = LockShared();
    return m_strRecvData;
}
