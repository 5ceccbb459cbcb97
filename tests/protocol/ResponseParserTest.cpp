#include <string>

#include <gtest/gtest.h>

#include "protocol/ResponseParser.h"
#include "support/LogCapture.h"

namespace {

struct Parsed {
    DeviceInfo info{L"MCUID old", L"VER old", L"old serial"};
    WwanProfiles profiles{};
    WifiSettings wifi{L"old ssid", L"1", L"0", L"old pass"};

    bool Run(const std::wstring& strSend, const std::wstring& strRecv)
    {
        return ParseResponse(strSend, strRecv, info, profiles, wifi);
    }
};

// The 24 lines of a settings reply, profile n's APN being "apn<n>" and so on.
std::wstring GetReply(const std::wstring& strSeparator = L"\r\n")
{
    std::wstring s;
    for (int n = 1; n <= 4; ++n) {
        const std::wstring k = std::to_wstring(n);
        for (const wchar_t* f : {L"apn", L"user", L"pw", L"auth", L"pdp"})
            s += L"GET " + k + L" " + f + L" " + f + k + strSeparator;
    }
    s += L"GET w ssid office" + strSeparator + L"GET w sec 1" + strSeparator + L"GET w pw_type 0" + strSeparator +
         L"GET w pw secret" + strSeparator;
    return s;
}

} // namespace

TEST(ResponseParser, IdentityReplyKeepsLabelsAndCompletesOnlyAtLineEnd)
{
    LogCapture log;
    Parsed p;
    EXPECT_FALSE(p.Run(L"ver\r", L"VER 1.0.4\r\nMCU"));
    EXPECT_EQ(p.info.strVersion, L"VER old");
    EXPECT_TRUE(p.Run(L"ver\r", L"VER 1.0.4\r\nMCUID 0123ABCD\r\n"));
    EXPECT_EQ(p.info.strVersion, L"VER 1.0.4");
    EXPECT_EQ(p.info.strMcuId, L"MCUID 0123ABCD");
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::ParseRecvData send:[ver\r]"));
    EXPECT_EQ(log.Count("CQVLUtilityDlg::ParseRecvData SetEvent"), 1u);

    Parsed sn;
    EXPECT_TRUE(sn.Run(L"ver\r", L"\r\nVER 2.0\r\nSN 77\r\n"));
    EXPECT_EQ(sn.info.strVersion, L"VER 2.0");
    EXPECT_EQ(sn.info.strMcuId, L"SN 77");

    Parsed versionOnly;
    EXPECT_TRUE(versionOnly.Run(L"ver\r", L"VER 1.0.4\r\n"));
    EXPECT_EQ(versionOnly.info.strVersion, L"VER 1.0.4");
    EXPECT_EQ(versionOnly.info.strMcuId, L"MCUID old");

    Parsed mcuOnly;
    EXPECT_TRUE(mcuOnly.Run(L"ver\r", L"\r\nMCUID 0123ABCD\r\n"));
    EXPECT_EQ(mcuOnly.info.strMcuId, L"MCUID 0123ABCD");
    EXPECT_EQ(mcuOnly.info.strVersion, L"VER old");

    Parsed error;
    EXPECT_FALSE(error.Run(L"ver\r", L"ERROR\r\n"));
    EXPECT_FALSE(error.Run(L"ver\r", L"MCUID 0123ABCD\r\n"));
    EXPECT_EQ(error.info.strMcuId, L"MCUID old");
}

TEST(ResponseParser, SerialReplyDropsSevenCharacterLabel)
{
    Parsed p;
    EXPECT_FALSE(p.Run(L"serial\r", L"SERIAL 1234"));
    EXPECT_EQ(p.info.strSerial, L"old serial");
    EXPECT_TRUE(p.Run(L"serial\r", L"abcdefg12345678\r\n"));
    EXPECT_EQ(p.info.strSerial, L"12345678");
    EXPECT_TRUE(p.Run(L"serial\r", L"SER\r\n"));
    EXPECT_EQ(p.info.strSerial, L"");
    p.info.strSerial = L"x";
    EXPECT_TRUE(p.Run(L"serial\r", L"ERROR\r\n"));
    EXPECT_EQ(p.info.strSerial, L"");
}

TEST(ResponseParser, EraseAndCommitNeedExactReplies)
{
    Parsed p;
    EXPECT_TRUE(p.Run(L"fe\r", L"FE OK\r\n"));
    EXPECT_TRUE(p.Run(L"fe\r", L"ERROR\r\n"));
    EXPECT_FALSE(p.Run(L"fe\r", L"FE OK\r\nx"));
    EXPECT_FALSE(p.Run(L"fe\r", L"FW OK\r\n"));
    EXPECT_TRUE(p.Run(L"fw\r", L"FW OK\r\n"));
    EXPECT_TRUE(p.Run(L"fw\r", L"ERROR\r\n"));
    EXPECT_FALSE(p.Run(L"fw\r", L"fw ok\r\n"));
}

TEST(ResponseParser, SettingsReplyStoresAllFieldsByLinePosition)
{
    Parsed p;
    EXPECT_TRUE(p.Run(L"get\r", GetReply()));
    EXPECT_EQ(p.profiles[0], (WwanProfile{L"apn1", L"user1", L"pw1", L"pdp1", L"auth1"}));
    EXPECT_EQ(p.profiles[3], (WwanProfile{L"apn4", L"user4", L"pw4", L"pdp4", L"auth4"}));
    EXPECT_EQ(p.wifi, (WifiSettings{L"office", L"1", L"0", L"secret"}));

    // Blank lines and lone CRs or LFs between the lines change nothing.
    Parsed blank;
    EXPECT_TRUE(blank.Run(L"get\r", L"\r\n\r\n" + GetReply(L"\r\n\n\r")));
    EXPECT_EQ(blank.profiles, p.profiles);
    EXPECT_EQ(blank.wifi, p.wifi);

    // Labels are not compared: a leading extra line shifts every value.
    Parsed shifted;
    EXPECT_TRUE(shifted.Run(L"get\r", L"xxxxxxxxxxWORLD\r\n" + GetReply()));
    EXPECT_EQ(shifted.profiles[0].strApn, L"WORLD");
    EXPECT_EQ(shifted.profiles[0].strUserName, L"pn1");

    // A line no longer than its label gives an empty value, kept as received.
    Parsed empty;
    std::wstring strReply = GetReply();
    strReply.replace(0, strReply.find(L"\r\n"), L"GET 1 apn ");
    EXPECT_TRUE(empty.Run(L"get\r", strReply));
    EXPECT_EQ(empty.profiles[0].strApn, L"");
}

TEST(ResponseParser, SettingsReplyInPiecesStoresNothingUntilComplete)
{
    Parsed p;
    const std::wstring strFull = GetReply();
    const WwanProfiles before = p.profiles;
    // Cut inside line 10, and inside the passphrase (the last line has no end yet).
    EXPECT_FALSE(p.Run(L"get\r", strFull.substr(0, strFull.find(L"GET 2 pdp") + 5)));
    EXPECT_FALSE(p.Run(L"get\r", strFull.substr(0, strFull.size() - 4)));
    EXPECT_EQ(p.profiles, before);
    EXPECT_EQ(p.wifi.strPassphrase, L"old pass");
    EXPECT_TRUE(p.Run(L"get\r", strFull));
    EXPECT_EQ(p.wifi.strPassphrase, L"secret");

    // An error reply, alone or after other text, completes without storing.
    Parsed error;
    EXPECT_TRUE(error.Run(L"get\r", L"ERROR\r\n"));
    EXPECT_TRUE(error.Run(L"get\r", GetReply() + L"ERROR\r\n"));
    EXPECT_EQ(error.profiles, before);
    EXPECT_EQ(error.wifi.strSsid, L"old ssid");
}

TEST(ResponseParser, SetLineCompletesOnEchoIgnoringCaseOrOnError)
{
    Parsed p;
    const std::wstring strLine = L"set 1 apn internet\r";
    EXPECT_TRUE(p.Run(strLine, L"set 1 apn internet\r\n"));
    EXPECT_TRUE(p.Run(strLine, L"SET 1 APN INTERNET\r\nmore"));
    EXPECT_TRUE(p.Run(strLine, L"noise ERROR\r\n"));
    EXPECT_FALSE(p.Run(strLine, L"OK\r\n"));
    EXPECT_FALSE(p.Run(strLine, L"set 1 apn intern"));
    EXPECT_FALSE(p.Run(strLine, L"set 1 apn internet\n"));  // the CR is part of the echo
    EXPECT_FALSE(p.Run(L"set w pw \r", L"set w pw_\r\n"));
}

TEST(ResponseParser, TextWithoutKnownCommandIsIgnoredSilently)
{
    LogCapture log;
    Parsed p;
    EXPECT_FALSE(p.Run(L"", L"FE OK\r\n"));
    EXPECT_FALSE(p.Run(L"ver", L"VER 1\r\n"));  // no carriage return: not the command
    EXPECT_FALSE(p.Run(L"sett 1 apn x\r", L"ERROR\r\n"));
    EXPECT_EQ(p.info.strVersion, L"VER old");
    EXPECT_TRUE(log.Lines().empty());
}
