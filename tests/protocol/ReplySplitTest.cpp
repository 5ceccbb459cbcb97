// The whole exchange with the virtual unit while its replies arrive in the
// pieces a USB unit's packets make: the identity and all 24 fields come in
// exactly, a write sends exactly its lines, and a reply that does not match
// its command stores nothing.
#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "protocol/WireFields.h"
#include "sim/VirtualUnit.h"
#include "support/LogCapture.h"

using namespace std::chrono_literals;

namespace {

class TestSession : public CQVLSession {
public:
    ~TestSession() override { StopRecvThread(); }
    bool Connect(const std::string& strPath)
    {
        SetComPort(std::wstring(strPath.begin(), strPath.end()));
        return InitSerial() && StartRecvThread();
    }
};

// Every field distinct, the passphrase ending in "ERROR".
UnitSettings Distinct(const std::wstring& strTag)
{
    UnitSettings s = FactoryUnitSettings();
    for (const WireField& f : WireFields()) {
        std::wstring& strValue = f.In(s.wwan, s.wifi);
        if (strValue.empty()) // the text fields; indexes stay "0"
            strValue = strTag + std::wstring(f.pszKey, f.pszKey + std::char_traits<char>::length(f.pszKey))
                + std::to_wstring(f.nGroup);
    }
    s.wwan[2].strAuthType = L"2";
    s.wifi.strSecurity = L"1";
    s.wifi.strPassphrase = strTag + L"FATALERROR";
    return s;
}

struct Split {
    const char* pszName;
    VirtualUnitFaults faults;
};

VirtualUnitFaults Faults(size_t nChunk, int nPauseMs, bool bPerLine, int nLateLfMs)
{
    VirtualUnitFaults f;
    f.nChunkSize = nChunk;
    f.nChunkPauseMs = nPauseMs;
    f.bPacketPerLine = bPerLine;
    f.nLateLfMs = nLateLfMs;
    return f;
}

class ReplySplit : public ::testing::TestWithParam<Split> { };

} // namespace

TEST_P(ReplySplit, IdentityAndAllFieldsArriveExactlyAndAWriteSendsExactlyItsLines)
{
    LogCapture log;
    VirtualUnitOptions options;
    options.settings = Distinct(L"a");
    VirtualUnit unit(options);
    ASSERT_TRUE(unit.Start());
    unit.SetFaults(GetParam().faults);
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.PortPath()));

    ASSERT_TRUE(session.QueryQvlVer());
    EXPECT_TRUE(log.Has("[info] QvlVersion:VER 1.0.4 QvlMcuID:MCUID 0123ABCD QvlSerial: 12345678"));

    const Status read = session.get_APN_WIFI_info();
    ASSERT_TRUE(read) << ToUtf8(read.Text());
    for (int n = 0; n < kWwanCount; ++n)
        EXPECT_EQ(session.GetWwanProfile(n), options.settings.wwan[static_cast<size_t>(n)]) << n;
    EXPECT_EQ(session.GetWifiSettings(), options.settings.wifi);

    const UnitSettings written = Distinct(L"b");
    for (int n = 0; n < kWwanCount; ++n)
        session.SetWwanProfile(n, written.wwan[static_cast<size_t>(n)]);
    session.SetWifiSettings(written.wifi);
    unit.ClearReceived();
    const Status set = session.set_APN_WIFI_info();
    ASSERT_TRUE(set) << ToUtf8(set.Text());
    const Status committed = session.fw_APN_WIFI_info();
    ASSERT_TRUE(committed) << ToUtf8(committed.Text());
    const std::vector<std::string> expected = {
        "set 1 apn bapn0\r",   "set 1 user buser0\r", "set 1 pw bpw0\r",   "set 1 auth 0\r",         "set 1 pdp 0\r",
        "set 2 apn bapn1\r",   "set 2 user buser1\r", "set 2 pw bpw1\r",   "set 2 auth 0\r",         "set 2 pdp 0\r",
        "set 3 apn bapn2\r",   "set 3 user buser2\r", "set 3 pw bpw2\r",   "set 3 auth 2\r",         "set 3 pdp 0\r",
        "set 4 apn bapn3\r",   "set 4 user buser3\r", "set 4 pw bpw3\r",   "set 4 auth 0\r",         "set 4 pdp 0\r",
        "set w ssid bssid4\r", "set w sec 1\r",       "set w pw_type 0\r", "set w pw bFATALERROR\r", "fw\r"};
    EXPECT_EQ(unit.ReceivedLines(), expected);
    EXPECT_EQ(unit.CommittedSettings().wifi, written.wifi);

    // Read back what the unit now holds.
    session.SetWifiSettings(WifiSettings{});
    const Status reread = session.get_APN_WIFI_info();
    ASSERT_TRUE(reread) << ToUtf8(reread.Text());
    EXPECT_EQ(session.GetWifiSettings(), written.wifi);
    EXPECT_EQ(session.GetWwanProfile(3), written.wwan[3]);
}

INSTANTIATE_TEST_SUITE_P(Splits, ReplySplit,
                         ::testing::Values(Split{"Whole", Faults(0, 0, false, 0)},
                                           Split{"LinePerPacket", Faults(0, 20, true, 0)},
                                           Split{"Bytes11Every40ms", Faults(11, 40, false, 0)},
                                           Split{"LateLf", Faults(0, 0, false, 40)}),
                         [](const ::testing::TestParamInfo<Split>& info) { return info.param.pszName; });

TEST(ReplyMismatch, NothingIsStoredAndTheCommandFailsUnlessTheRestOfAnEarlierReplyLeadsIt)
{
    LogCapture log;
    VirtualUnitOptions options;
    options.settings = Distinct(L"a");
    VirtualUnit unit(options);
    ASSERT_TRUE(unit.Start());
    TestSession session;
    session.SetReplyTimeout(1000ms);
    ASSERT_TRUE(session.Connect(unit.PortPath()));
    const std::wstring strPort = session.ComPort();
    const WifiSettings kept{L"kept", L"0", L"0", L""};
    session.SetWifiSettings(kept);

    // An "ERROR" line ahead of the settings makes an error reply.
    VirtualUnitFaults noise;
    noise.strNoise = "ERROR\r\n";
    unit.SetFaults(noise);
    const Status read = session.get_APN_WIFI_info();
    EXPECT_EQ(read.Text(), strPort + L" Reload Error.");
    EXPECT_TRUE(read.Is(FailureKind::InvalidData));
    EXPECT_EQ(session.GetWifiSettings(), kept);
    EXPECT_EQ(session.GetWwanProfile(0), WwanProfile{});

    // A set line answered with noise and then "ERROR" fails the write, with
    // the noise on its own line or in front of the word.
    // On its own line the "ERROR" is an error reply; behind the noise it is
    // no reply at all, and the wait runs out.
    const std::tuple<const char*, const wchar_t*, FailureKind> cases[] = {
        {"noise\r\n", L" Write Error.", FailureKind::InvalidData},
        {"noise ", L" Timeout Error.", FailureKind::IoError}};
    for (const auto& [pszNoise, pszError, kind] : cases) {
        VirtualUnitFaults refused;
        refused.strNoise = pszNoise;
        refused.nErrorOnSetLine = 1;
        unit.SetFaults(refused);
        const Status set = session.set_APN_WIFI_info();
        EXPECT_EQ(set.Text(), strPort + pszError) << pszNoise;
        EXPECT_TRUE(set.Is(kind)) << pszNoise;
        EXPECT_EQ(session.GetSendData(), L"set 1 apn \r");
    }
    // A line left from an earlier reply is passed over.
    noise.strNoise = "SERIAL 12345678\r\n";
    unit.SetFaults(noise);
    EXPECT_TRUE(session.get_APN_WIFI_info());
    EXPECT_EQ(session.GetWifiSettings(), options.settings.wifi);
}
