// The Windows serial port and discovery, under Wine. The unit is the Linux
// virtual unit (qvl-unit-sim) on a pty that the Wine prefix maps as the COM
// port named by QVL_TEST_COM (scripts/windows.sh sets this up); without it
// the port tests are skipped, and they fail instead when QVL_TEST_REQUIRE_COM
// is set (the script sets it: there the port must be there). QVL_TEST_UNIT_CONTROL
// names the unit's command input (as a Windows path), through which a test
// unplugs and plugs it.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "core/QVLSession.h"
#include "link/ComList.h"
#include "link/PortOpenFailure.h"
#include "link/PortDiscovery.h"
#include "support/LogCapture.h"

namespace {

std::wstring TestPort()
{
    const char* pszPort = std::getenv("QVL_TEST_COM");
    return pszPort ? std::wstring(pszPort, pszPort + std::char_traits<char>::length(pszPort)) : std::wstring();
}

// Wine lets a second opener have a serial device that is already open (its
// sharing checks cover disk files only); Windows' serial drivers refuse it.
bool RunningUnderWine()
{
    const HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    return hNtdll && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

// Sends one command line ("unplug", "plug") to the virtual unit.
bool TellUnit(const char* pszCommand)
{
    const char* pszControl = std::getenv("QVL_TEST_UNIT_CONTROL");
    if (!pszControl)
        return false;
    std::ofstream control(pszControl);
    control << pszCommand << "\n";
    control.flush();
    return static_cast<bool>(control);
}

class TestSession : public CQVLSession {
public:
    ~TestSession() override { StopRecvThread(); }
    std::atomic<int> nPosts{0};

protected:
    void PostCloseQvlSerial() override { ++nPosts; }
};

// The tests that need the unit's port (and, with bControl, its command input).
class ComPort : public ::testing::Test {
protected:
    void NeedUnit(bool bControl)
    {
        m_strPort = TestPort();
        const bool bMissing = m_strPort.empty() || (bControl && !std::getenv("QVL_TEST_UNIT_CONTROL"));
        if (bMissing && std::getenv("QVL_TEST_REQUIRE_COM"))
            FAIL() << "QVL_TEST_COM" << (bControl ? " or QVL_TEST_UNIT_CONTROL" : "") << " is not set";
        if (bMissing)
            GTEST_SKIP() << "QVL_TEST_COM" << (bControl ? " or QVL_TEST_UNIT_CONTROL" : "") << " is not set";
    }
    std::wstring m_strPort;
};

} // namespace

TEST_F(ComPort, ExchangesWithTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(NeedUnit(false));
    if (IsSkipped())
        return;
    const std::wstring strPort = m_strPort;
    LogCapture log;
    TestSession session;
    session.SetComPort(strPort);
    ASSERT_TRUE(session.InitSerial()) << std::string(session.LastError().begin(), session.LastError().end());
    ASSERT_TRUE(session.StartRecvThread());
    ASSERT_TRUE(session.QueryQvlVer());
    EXPECT_FALSE(session.GetDeviceInfo().strVersion.empty());

    ASSERT_TRUE(session.get_APN_WIFI_info());
    const WwanProfile profile{L"apn.example", L"user", L"p w", L"1", L"2"};
    const WifiSettings wifi{L"home net", L"1", L"0", L"passphrase"};
    session.SetWwanProfile(3, profile);
    session.SetWifiSettings(wifi);
    const Status set = session.set_APN_WIFI_info();
    ASSERT_TRUE(set) << std::string(set.Text().begin(), set.Text().end());
    ASSERT_TRUE(session.fw_APN_WIFI_info());

    // Read back what the unit now holds.
    session.SetWwanProfile(3, WwanProfile{});
    session.SetWifiSettings(WifiSettings{});
    ASSERT_TRUE(session.get_APN_WIFI_info());
    EXPECT_EQ(session.GetWwanProfile(3), profile);
    EXPECT_EQ(session.GetWifiSettings(), wifi);
}

TEST_F(ComPort, HoldsThePortAlone)
{
    ASSERT_NO_FATAL_FAILURE(NeedUnit(false));
    if (IsSkipped())
        return;
    if (RunningUnderWine())
        GTEST_SKIP()
            << "Wine lets a second opener have a serial device that is already open; Windows' drivers refuse it";
    const std::wstring strPort = m_strPort;
    LogCapture log;
    TestSession session, second;
    session.SetComPort(strPort);
    ASSERT_TRUE(session.InitSerial()) << std::string(session.LastError().begin(), session.LastError().end());

    // No sharing: a second opener is refused, with the system's text.
    second.SetComPort(strPort);
    EXPECT_FALSE(second.InitSerial());
    EXPECT_FALSE(second.LastError().empty());
    EXPECT_EQ(ClassifyPortOpenFailure(second.LastFailure()).strReason, "in use by another program");
    const std::string strNarrow(strPort.begin(), strPort.end());
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::InitSerial " + strNarrow + " CreateFile Failure."));

    // The port is free again once the session lets it go.
    session.UninitSerial();
    EXPECT_TRUE(second.InitSerial());
    second.UninitSerial();
}

// A unit that goes away makes the next read fail: the receive thread closes
// the port, reports the loss once and ends; the port opens again once the
// unit is back.
TEST_F(ComPort, LostUnitEndsTheReceiveThread)
{
    ASSERT_NO_FATAL_FAILURE(NeedUnit(true));
    if (IsSkipped())
        return;
    const std::wstring strPort = m_strPort;
    LogCapture log;
    TestSession session;
    session.SetComPort(strPort);
    ASSERT_TRUE(session.InitSerial());
    ASSERT_TRUE(session.StartRecvThread());
    ASSERT_TRUE(session.QueryQvlVer());

    ASSERT_TRUE(TellUnit("unplug"));
    const auto start = std::chrono::steady_clock::now();
    while (session.IsRecvThreadRunning() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(session.IsRecvThreadRunning());
    EXPECT_EQ(session.nPosts.load(), 1);
    EXPECT_FALSE(session.SendData(L"ver\r"));

    ASSERT_TRUE(TellUnit("plug"));
    TestSession again;
    again.SetComPort(strPort);
    bool bOpen = false;
    for (int i = 0; i < 50 && !bOpen; ++i) {
        bOpen = again.InitSerial().Ok();
        if (!bOpen)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(bOpen);
    ASSERT_TRUE(again.StartRecvThread());
    EXPECT_TRUE(again.QueryQvlVer());
}

TEST(ComPortMissing, MissingPortFailsTheOpenAndTheOverride)
{
    LogCapture log;
    TestSession session;
    session.SetComPort(L"COM199");
    EXPECT_FALSE(session.InitSerial());
    EXPECT_FALSE(session.LastError().empty());
    // The serial layer's code, not its text, tells the window and qvlctl why.
    EXPECT_EQ(ClassifyPortOpenFailure(session.LastFailure()).kind, FailureKind::NotFound);
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::InitSerial COM199 CreateFile Failure."));

    std::wstring strFound = L"untouched";
    session.SetPortOverride(L"COM199");
    EXPECT_FALSE(session.GetQvlComPort(strFound));
    EXPECT_EQ(strFound, L"untouched");
}

TEST_F(ComPort, OverrideNamingThePortFindsIt)
{
    ASSERT_NO_FATAL_FAILURE(NeedUnit(false));
    if (IsSkipped())
        return;
    TestSession session;
    std::wstring strFound = L"untouched";
    session.SetPortOverride(m_strPort);
    EXPECT_TRUE(session.GetQvlComPort(strFound));
    EXPECT_EQ(strFound, m_strPort);
}

// SetupAPI's listing runs; whatever it finds is not the unit (the mapped
// port has no USB device behind it), so the search finds nothing.
TEST(Discovery, SetupApiListingRunsAndFindsNoUnit)
{
    LogCapture log;
    std::vector<PortCandidate> arrCandidates;
    EXPECT_TRUE(ListPortCandidates(std::string(), arrCandidates));
    std::vector<std::wstring> arrPorts;
    EXPECT_EQ(CGetComList::EnumQVLCommPort(arrPorts), 0);
    EXPECT_TRUE(arrPorts.empty());
    TestSession session;
    std::wstring strFound = L"untouched";
    EXPECT_FALSE(session.GetQvlComPort(strFound));
    EXPECT_EQ(strFound, L"untouched");
}
