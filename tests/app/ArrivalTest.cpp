// The window at the real /sys and /dev paths, emulated with umockdev: a unit
// that udev announces is tried at once, not at the timer's next tick. Runs
// under umockdev-wrapper.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <umockdev.h>

#include "core/TextUtil.h"
#include "sim/VirtualUnit.h"
#include "support/wx/UiTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The unit behind its hub, as the kernel lays it out: hub 1a40:0201, the
// function 0483:5740, its cdc_acm interface, ttyACM0 with its device link.
constexpr char kBus[] = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr char kTty[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.1/1-1.1:1.0/tty/ttyACM0";

std::string UnitDevices()
{
    const std::string strBus = kBus;
    return "P: " + strBus
        + "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: bcdDevice=0111\nA: idProduct=0201\nA: idVendor=1a40\n\n"
          "P: "
        + strBus
        + "/1-1.1\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: bcdDevice=0200\nA: idProduct=5740\nA: "
          "idVendor=0483\n\n"
          "P: "
        + strBus
        + "/1-1.1/1-1.1:1.0\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\nE: SUBSYSTEM=usb\nA: "
          "bInterfaceNumber=00\n\n"
          "P: "
        + strBus
        + "/1-1.1/1-1.1:1.0/tty/ttyACM0\nN: ttyACM0\nE: DEVNAME=/dev/ttyACM0\nE: MAJOR=166\nE: MINOR=0\n"
          "E: SUBSYSTEM=tty\nA: dev=166:0\nL: device=../../../1-1.1:1.0\n";
}

struct ArrivalCase {
    bool bMonitor;
    long long nBoundMs; // from the announcement to "Connected"
};

class ArrivalTest : public ::testing::TestWithParam<ArrivalCase> {
protected:
    void SetUp() override
    {
        const char* pPreload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(pPreload && std::strstr(pPreload, "umockdev")) << "run under umockdev-wrapper";
        ASSERT_TRUE(m_dir.Valid());
        m_pCwd = std::make_unique<CurrentDirectory>(m_dir.Str());
        ASSERT_TRUE(m_pCwd->Entered());
        m_pBed = umockdev_testbed_new();
    }

    void TearDown() override
    {
        if (m_pDlg && !wxTheApp->IsScheduledForDestruction(m_pDlg))
            m_pDlg->Destroy();
        ProcessPendingWork();
        m_pLog.reset();
        m_pUnit.reset();
        unsetenv("QVL_NO_PORT_MONITOR");
        if (m_pBed != nullptr)
            g_object_unref(m_pBed);
        m_pCwd.reset();
    }

    // The unit arrives: its devices, udev's announcement, the virtual unit on
    // its pty.
    void Plug()
    {
        GError* pError = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(m_pBed, UnitDevices().c_str(), &pError));
        umockdev_testbed_uevent(m_pBed, kTty, "add");
        m_announced = Clock::now();
        VirtualUnitOptions options;
        options.nServeFd = umockdev_testbed_get_dev_fd(m_pBed, "/dev/ttyACM0");
        ASSERT_GE(options.nServeFd, 0);
        m_pUnit = std::make_unique<VirtualUnit>(options);
        std::string strError;
        ASSERT_TRUE(m_pUnit->Start(&strError)) << strError;
    }

    bool Connected() const { return m_pDlg->m_bConnected && m_pDlg->Text(IDC_EDIT_STATUS) == "Connected"; }

    TempDir m_dir{"qvl-arrival"};
    std::unique_ptr<CurrentDirectory> m_pCwd;
    UMockdevTestbed* m_pBed = nullptr;
    std::unique_ptr<VirtualUnit> m_pUnit;
    TestDlg* m_pDlg = nullptr;
    std::unique_ptr<LogCapture> m_pLog;
    Clock::time_point m_announced;
};

// The unit arrives just after a tick found nothing: with udev heard, it is
// connected well before the next tick; without, the next tick connects it.
TEST_P(ArrivalTest, AnnouncedUnitConnectsBeforeTheNextTick)
{
    if (!GetParam().bMonitor)
        setenv("QVL_NO_PORT_MONITOR", "1", 1);
    m_pDlg = new TestDlg;
    m_pDlg->SetSysfsRoot("/sys");
    m_pDlg->OnInitDialog("qvl-utility");
    m_pLog = std::make_unique<LogCapture>(spdlog::level::debug);
    m_pDlg->Show();
    ASSERT_TRUE(RunEventsUntil([&] { return m_pLog->Count("GetQvlComPort") > 0; }, milliseconds(5000)));

    Plug();
    ASSERT_TRUE(RunEventsUntil([&] { return Connected(); }, milliseconds(10000)));
    const auto nMs = std::chrono::duration_cast<milliseconds>(Clock::now() - m_announced).count();
    EXPECT_LE(nMs, GetParam().nBoundMs) << "connected only after " << nMs << " ms";
    RecordProperty("announced_to_connected_ms", static_cast<int>(nMs));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT).ToStdString(), "(/dev/ttyACM0)");
}

INSTANTIATE_TEST_SUITE_P(Arrivals, ArrivalTest, ::testing::Values(ArrivalCase{true, 700}, ArrivalCase{false, 2500}),
                         [](const auto& info) { return std::string(info.param.bMonitor ? "Monitor" : "TimerAlone"); });

} // namespace
