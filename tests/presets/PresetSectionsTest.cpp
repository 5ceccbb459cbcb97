#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "presets/IniFile.h"
#include "presets/PresetSections.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

WwanProfile Profile(int n)
{
    const std::wstring s = std::to_wstring(n);
    return WwanProfile{L"apn" + s + L".example", L"user" + s, L"pw#" + s, std::to_wstring(n % 3),
                       std::to_wstring((n + 1) % 3)};
}

WifiSettings Wifi()
{
    return WifiSettings{L"My-Net", L"0", L"1", L"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF"};
}

std::string P(const std::wstring& str)
{
    return ToUtf8(str);
}

} // namespace

// ---- Round trips -------------------------------------------------------------------

TEST(PresetSections, EveryFieldRoundTripsThroughEachKindOfFile)
{
    TempDir dir;
    CQVLSession saver;
    for (int n = 0; n < kWwanCount; ++n)
        saver.SetWwanProfile(n, Profile(n + 1));
    saver.SetWifiSettings(Wifi());

    // *.all: four numbered sections and Wi-Fi.
    const std::wstring strAll = dir.WPath("all.all");
    for (int n = 0; n < kWwanCount; ++n)
        ASSERT_TRUE(saver.WriteWwanSection(n, strAll, true));
    ASSERT_TRUE(saver.WriteWifiSection(strAll));
    CIniFile ini;
    ASSERT_TRUE(ini.Load(strAll));
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::wstring>{L"WWAN1", L"WWAN2", L"WWAN3", L"WWAN4", L"Wi-Fi"}));

    CQVLSession loader;
    for (int n = 0; n < kWwanCount; ++n) {
        ASSERT_TRUE(loader.ReadWwanSection(n, strAll, true));
        EXPECT_EQ(loader.GetWwanProfile(n), Profile(n + 1)) << "group " << n;
    }
    ASSERT_TRUE(loader.ReadWifiSection(strAll));
    EXPECT_EQ(loader.GetWifiSettings(), Wifi());

    // *.wwan from WWAN1 loads into WWAN3 unchanged; *.wifi likewise.
    CQVLSession other;
    ASSERT_TRUE(saver.WriteWwanSection(0, dir.WPath("one.wwan"), false));
    ASSERT_TRUE(other.ReadWwanSection(2, dir.WPath("one.wwan"), false));
    EXPECT_EQ(other.GetWwanProfile(2), Profile(1));
    EXPECT_EQ(other.GetWwanProfile(0), WwanProfile{});
    ASSERT_TRUE(saver.WriteWifiSection(dir.WPath("w.wifi")));
    ASSERT_TRUE(other.ReadWifiSection(dir.WPath("w.wifi")));
    EXPECT_EQ(other.GetWifiSettings(), Wifi());
}

TEST(PresetSections, UnusualTextsRoundTripExactly)
{
    TempDir dir;
    CQVLSession session;
    const WwanProfile odd{L" lead and trail ", L"\"quoted\"", L"caf\u00E9 \U0001F600", L"01", L""};
    session.SetWwanProfile(1, odd);
    ASSERT_TRUE(session.WriteWwanSection(1, dir.WPath("odd.wwan"), false));
    session.SetWwanProfile(1, WwanProfile{});
    ASSERT_TRUE(session.ReadWwanSection(1, dir.WPath("odd.wwan"), false));
    EXPECT_EQ(session.GetWwanProfile(1), odd);
}

TEST(PresetSections, WwanFileLayoutAndLogOrder)
{
    TempDir dir;
    LogCapture log;
    CQVLSession session;
    session.SetWwanProfile(2, WwanProfile{L"internet", L"bob", L"secret", L"2", L"0"});
    const std::wstring strPath = dir.WPath("w3.wwan");
    ASSERT_TRUE(session.WriteWwanSection(2, strPath, false));
    EXPECT_EQ(ReadBytes(P(strPath)),
              "[WWAN]\r\nAPN=internet\r\nUSERNAME=bob\r\nPASSWORD=secret\r\nAUTHTYPE=0\r\nPDPTYPE=2\r\n");
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "[info] Save WWAN Preset 3 [" + P(strPath) + "]",
                  "[info] Save WWAN 3 APN internet",
                  "[info] Save WWAN 3 username bob",
                  "[info] Save WWAN 3 password secret",
                  "[info] Save WWAN 3 PDP 2",
                  "[info] Save WWAN 3 Auth 0",
              }));

    log.Clear();
    session.SetWifiSettings(WifiSettings{L"net", L"1", L"0", L"passphrase"});
    const std::wstring strWifi = dir.WPath("w.wifi");
    ASSERT_TRUE(session.WriteWifiSection(strWifi));
    EXPECT_EQ(ReadBytes(P(strWifi)), "[Wi-Fi]\r\nSSID=net\r\nPASSPHRASE=passphrase\r\nSECURITY=1\r\nPWTYPE=0\r\n");
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "[info] Save WiFi Preset [" + P(strWifi) + "]",
                  "[info] Save WiFi SSID net",
                  "[info] Save WiFi security 1",
                  "[info] Save WiFi key_fmt 0",
                  "[info] Save WiFi passphrase passphrase",
              }));

    log.Clear();
    EXPECT_TRUE(session.ReadWwanSection(0, strPath, false));
    EXPECT_TRUE(session.ReadWifiSection(strWifi));
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "[info] Load WWAN Preset 1 [" + P(strPath) + "]",
                  "[info] Load WiFi Preset [" + P(strWifi) + "]",
              }));
}

TEST(PresetSections, SavingIntoAnExistingFileUpdatesInPlace)
{
    TempDir dir;
    CQVLSession session;
    const std::wstring strAll = dir.WPath("full.all");
    for (int n = 0; n < kWwanCount; ++n) {
        session.SetWwanProfile(n, Profile(n));
        ASSERT_TRUE(session.WriteWwanSection(n, strAll, true));
    }
    session.SetWifiSettings(Wifi());
    ASSERT_TRUE(session.WriteWifiSection(strAll));

    // A WWAN preset saved twice into the *.all file: one "WWAN" section with
    // the latest values, added after the others, which stay.
    session.SetWwanProfile(0, Profile(7));
    ASSERT_TRUE(session.WriteWwanSection(0, strAll, false));
    session.SetWwanProfile(0, Profile(8));
    ASSERT_TRUE(session.WriteWwanSection(0, strAll, false));
    CIniFile ini;
    ASSERT_TRUE(ini.Load(strAll));
    EXPECT_EQ(ini.SectionNames(),
              (std::vector<std::wstring>{L"WWAN1", L"WWAN2", L"WWAN3", L"WWAN4", L"Wi-Fi", L"WWAN"}));

    CQVLSession loader;
    ASSERT_TRUE(loader.ReadWwanSection(3, strAll, false));
    EXPECT_EQ(loader.GetWwanProfile(3), Profile(8));
    ASSERT_TRUE(loader.ReadWwanSection(3, strAll, true));
    EXPECT_EQ(loader.GetWwanProfile(3), Profile(3));
    ASSERT_TRUE(loader.ReadWifiSection(strAll));
    EXPECT_EQ(loader.GetWifiSettings(), Wifi());
}

// ---- Reading: defaults, ranges, missing sections -------------------------------------

TEST(PresetSections, IndexKeysDefaultsRangesAndReplacements)
{
    TempDir dir;
    CQVLSession session;
    struct Case {
        std::string strLines; // lines of the section after the free-text keys
        std::wstring strAuth;
        std::wstring strPdp;
    } cases[] = {
        {"", L"1", L"0"}, // both absent
        {"AUTHTYPE=7\nPDPTYPE=3\n", L"1", L"0"},
        {"AUTHTYPE=-1\nPDPTYPE=-1\n", L"1", L"0"},
        {"AUTHTYPE=\nPDPTYPE=\n", L"", L""},           // present but empty
        {"AUTHTYPE=01\nPDPTYPE=  2  \n", L"01", L"2"}, // kept as written (blanks dropped)
        {"AUTHTYPE=2abc\nPDPTYPE=x\n", L"2abc", L"x"}, // judged by the leading number
        {"AUTHTYPE=99999999999\nPDPTYPE=+1\n", L"1", L"+1"},
        {"authtype=0\npdptype=1\n", L"0", L"1"}, // key names ignore case
    };
    for (const Case& c : cases) {
        WriteBytes(dir.Path("c.wwan"), "[WWAN]\nAPN=a\nUSERNAME=u\nPASSWORD=p\n" + c.strLines);
        ASSERT_TRUE(session.ReadWwanSection(0, dir.WPath("c.wwan"), false)) << c.strLines;
        const WwanProfile profile = session.GetWwanProfile(0);
        EXPECT_EQ(profile.strAuthType, c.strAuth) << c.strLines;
        EXPECT_EQ(profile.strPdpType, c.strPdp) << c.strLines;
    }

    struct WifiCase {
        std::string strLines;
        std::wstring strSecurity;
        std::wstring strKeyFormat;
    } wifiCases[] = {
        {"", L"1", L"0"},
        {"SECURITY=2\nPWTYPE=2\n", L"1", L"0"},
        {"SECURITY=0\nPWTYPE=1\n", L"0", L"1"},
        {"SECURITY=\nPWTYPE=01\n", L"", L"01"},
    };
    for (const WifiCase& c : wifiCases) {
        WriteBytes(dir.Path("c.wifi"), "[Wi-Fi]\nSSID=s\n" + c.strLines);
        ASSERT_TRUE(session.ReadWifiSection(dir.WPath("c.wifi"))) << c.strLines;
        const WifiSettings settings = session.GetWifiSettings();
        EXPECT_EQ(settings.strSecurity, c.strSecurity) << c.strLines;
        EXPECT_EQ(settings.strKeyFormat, c.strKeyFormat) << c.strLines;
        EXPECT_EQ(settings.strPassphrase, L"");
    }
}

TEST(PresetSections, MissingSectionsLeaveTheRecordAlone)
{
    TempDir dir;
    LogCapture log;
    CQVLSession session;
    session.SetWwanProfile(1, Profile(5));
    session.SetWifiSettings(Wifi());

    WriteBytes(dir.Path("case.all"), "[Wwan]\nAPN=x\n[wwan2]\nAPN=y\n[wifi]\nSSID=z\n[WI-FI]\nSSID=z\n");
    // Not there is NotFound, never the refusal the window shows a message for.
    EXPECT_TRUE(session.ReadWwanSection(1, dir.WPath("case.all"), false).Is(FailureKind::NotFound));
    EXPECT_TRUE(session.ReadWwanSection(1, dir.WPath("case.all"), true).Is(FailureKind::NotFound));
    EXPECT_TRUE(session.ReadWifiSection(dir.WPath("case.all")).Is(FailureKind::NotFound));
    EXPECT_TRUE(session.ReadWwanSection(1, dir.WPath("missing.wwan"), false).Is(FailureKind::NotFound));
    EXPECT_TRUE(session.ReadWifiSection(dir.WPath("missing.wifi")).Is(FailureKind::NotFound));
    WriteBytes(dir.Path("garbage.wwan"), std::string("\x00\xFF[\x01WWAN\n=\n\xC3", 12));
    EXPECT_FALSE(session.ReadWwanSection(1, dir.WPath("garbage.wwan"), false));
    EXPECT_FALSE(session.ReadWwanSection(4, dir.WPath("case.all"), false));
    EXPECT_FALSE(session.ReadWwanSection(-1, dir.WPath("case.all"), false));

    EXPECT_EQ(session.GetWwanProfile(1), Profile(5));
    EXPECT_EQ(session.GetWifiSettings(), Wifi());
    // Nothing is logged beyond each read's first line.
    EXPECT_EQ(log.Lines().size(), 8u);
    EXPECT_TRUE(log.Has("[info] Load WWAN Preset 5 [" + dir.Path("case.all") + "]"));
    EXPECT_TRUE(log.Has("[info] Load WWAN Preset 0 [" + dir.Path("case.all") + "]"));

    EXPECT_TRUE(SectionExists(L"WI-FI", dir.WPath("case.all")));
    EXPECT_FALSE(SectionExists(L"Wi-Fi", dir.WPath("case.all")));
    EXPECT_FALSE(SectionExists(L"Wi-Fi", dir.WPath("missing.wifi")));
}

TEST(PresetSections, HandWrittenFilesReadAsTheWindowsToolWroteThem)
{
    TempDir dir;
    CQVLSession session;
    // UTF-16LE with BOM, as the Windows tool keeps such a file.
    WriteBytes(dir.Path("hand.wifi"),
               Utf16LeWithBom(u"; saved by hand\r\n[Wi-Fi]\r\nSSID = Caf\u00E9-Net \r\nPASSPHRASE=\"pass word\"\r\n"
                              u"SECURITY=0\r\nPWTYPE=1\r\n"));
    ASSERT_TRUE(session.ReadWifiSection(dir.WPath("hand.wifi")));
    EXPECT_EQ(session.GetWifiSettings(), (WifiSettings{L"Caf\u00E9-Net", L"0", L"1", L"pass word"}));

    // A 1500-character APN reads as its first 1023 characters.
    WriteBytes(dir.Path("long.wwan"), "[WWAN]\nAPN=" + std::string(1500, 'a') + "\n");
    ASSERT_TRUE(session.ReadWwanSection(0, dir.WPath("long.wwan"), false));
    EXPECT_EQ(session.GetWwanProfile(0).strApn, std::wstring(1023, L'a'));

    // Saving into the UTF-16 file keeps it UTF-16 and readable.
    session.SetWifiSettings(WifiSettings{L"n\u00E9w", L"1", L"0", L"12345678"});
    ASSERT_TRUE(session.WriteWifiSection(dir.WPath("hand.wifi")));
    const std::string strBytes = ReadBytes(dir.Path("hand.wifi"));
    EXPECT_EQ(strBytes.substr(0, 2), "\xFF\xFE");
    CQVLSession reader;
    ASSERT_TRUE(reader.ReadWifiSection(dir.WPath("hand.wifi")));
    EXPECT_EQ(reader.GetWifiSettings(), (WifiSettings{L"n\u00E9w", L"1", L"0", L"12345678"}));
}

// ---- Failed writes ---------------------------------------------------------------------

TEST(PresetSections, FailedWritesAreReportedAndLogged)
{
    TempDir dir;
    LogCapture log;
    CQVLSession session;
    session.SetWwanProfile(0, Profile(1));
    session.SetWifiSettings(Wifi());

    const std::wstring strMissing = dir.WPath("gone/p.wwan");
    const Status missing = session.WriteWwanSection(0, strMissing, false);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Text(), L"No such file or directory");
    EXPECT_TRUE(log.Has("[error] Save WWAN Preset 1 Failed [" + P(strMissing) + "] No such file or directory"));

    const std::string strRo = dir.Path("ro.wifi");
    WriteBytes(strRo, "[Wi-Fi]\nSSID=old\n");
    ASSERT_EQ(::chmod(strRo.c_str(), 0444), 0);
    const Status readOnly = session.WriteWifiSection(dir.WPath("ro.wifi"));
    EXPECT_TRUE(readOnly.Is(FailureKind::Denied));
    EXPECT_EQ(readOnly.Text(), L"Permission denied");
    EXPECT_TRUE(log.Has("[error] Save WiFi Preset Failed [" + strRo + "] Permission denied"));
    EXPECT_EQ(ReadBytes(strRo), "[Wi-Fi]\nSSID=old\n");

    // A success has no reason.
    const Status ok = session.WriteWifiSection(dir.WPath("ok.wifi"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(ok.Text(), L"");

    const Status noGroup = session.WriteWwanSection(4, dir.WPath("ok.wwan"), false);
    EXPECT_FALSE(noGroup);
    EXPECT_FALSE(noGroup.Text().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.Path("ok.wwan")));
}

TEST(PresetSections, LineBreaksAreRefusedWithoutTouchingTheFile)
{
    TempDir dir;
    LogCapture log;
    CQVLSession session;
    const std::string strPath = dir.Path("keep.all");
    WriteBytes(strPath, "[WWAN2]\nAPN=old\n");

    session.SetWwanProfile(1, WwanProfile{L"ok", L"two\nlines", L"p", L"0", L"1"});
    const Status twoLines = session.WriteWwanSection(1, dir.WPath("keep.all"), true);
    EXPECT_TRUE(twoLines.Is(FailureKind::InvalidData));
    EXPECT_NE(twoLines.Text().find(L"USERNAME"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(strPath), "[WWAN2]\nAPN=old\n");
    EXPECT_EQ(log.Count("[error] Save WWAN Preset 2 Failed"), 1u);

    session.SetWifiSettings(WifiSettings{L"s", L"1", L"0", L"carriage\rreturn"});
    const Status carriageReturn = session.WriteWifiSection(dir.WPath("keep.all"));
    EXPECT_FALSE(carriageReturn);
    EXPECT_NE(carriageReturn.Text().find(L"PASSPHRASE"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(strPath), "[WWAN2]\nAPN=old\n");
}

TEST(PresetSections, ValueWithAControlCharacterRefusesItsGroup)
{
    // A lone CR inside a value would reach the unit as a line end.
    TempDir dir;
    LogCapture log;
    CQVLSession session;
    session.SetWwanProfile(0, Profile(1));
    session.SetWifiSettings(Wifi());
    WriteBytes(dir.Path("cr.all"),
               "[WWAN1]\r\nAPN=internet\rfe\r\n[WWAN2]\r\nAUTHTYPE=1\x01\r\n"
               "[Wi-Fi]\r\nSSID=a\x1b\r\n[WWAN3]\r\nAPN=ok\r\n");
    EXPECT_TRUE(session.ReadWwanSection(0, dir.WPath("cr.all"), true).Is(FailureKind::InvalidData));
    EXPECT_TRUE(session.ReadWwanSection(1, dir.WPath("cr.all"), true).Is(FailureKind::InvalidData));
    EXPECT_TRUE(session.ReadWifiSection(dir.WPath("cr.all")).Is(FailureKind::InvalidData));
    EXPECT_EQ(session.GetWwanProfile(0), Profile(1));
    EXPECT_EQ(session.GetWwanProfile(1), WwanProfile{});
    EXPECT_EQ(session.GetWifiSettings(), Wifi());
    EXPECT_TRUE(log.Has("[error] Preset value refused: APN of [WWAN1] in [" + dir.Path("cr.all")
                        + "] holds a control character."));
    EXPECT_TRUE(log.Has("[error] Preset value refused: AUTHTYPE of [WWAN2] in [" + dir.Path("cr.all")
                        + "] holds a control character."));
    EXPECT_TRUE(log.Has("[error] Preset value refused: SSID of [Wi-Fi] in [" + dir.Path("cr.all")
                        + "] holds a control character."));
    EXPECT_TRUE(session.ReadWwanSection(2, dir.WPath("cr.all"), true));
}

TEST(PresetSections, WhatASaveWritesLoadsBackAndARefusalSaysKeyAndReason)
{
    // The unit keeps values as sent, tabs included: a saved file loads again.
    TempDir dir;
    CQVLSession session;
    const WwanProfile tabbed{L"\tinter\tnet\t", L"user", L"p\tw", L"0", L"1"};
    const WifiSettings wifi{L"ss\tid", L"1", L"0", L"pass\tphrase"};
    session.SetWwanProfile(0, tabbed);
    session.SetWifiSettings(wifi);
    ASSERT_TRUE(session.WriteAllSections(dir.WPath("tab.all")));
    CQVLSession loaded;
    const Status tabs = loaded.ReadWwanSection(0, dir.WPath("tab.all"), true);
    EXPECT_TRUE(tabs) << ToUtf8(tabs.Text());
    EXPECT_TRUE(loaded.ReadWifiSection(dir.WPath("tab.all")));
    EXPECT_EQ(loaded.GetWwanProfile(0), tabbed);
    EXPECT_EQ(loaded.GetWifiSettings(), wifi);

    // What a load refuses, a save refuses too, with the same reason.
    session.SetWwanProfile(1, WwanProfile{L"a\x01", L"", L"", L"0", L"0"});
    const Status saved = session.WriteWwanSection(1, dir.WPath("ctl.wwan"), false);
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.Text(), L"The value of APN holds a control character (U+0001), which a preset file cannot store.");
    WriteBytes(dir.Path("ctl.wwan"), "[WWAN]\r\nAPN=a\x01\r\n");
    const Status read = loaded.ReadWwanSection(1, dir.WPath("ctl.wwan"), false);
    EXPECT_FALSE(read);
    EXPECT_EQ(read.Text(),
              L"The value of APN in [WWAN] holds a control character (U+0001), which a preset file cannot store.");
}

TEST(PresetSections, SaveOfAllGroupsReplacesTheFileOnceOrNotAtAll)
{
    TempDir dir;
    CQVLSession session;
    for (int n = 0; n < kWwanCount; ++n)
        session.SetWwanProfile(n, Profile(n + 1));
    session.SetWifiSettings(Wifi());
    ASSERT_TRUE(session.WriteAllSections(dir.WPath("a.all")));
    const std::string strOld = ReadBytes(dir.Path("a.all"));

    // New values that make the file three times as large; the size limit
    // lets the first groups through but not all five, as a disk filling up
    // part-way would.
    for (int n = 0; n < kWwanCount; ++n)
        session.SetWwanProfile(n, WwanProfile{std::wstring(100, L'a'), L"u", L"p", L"0", L"0"});
    struct rlimit old { };
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = strOld.size() + 150;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status result = session.WriteAllSections(dir.WPath("a.all"));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result);
    EXPECT_EQ(result.Text(), L"File too large");
    EXPECT_EQ(ReadBytes(dir.Path("a.all")), strOld);

    ASSERT_TRUE(session.WriteAllSections(dir.WPath("a.all")));
    CQVLSession loader;
    ASSERT_TRUE(loader.ReadWwanSection(3, dir.WPath("a.all"), true));
    EXPECT_EQ(loader.GetWwanProfile(3).strApn, std::wstring(100, L'a'));
    ASSERT_TRUE(loader.ReadWifiSection(dir.WPath("a.all")));
    EXPECT_EQ(loader.GetWifiSettings(), Wifi());
}
