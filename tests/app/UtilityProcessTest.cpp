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
#include "support/UtilityProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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

    UtilityProcess utility(QVL_UTILITY_BINARY, m_strDir, "--port=" + strLink);
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
    UtilityProcess utility(QVL_UTILITY_BINARY, m_strDir, "--simulate");
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
