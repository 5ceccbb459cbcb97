#pragma once
// When the supervisor tries a port again after connection attempts that found
// the port but not the unit (it stayed silent, or answered as something
// else). Each such attempt runs on a thread of its own and holds the port for
// up to a reply time-out, during which no other attempt starts, so a port
// that keeps failing is tried less and less often: the first three failures
// are retried on the next tick, then after 2, 4, 8 and 16 seconds, then every
// 30 seconds. Any change of the ports found starts over, and so does the
// arrival of one of them.
// Display-free; the caller passes the time.

#include <chrono>
#include <string>
#include <vector>

class ConnectBackoff {
public:
    using Clock = std::chrono::steady_clock;

    // Whether an attempt may run now on the first of these ports (the list
    // discovery returned, empty when none). A list unlike the one of the
    // failures counted so far starts over.
    bool MayAttempt(const std::vector<std::wstring>& ports, Clock::time_point now);

    // The attempt on the first of the ports found the port but not the unit.
    void Failed(Clock::time_point now);

    // The system announced the arrival of this port. One of the ports
    // counted is a new device now (unplugged and plugged again between two
    // searches): start over.
    void Arrived(const std::wstring& strPort);

    // The unit connected, or the port failed to open (which is retried each
    // tick): start over.
    void Reset();

    int Failures() const { return m_nFailures; }

private:
    std::vector<std::wstring> m_ports;
    int m_nFailures = 0;
    Clock::time_point m_next{};
};
