// The real program on this display: it finds a unit, reads it, writes what it
// did to its log file, and closes on Esc.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sim/VirtualUnit.h"
#include "support/TempDir.h"
#include "support/PortLock.h"
#include "support/BuildPaths.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string RunCommand(const std::string& strCommand)
{
    std::string strOut;
    if (FILE* p = ::popen(strCommand.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            strOut += buf;
        ::pclose(p);
    }
    return strOut;
}

// qvl-utility with the given options, in its own directory (its log lands
// there) with its own runtime directory (its single-instance lock too).
// Killed by its pid if the test leaves it running.
class Utility {
public:
    Utility(const std::string& strDir, const std::string& strOptions) : m_strDir(strDir)
    {
        const std::string strCommand = "cd '" + strDir + "' && XDG_RUNTIME_DIR='" + strDir + "' NO_AT_BRIDGE=1 exec '"
            + QVL_UTILITY_BINARY + "' " + strOptions;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl("/bin/sh", "sh", "-c", strCommand.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Utility()
    {
        if (m_pid > 0 && !m_bReaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::string Log() const { return ReadFile(m_strDir + "/Orra_QVL_Utility_log.txt"); }

    // Waits until the log holds every text (the log is flushed every 3 s).
    bool WaitForLog(std::initializer_list<std::string> texts, milliseconds bound) const
    {
        const auto end = Clock::now() + bound;
        for (;;) {
            const std::string strLog = Log();
            bool bAll = true;
            for (const std::string& strText : texts)
                bAll = bAll && strLog.find(strText) != std::string::npos;
            if (bAll)
                return true;
            if (Clock::now() >= end)
                return false;
            std::this_thread::sleep_for(milliseconds(100));
        }
    }

    // Presses Esc in the program's window, as a user would, and returns the
    // exit status. Another program on this display may take the focus
    // between the focusing and the key, so the key is pressed again if the
    // program is still running after a while.
    int CloseWithEscape()
    {
        const std::string strPid = std::to_string(m_pid);
        const std::string strFound = RunCommand("timeout 10 xdotool search --all --sync --onlyvisible --pid " + strPid
                                                + " --name 'Orra QVL Utility' | head -1");
        const std::string strWindow = strFound.substr(0, strFound.find('\n'));
        if (strWindow.empty()) {
            ADD_FAILURE() << "the window of " << strPid << " did not appear";
            return -1;
        }
        int nStatus = -1;
        for (int nTry = 0; nTry < 3 && nStatus < 0; ++nTry) {
            RunCommand("timeout 10 xdotool windowfocus --sync " + strWindow + " key Escape 2>/dev/null");
            nStatus = WaitForExit(milliseconds(4000));
        }
        return nStatus;
    }

    // The exit status once the program has ended, or -1 if it still runs.
    int WaitForExit(milliseconds bound)
    {
        const auto end = Clock::now() + bound;
        for (;;) {
            int nStatus = 0;
            if (::waitpid(m_pid, &nStatus, WNOHANG) == m_pid) {
                m_bReaped = true;
                return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
            }
            if (Clock::now() >= end)
                return -1;
            std::this_thread::sleep_for(milliseconds(50));
        }
    }

private:
    std::string m_strDir;
    pid_t m_pid = -1;
    bool m_bReaped = false;
};

class UtilityProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.Valid()); }

    TempDir m_dir{"qvl-process"};
    const std::string m_strDir = m_dir.Str();
};

TEST_F(UtilityProcessTest, PortOptionConnectsToTheUnitAndLogsItsIdentity)
{
    const std::string strLink = m_strDir + "/qvl-port";
    VirtualUnitOptions options;
    options.strLinkPath = strLink;
    options.settings = FactoryUnitSettings();
    options.settings.wwan[0].strApn = L"internet.process";
    VirtualUnit unit(options);
    std::string strError;
    ASSERT_TRUE(unit.Start(&strError)) << strError;

    Utility utility(m_strDir, "--port=" + strLink);
    EXPECT_TRUE(utility.WaitForLog({"[info] GetQvlComPort num:1, port:" + strLink + "\n",
                                    "[info] QvlVersion:VER 1.0.4 QvlMcuID:MCUID 0123ABCD QvlSerial: 12345678\n",
                                    "[info] Display WWAN 1 APN internet.process\n"},
                                   milliseconds(15000)))
        << utility.Log();
    // Connected, it holds the port for itself...
    EXPECT_FALSE(PortIsFree(strLink));

    EXPECT_EQ(utility.CloseWithEscape(), 0);
    // ...and it let go of the unit: the port is free, and nothing but the
    // connection's three commands reached it.
    EXPECT_TRUE(PortIsFree(strLink));
    EXPECT_EQ(unit.ReceivedLines(), (std::vector<std::string>{"ver\r", "serial\r", "get\r"}));
}

TEST_F(UtilityProcessTest, SimulateConnectsToItsOwnDemoUnit)
{
    Utility utility(m_strDir, "--simulate");
    EXPECT_TRUE(
        utility.WaitForLog({"[info] GetQvlComPort num:1, port:/dev/pts/",
                            "[info] QvlVersion:VER 1.0.4 QvlMcuID:MCUID 0123ABCD QvlSerial: 12345678\n",
                            "[info] CQVLUtilityDlg::DisplayQvlInfo: connect\n", "[info] Display WWAN 1 APN internet\n"},
                           milliseconds(15000)))
        << utility.Log();
    EXPECT_EQ(utility.Log().find("[error]"), std::string::npos) << utility.Log();

    EXPECT_EQ(utility.CloseWithEscape(), 0);
}

} // namespace
