#pragma once
// Hears of serial ports the moment the system announces them: on Linux the
// tty devices udev has finished setting up, on Windows the port arrivals
// broadcast with WM_DEVICECHANGE. The window and a watch use it to look for
// the unit at once instead of at their next search; their periodic searches
// stay, for ports nothing announces (links, pseudo-terminals) and for systems
// without announcements. Display-free.

#include <functional>
#include <memory>
#include <string>

class CPortMonitor {
public:
    // Told the new port's name (/dev/ttyACM0, COM7), or "" where the
    // announcement does not name it. Runs on the monitor's own thread.
    using ArrivalFn = std::function<void(const std::wstring& strPort)>;

    // Starts listening. Null when the system's announcements cannot be
    // listened to here, or QVL_NO_PORT_MONITOR is set in the environment:
    // the caller then relies on its periodic search alone.
    static std::unique_ptr<CPortMonitor> Start(ArrivalFn fnArrival);

    // Stops listening: once it returns, fnArrival is not running and runs no more.
    virtual ~CPortMonitor() = default;

protected:
    CPortMonitor() = default;
    CPortMonitor(const CPortMonitor&) = delete;
    CPortMonitor& operator=(const CPortMonitor&) = delete;
};

// The platform's half of Start (null when it has no monitor to offer).
std::unique_ptr<CPortMonitor> StartPlatformPortMonitor(CPortMonitor::ArrivalFn fnArrival);
