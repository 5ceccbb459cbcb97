// Times whole qvlctl runs, process start to exit, against virtual units:
//  1. "qvlctl write" of a full preset (identity, read, 24 set lines, "fw",
//     read-back) next to a minimal client process doing the same exchanges on
//     the same pseudo-terminal;
//  2. "qvlctl --all write" on 8 units next to the same on one unit.
// Prints medians and ratios; asserts nothing about time, fails only when a
// run fails.
//
// With --baseline, an other build of qvlctl (the one before a change, say)
// runs the same write on the same unit, and is printed beside this one.
//
//   qvlctl_bench [--runs=N] [--baseline=PATH]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/TextUtil.h"
#include "sim/VirtualUnit.h"
#include "support/BenchUnit.h"
#include "support/TempDir.h"
#include "support/ProcessRun.h"
#include "support/BuildPaths.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string PresetOf(const UnitSettings& s)
{
    std::string strText;
    for (int n = 0; n < kWwanCount; ++n) {
        const WwanProfile& p = s.wwan[static_cast<size_t>(n)];
        strText += "[WWAN" + std::to_string(n + 1) + "]\r\nAPN=" + ToUtf8(p.strApn)
            + "\r\nUSERNAME=" + ToUtf8(p.strUserName) + "\r\nPASSWORD=" + ToUtf8(p.strPassword)
            + "\r\nAUTHTYPE=" + ToUtf8(p.strAuthType) + "\r\nPDPTYPE=" + ToUtf8(p.strPdpType) + "\r\n\r\n";
    }
    strText += "[Wi-Fi]\r\nSSID=" + ToUtf8(s.wifi.strSsid) + "\r\nPASSPHRASE=" + ToUtf8(s.wifi.strPassphrase)
        + "\r\nSECURITY=" + ToUtf8(s.wifi.strSecurity) + "\r\nPWTYPE=" + ToUtf8(s.wifi.strKeyFormat) + "\r\n";
    return strText;
}

// The exchanges of a write with read-back, each with the number of reply
// lines that completes it.
std::vector<std::pair<std::string, int>> Exchanges(const UnitSettings& s)
{
    std::vector<std::pair<std::string, int>> ex = {{"ver\r", 2}, {"serial\r", 1}, {"get\r", 24}};
    for (const std::string& strLine : BenchWriteLines(s))
        ex.push_back({strLine, 1});
    ex.push_back({"get\r", 24});
    return ex;
}

// The minimal client: open, raw mode, each line out and its reply in.
int MinimalClient(const std::string& strPort)
{
    const int fd = open(strPort.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 3;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    for (const auto& [strLine, nLines] : Exchanges(BenchSettings())) {
        if (write(fd, strLine.data(), strLine.size()) != static_cast<ssize_t>(strLine.size()))
            return 1;
        std::string strReply;
        int nSeen = 0;
        while (nSeen < nLines) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                return 1;
            char buf[1024];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                return 1;
            for (ssize_t i = 0; i < n; ++i)
                nSeen += buf[i] == '\n' ? 1 : 0;
            strReply.append(buf, static_cast<size_t>(n));
        }
        if (strReply == "ERROR\r\n")
            return 1;
    }
    close(fd);
    return 0;
}

// Runs the program nRuns times; the median time in milliseconds, or -1 when a
// run failed.
double TimeRuns(const std::string& strProgram, const std::vector<std::string>& args, const std::string& strDir,
                int nRuns)
{
    std::vector<double> times;
    for (int i = 0; i < nRuns; ++i) {
        const auto t0 = Clock::now();
        const CtlRun run = RunProgram(strProgram, args, strDir);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (run.nExit != 0) {
            std::fprintf(stderr, "%s failed (%d): %s\n", strProgram.c_str(), run.nExit, run.strErr.c_str());
            return -1;
        }
    }
    return Median(times);
}

} // namespace

int main(int argc, char** argv)
{
    int nRuns = 20;
    std::string strBaseline;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--baseline=", 11) == 0)
            strBaseline = argv[i] + 11;
        if (std::strncmp(argv[i], "--runs=", 7) == 0)
            nRuns = std::max(1, std::atoi(argv[i] + 7));
        if (std::strncmp(argv[i], "--minimal-client=", 17) == 0)
            return MinimalClient(argv[i] + 17);
    }

    TempDir dir("qvlctl-bench");
    WriteBytes(dir.Path("full.all"), PresetOf(BenchSettings()));

    std::vector<std::unique_ptr<VirtualUnit>> units;
    std::vector<std::string> arrAllPorts;
    for (int i = 0; i < 8; ++i) {
        VirtualUnitOptions options;
        options.settings = BenchSettings();
        units.push_back(std::make_unique<VirtualUnit>(options));
        std::string strError;
        if (!units.back()->Start(&strError)) {
            std::fprintf(stderr, "cannot start a virtual unit: %s\n", strError.c_str());
            return 1;
        }
        arrAllPorts.push_back("--port=" + units.back()->PortPath());
    }
    const std::string strPort = units[0]->PortPath();

    const double dCtl = TimeRuns(QVLCTL_BINARY, {"--port=" + strPort, "write", dir.Path("full.all")}, dir.Str(), nRuns);
    const double dMinimal = TimeRuns("/proc/self/exe", {"--minimal-client=" + strPort}, dir.Str(), nRuns);
    const double dBaseline = strBaseline.empty()
        ? 0
        : TimeRuns(strBaseline, {"--port=" + strPort, "write", dir.Path("full.all")}, dir.Str(), nRuns);
    std::vector<std::string> argsOne = {"--all", arrAllPorts[0], "write", dir.Path("full.all")};
    std::vector<std::string> argsEight = {"--all"};
    argsEight.insert(argsEight.end(), arrAllPorts.begin(), arrAllPorts.end());
    argsEight.insert(argsEight.end(), {"write", dir.Path("full.all")});
    const double dOne = TimeRuns(QVLCTL_BINARY, argsOne, dir.Str(), nRuns);
    const double dEight = TimeRuns(QVLCTL_BINARY, argsEight, dir.Str(), nRuns);
    if (dCtl < 0 || dMinimal < 0 || dBaseline < 0 || dOne < 0 || dEight < 0)
        return 1;

    std::printf("runs: %d, medians, process start to exit\n", nRuns);
    std::printf("qvlctl write, full preset with read-back:  %8.2f ms\n", dCtl);
    std::printf("minimal client, same exchanges:            %8.2f ms\n", dMinimal);
    std::printf("ratio (target within 2x):                  %8.2f -> %s\n", dCtl / dMinimal,
                dCtl <= 2 * dMinimal ? "within" : "OVER");
    if (!strBaseline.empty())
        std::printf("baseline qvlctl write:                     %8.2f ms, ratio %.2f\n", dBaseline,
                    dBaseline / dMinimal);
    std::printf("qvlctl --all write, 1 unit:                %8.2f ms\n", dOne);
    std::printf("qvlctl --all write, 8 units:               %8.2f ms\n", dEight);
    std::printf("ratio (target within 2x):                  %8.2f -> %s\n", dEight / dOne,
                dEight <= 2 * dOne ? "within" : "OVER");
    return 0;
}
