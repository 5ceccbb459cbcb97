#include "core/ConnectBackoff.h"

#include <algorithm>

bool ConnectBackoff::MayAttempt(const std::vector<std::wstring>& ports, Clock::time_point now)
{
    if (ports != m_ports) {
        Reset();
        m_ports = ports;
    }
    return m_nFailures < 3 || now >= m_next;
}

void ConnectBackoff::Failed(Clock::time_point now)
{
    ++m_nFailures;
    if (m_nFailures < 3)
        return;
    // 2, 4, 8, 16 seconds after the third to sixth failure, then 30.
    const int nShift = std::min(m_nFailures - 3, 4);
    const int nSeconds = m_nFailures - 3 < 4 ? (2 << nShift) : 30;
    m_next = now + std::chrono::seconds(nSeconds);
}

void ConnectBackoff::Arrived(const std::wstring& strPort)
{
    if (std::find(m_ports.begin(), m_ports.end(), strPort) != m_ports.end())
        Reset();
}

void ConnectBackoff::Reset()
{
    m_nFailures = 0;
    m_next = {};
}
