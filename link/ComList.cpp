// Finding the unit's port: the matching over the listed ports, and the
// session's GetQvlComPort.

#include "link/ComList.h"

#include "core/Log.h"
#include "core/LogText.h"
#include "core/QVLSession.h"
#include "core/TextUtil.h"

namespace {

// Plain, case-sensitive substring search anywhere in the text.
bool Contains(const std::wstring& strText, const wchar_t* pszMark)
{
    return strText.find(pszMark) != std::wstring::npos;
}

} // namespace

int CGetComList::MatchQVLCommPorts(const std::vector<PortCandidate>& arrCandidates, std::vector<std::wstring>& arrPorts)
{
    int nCount = 0;
    for (const PortCandidate& candidate : arrCandidates) {
        // The checks in their fixed order; the first that fails skips the port.
        switch (candidate.failure) {
        case PortReadFailure::DeviceKey:
            LogDebug(logtext::kEnumDeviceKeyFail);
            continue;
        case PortReadFailure::PortName:
            LogDebug(logtext::kEnumPortNameFail);
            continue;
        case PortReadFailure::Parent:
            LogDebug(logtext::kEnumParentFail);
            continue;
        default:
            break;
        }
        if (!Contains(candidate.strParentInstanceId, L"VID_1A40"))
            continue; // not behind a hub of the unit's kind: no log line
        if (!Contains(candidate.strParentInstanceId, L"PID_0201")) {
            LogDebug(logtext::kEnumNotHub2);
            LogDebug(logtext::kEnumId, candidate.strParentInstanceId);
            continue;
        }
        if (candidate.failure == PortReadFailure::HardwareIdBuffer) {
            LogDebug(logtext::kEnumHardIdBufferFail, candidate.nHardwareIdSize);
            continue;
        }
        if (candidate.failure == PortReadFailure::HardwareId) {
            LogDebug(logtext::kEnumHardIdFail);
            continue;
        }
        if (!Contains(candidate.strFirstHardwareId, L"VID_0483")) {
            LogDebug(logtext::kEnumNotQvl1);
            LogDebug(logtext::kEnumId, candidate.strFirstHardwareId);
            continue;
        }
        if (!Contains(candidate.strFirstHardwareId, L"PID_5740")) {
            LogDebug(logtext::kEnumNotQvl2);
            LogDebug(logtext::kEnumId, candidate.strFirstHardwareId);
            continue;
        }
        LogDebug(logtext::kEnumAdd, candidate.strPortName);
        arrPorts.push_back(candidate.strPortName);
        ++nCount;
    }
    return nCount;
}

int CGetComList::EnumQVLCommPort(std::vector<std::wstring>& arrPorts, const std::string& strSysfsRoot)
{
    std::vector<PortCandidate> arrCandidates;
    if (!ListPortCandidates(strSysfsRoot, arrCandidates)) {
        LogDebug(logtext::kEnumClassDevsFail);
        return 0;
    }
    return MatchQVLCommPorts(arrCandidates, arrPorts);
}

bool CQVLSession::GetQvlComPort(std::wstring& strPort)
{
    LogDebug(logtext::kGetQvlComPort);
    m_arrComPorts.clear();

    if (!m_strPortOverride.empty()) {
        // A port given on the command line is taken as it is, while it exists.
        if (!PortPresent(m_strPortOverride))
            return false;
        m_arrComPorts.push_back(m_strPortOverride);
    } else if (CGetComList::EnumQVLCommPort(m_arrComPorts, m_strSysfsRoot) < 1) {
        return false;
    }

    strPort = m_arrComPorts.front();
    LogInfo(logtext::kGetQvlComPortFound, m_arrComPorts.size(), strPort);
    return true;
}
