// Port arrivals from udev's monitor: the tty devices whose "add" udev has
// finished handling (its rules, the unit's access rights among them, applied),
// so a port announced here can be opened at once. The monitor's socket and a
// stop descriptor are polled on a thread of the monitor's own.

#include "link/PortMonitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>

#include "core/TextUtil.h"

namespace {

class CPortMonitorUdev : public CPortMonitor {
public:
    explicit CPortMonitorUdev(ArrivalFn fnArrival) : m_fnArrival(std::move(fnArrival)) { }

    ~CPortMonitorUdev() override
    {
        if (m_thread.joinable()) {
            const std::uint64_t nOne = 1;
            const ssize_t n = write(m_fdStop, &nOne, sizeof nOne);
            (void)n; // an eventfd's counter cannot be full here
            m_thread.join();
        }
        if (m_fdStop != -1)
            close(m_fdStop);
        if (m_pMonitor != nullptr)
            udev_monitor_unref(m_pMonitor);
        if (m_pUdev != nullptr)
            udev_unref(m_pUdev);
    }

    bool Open()
    {
        m_pUdev = udev_new();
        if (m_pUdev == nullptr)
            return false;
        m_pMonitor = udev_monitor_new_from_netlink(m_pUdev, "udev");
        if (m_pMonitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(m_pMonitor, "tty", nullptr) < 0
            || udev_monitor_enable_receiving(m_pMonitor) < 0)
            return false;
        m_fdStop = eventfd(0, EFD_CLOEXEC);
        if (m_fdStop == -1)
            return false;
        m_thread = std::thread([this] { Run(); });
        return true;
    }

private:
    void Run()
    {
        pollfd fds[2] = {{udev_monitor_get_fd(m_pMonitor), POLLIN, 0}, {m_fdStop, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return; // the periodic search is left
            }
            if (fds[1].revents != 0)
                return;
            if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return; // the socket is gone: the periodic search is left
            // The socket does not block: every announcement waiting is taken.
            while (udev_device* pDevice = udev_monitor_receive_device(m_pMonitor)) {
                const char* pAction = udev_device_get_action(pDevice);
                const char* pNode = udev_device_get_devnode(pDevice);
                if (pAction != nullptr && std::strcmp(pAction, "add") == 0)
                    m_fnArrival(pNode != nullptr ? FromUtf8(pNode) : std::wstring());
                udev_device_unref(pDevice);
            }
        }
    }

    ArrivalFn m_fnArrival;
    udev* m_pUdev = nullptr;
    udev_monitor* m_pMonitor = nullptr;
    int m_fdStop = -1;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<CPortMonitor> StartPlatformPortMonitor(CPortMonitor::ArrivalFn fnArrival)
{
    auto pMonitor = std::make_unique<CPortMonitorUdev>(std::move(fnArrival));
    if (!pMonitor->Open())
        return nullptr;
    return pMonitor;
}
