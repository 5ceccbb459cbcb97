// The window finds, reads and loses a virtual unit by itself, on its real
// one-second timer and event loop.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/dcclient.h>
#include <wx/menu.h>
#include <wx/uiaction.h>

#include "core/TextUtil.h"
#include "sim/VirtualUnit.h"
#include "support/PortLock.h"
#include "support/UnitVariants.h"
#include "support/wx/UiTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ConnectDlg : public TestDlg {
public:
    using CQVLSession::m_hComm;
};

// Every field different, so a value shown in the wrong place is noticed.
UnitSettings DistinctSettings(const std::wstring& strTag)
{
    UnitSettings s;
    for (int n = 0; n < kWwanCount; ++n) {
        const std::wstring strNo = std::to_wstring(n + 1);
        s.wwan[static_cast<size_t>(n)] = {L"apn" + strNo + L"." + strTag, L"user" + strNo + strTag,
                                          L"pw" + strNo + strTag, std::to_wstring(n % 3), std::to_wstring((n + 1) % 3)};
    }
    s.wifi = {L"ssid-" + strTag, L"1", L"0", L"pass-" + strTag + L"-phrase"};
    return s;
}

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.Valid());
        m_strDir = m_dir.Str();
        m_pCwd = std::make_unique<CurrentDirectory>(m_strDir);
        ASSERT_TRUE(m_pCwd->Entered());

        m_strLink = m_strDir + "/qvl-port";
        VirtualUnitOptions options;
        options.strLinkPath = m_strLink;
        options.settings = DistinctSettings(L"a");
        m_pUnit = std::make_unique<VirtualUnit>(options);
        std::string strError;
        ASSERT_TRUE(m_pUnit->Start(&strError)) << strError;
    }

    void TearDown() override
    {
        if (m_pDlg && !wxTheApp->IsScheduledForDestruction(m_pDlg))
            m_pDlg->Destroy();
        ProcessPendingWork();
        m_pDlg = nullptr;
        m_pLog.reset();
        m_pUnit.reset();
        m_pCwd.reset();
    }

    // Opens the window as the program does: the timer starts in its
    // initialisation, and discovery sees only the unit's link.
    void OpenWindow(spdlog::level::level_enum level = spdlog::level::debug,
                    milliseconds replyTimeout = milliseconds(5000))
    {
        m_pDlg = new ConnectDlg;
        m_pDlg->SetSysfsRoot(m_strDir + "/no-sysfs");
        m_pDlg->SetPortOverride(FromUtf8(m_strLink));
        m_pDlg->SetReplyTimeout(replyTimeout);
        m_started = Clock::now();
        m_pDlg->OnInitDialog("qvl-utility");
        // In place of the file log the initialisation installed; the first
        // tick is a second away.
        m_pLog = std::make_unique<LogCapture>(level);
        m_pDlg->Show();
    }

    // Runs the window's event loop (timer, queued thread events, deferred
    // deletions) until the condition holds or the bound passes.
    bool RunUntil(const std::function<bool()>& pred, milliseconds bound) { return RunEventsUntil(pred, bound); }
    void RunFor(milliseconds span)
    {
        RunUntil([] { return false; }, span);
    }

    bool Connected() const { return m_pDlg->m_bConnected && m_pDlg->Text(IDC_EDIT_STATUS) == "Connected"; }
    bool Disconnected() const { return !m_pDlg->m_bConnected && m_pDlg->Text(IDC_EDIT_STATUS) == "Disconnected"; }
    long long MsSinceStart() const
    {
        return std::chrono::duration_cast<milliseconds>(Clock::now() - m_started).count();
    }

    std::vector<int> GroupIds(int nNo) const
    {
        if (nNo == kWifiGroup)
            return {IDC_EDIT_SSID,       IDC_COMBO_SECURITY, IDC_COMBO_KEYFORMAT,
                    IDC_EDIT_PASSPHRASE, IDC_LOADPRESET5,    IDC_SAVEPRESET5};
        const int nApn[] = {IDC_EDIT_APN1, IDC_EDIT_APN2, IDC_EDIT_APN3, IDC_EDIT_APN4};
        const int nUser[] = {IDC_EDIT_USER1, IDC_EDIT_USER2, IDC_EDIT_USER3, IDC_EDIT_USER4};
        const int nPw[] = {IDC_EDIT_PW1, IDC_EDIT_PW2, IDC_EDIT_PW3, IDC_EDIT_PW4};
        const int nAuth[] = {IDC_COMBO_AUTH1, IDC_COMBO_AUTH2, IDC_COMBO_AUTH3, IDC_COMBO_AUTH4};
        const int nPdp[] = {IDC_COMBO_PDP1, IDC_COMBO_PDP2, IDC_COMBO_PDP3, IDC_COMBO_PDP4};
        const int nLoad[] = {IDC_LOADPRESET1, IDC_LOADPRESET2, IDC_LOADPRESET3, IDC_LOADPRESET4};
        const int nSave[] = {IDC_SAVEPRESET1, IDC_SAVEPRESET2, IDC_SAVEPRESET3, IDC_SAVEPRESET4};
        return {nApn[nNo], nUser[nNo], nPw[nNo], nAuth[nNo], nPdp[nNo], nLoad[nNo], nSave[nNo]};
    }

    void ExpectGroupsEnabled(bool bEnabled) const
    {
        for (int nNo = 0; nNo < kGroupCount; ++nNo)
            for (int nId : GroupIds(nNo))
                EXPECT_EQ(m_pDlg->GetDlgItem(nId)->IsEnabled(), bEnabled) << "group " << nNo << " control " << nId;
        for (int nId : {IDC_ERASE, IDC_RELOAD, IDC_WRITE})
            EXPECT_EQ(m_pDlg->GetDlgItem(nId)->IsEnabled(), bEnabled) << "button " << nId;
        EXPECT_EQ(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_LOAD), bEnabled);
        EXPECT_EQ(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_SAVE), bEnabled);
    }

    // The form shows exactly these settings, and no group is marked changed.
    void ExpectFormShows(const UnitSettings& s) const
    {
        for (int nNo = 0; nNo < kWwanCount; ++nNo) {
            const WwanProfile& p = s.wwan[static_cast<size_t>(nNo)];
            const std::vector<int> ids = GroupIds(nNo);
            EXPECT_EQ(m_pDlg->Text(ids[0]).ToStdWstring(), p.strApn) << "WWAN" << nNo + 1;
            EXPECT_EQ(m_pDlg->Text(ids[1]).ToStdWstring(), p.strUserName) << "WWAN" << nNo + 1;
            EXPECT_EQ(m_pDlg->Text(ids[2]).ToStdWstring(), p.strPassword) << "WWAN" << nNo + 1;
            EXPECT_EQ(std::to_wstring(m_pDlg->Combo(ids[3])->GetSelection()), p.strAuthType) << "WWAN" << nNo + 1;
            EXPECT_EQ(std::to_wstring(m_pDlg->Combo(ids[4])->GetSelection()), p.strPdpType) << "WWAN" << nNo + 1;
        }
        EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SSID).ToStdWstring(), s.wifi.strSsid);
        EXPECT_EQ(std::to_wstring(m_pDlg->Combo(IDC_COMBO_SECURITY)->GetSelection()), s.wifi.strSecurity);
        EXPECT_EQ(std::to_wstring(m_pDlg->Combo(IDC_COMBO_KEYFORMAT)->GetSelection()), s.wifi.strKeyFormat);
        EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PASSPHRASE).ToStdWstring(), s.wifi.strPassphrase);
        for (int nNo = 0; nNo < kGroupCount; ++nNo) {
            EXPECT_FALSE(m_pDlg->m_bChanged[static_cast<size_t>(nNo)]) << "group " << nNo;
            EXPECT_EQ(m_pDlg->Caption(nNo).Find("(Changed)"), wxNOT_FOUND) << m_pDlg->Caption(nNo);
        }
    }

    void ExpectIdentityShown(bool bEnabled) const
    {
        EXPECT_EQ(m_pDlg->Text(IDC_EDIT_FWVER), "1.0.4");
        EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), "0123ABCD");
        EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SERIAL), "12345678");
        for (int nId : {IDC_EDIT_FWVER, IDC_EDIT_MCUID, IDC_EDIT_SERIAL})
            EXPECT_EQ(m_pDlg->GetDlgItem(nId)->IsEnabled(), bEnabled) << "identity box " << nId;
    }

    // True when the port can be taken by another program: the utility has
    // let go of it.
    bool PortIsFree() const { return ::PortIsFree(m_strLink); }

    TempDir m_dir{"qvl-connect"};
    std::unique_ptr<CurrentDirectory> m_pCwd;
    std::string m_strDir;
    std::string m_strLink;
    std::unique_ptr<VirtualUnit> m_pUnit;
    ConnectDlg* m_pDlg = nullptr;
    std::unique_ptr<LogCapture> m_pLog;
    Clock::time_point m_started;
};

TEST_F(ConnectTest, StartedWithTheUnitPresentConnectsAndShowsItsSettings)
{
    OpenWindow();
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Disconnected");

    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    const long long nMs = MsSinceStart();
    // One tick of the one-second timer plus the exchanges; a loaded machine
    // gets some slack.
    EXPECT_LE(nMs, 2000) << "connected only after " << nMs << " ms";
    RecordProperty("connect_ms", static_cast<int>(nMs));

    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT).ToStdString(), "(" + m_strLink + ")");
    ExpectIdentityShown(true);
    ExpectFormShows(DistinctSettings(L"a"));
    ExpectGroupsEnabled(true);

    EXPECT_TRUE(m_pLog->Has("[info] GetQvlComPort num:1, port:" + m_strLink));
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::ComPortOpenProcess [" + m_strLink + "]"));
    EXPECT_TRUE(m_pLog->Has("[info] QvlVersion:VER 1.0.4 QvlMcuID:MCUID 0123ABCD QvlSerial: 12345678"));
    EXPECT_EQ(m_pUnit->ReceivedLines(), (std::vector<std::string>{"ver\r", "serial\r", "get\r"}));

    // Connected, the ticks make no further attempt.
    m_pLog->Clear();
    RunFor(milliseconds(1300));
    EXPECT_EQ(m_pLog->Count("GetQvlComPort"), 0u);
    EXPECT_EQ(m_pUnit->ReceivedLines().size(), 3u);
}

TEST_F(ConnectTest, UnplugDisablesTheFormKeepingItAndPlugReadsTheUnitAgain)
{
    OpenWindow();
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));

    // An edit that is never written.
    m_pDlg->Type(IDC_EDIT_APN2, "edited.apn");
    ASSERT_TRUE(m_pDlg->m_bChanged[1]);
    const wxString strCaption = m_pDlg->Caption(1);
    ASSERT_NE(strCaption.Find("(Changed)"), wxNOT_FOUND);

    m_pUnit->Unplug();
    const auto unplugged = Clock::now();
    ASSERT_TRUE(RunUntil([&] { return Disconnected(); }, milliseconds(10000)));
    const auto nMs = std::chrono::duration_cast<milliseconds>(Clock::now() - unplugged).count();
    EXPECT_LE(nMs, 1500) << "disconnected only after " << nMs << " ms";
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::OnCloseQvlSerial"));
    EXPECT_FALSE(m_pDlg->IsRecvThreadRunning());
    EXPECT_EQ(m_pDlg->m_hComm.load(), kNoSerialPort);

    // Contents, marks and identity stay; nothing can be used.
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT), "");
    ExpectGroupsEnabled(false);
    ExpectIdentityShown(false);
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN2), "edited.apn");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "apn1.a");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SSID), "ssid-a");
    EXPECT_TRUE(m_pDlg->m_bChanged[1]);
    EXPECT_EQ(m_pDlg->Caption(1), strCaption);

    // While the unit is away the ticks search and find nothing.
    RunFor(milliseconds(1200));
    EXPECT_TRUE(Disconnected());

    // The unit comes back holding other settings: they replace the form,
    // the unwritten edit included, and the marks go.
    m_pUnit->SetSettings(DistinctSettings(L"b"));
    m_pUnit->ClearReceived();
    ASSERT_TRUE(m_pUnit->Plug());
    const auto plugged = Clock::now();
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    const auto nPlugMs = std::chrono::duration_cast<milliseconds>(Clock::now() - plugged).count();
    EXPECT_LE(nPlugMs, 2000) << "reconnected only after " << nPlugMs << " ms";
    EXPECT_EQ(m_pUnit->ReceivedLines(), (std::vector<std::string>{"ver\r", "serial\r", "get\r"}));
    ExpectFormShows(DistinctSettings(L"b"));
    ExpectIdentityShown(true);
    ExpectGroupsEnabled(true);
}

TEST_F(ConnectTest, StartedWithoutAUnitWaitsQuietlyAndConnectsWhenPlugged)
{
    m_pUnit->Unplug();
    OpenWindow();
    RunFor(milliseconds(1500));
    EXPECT_TRUE(Disconnected());
    EXPECT_EQ(m_pLog->Count("ComPortOpenProcess ["), 0u);
    EXPECT_EQ(m_pLog->Count("[error]"), 0u);

    ASSERT_TRUE(m_pUnit->Plug());
    const auto plugged = Clock::now();
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    EXPECT_LE(std::chrono::duration_cast<milliseconds>(Clock::now() - plugged).count(), 2000);
    ExpectFormShows(DistinctSettings(L"a"));
}

TEST_F(ConnectTest, PortHeldByAnotherProgramSaysSoOnceAndConnectsWhenReleased)
{
    const int fd = ::open(m_strLink.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);

    OpenWindow();
    // Retried every tick for ten seconds, reported once.
    RunFor(milliseconds(10000));
    EXPECT_GE(m_pLog->Count("[debug] CQVLUtilityDlg::InitSerial " + m_strLink + " CreateFile Failure."), 8u);
    EXPECT_EQ(m_pLog->Count("[error]"), 1u);
    EXPECT_TRUE(m_pLog->Has("[error] InitSerial Failure. " + m_strLink + ": Device or resource busy"));
    EXPECT_EQ(m_pLog->Count("[info] CQVLUtilityDlg::ComPortOpenProcess"), 1u);
    EXPECT_TRUE(Disconnected());
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT).ToStdString(), "(" + m_strLink + ": in use by another program)");
    EXPECT_FALSE(m_pDlg->IsRecvThreadRunning());

    // The reason goes with the port.
    m_pUnit->Unplug();
    EXPECT_TRUE(RunUntil([&] { return m_pDlg->Text(IDC_EDIT_PORT).empty(); }, milliseconds(3000)));
    ::close(fd);
    ASSERT_TRUE(m_pUnit->Plug());
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT).ToStdString(), "(" + m_strLink + ")");
    ExpectFormShows(DistinctSettings(L"a"));
}

TEST_F(ConnectTest, PortThatDoesNotIdentifyItselfIsTriedLessOftenUntilItGoes)
{
    VirtualUnitFaults faults;
    faults.strSilentOnCommand = "ver\r";
    m_pUnit->SetFaults(faults);
    OpenWindow(spdlog::level::debug, milliseconds(200));

    // Tries on ticks 1, 2 and 3, then 2 s and 4 s later; without the back-off
    // every tick would try.
    RunFor(milliseconds(11500));
    const size_t nAttempts = m_pLog->Count("CQVLUtilityDlg::ComPortOpenProcess [");
    RecordProperty("attempts_in_11_5_s", static_cast<int>(nAttempts));
    EXPECT_GE(nAttempts, 4u);
    EXPECT_LE(nAttempts, 5u);
    EXPECT_TRUE(Disconnected());

    // Unplugged and plugged again, it is a new port: tried at once.
    m_pUnit->Unplug();
    RunFor(milliseconds(1200));
    m_pUnit->SetFaults({});
    ASSERT_TRUE(m_pUnit->Plug());
    EXPECT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(2500)));
}

TEST_F(ConnectTest, NoReconnectionWhileAModalDialogIsOpen)
{
    OpenWindow();
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    m_pDlg->Type(IDC_EDIT_APN1, "edited.apn");

    // The unit is unplugged and plugged in again while a dialog of the
    // utility is up: the form keeps the edit until the dialog is closed.
    bool bHeld = false;
    wxDialog dlg(m_pDlg, wxID_ANY, "Save Preset");
    dlg.CallAfter([&] {
        m_pUnit->Unplug();
        const bool bGone = RunUntil([&] { return Disconnected(); }, milliseconds(5000));
        m_pUnit->SetSettings(DistinctSettings(L"b"));
        const bool bPlugged = m_pUnit->Plug();
        RunFor(milliseconds(2500));
        bHeld =
            bGone && bPlugged && Disconnected() && m_pDlg->Text(IDC_EDIT_APN1) == "edited.apn" && m_pDlg->m_bChanged[0];
        dlg.EndModal(wxID_CANCEL);
    });
    dlg.ShowModal();
    EXPECT_TRUE(bHeld);

    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(3000)));
    ExpectFormShows(DistinctSettings(L"b"));
}

// A unit that fails during the connection attempt never leaves the window
// half-connected: the port is closed, the window searches again, and the
// unit connects once it behaves.
struct AttemptFault {
    const char* pszName;
    VirtualUnitFaults faults;
    const char* pszErrorLine; // after "[error] ", with <port> for the link path
};

void PrintTo(const AttemptFault& fault, std::ostream* pOut)
{
    *pOut << fault.pszName;
}

class FailedAttemptTest : public ConnectTest, public ::testing::WithParamInterface<AttemptFault> { };

TEST_P(FailedAttemptTest, EndsSearchingWithThePortClosedAndConnectsOnceLifted)
{
    m_pUnit->SetFaults(GetParam().faults);
    OpenWindow(spdlog::level::debug, milliseconds(400));

    std::string strError = GetParam().pszErrorLine;
    strError.replace(strError.find("<port>"), 6, m_strLink);
    ASSERT_TRUE(RunUntil([&] { return m_pLog->Has("[error] " + strError); }, milliseconds(10000)))
        << "expected the error line: " << strError;

    // Back to searching, with nothing left open and the panel never
    // claiming a connection.
    ASSERT_TRUE(RunUntil([&] { return !m_pDlg->m_bConnected && !m_pDlg->IsConnecting(); }, milliseconds(5000)));
    EXPECT_TRUE(Disconnected());
    EXPECT_FALSE(m_pDlg->IsRecvThreadRunning());
    EXPECT_EQ(m_pDlg->m_hComm.load(), kNoSerialPort);
    EXPECT_TRUE(PortIsFree());
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::OnCloseQvlSerial"));
    EXPECT_EQ(m_pLog->Count("DisplayQvlInfo: connect"), 0u);

    // The next ticks try again.
    EXPECT_TRUE(RunUntil([&] { return m_pLog->Count("ComPortOpenProcess [") >= 2; }, milliseconds(10000)));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Disconnected");

    m_pUnit->SetFaults({});
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    ExpectIdentityShown(true);
    ExpectFormShows(DistinctSettings(L"a"));
}

VirtualUnitFaults SilentOn(const char* psz)
{
    VirtualUnitFaults f;
    f.strSilentOnCommand = psz;
    return f;
}

VirtualUnitFaults ErrorOn(const char* psz)
{
    VirtualUnitFaults f;
    f.strErrorOnCommand = psz;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedAttemptTest,
    ::testing::Values(
        AttemptFault{"SilentOnVer", SilentOn("ver\r"), "CQVLUtilityDlg::QueryQvlVer <port> Timeout Error."},
        AttemptFault{"SilentOnSerial", SilentOn("serial\r"), "CQVLUtilityDlg::QueryQvlVer <port> Timeout Error."},
        AttemptFault{"SilentOnGet", SilentOn("get\r"), "CQVLUtilityDlg::get_APN_WIFI_info <port> Timeout Error."},
        AttemptFault{"ErrorOnGet", ErrorOn("get\r"), "CQVLUtilityDlg::get_APN_WIFI_info <port> Reload Error."}),
    [](const ::testing::TestParamInfo<AttemptFault>& info) { return std::string(info.param.pszName); });

TEST_F(ConnectTest, ClosingWhileConnectedStopsTheReceiveThreadAndReleasesThePort)
{
    OpenWindow();
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    ASSERT_TRUE(m_pDlg->IsRecvThreadRunning());

    ASSERT_TRUE(m_pDlg->Close(true));
    // Stopped and joined before the window goes: nothing may still use it.
    EXPECT_FALSE(m_pDlg->IsRecvThreadRunning());
    EXPECT_EQ(m_pDlg->m_hComm.load(), kNoSerialPort);
    EXPECT_TRUE(wxTheApp->IsScheduledForDestruction(m_pDlg));
    EXPECT_EQ(m_pLog->Count("CQVLUtilityDlg::RecvThreadTerminate"), 1u);

    // The deferred deletion and the thread's last notification both run.
    ProcessPendingWork();
    m_pDlg = nullptr;
    RunFor(milliseconds(300));
    EXPECT_TRUE(PortIsFree());
}

TEST_F(ConnectTest, IdleConnectedWindowWritesNoLogLineAtInfo)
{
    OpenWindow(spdlog::level::info);
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    m_pLog->Clear();
    RunFor(milliseconds(3500)); // three ticks and many receive passes
    EXPECT_TRUE(Connected());
    EXPECT_EQ(m_pLog->Lines(), std::vector<std::string>{});
}

// Units whose firmware answers a little differently, their replies split as
// USB packets split them: the window connects and shows exactly what the
// unit holds, the true serial number included.
class VariantConnectTest : public ConnectTest, public ::testing::WithParamInterface<VariantParam> { };

TEST_P(VariantConnectTest, ConnectsAndShowsExactlyTheUnitsValues)
{
    const UnitVariant& variant = std::get<0>(GetParam());
    const ReplySplit& split = std::get<1>(GetParam());
    UnitSettings settings = DistinctSettings(L"v");
    settings.wwan[1].strUserName.clear(); // empty values, sent trimmed by one variant
    settings.wwan[3].strPassword.clear();
    settings.wifi.strPassphrase.clear();
    VirtualUnitOptions options;
    options.strLinkPath = m_strLink;
    options.settings = settings;
    ApplyVariant(variant, options);
    m_pUnit.reset();
    m_pUnit = std::make_unique<VirtualUnit>(options);
    ASSERT_TRUE(m_pUnit->Start());
    m_pUnit->SetFaults(SplitFaults(split));

    OpenWindow(spdlog::level::info);
    ASSERT_TRUE(RunUntil([&] { return Connected(); }, milliseconds(10000)));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_FWVER), variant.pszVersion);
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), variant.pszMcuId);
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SERIAL), "12345678");
    ExpectFormShows(settings);
    EXPECT_EQ(m_pLog->Count("[error]"), 0u);
}

QVL_INSTANTIATE_VARIANTS(VariantConnectTest);

TEST_F(ConnectTest, WindowHandlesKeysAndRepaintsWhileASilentPortIsTried)
{
    VirtualUnitFaults faults;
    faults.strSilentOnCommand = "ver\r";
    m_pUnit->SetFaults(faults);
    OpenWindow();
    int nKeys = 0, nPaints = 0;
    m_pDlg->Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& event) {
        if (event.GetKeyCode() == 'A' || event.GetKeyCode() == 'a')
            ++nKeys;
        event.Skip();
    });
    wxWindow* pPanel = m_pDlg->GetDlgItem(IDC_EDIT_STATUS)->GetParent();
    pPanel->Bind(wxEVT_PAINT, [&](wxPaintEvent&) {
        wxPaintDC dc(pPanel);
        ++nPaints;
    });

    // The attempt waits up to its 5 s reply time-out for the silent unit.
    ASSERT_TRUE(RunUntil([&] { return m_pDlg->IsConnecting(); }, milliseconds(5000)));
    // With no window manager the keyboard follows the pointer.
    m_pDlg->Raise();
    wxUIActionSimulator sim;
    const wxRect rect = m_pDlg->GetScreenRect();
    sim.MouseMove(rect.GetLeft() + rect.GetWidth() * 3 / 4, rect.GetBottom() - 8);
    RunFor(milliseconds(300));
    const auto tAsked = Clock::now();
    nPaints = 0;
    sim.Char('a');
    pPanel->Refresh();
    EXPECT_TRUE(RunUntil([&] { return nKeys > 0 && nPaints > 0; }, milliseconds(2000)))
        << nKeys << " keys, " << nPaints << " repaints";
    const auto msHandled = std::chrono::duration_cast<milliseconds>(Clock::now() - tAsked).count();
    RecordProperty("event_handled_ms", static_cast<int>(msHandled));
    EXPECT_LT(msHandled, 1000);
    EXPECT_TRUE(m_pDlg->IsConnecting()) << "the attempt ended before the events were handled";
    EXPECT_EQ(m_pLog->Count("Timeout Error."), 0u);

    // Closing the window during the attempt ends it at once.
    const auto tClose = Clock::now();
    ASSERT_TRUE(m_pDlg->Close(true));
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - tClose).count(), 1000);
    EXPECT_FALSE(m_pDlg->IsConnecting());
    EXPECT_FALSE(m_pDlg->IsRecvThreadRunning());
    ProcessPendingWork();
    m_pDlg = nullptr;
    EXPECT_TRUE(PortIsFree());
}

} // namespace
