// The virtual unit serves on a pseudo-terminal, which Windows does not have.
// On Windows it refuses to start, so --simulate reports that it is
// unavailable and the program looks for a real unit. Only what the program
// calls is here. Windows tests serve the unit from Linux (qvl-unit-sim) on a
// pty that the Wine prefix maps as a COM port.
#include "sim/VirtualUnit.h"

VirtualUnit::VirtualUnit(VirtualUnitOptions options)
    : m_options(std::move(options)), m_settings(m_options.settings), m_committed(m_options.settings)
{
}

VirtualUnit::~VirtualUnit() = default;

bool VirtualUnit::Start(std::string* pstrError)
{
    std::lock_guard<std::mutex> lock(m_mtxData);
    m_strLastError = "the virtual unit needs a pseudo-terminal and is not available on Windows";
    if (pstrError)
        *pstrError = m_strLastError;
    return false;
}

std::string VirtualUnit::PortPath() const
{
    return std::string();
}
