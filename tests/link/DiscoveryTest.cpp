// Finding the unit's port on fake sysfs trees built in a temporary directory.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/QVLSession.h"
#include "link/ComList.h"
#include "support/LogCapture.h"

namespace {

// A sysfs tree with USB devices as the kernel lays them out:
// devices/.../<hub>/<function>/<function>:1.0/tty/<tty>, with
// class/tty/<tty> linking to the tty's directory.
class FakeSysfs {
public:
    FakeSysfs()
    {
        char szTemplate[] = "/tmp/qvl-sysfs-XXXXXX";
        m_strRoot = mkdtemp(szTemplate);
        MakeDirs(m_strRoot + "/class/tty");
        MakeDirs(m_strRoot + "/devices/pci0000:00/usb1");
        Write("devices/pci0000:00/usb1/idVendor", "1d6b\n");
        Write("devices/pci0000:00/usb1/idProduct", "0002\n");
    }
    ~FakeSysfs() { std::system(("rm -rf '" + m_strRoot + "'").c_str()); }

    const std::string& Root() const { return m_strRoot; }

    // A hub on the root hub; returns its path below devices/.
    std::string AddHub(const std::string& strName, const char* pszVid, const char* pszPid)
    {
        const std::string strDir = "devices/pci0000:00/usb1/" + strName;
        MakeDirs(m_strRoot + "/" + strDir);
        if (pszVid)
            Write(strDir + "/idVendor", std::string(pszVid) + "\n");
        if (pszPid)
            Write(strDir + "/idProduct", std::string(pszPid) + "\n");
        return strDir;
    }

    // A CDC function with one tty under strHub. bSerialConverter puts the tty
    // below a port device, as USB serial converters do.
    void AddPort(const std::string& strHub, const std::string& strFunction, const std::string& strTty,
                 const char* pszVid, const char* pszPid, const char* pszRev, bool bSerialConverter = false)
    {
        const std::string strFunc = strHub + "/" + strFunction;
        const std::string strIf = strFunc + "/" + strFunction + ":1.0";
        MakeDirs(m_strRoot + "/" + strIf);
        Write(strFunc + "/idVendor", std::string(pszVid) + "\n");
        Write(strFunc + "/idProduct", std::string(pszPid) + "\n");
        if (pszRev)
            Write(strFunc + "/bcdDevice", std::string(pszRev) + "\n");
        Write(strIf + "/bInterfaceNumber", "00\n");
        const std::string strParent = bSerialConverter ? strIf + "/" + strTty : strIf;
        AddTty(strTty, strParent, bSerialConverter ? "../../../" + strTty : "../../../" + strFunction + ":1.0");
    }

    // A tty whose device directory is strDevice (below the root), or one
    // without a device link when strDevice is empty.
    void AddTty(const std::string& strTty, const std::string& strDevice, const std::string& strDeviceLink)
    {
        const std::string strTtyDir = (strDevice.empty() ? "devices/virtual" : strDevice) + "/tty/" + strTty;
        MakeDirs(m_strRoot + "/" + strTtyDir);
        if (!strDeviceLink.empty()) {
            EXPECT_EQ(0, symlink(strDeviceLink.c_str(), (m_strRoot + "/" + strTtyDir + "/device").c_str()));
        }
        EXPECT_EQ(0, symlink(("../../" + strTtyDir).c_str(), (m_strRoot + "/class/tty/" + strTty).c_str()));
    }

    void Write(const std::string& strRel, const std::string& strText)
    {
        std::ofstream(m_strRoot + "/" + strRel) << strText;
    }
    void Remove(const std::string& strRel) { unlink((m_strRoot + "/" + strRel).c_str()); }

private:
    static void MakeDirs(const std::string& strPath)
    {
        for (size_t nPos = 1; nPos != std::string::npos;) {
            nPos = strPath.find('/', nPos + 1);
            mkdir(strPath.substr(0, nPos).c_str(), 0755);
        }
    }
    std::string m_strRoot;
};

class TestSession : public CQVLSession {
public:
    using CQVLSession::m_arrComPorts;
};

const std::string kEntry = "[debug] CQVLUtilityDlg::GetQvlComPort";

} // namespace

TEST(PortDiscovery, OneUnitIsFoundWithTheTextsOfItsHubAndFunction)
{
    FakeSysfs sys;
    sys.AddTty("tty0", "", ""); // a virtual terminal: no device
    sys.AddTty("ttyS0", "devices/platform/serial8250", "../../../serial8250");
    sys.AddPort(sys.AddHub("1-1", "1a40", "0201"), "1-1.2", "ttyACM0", "0483", "5740", "0200");

    std::vector<PortCandidate> arrCandidates;
    ASSERT_TRUE(ListPortCandidates(sys.Root(), arrCandidates));
    ASSERT_EQ(1u, arrCandidates.size()); // ttys without a USB interface are no ports
    EXPECT_EQ(L"/dev/ttyACM0", arrCandidates[0].strPortName);
    EXPECT_EQ(L"USB\\VID_1A40&PID_0201\\1-1", arrCandidates[0].strParentInstanceId);
    EXPECT_EQ(L"USB\\VID_0483&PID_5740&REV_0200", arrCandidates[0].strFirstHardwareId);
    EXPECT_EQ(L"1-1.2", arrCandidates[0].strUsbPath);

    LogCapture log(spdlog::level::info);
    TestSession session;
    session.SetSysfsRoot(sys.Root());
    std::wstring strPort = L"unchanged";
    ASSERT_TRUE(session.GetQvlComPort(strPort));
    EXPECT_EQ(L"/dev/ttyACM0", strPort);
    EXPECT_EQ(std::vector<std::string>{"[info] GetQvlComPort num:1, port:/dev/ttyACM0"}, log.Lines());
}

TEST(PortDiscovery, TwoUnitsAreBothListedAndTheFirstByNumberIsUsedRepeatably)
{
    FakeSysfs sys;
    sys.AddPort(sys.AddHub("1-1", "1A40", "0201"), "1-1.2", "ttyACM10", "0483", "5740", "0200");
    sys.AddPort(sys.AddHub("1-3", "1A40", "0201"), "1-3.2", "ttyACM2", "0483", "5740", "0200");
    LogCapture log;
    TestSession session;
    session.SetSysfsRoot(sys.Root());
    for (int nRun = 0; nRun < 2; ++nRun) { // the list is emptied first: no duplicates
        std::wstring strPort;
        ASSERT_TRUE(session.GetQvlComPort(strPort));
        EXPECT_EQ(L"/dev/ttyACM2", strPort);
        EXPECT_EQ((std::vector<std::wstring>{L"/dev/ttyACM2", L"/dev/ttyACM10"}), session.m_arrComPorts);
    }
    EXPECT_EQ(2u, log.Count("[info] GetQvlComPort num:2, port:/dev/ttyACM2"));
    EXPECT_TRUE(log.Has("[debug] Add /dev/ttyACM10"));
    EXPECT_EQ(2u, log.Count(kEntry));
}

TEST(PortDiscovery, UnitFunctionBehindAnotherHubIsRejected)
{
    FakeSysfs sys;
    sys.AddPort(sys.AddHub("1-1", "05e3", "0608"), "1-1.1", "ttyACM0", "0483", "5740", "0200"); // silently
    sys.AddPort(sys.AddHub("1-2", "1a40", "0101"), "1-2.1", "ttyACM1", "0483", "5740", "0200");
    sys.AddPort("devices/pci0000:00/usb1", "1-4", "ttyACM2", "0483", "5740", "0200"); // on the root hub
    LogCapture log;
    TestSession session;
    session.SetSysfsRoot(sys.Root());
    std::wstring strPort = L"unchanged";
    EXPECT_FALSE(session.GetQvlComPort(strPort));
    EXPECT_EQ(L"unchanged", strPort);
    EXPECT_EQ((std::vector<std::string>{kEntry, "[debug] CGetComList::EnumQVLCommPort not HUB2",
                                        "[debug] USB\\VID_1A40&PID_0101\\1-2"}),
              log.Lines());
}

TEST(PortDiscovery, OtherProductBehindTheUnitsHubIsRejectedWithItsHardwareId)
{
    FakeSysfs sys;
    const std::string strHub = sys.AddHub("1-1", "1a40", "0201");
    sys.AddPort(strHub, "1-1.1", "ttyUSB0", "0403", "6001", "0600", true);
    sys.AddPort(strHub, "1-1.2", "ttyACM0", "0483", "5741", "0200");
    LogCapture log;
    std::vector<std::wstring> arrPorts;
    EXPECT_EQ(0, CGetComList::EnumQVLCommPort(arrPorts, sys.Root()));
    EXPECT_EQ((std::vector<std::string>{
                  "[debug] CGetComList::EnumQVLCommPort not QVL2", "[debug] USB\\VID_0483&PID_5741&REV_0200",
                  "[debug] CGetComList::EnumQVLCommPort not QVL1", "[debug] USB\\VID_0403&PID_6001&REV_0600"}),
              log.Lines());
}

TEST(PortDiscovery, UnreadableTextsSkipOnlyTheirPortWithTheirLine)
{
    FakeSysfs sys;
    const std::string strHub = sys.AddHub("1-1", "1a40", "0201");
    sys.AddPort(strHub, "1-1.1", "ttyACM0", "0483", "5740", nullptr); // no revision
    sys.AddPort(sys.AddHub("1-2", "1a40", nullptr), "1-2.1", "ttyACM1", "0483", "5740", "0200");
    sys.AddPort(strHub, "1-1.3", "ttyACM3", "0483", "5740", "20000");            // not four hex digits
    sys.AddPort(strHub, "1-1.4", std::string(252, 'x'), "0483", "5740", "0200"); // name too long
    sys.AddTty("ttyGone", "devices/gone", "../../../missing");                   // dangling device link
    sys.AddPort(strHub, "1-1.5", "ttyACM5", "483", "5740", "200");               // short ids are padded
    LogCapture log;
    std::vector<std::wstring> arrPorts{L"kept"};
    EXPECT_EQ(1, CGetComList::EnumQVLCommPort(arrPorts, sys.Root()));
    EXPECT_EQ((std::vector<std::wstring>{L"kept", L"/dev/ttyACM5"}), arrPorts);
    EXPECT_EQ((std::vector<std::string>{"[debug] CGetComList::EnumQVLCommPort SetupDiGetDeviceRegistryProperty fail1",
                                        "[debug] CGetComList::EnumQVLCommPort SetupDiGetDeviceProperty fail",
                                        "[debug] CGetComList::EnumQVLCommPort SetupDiGetDeviceRegistryProperty fail1",
                                        "[debug] Add /dev/ttyACM5",
                                        "[debug] CGetComList::EnumQVLCommPort SetupDiOpenDevRegKey fail",
                                        "[debug] CGetComList::EnumQVLCommPort RegQueryValueEx fail"}),
              log.Lines());

    log.Clear();
    EXPECT_EQ(0, CGetComList::EnumQVLCommPort(arrPorts, sys.Root() + "/nothing"));
    EXPECT_EQ(std::vector<std::string>{"[debug] CGetComList::EnumQVLCommPort SetupDiGetClassDevs fail"}, log.Lines());
}

TEST(PortDiscovery, MarksAreCaseSensitiveSubstringsAnywhere)
{
    auto candidate = [](const wchar_t* pszParent, const wchar_t* pszHardwareId) {
        PortCandidate c;
        c.strPortName = L"/dev/ttyACM0";
        c.strParentInstanceId = pszParent;
        c.strFirstHardwareId = pszHardwareId;
        return c;
    };
    LogCapture log;
    std::vector<std::wstring> arrPorts;
    EXPECT_EQ(0,
              CGetComList::MatchQVLCommPorts({candidate(L"USB\\vid_1a40&pid_0201\\1-1", L"USB\\VID_0483&PID_5740")},
                                             arrPorts));
    EXPECT_EQ(0,
              CGetComList::MatchQVLCommPorts({candidate(L"USB\\VID_1A40&PID_0201\\1-1", L"USB\\vid_0483&pid_5740")},
                                             arrPorts));
    EXPECT_EQ(1, CGetComList::MatchQVLCommPorts({candidate(L"PID_0201 X VID_1A40", L"XPID_5740VID_0483")}, arrPorts));
    PortCandidate noBuffer = candidate(L"USB\\VID_1A40&PID_0201\\1-1", L"");
    noBuffer.failure = PortReadFailure::HardwareIdBuffer;
    noBuffer.nHardwareIdSize = 64;
    EXPECT_EQ(0, CGetComList::MatchQVLCommPorts({noBuffer}, arrPorts));
    EXPECT_EQ(
        (std::vector<std::string>{"[debug] CGetComList::EnumQVLCommPort not QVL1", "[debug] USB\\vid_0483&pid_5740",
                                  "[debug] Add /dev/ttyACM0", "[debug] CGetComList::EnumQVLCommPort pHardID fail 64"}),
        log.Lines());
}

TEST(PortDiscovery, PortOverrideIsReportedWhileItExistsWithoutListing)
{
    char szTemplate[] = "/tmp/qvl-port-XXXXXX";
    const int fd = mkstemp(szTemplate);
    ASSERT_GE(fd, 0);
    close(fd);
    LogCapture log;
    TestSession session;
    session.SetSysfsRoot("/nonexistent-sysfs");
    session.SetPortOverride(std::wstring(szTemplate, szTemplate + sizeof(szTemplate) - 1));
    std::wstring strPort;
    ASSERT_TRUE(session.GetQvlComPort(strPort));
    EXPECT_EQ(std::string(szTemplate), std::string(strPort.begin(), strPort.end()));
    EXPECT_EQ((std::vector<std::string>{kEntry, "[info] GetQvlComPort num:1, port:" + std::string(szTemplate)}),
              log.Lines());

    unlink(szTemplate);
    log.Clear();
    strPort = L"unchanged";
    EXPECT_FALSE(session.GetQvlComPort(strPort));
    EXPECT_EQ(L"unchanged", strPort);
    EXPECT_TRUE(session.m_arrComPorts.empty());
    EXPECT_EQ(std::vector<std::string>{kEntry}, log.Lines());
}
