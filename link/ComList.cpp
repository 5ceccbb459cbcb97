// Finding the unit's port: the matching over the listed ports, and the
// session's GetQvlComPort.

#include "link/ComList.h"

#include <spdlog/spdlog.h>

#include "core/QVLSession.h"
#include "core/TextUtil.h"

namespace {

constexpr const char* kEnumName = "CGetComList::EnumQVLCommPort";

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
            spdlog::debug("{} SetupDiOpenDevRegKey fail", kEnumName);
            continue;
        case PortReadFailure::PortName:
            spdlog::debug("{} RegQueryValueEx fail", kEnumName);
            continue;
        case PortReadFailure::Parent:
            spdlog::debug("{} SetupDiGetDeviceProperty fail", kEnumName);
            continue;
        default:
            break;
        }
        if (!Contains(candidate.strParentInstanceId, L"VID_1A40"))
            continue; // not behind a hub of the unit's kind: no log line
        if (!Contains(candidate.strParentInstanceId, L"PID_0201")) {
            spdlog::debug("{} not HUB2", kEnumName);
            spdlog::debug("{}", ToUtf8(candidate.strParentInstanceId));
            continue;
        }
        if (candidate.failure == PortReadFailure::HardwareIdBuffer) {
            spdlog::debug("{} pHardID fail {}", kEnumName, candidate.nHardwareIdSize);
            continue;
        }
        if (candidate.failure == PortReadFailure::HardwareId) {
            spdlog::debug("{} SetupDiGetDeviceRegistryProperty fail1", kEnumName);
            continue;
        }
        if (!Contains(candidate.strFirstHardwareId, L"VID_0483")) {
            spdlog::debug("{} not QVL1", kEnumName);
            spdlog::debug("{}", ToUtf8(candidate.strFirstHardwareId));
            continue;
        }
        if (!Contains(candidate.strFirstHardwareId, L"PID_5740")) {
            spdlog::debug("{} not QVL2", kEnumName);
            spdlog::debug("{}", ToUtf8(candidate.strFirstHardwareId));
            continue;
        }
        spdlog::debug("Add {}", ToUtf8(candidate.strPortName));
        arrPorts.push_back(candidate.strPortName);
        ++nCount;
    }
    return nCount;
}

int CGetComList::EnumQVLCommPort(std::vector<std::wstring>& arrPorts, const std::string& strSysfsRoot)
{
    std::vector<PortCandidate> arrCandidates;
    if (!ListPortCandidates(strSysfsRoot, arrCandidates)) {
        spdlog::debug("{} SetupDiGetClassDevs fail", kEnumName);
        return 0;
    }
    return MatchQVLCommPorts(arrCandidates, arrPorts);
}

bool CQVLSession::GetQvlComPort(std::wstring& strPort)
{
    spdlog::debug("{}", "CQVLUtilityDlg::GetQvlComPort");
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
    spdlog::info("GetQvlComPort num:{}, port:{}", m_arrComPorts.size(), ToUtf8(strPort));
    return true;
}
