// qvlctl end to end: the real program against virtual units on
// pseudo-terminals.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "presets/IniFile.h"
#include "sim/VirtualUnit.h"
#include "support/TempDir.h"
#include "support/UnitVariants.h"
#include "support/ProcessRun.h"
#include "support/BuildPaths.h"
#include "support/WaitFor.h"
#include "support/FileBytes.h"

namespace {

UnitSettings Sample()
{
    UnitSettings s;
    s.wwan[0] = {L"internet", L"", L"", L"0", L"1"};
    s.wwan[1] = {L"internet.telekom", L"telekom", L"tm", L"0", L"2"};
    s.wwan[2] = {L"web.vodafone.de", L"", L"", L"2", L"0"};
    s.wwan[3] = {L"m2m.fleet.example", L"fleet", L"Fl33t-2024", L"1", L"1"};
    s.wifi = {L"Office", L"1", L"0", L"correct-horse-battery"};
    return s;
}

bool Same(const UnitSettings& a, const UnitSettings& b)
{
    return a.wwan == b.wwan && a.wifi == b.wifi;
}

// The lines a unit received that change it: set lines, "fw", "fe".
std::vector<std::string> ChangingLines(const VirtualUnit& unit)
{
    std::vector<std::string> lines;
    for (const std::string& strLine : unit.ReceivedLines()) {
        if (strLine.rfind("set ", 0) == 0 || strLine == "fw\r" || strLine == "fe\r")
            lines.push_back(strLine);
    }
    return lines;
}

class QvlCtlTest : public ::testing::Test {
protected:
    // The test's own preset writes log at info level; keep the output to failures.
    void SetUp() override { spdlog::set_level(spdlog::level::warn); }

    VirtualUnit& AddUnit(const std::string& strSerial = "12345678", const std::string& strLink = std::string())
    {
        VirtualUnitOptions options;
        options.settings = Sample();
        options.strSerialReply = "SERIAL " + strSerial + "\r\n";
        options.strLinkPath = strLink;
        m_units.push_back(std::make_unique<VirtualUnit>(options));
        EXPECT_TRUE(m_units.back()->Start());
        return *m_units.back();
    }

    CtlRun Ctl(std::vector<std::string> args, const VirtualUnit* pUnit = nullptr)
    {
        if (pUnit)
            args.insert(args.begin(), "--port=" + pUnit->PortPath());
        return RunProgram(QVLCTL_BINARY, args, m_dir.Str());
    }

    // What "get" prints for the sample settings, with one text replaced.
    std::string SampleFile(const std::string& strOld = std::string(), const std::string& strNew = std::string())
    {
        std::string strText = m_strSampleFile;
        if (strText.empty()) {
            VirtualUnit unit;
            unit.SetSettings(Sample());
            EXPECT_TRUE(unit.Start());
            strText = m_strSampleFile = Ctl({"get"}, &unit).strOut;
        }
        if (!strOld.empty())
            strText.replace(strText.find(strOld), strOld.size(), strNew);
        return strText;
    }

    TempDir m_dir{"qvlctl-test"};
    std::string m_strSampleFile;
    std::vector<std::unique_ptr<VirtualUnit>> m_units;
};

TEST_F(QvlCtlTest, GetWriteRoundTripAndOneChangedField)
{
    VirtualUnit& unit = AddUnit();
    const CtlRun get = Ctl({"get"}, &unit);
    ASSERT_EQ(get.nExit, 0) << get.strErr;
    WriteBytes(m_dir.Path("unit.all"), get.strOut);

    unit.ClearReceived();
    const CtlRun same = Ctl({"write", m_dir.Path("unit.all")}, &unit);
    EXPECT_EQ(same.nExit, 0) << same.strErr;
    EXPECT_EQ(ChangingLines(unit).size(), 25u); // 24 set lines and "fw"
    EXPECT_TRUE(Same(unit.CommittedSettings(), Sample()));

    // One value changed in the file changes that field and nothing else.
    std::string strText = get.strOut;
    const std::string strOld = "APN=web.vodafone.de";
    strText.replace(strText.find(strOld), strOld.size(), "APN=web.example");
    WriteBytes(m_dir.Path("changed.all"), strText);
    EXPECT_EQ(Ctl({"write", m_dir.Path("changed.all")}, &unit).nExit, 0);
    UnitSettings expected = Sample();
    expected.wwan[2].strApn = L"web.example";
    EXPECT_TRUE(Same(unit.CommittedSettings(), expected));
}

TEST_F(QvlCtlTest, PresetFilesInterchangeWithTheWindow)
{
    VirtualUnit& unit = AddUnit();

    // What the window's File > Save writes: all five sections through the
    // session's preset sections.
    UnitSettings saved = Sample();
    saved.wwan[0].strApn = L"saved.by.window";
    saved.wifi.strPassphrase = L"0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef";
    saved.wifi.strKeyFormat = L"1";
    saved.wwan[2].strAuthType = L"-1"; // a list with nothing chosen
    {
        CQVLSession window;
        for (int n = 0; n < kWwanCount; ++n) {
            window.SetWwanProfile(n, saved.wwan[static_cast<size_t>(n)]);
            ASSERT_TRUE(window.WriteWwanSection(n, m_dir.WPath("window.all"), true));
        }
        window.SetWifiSettings(saved.wifi);
        ASSERT_TRUE(window.WriteWifiSection(m_dir.WPath("window.all")));
    }
    const CtlRun write = Ctl({"write", m_dir.Path("window.all")}, &unit);
    ASSERT_EQ(write.nExit, 0) << write.strErr;
    EXPECT_EQ(write.strErr,
              "qvlctl: " + m_dir.Path("window.all")
                  + ": [WWAN3] AUTHTYPE=-1 (nothing chosen) reads as 1 (CHAP), as in the window\n");
    saved.wwan[2].strAuthType = L"1";
    EXPECT_TRUE(Same(unit.CommittedSettings(), saved));

    // What qvlctl get prints, the window's File > Load reads back whole.
    const CtlRun get = Ctl({"get"}, &unit);
    WriteBytes(m_dir.Path("get.all"), get.strOut);
    CQVLSession window;
    for (int n = 0; n < kWwanCount; ++n) {
        EXPECT_TRUE(window.ReadWwanSection(n, m_dir.WPath("get.all"), true));
        EXPECT_EQ(window.GetWwanProfile(n), saved.wwan[static_cast<size_t>(n)]);
    }
    EXPECT_TRUE(window.ReadWifiSection(m_dir.WPath("get.all")));
    EXPECT_EQ(window.GetWifiSettings(), saved.wifi);

    // A *.wwan preset goes to the profile --group names.
    {
        CQVLSession window2;
        window2.SetWwanProfile(0, {L"one.profile", L"u", L"p", L"1", L"2"});
        ASSERT_TRUE(window2.WriteWwanSection(0, m_dir.WPath("one.wwan"), false));
    }
    EXPECT_EQ(Ctl({"write", m_dir.Path("one.wwan")}, &unit).nExit, 2); // which profile?
    EXPECT_EQ(Ctl({"write", "--group=4", m_dir.Path("one.wwan")}, &unit).nExit, 0);
    EXPECT_EQ(unit.CommittedSettings().wwan[3], (WwanProfile{L"one.profile", L"u", L"p", L"1", L"2"}));
}

TEST_F(QvlCtlTest, SetChangesExactlyTheNamedFields)
{
    VirtualUnit& unit = AddUnit();
    const CtlRun set =
        Ctl({"set", "wwan1.apn=internet.new", "wifi.ssid=Lab", "wifi.security=none", "WWAN4.pdp=IPV4V6"}, &unit);
    ASSERT_EQ(set.nExit, 0) << set.strErr;
    UnitSettings expected = Sample();
    expected.wwan[0].strApn = L"internet.new";
    expected.wifi.strSsid = L"Lab";
    expected.wifi.strSecurity = L"0";
    expected.wwan[3].strPdpType = L"2";
    EXPECT_TRUE(Same(unit.CommittedSettings(), expected));

    EXPECT_EQ(Ctl({"set", "wwan5.apn=x"}, &unit).nExit, 2);
    EXPECT_EQ(Ctl({"set", "wwan1.color=x"}, &unit).nExit, 2);
    EXPECT_EQ(Ctl({"set", "wwan1.apn"}, &unit).nExit, 2);
}

// Refusals: nothing reaches the unit, and the status says why.
TEST_F(QvlCtlTest, InvalidValuesAndDryRunsSendNothing)
{
    VirtualUnit& unit = AddUnit();
    unit.ClearReceived();

    const CtlRun tooLong = Ctl({"--json", "set", "wwan2.apn=" + std::string(33, 'a')}, &unit);
    EXPECT_EQ(tooLong.nExit, 4);
    const nlohmann::json error = nlohmann::json::parse(tooLong.strOut);
    EXPECT_EQ(error["field"], "wwan2.apn");
    EXPECT_EQ(error["error"], "WWAN 2 - APN: Please enter 32 characters or less.");
    EXPECT_EQ(Ctl({"set", "wifi.pwtype=2"}, &unit).nExit, 4);
    // A passphrase the window would refuse, from a file.
    WriteBytes(m_dir.Path("short.wifi"), "[Wi-Fi]\r\nSSID=x\r\nPASSPHRASE=short\r\nSECURITY=1\r\nPWTYPE=0\r\n");
    const CtlRun shortPass = Ctl({"write", m_dir.Path("short.wifi")}, &unit);
    EXPECT_EQ(shortPass.nExit, 4);
    EXPECT_NE(shortPass.strErr.find("Wi-Fi - Passphrase (ASCII): Please enter characters length of 8 to 63."),
              std::string::npos);

    const CtlRun dry = Ctl({"set", "--dry-run", "wwan1.password=topsecret"}, &unit);
    EXPECT_EQ(dry.nExit, 0) << dry.strErr;
    EXPECT_NE(dry.strOut.find("set 1 pw ***\n"), std::string::npos);
    EXPECT_EQ(dry.strOut.find("topsecret"), std::string::npos);
    EXPECT_NE(dry.strOut.find("\nfw\n"), std::string::npos);
    const CtlRun shown = Ctl({"--show-secrets", "set", "--dry-run", "wwan1.password=topsecret"}, &unit);
    EXPECT_NE(shown.strOut.find("set 1 pw topsecret\n"), std::string::npos);
    EXPECT_EQ(Ctl({"erase", "--dry-run"}, &unit).strOut, "fe\n");
    EXPECT_EQ(Ctl({"erase"}, &unit).nExit, 2); // no --yes

    // A line end in a value would put a second command on the wire.
    EXPECT_EQ(Ctl({"set", "wwan1.apn=x\rfe"}, &unit).nExit, 4);
    WriteBytes(m_dir.Path("control.wifi"), "[Wi-Fi]\r\nSSID=x\x07y\r\n");
    EXPECT_EQ(Ctl({"write", m_dir.Path("control.wifi")}, &unit).nExit, 5);

    EXPECT_TRUE(ChangingLines(unit).empty());
    EXPECT_TRUE(Same(unit.Settings(), Sample()));

    // Preset files that cannot be used.
    EXPECT_EQ(Ctl({"write", m_dir.Path("missing.all")}, &unit).nExit, 5);
    WriteBytes(m_dir.Path("empty.all"), "[wifi]\r\nSSID=x\r\n");
    EXPECT_EQ(Ctl({"write", m_dir.Path("empty.all")}, &unit).nExit, 5);
    EXPECT_TRUE(ChangingLines(unit).empty());
}

// A preset that cannot be read says why, in the system's words, and
// nothing else.
TEST_F(QvlCtlTest, UnreadablePresetSaysWhy)
{
    VirtualUnit& unit = AddUnit();
    unit.ClearReceived();
    ASSERT_EQ(::mkdir(m_dir.Path("folder.all").c_str(), 0755), 0);
    const CtlRun folder = Ctl({"write", m_dir.Path("folder.all")}, &unit);
    EXPECT_EQ(folder.nExit, 5);
    EXPECT_EQ(folder.strErr, "qvlctl: " + m_dir.Path("folder.all") + ": Is a directory\n");

    // Root reads whatever the bits say; the suite also runs as an ordinary user.
    if (::geteuid() != 0) {
        WriteBytes(m_dir.Path("locked.all"), SampleFile());
        ASSERT_EQ(::chmod(m_dir.Path("locked.all").c_str(), 0), 0);
        const CtlRun locked = Ctl({"write", m_dir.Path("locked.all")}, &unit);
        EXPECT_EQ(locked.nExit, 5);
        EXPECT_EQ(locked.strErr, "qvlctl: " + m_dir.Path("locked.all") + ": Permission denied\n");
    }
    EXPECT_TRUE(ChangingLines(unit).empty());
}

TEST_F(QvlCtlTest, UnitFailuresNameWhatFailed)
{
    VirtualUnit& unit = AddUnit();
    VirtualUnitFaults faults;
    faults.nErrorOnSetLine = 7; // the user name of profile 2
    unit.SetFaults(faults);
    const CtlRun refused = Ctl({"--json", "set", "wwan1.apn=x"}, &unit);
    EXPECT_EQ(refused.nExit, 1);
    const nlohmann::json error = nlohmann::json::parse(refused.strOut);
    EXPECT_EQ(error["field"], "wwan2.username");
    EXPECT_NE(error["error"].get<std::string>().find("\"set 2 user telekom\""), std::string::npos);
    // After the refused line only the changed field goes back; no "fw".
    const std::vector<std::string> lines = ChangingLines(unit);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines.back(), "set 1 apn internet\r");

    // A refused commit fails the same way.
    faults = {};
    faults.strErrorOnCommand = "fw\r";
    unit.SetFaults(faults);
    EXPECT_EQ(Ctl({"set", "wwan1.apn=x"}, &unit).nExit, 1);

    EXPECT_EQ(Ctl({"--port=" + m_dir.Path("no-such-port"), "info"}).nExit, 3);
    EXPECT_EQ(Ctl({"--port=" + m_dir.Path("no-such-port"), "list"}).nExit, 3);
}

TEST_F(QvlCtlTest, AllUnitsAtOnceAndSelection)
{
    VirtualUnit& a = AddUnit("11111111");
    VirtualUnit& b = AddUnit("22222222");
    VirtualUnit& c = AddUnit("33333333");
    const std::vector<std::string> ports = {"--port=" + a.PortPath(), "--port=" + b.PortPath(),
                                            "--port=" + c.PortPath()};

    auto with = [&ports](std::vector<std::string> args) {
        args.insert(args.begin(), ports.begin(), ports.end());
        return args;
    };
    const CtlRun all = Ctl(with({"--all", "set", "wifi.ssid=Line7"}));
    EXPECT_EQ(all.nExit, 0) << all.strErr;
    EXPECT_EQ(all.strOut,
              a.PortPath() + " 11111111 written\n" + b.PortPath() + " 22222222 written\n" + c.PortPath()
                  + " 33333333 written\n");
    for (VirtualUnit* pUnit : {&a, &b, &c})
        EXPECT_EQ(pUnit->CommittedSettings().wifi.strSsid, L"Line7");

    // One unit failing makes the whole run fail, and its line says so.
    VirtualUnitFaults faults;
    faults.nErrorOnSetLine = 1;
    b.SetFaults(faults);
    const CtlRun oneFails = Ctl(with({"--all", "set", "wifi.ssid=Line8"}));
    EXPECT_EQ(oneFails.nExit, 1);
    EXPECT_NE(oneFails.strOut.find(b.PortPath() + " FAILED: "), std::string::npos);
    EXPECT_EQ(a.CommittedSettings().wifi.strSsid, L"Line8");
    EXPECT_EQ(c.CommittedSettings().wifi.strSsid, L"Line8");

    const CtlRun several = Ctl(with({"info"}));
    EXPECT_EQ(several.nExit, 2);
    EXPECT_NE(several.strErr.find(c.PortPath()), std::string::npos);
    const CtlRun bySerial = Ctl(with({"--serial=33333333", "info"}));
    EXPECT_EQ(bySerial.nExit, 0);
    EXPECT_NE(bySerial.strOut.find("port: " + c.PortPath() + "\n"), std::string::npos);
    EXPECT_EQ(Ctl(with({"--serial=4", "info"})).nExit, 3);
}

TEST_F(QvlCtlTest, JsonHoldsIdentityAndEveryField)
{
    VirtualUnit& unit = AddUnit();
    const CtlRun get = Ctl({"get", "--json"}, &unit);
    ASSERT_EQ(get.nExit, 0);
    const nlohmann::json doc = nlohmann::json::parse(get.strOut);
    EXPECT_EQ(doc["serial"], "12345678");
    EXPECT_EQ(doc["version"], "1.0.4");
    EXPECT_EQ(doc["mcuid"], "0123ABCD");
    EXPECT_EQ(doc["wwan2"]["apn"], "internet.telekom");
    EXPECT_EQ(doc["wwan2"]["password"], "tm");
    EXPECT_EQ(doc["wwan2"]["authtype"], 2);
    EXPECT_EQ(doc["wwan2"]["authtype_label"], "PAP");
    EXPECT_EQ(doc["wwan3"]["pdptype"], 2);
    EXPECT_EQ(doc["wwan3"]["pdptype_label"], "IPV4V6");
    EXPECT_EQ(doc["wifi"]["passphrase"], "correct-horse-battery");
    EXPECT_EQ(doc["wifi"]["security_label"], "WPA2-PSK (AES)");
    size_t nFields = 0;
    for (const char* pszGroup : {"wwan1", "wwan2", "wwan3", "wwan4", "wifi"}) {
        for (const auto& item : doc[pszGroup].items())
            nFields += item.key().find("_label") == std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(nFields, 24u);
}

// A line controller ships on exit 0: a result that did not reach its file
// is a failure of its own.
TEST_F(QvlCtlTest, ResultThatCannotBeWrittenFails)
{
    VirtualUnit& unit = AddUnit();
    const std::vector<std::string> port = {"--port=" + unit.PortPath()};
    auto run = [&](std::vector<std::string> args, const std::string& strStdout) {
        args.insert(args.begin(), port.begin(), port.end());
        return RunProgram(QVLCTL_BINARY, args, m_dir.Str(), strStdout);
    };
    const CtlRun full = run({"get"}, "/dev/full");
    EXPECT_EQ(full.nExit, 6);
    EXPECT_NE(full.strErr.find("could not be written"), std::string::npos) << full.strErr;
    EXPECT_EQ(run({"get", "--json"}, "/dev/full").nExit, 6);
    EXPECT_EQ(run({"--version"}, "/dev/full").nExit, 6);

    // Closed: known before the unit is touched.
    unit.ClearReceived();
    EXPECT_EQ(run({"get"}, "-").nExit, 6);
    EXPECT_TRUE(unit.ReceivedLines().empty());
}

// Every value is decided and checked before any unit is sent a line; a value
// the unit would refuse is exit 4 for all units of --all.
TEST_F(QvlCtlTest, ValuesAreCheckedBeforeAnyUnitIsSentALine)
{
    VirtualUnit& a = AddUnit("11111111");
    VirtualUnit& b = AddUnit("22222222");
    UnitSettings hex = Sample();
    hex.wifi = {L"Office", L"1", L"1", std::wstring(64, L'a')};
    b.SetSettings(hex);
    a.ClearReceived();
    b.ClearReceived();
    const std::vector<std::string> all = {"--port=" + a.PortPath(), "--port=" + b.PortPath(), "--all"};
    auto writeAll = [&](const std::string& strName, const std::string& strText) {
        WriteBytes(m_dir.Path(strName), strText);
        std::vector<std::string> args = all;
        args.insert(args.end(), {"--json", "write", m_dir.Path(strName)});
        return Ctl(args);
    };

    // The APN of profile 2 comes before its index fields: nothing of it may go.
    for (const char* pszAuth :
         {"AUTHTYPE=01", "AUTHTYPE=7", "AUTHTYPE=1x", "AUTHTYPE=", "AUTHTYPE=-2", "AUTHTYPE=-1x"}) {
        std::string strText = SampleFile("APN=internet.telekom", "APN=new.apn");
        strText.replace(strText.find("AUTHTYPE=2"), 10, pszAuth);
        const CtlRun run = writeAll("auth.all", strText);
        EXPECT_EQ(run.nExit, 4) << pszAuth << run.strErr;
        EXPECT_NE(run.strOut.find("\"wwan2.authtype\""), std::string::npos) << pszAuth << run.strOut;
    }
    const CtlRun pdp = writeAll("pdp.all", SampleFile("PDPTYPE=2", "PDPTYPE=9"));
    EXPECT_EQ(pdp.nExit, 4);
    const CtlRun accent = writeAll("accent.all", SampleFile("APN=web.vodafone.de", "APN=web.vodaf\xc3\xb6ne.de"));
    EXPECT_EQ(accent.nExit, 4);
    EXPECT_NE(accent.strErr.find("WWAN 3 - APN: Please enter only ASCII characters other than spaces."),
              std::string::npos)
        << accent.strErr;

    // Valid for unit a (ASCII key format), not for unit b (HEX): neither unit
    // is written, and a's line says why.
    std::vector<std::string> args = all;
    args.insert(args.end(), {"set", "wifi.passphrase=abcdefgh12"});
    const CtlRun mixed = Ctl(args);
    EXPECT_EQ(mixed.nExit, 4);
    EXPECT_NE(mixed.strOut.find(a.PortPath() + " FAILED: not written: the values for " + b.PortPath()),
              std::string::npos)
        << mixed.strOut;

    EXPECT_TRUE(ChangingLines(a).empty());
    EXPECT_TRUE(ChangingLines(b).empty());
}

// The file is read once, by the bytes of its name, and that one content goes
// to every unit, whatever happens to the file meanwhile.
TEST_F(QvlCtlTest, PresetIsReadOnceByTheBytesOfItsName)
{
    // Two files whose names differ only in their encoding.
    VirtualUnit& named = AddUnit("12345678", m_dir.Path("port-\xe9"));
    WriteBytes(m_dir.Path("pr\xe9set.all"), SampleFile("APN=internet.telekom", "APN=latin1.name"));
    WriteBytes(m_dir.Path("pr\xc3\xa9set.all"), SampleFile("APN=internet.telekom", "APN=utf8.name"));
    const CtlRun byBytes = Ctl({"write", m_dir.Path("pr\xe9set.all")}, &named);
    ASSERT_EQ(byBytes.nExit, 0) << byBytes.strErr;
    EXPECT_EQ(named.CommittedSettings().wwan[1].strApn, L"latin1.name");

    // The second unit answers slowly: the first one has long read its
    // settings when the file is replaced.
    VirtualUnit& fast = AddUnit("11111111");
    VirtualUnit& slow = AddUnit("22222222");
    VirtualUnitFaults faults;
    faults.nChunkSize = 48;
    faults.nChunkPauseMs = 100;
    slow.SetFaults(faults);
    const std::string strPath = m_dir.Path("line.all");
    WriteBytes(strPath, SampleFile("APN=internet.telekom", "APN=old.content"));
    CtlRun run;
    std::thread ctl([&] {
        run = Ctl({"--port=" + fast.PortPath(), "--port=" + slow.PortPath(), "--all", "write", strPath});
    });
    WaitFor([&fast] {
        for (const std::string& strLine : fast.ReceivedLines())
            if (strLine == "get\r")
                return true;
        return false;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    WriteBytes(m_dir.Path("line.new"), SampleFile("APN=internet.telekom", "APN=new.content"));
    ASSERT_EQ(std::rename(m_dir.Path("line.new").c_str(), strPath.c_str()), 0);
    ctl.join();
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(fast.CommittedSettings().wwan[1].strApn, L"old.content");
    EXPECT_EQ(slow.CommittedSettings().wwan[1].strApn, L"old.content");
}

// A file that is cut, or larger than the reader takes, is not a preset.
TEST_F(QvlCtlTest, CutAndOversizedPresetsAreRefused)
{
    VirtualUnit& unit = AddUnit();
    unit.ClearReceived();
    const std::string strFull = SampleFile("APN=internet.telekom", "APN=from.file");

    // Cut inside [WWAN3], as a backup to a full disk ends.
    WriteBytes(m_dir.Path("cut.all"), strFull.substr(0, strFull.find("PDPTYPE=", strFull.find("[WWAN3]"))));
    const CtlRun cut = Ctl({"write", m_dir.Path("cut.all")}, &unit);
    EXPECT_EQ(cut.nExit, 5);
    EXPECT_NE(cut.strErr.find("[WWAN3] PDPTYPE is missing"), std::string::npos) << cut.strErr;

    // Whole sections first, then more than the reader takes: in bytes, in lines.
    WriteBytes(m_dir.Path("big.all"), strFull + ";" + std::string(CIniFile::kMaxFileBytes, 'x') + "\r\n");
    EXPECT_EQ(Ctl({"write", m_dir.Path("big.all")}, &unit).nExit, 5);
    std::string strLong = strFull;
    for (size_t n = 0; n < CIniFile::kMaxLines; ++n)
        strLong += ";\r\n";
    WriteBytes(m_dir.Path("long.all"), strLong);
    EXPECT_EQ(Ctl({"write", m_dir.Path("long.all")}, &unit).nExit, 5);
    EXPECT_TRUE(ChangingLines(unit).empty());

    // The window refuses the long one as well.
    CQVLSession window;
    EXPECT_FALSE(window.ReadWwanSection(1, m_dir.WPath("long.all"), true));
    EXPECT_FALSE(window.ReadWifiSection(m_dir.WPath("long.all")));
    EXPECT_TRUE(window.ReadWwanSection(1, m_dir.WPath("cut.all"), true)); // the file itself reads
}

// A write that fails part-way puts the unit's working settings back, so a
// later commit stores only what its own run asked for.
TEST_F(QvlCtlTest, FailedWriteRestoresThePreviousSettings)
{
    VirtualUnit& unit = AddUnit();
    WriteBytes(m_dir.Path("new.all"),
               SampleFile("[WWAN1]\r\nAPN=internet\r\nUSERNAME=\r\nPASSWORD=",
                          "[WWAN1]\r\nAPN=changed\r\nUSERNAME=u\r\nPASSWORD=p"));
    VirtualUnitFaults faults;
    faults.nErrorOnSetLine = 4; // after apn, user and pw of profile 1
    unit.SetFaults(faults);
    const CtlRun failed = Ctl({"write", m_dir.Path("new.all")}, &unit);
    EXPECT_EQ(failed.nExit, 1);
    EXPECT_NE(failed.strErr.find("(at \"set 1 auth 1\"); restored the unit's previous settings"), std::string::npos)
        << failed.strErr;
    EXPECT_TRUE(Same(unit.Settings(), Sample()));

    ASSERT_EQ(Ctl({"set", "wifi.ssid=Lab"}, &unit).nExit, 0);
    UnitSettings expected = Sample();
    expected.wifi.strSsid = L"Lab";
    EXPECT_TRUE(Same(unit.CommittedSettings(), expected));

    // When putting back fails too, the operator is told what to do.
    faults.strErrorOnCommand = "set 1 apn internet\r";
    unit.SetFaults(faults);
    const CtlRun stuck = Ctl({"write", m_dir.Path("new.all")}, &unit);
    EXPECT_EQ(stuck.nExit, 1);
    EXPECT_NE(stuck.strErr.find("the unit holds unconfirmed changes and must be power-cycled or erased"),
              std::string::npos)
        << stuck.strErr;
    EXPECT_TRUE(Same(unit.CommittedSettings(), expected));
}

// "written" is only said after the unit's settings were read back and equal
// what was sent.
TEST_F(QvlCtlTest, ReadBackDifferenceNamesTheField)
{
    VirtualUnit& unit = AddUnit();
    VirtualUnitFaults faults;
    faults.strCutValue = "2 apn";
    unit.SetFaults(faults);
    const CtlRun run = Ctl({"--json", "set", "wifi.ssid=Lab"}, &unit);
    EXPECT_EQ(run.nExit, 1);
    const nlohmann::json error = nlohmann::json::parse(run.strOut);
    EXPECT_EQ(error["field"], "wwan2.apn");
    EXPECT_NE(error["error"].get<std::string>().find("\"internet.telekom\""), std::string::npos) << run.strOut;
}

// provision's record of each unit: its line, the exit status, and one
// journal line that names fields but never holds a value.
TEST_F(QvlCtlTest, ProvisionRecordsEachUnitWithoutItsValues)
{
    WriteBytes(m_dir.Path("line.all"),
               "[WWAN1]\r\nAPN=line.apn\r\nUSERNAME=\r\nPASSWORD=\r\nAUTHTYPE=0\r\nPDPTYPE=0\r\n\r\n"
               "[Wi-Fi]\r\nSSID=LineAP\r\nPASSPHRASE=linepass1\r\nSECURITY=1\r\nPWTYPE=0\r\n");
    WriteBytes(m_dir.Path("units.csv"), "serial,wwan2.apn\n99999999,x.apn\n12345678,own.apn\n");
    struct Case {
        const char* pszSerialReply; // nullptr: the unit's serial number
        int nErrorOnSet;
        const char* pszErrorOn;
        const char* pszSilentOn;
        const char* pszCut;
        int nExit;
        const char* pszResult;
        const char* pszLine;  // after the port in the unit's line
        const char* pszError; // the journal's error after the port, or without it (nullptr: none)
    };
    const Case cases[] = {
        {nullptr, 0, "", "", "", 0, "provisioned", " 12345678 provisioned (5 fields changed)", nullptr},
        {"ERROR\r\n", 0, "", "", "", 1, "refused",
         " - refused: the unit reported no serial number, so it cannot be traced: nothing was sent to it",
         "the unit reported no serial number, so it cannot be traced: nothing was sent to it"},
        {nullptr, 1, "", "", "", 1, "failed", " 12345678 FAILED: $ Write Error. (at \"set 1 apn line.apn\")",
         "$ Write Error. (at the wwan1.apn line); restored the unit's previous settings"},
        {nullptr, 0, "", "fw\r", "", 1, "failed", " 12345678 FAILED: $ Timeout Error. (at \"fw\"); the unit holds",
         "$ Timeout Error. (at \"fw\"); the unit holds unconfirmed changes and must be power-cycled or erased"},
        {nullptr, 0, "", "", "1 apn", 1, "failed", " 12345678 FAILED: $ holds wwan1.apn \"line.ap\"",
         "$ holds another wwan1.apn after the write than the value written"},
        {nullptr, 0, "", "", "w pw", 1, "failed", " 12345678 FAILED: $ holds wifi.passphrase (hidden)",
         "$ holds another wifi.passphrase after the write than the value written"},
    };
    for (const Case& c : cases) {
        const std::string strCase = c.pszLine;
        VirtualUnitOptions options;
        options.settings = Sample();
        options.strSerialReply = c.pszSerialReply ? c.pszSerialReply : "SERIAL 12345678\r\n";
        m_units.push_back(std::make_unique<VirtualUnit>(options));
        VirtualUnit& u = *m_units.back();
        ASSERT_TRUE(u.Start());
        auto withPort = [&u](std::string str) {
            for (size_t n; (n = str.find('$')) != std::string::npos;)
                str.replace(n, 1, u.PortPath());
            return str;
        };
        VirtualUnitFaults faults;
        faults.nErrorOnSetLine = c.nErrorOnSet;
        faults.strErrorOnCommand = c.pszErrorOn;
        faults.strSilentOnCommand = c.pszSilentOn;
        faults.strCutValue = c.pszCut;
        u.SetFaults(faults);
        const std::string strJournal = m_dir.Path("journal-" + std::to_string(m_units.size()) + ".jsonl");
        const CtlRun run = Ctl(
            {"provision", m_dir.Path("line.all"), "--values", m_dir.Path("units.csv"), "--journal", strJournal}, &u);
        EXPECT_EQ(run.nExit, c.nExit) << strCase << run.strErr;
        EXPECT_EQ(run.strOut.rfind(u.PortPath() + withPort(c.pszLine), 0), 0u) << run.strOut;
        const std::string strText = ReadBytes(strJournal);
        ASSERT_EQ(std::count(strText.begin(), strText.end(), '\n'), 1) << strText;
        const nlohmann::json entry = nlohmann::json::parse(strText);
        EXPECT_EQ(entry["format"], 2);
        EXPECT_EQ(entry["result"], c.pszResult) << strCase;
        EXPECT_EQ(entry["error"], c.pszError ? nlohmann::json(withPort(c.pszError)) : nlohmann::json()) << strCase;
        EXPECT_EQ(entry["preset_sha256"], "9c05dfde15c0d596d377dd7a2b47ff90006de98746cb61fdd151a1b0ba5781d8");
        EXPECT_EQ(entry["values_sha256"], "200816e05d12076c6d15c5f667c3a79e08001ae23aefa58d95abb86748b980d6");
        EXPECT_EQ(entry["values_row"], c.pszSerialReply ? nlohmann::json() : nlohmann::json(3)) << strCase;
        for (const char* pszValue : {"line.ap", "linepass", "own.apn"})
            EXPECT_EQ(strText.find(pszValue), std::string::npos) << strCase << " " << pszValue;
        EXPECT_EQ(run.strOut.find("linepass"), std::string::npos) << strCase;
        if (c.pszSerialReply) {
            EXPECT_TRUE(ChangingLines(u).empty());
        }
    }
}

// What the unit sends is shown, never obeyed by the terminal. A value no
// preset can hold fails get in preset form, naming the field, with nothing on
// stdout that a later write would take for the unit's value; JSON carries it.
TEST_F(QvlCtlTest, UnitTextIsPrintedEscaped)
{
    VirtualUnitOptions options;
    options.settings = Sample();
    options.settings.wifi.strSsid =
        L"A\x1b]0;T\x07"
        L"B";
    options.strSerialReply =
        "SERIAL 1\x1b]2;owned\x07\x1b[2J\x9b"
        "1m\r\n";
    VirtualUnit unit(options);
    ASSERT_TRUE(unit.Start());
    const std::string strShown = "1\\x1b]2;owned\\x07\\x1b[2J\\x9b1m";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"info"}, {"list", "--probe"}}) {
        const CtlRun run = Ctl(args, &unit);
        EXPECT_EQ(run.nExit, 0) << args[0] << run.strErr;
        EXPECT_EQ(run.strOut.find('\x1b'), std::string::npos) << args[0];
        EXPECT_EQ(run.strOut.find("\xc2\x9b"), std::string::npos) << args[0];
        EXPECT_NE(run.strOut.find(strShown), std::string::npos) << run.strOut;
    }
    const CtlRun get = Ctl({"get"}, &unit);
    EXPECT_EQ(get.nExit, 1);
    EXPECT_EQ(get.strOut, "");
    EXPECT_EQ(get.strErr,
              "qvlctl: wifi.ssid: the unit's value holds a control character (U+001B), which a preset "
              "file cannot store (--json gives it exactly)\n");
    const nlohmann::json doc = nlohmann::json::parse(Ctl({"--json", "info"}, &unit).strOut);
    EXPECT_EQ(doc["serial"],
              "1\x1b]2;owned\x07\x1b[2J\xc2\x9b"
              "1m");
    const nlohmann::json values = nlohmann::json::parse(Ctl({"--json", "get"}, &unit).strOut);
    EXPECT_EQ(values["wifi"]["ssid"],
              "A\x1b]0;T\x07"
              "B");
}

// Units whose firmware answers a little differently, their replies split as
// USB packets split them: qvlctl finds the unit by its true serial number and
// reads exactly what it holds.
class QvlCtlVariantTest : public QvlCtlTest, public ::testing::WithParamInterface<VariantParam> { };

TEST_P(QvlCtlVariantTest, FindsTheUnitBySerialAndReadsExactlyItsValues)
{
    const UnitVariant& variant = std::get<0>(GetParam());
    const ReplySplit& split = std::get<1>(GetParam());
    VirtualUnitOptions options;
    options.settings = Sample(); // with empty user names and passwords
    ApplyVariant(variant, options);
    VirtualUnit unit(options);
    ASSERT_TRUE(unit.Start());
    unit.SetFaults(SplitFaults(split));

    const CtlRun get = Ctl({"--serial=12345678", "get", "--json"}, &unit);
    ASSERT_EQ(get.nExit, 0) << get.strErr;
    const nlohmann::json doc = nlohmann::json::parse(get.strOut);
    EXPECT_EQ(doc["serial"], "12345678");
    EXPECT_EQ(doc["version"], variant.pszVersion);
    EXPECT_EQ(doc["mcuid"], variant.pszMcuId);
    const UnitSettings s = Sample();
    for (size_t i = 0; i < s.wwan.size(); ++i) {
        const nlohmann::json& group = doc["wwan" + std::to_string(i + 1)];
        EXPECT_EQ(group["apn"], ToUtf8(s.wwan[i].strApn)) << i;
        EXPECT_EQ(group["username"], ToUtf8(s.wwan[i].strUserName)) << i;
        EXPECT_EQ(group["password"], ToUtf8(s.wwan[i].strPassword)) << i;
        EXPECT_EQ(group["authtype"], std::stoi(s.wwan[i].strAuthType)) << i;
        EXPECT_EQ(group["pdptype"], std::stoi(s.wwan[i].strPdpType)) << i;
    }
    EXPECT_EQ(doc["wifi"]["ssid"], "Office");
    EXPECT_EQ(doc["wifi"]["passphrase"], "correct-horse-battery");
}

QVL_INSTANTIATE_VARIANTS(QvlCtlVariantTest);

} // namespace
