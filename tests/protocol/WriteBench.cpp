// Times a whole Write (the 24 set lines and "fw\r") against the virtual unit,
// once through a connected session (receive thread, parser, bounded waits) and
// once by a minimal client on the same pseudo-terminal that writes a line,
// reads until its reply has ended and goes on. Prints both, their ratio and
// the floor the receive loop's pause sets. Not a test: it asserts nothing
// about time; it fails only when an exchange fails.
//
//   protocol_write_bench [--runs=N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <spdlog/spdlog.h>

#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "sim/VirtualUnit.h"
#include "support/BenchUnit.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// One line out, then read until the reply ends in "\r\n". False on failure.
bool MinimalExchange(int fd, const std::string& strLine)
{
    if (write(fd, strLine.data(), strLine.size()) != static_cast<ssize_t>(strLine.size()))
        return false;
    std::string strReply;
    while (strReply.size() < 2 || strReply.compare(strReply.size() - 2, 2, "\r\n") != 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0)
            return false;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        strReply.append(buf, static_cast<size_t>(n));
    }
    return strReply != "ERROR\r\n";
}

} // namespace

int main(int argc, char** argv)
{
    int nRuns = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--runs=", 7) == 0)
            nRuns = std::max(1, std::atoi(argv[i] + 7));
    }
    // The transactions log every line at info level; keep the console quiet.
    spdlog::set_level(spdlog::level::warn);

    VirtualUnitOptions options;
    options.settings = BenchSettings();
    VirtualUnit unit(options);
    std::string strError;
    if (!unit.Start(&strError)) {
        std::fprintf(stderr, "cannot start the virtual unit: %s\n", strError.c_str());
        return 1;
    }
    const std::string strPort = unit.PortPath();

    // Through the session, as the Write command does it.
    std::vector<double> session;
    {
        CQVLSession link;
        link.SetComPort(FromUtf8(strPort));
        if (!link.InitSerial() || !link.StartRecvThread()) {
            std::fprintf(stderr, "cannot open %s\n", strPort.c_str());
            return 1;
        }
        const UnitSettings s = BenchSettings();
        for (int n = 0; n < kWwanCount; ++n)
            link.SetWwanProfile(n, s.wwan[static_cast<size_t>(n)]);
        link.SetWifiSettings(s.wifi);
        for (int nRun = 0; nRun < nRuns; ++nRun) {
            const auto t0 = Clock::now();
            Status written = link.set_APN_WIFI_info();
            if (written)
                written = link.fw_APN_WIFI_info();
            if (!written) {
                std::fprintf(stderr, "write failed: %s\n", ToUtf8(written.Text()).c_str());
                return 1;
            }
            session.push_back(MsSince(t0));
        }
        link.StopRecvThread();
    }

    // The same exchange by the minimal client.
    std::vector<double> minimal;
    {
        const int fd = open(strPort.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "cannot open %s\n", strPort.c_str());
            return 1;
        }
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        const std::vector<std::string> lines = BenchWriteLines(BenchSettings());
        for (int nRun = 0; nRun < nRuns; ++nRun) {
            const auto t0 = Clock::now();
            for (const std::string& strLine : lines) {
                if (!MinimalExchange(fd, strLine)) {
                    std::fprintf(stderr, "minimal client: exchange failed at %s\n", strLine.c_str());
                    close(fd);
                    return 1;
                }
            }
            minimal.push_back(MsSince(t0));
        }
        close(fd);
    }

    const double dSession = Median(session);
    const double dMinimal = Median(minimal);
    const double dTarget = 2 * (25 * 10.0 + dMinimal);
    std::printf("runs: %d (medians of a whole Write, 24 set lines + fw)\n", nRuns);
    std::printf("session (receive thread, 10 ms pass pause): %8.2f ms\n", dSession);
    std::printf("minimal client on the same pty:              %8.2f ms\n", dMinimal);
    std::printf("ratio session / minimal:                     %8.1f\n", dMinimal > 0 ? dSession / dMinimal : 0.0);
    std::printf("floor 25 x 10 ms + minimal:                  %8.2f ms (target: within 2x = %.2f ms) -> %s\n",
                250.0 + dMinimal, dTarget, dSession <= dTarget ? "within" : "OVER");
    return 0;
}
