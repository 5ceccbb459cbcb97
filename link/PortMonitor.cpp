#include "link/PortMonitor.h"

#include <cstdlib>

std::unique_ptr<CPortMonitor> CPortMonitor::Start(ArrivalFn fnArrival)
{
    // A way to fall back to the periodic search alone, where the system's
    // announcements misbehave.
    if (const char* pOff = std::getenv("QVL_NO_PORT_MONITOR"); pOff != nullptr && *pOff != '\0')
        return nullptr;
    return StartPlatformPortMonitor(std::move(fnArrival));
}
