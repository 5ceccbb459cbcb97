// The virtual unit serves on a pseudo-terminal, which Windows does not have.
// On Windows it only holds its settings and refuses to start, so --simulate
// reports that it is unavailable and the program looks for a real unit.
// Windows tests serve the unit from Linux (qvl-unit-sim) on a pty that the
// Wine prefix maps as a COM port.
#include "sim/VirtualUnit.h"

namespace {
constexpr const char* kUnavailable = "the virtual unit needs a pseudo-terminal and is not available on Windows";
}

UnitSettings FactoryUnitSettings()
{
    UnitSettings s;
    for (WwanProfile& p : s.wwan) {
        p.strAuthType = L"0";
        p.strPdpType = L"0";
    }
    s.wifi.strSecurity = L"0";
    s.wifi.strKeyFormat = L"0";
    return s;
}

VirtualUnit::VirtualUnit(VirtualUnitOptions options)
    : m_options(std::move(options)), m_settings(m_options.settings), m_committed(m_options.settings)
{
}

VirtualUnit::~VirtualUnit() = default;

bool VirtualUnit::Start(std::string* pstrError)
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    m_strLastError = kUnavailable;
    if (pstrError)
        *pstrError = m_strLastError;
    return false;
}

void VirtualUnit::Stop() {}
std::string VirtualUnit::PortPath() const { return std::string(); }
void VirtualUnit::Unplug() {}
bool VirtualUnit::Plug() { return false; }
bool VirtualUnit::IsPlugged() const { return false; }

void VirtualUnit::SetFaults(const VirtualUnitFaults& faults)
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    m_faults = faults;
}

UnitSettings VirtualUnit::Settings() const
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    return m_settings;
}

UnitSettings VirtualUnit::CommittedSettings() const
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    return m_committed;
}

void VirtualUnit::SetSettings(const UnitSettings& s)
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    m_settings = s;
    m_committed = s;
}

std::vector<std::string> VirtualUnit::ReceivedLines() const { return {}; }
std::string VirtualUnit::ReceivedBytes() const { return std::string(); }
void VirtualUnit::ClearReceived() {}

std::string VirtualUnit::LastError() const
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    return m_strLastError;
}
