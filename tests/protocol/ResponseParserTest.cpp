#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "protocol/ResponseParser.h"
#include "support/LogCapture.h"

namespace {

constexpr ReplyVerdict kIncomplete = ReplyVerdict::Incomplete;
constexpr ReplyVerdict kComplete = ReplyVerdict::Complete;
constexpr ReplyVerdict kError = ReplyVerdict::Error;
constexpr ReplyVerdict kSettling = ReplyVerdict::Settling;

struct Parsed {
    DeviceInfo info{L"MCUID old", L"VER old", L"old serial"};
    WwanProfiles profiles{};
    WifiSettings wifi{L"old ssid", L"1", L"0", L"old pass"};

    ReplyVerdict Run(const std::wstring& strSend, const std::wstring& strRecv, bool bQuiet = false)
    {
        return ParseResponse(strSend, strRecv, info, profiles, wifi, bQuiet);
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
    s += L"GET w ssid office" + strSeparator + L"GET w sec 1" + strSeparator + L"GET w pw_type 0" + strSeparator
        + L"GET w pw secret" + strSeparator;
    return s;
}

} // namespace

TEST(ResponseParser, IdentityReplyKeepsLabelsAndSettlesOnOneLine)
{
    LogCapture log;
    Parsed p;
    EXPECT_EQ(p.Run(L"ver\r", L"VER 1.0.4\r\nMCU"), kSettling);
    EXPECT_EQ(p.info.strVersion, L"VER old");
    EXPECT_EQ(p.Run(L"ver\r", L"VER 1.0.4\r\nMCUID 0123ABCD\r\n"), kComplete);
    EXPECT_EQ(p.info.strVersion, L"VER 1.0.4");
    EXPECT_EQ(p.info.strMcuId, L"MCUID 0123ABCD");
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::ParseRecvData send:[ver\r]"));
    EXPECT_EQ(log.Count("CQVLUtilityDlg::ParseRecvData SetEvent"), 1u);

    Parsed sn;
    EXPECT_EQ(sn.Run(L"ver\r", L"\r\nVER 2.0\r\nSN 77\r\n"), kComplete);
    EXPECT_EQ(sn.info.strVersion, L"VER 2.0");
    EXPECT_EQ(sn.info.strMcuId, L"SN 77");

    // One identity line alone may be the whole reply of a unit that sends
    // only that line: it completes once the line stays quiet, setting only
    // its own field.
    Parsed versionOnly;
    EXPECT_EQ(versionOnly.Run(L"ver\r", L"VER 1.0.4\r\n"), kSettling);
    EXPECT_EQ(versionOnly.Run(L"ver\r", L"VER 1.0.4\r"), kSettling);
    EXPECT_EQ(versionOnly.Run(L"ver\r", L"VER 1.0.4\r\nMCUID 01"), kSettling);
    EXPECT_EQ(versionOnly.info.strVersion, L"VER old");
    EXPECT_EQ(versionOnly.Run(L"ver\r", L"VER 1.0.4\r\n", true), kComplete);
    EXPECT_EQ(versionOnly.info.strVersion, L"VER 1.0.4");
    EXPECT_EQ(versionOnly.info.strMcuId, L"MCUID old");
    Parsed mcuOnly;
    EXPECT_EQ(mcuOnly.Run(L"ver\r", L"\r\nMCUID 0123ABCD\r\n"), kSettling);
    EXPECT_EQ(mcuOnly.Run(L"ver\r", L"\r\nMCUID 0123ABCD\r\n", true), kComplete);
    EXPECT_EQ(mcuOnly.info.strMcuId, L"MCUID 0123ABCD");
    EXPECT_EQ(mcuOnly.info.strVersion, L"VER old");

    // Both lines complete at once; a third line after them is no identity.
    Parsed extra;
    EXPECT_EQ(extra.Run(L"ver\r", L"VER 1.0.4\r\nMCUID 0123ABCD\r\nBUILD 2024-05-01\r\n"), kComplete);
    EXPECT_EQ(extra.info.strMcuId, L"MCUID 0123ABCD");

    // An error reply, or lines that are not the identity, store nothing.
    Parsed error;
    EXPECT_EQ(error.Run(L"ver\r", L"ERROR\r\n"), kError);
    EXPECT_EQ(error.Run(L"ver\r", L"VER 1.0.4\r\nSERIAL 12345678\r\n"), kError);
    EXPECT_EQ(error.Run(L"ver\r", L"SERIAL 12345678\r\n", true), kError);
    EXPECT_EQ(error.info.strMcuId, L"MCUID old");
    EXPECT_EQ(error.info.strVersion, L"VER old");
}

TEST(ResponseParser, SerialCompletesOnItsLabelledLineAndSettlesOnlyWhereUnsure)
{
    Parsed p;
    EXPECT_EQ(p.Run(L"serial\r", L"SERIAL 1234"), kIncomplete);
    EXPECT_EQ(p.Run(L"serial\r", L"SERIAL 12345678\r"), kComplete);
    EXPECT_EQ(p.info.strSerial, L"12345678");
    // "SN " may be the MCU ID's label: a "SERIAL " line may still come.
    EXPECT_EQ(p.Run(L"serial\r", L"SN 7\r\n"), kSettling);
    EXPECT_EQ(p.info.strSerial, L"12345678");
    EXPECT_EQ(p.Run(L"serial\r", L"SN 7\r\n", true), kComplete);
    EXPECT_EQ(p.info.strSerial, L"7");
    EXPECT_EQ(p.Run(L"serial\r", L"SN 0123ABCD\r\nSERIAL 87654321\r\n"), kComplete);
    EXPECT_EQ(p.info.strSerial, L"87654321");
    // A line left from an earlier reply is not the serial number when the
    // labelled line comes with it, nor ever an identity line.
    EXPECT_EQ(p.Run(L"serial\r", L"BUILD 2024-05-01\r\nSERIAL 7654321\r\n"), kComplete);
    EXPECT_EQ(p.info.strSerial, L"7654321");
    EXPECT_EQ(p.Run(L"serial\r", L"MCUID 0123ABCD\r\n", true), kIncomplete);
    EXPECT_EQ(p.Run(L"serial\r", L"VER 1.0.4\r\n", true), kIncomplete);
    // Another seven-character label, alone and quiet: the number after it.
    EXPECT_EQ(p.Run(L"serial\r", L"Serial:12345678 \r\n"), kSettling);
    EXPECT_EQ(p.Run(L"serial\r", L"Serial:12345678 \r\n", true), kComplete);
    EXPECT_EQ(p.info.strSerial, L"12345678");
    EXPECT_EQ(p.Run(L"serial\r", L"S/N:1\r\n", true), kComplete);
    EXPECT_EQ(p.info.strSerial, L"");
    EXPECT_EQ(p.Run(L"serial\r", L"SERIAL \r\n", true), kComplete);
    EXPECT_EQ(p.info.strSerial, L"");
    p.info.strSerial = L"x";
    EXPECT_EQ(p.Run(L"serial\r", L"ERROR\r\n"), kError);
    EXPECT_EQ(p.info.strSerial, L"");
}

TEST(ResponseParser, EraseAndCommitNeedExactReplies)
{
    Parsed p;
    EXPECT_EQ(p.Run(L"fe\r", L"FE OK\r\n"), kComplete);
    EXPECT_EQ(p.Run(L"fe\r", L"ERROR\r\n"), kError);
    EXPECT_EQ(p.Run(L"fe\r", L"\nFE OK\r\n"), kComplete); // the late LF of an earlier line
    EXPECT_EQ(p.Run(L"fe\r", L"FE OK\r\nx"), kIncomplete);
    EXPECT_EQ(p.Run(L"fe\r", L"FW OK\r\n"), kIncomplete);
    EXPECT_EQ(p.Run(L"fw\r", L"FW OK\r\n"), kComplete);
    EXPECT_EQ(p.Run(L"fw\r", L"ERROR\r\n"), kError);
    EXPECT_EQ(p.Run(L"fw\r", L"fw ok\r\n"), kIncomplete);
}

TEST(ResponseParser, SettingsReplyStoresEachFieldUnderItsOwnLabel)
{
    Parsed p;
    EXPECT_EQ(p.Run(L"get\r", GetReply()), kComplete);
    EXPECT_EQ(p.profiles[0], (WwanProfile{L"apn1", L"user1", L"pw1", L"pdp1", L"auth1"}));
    EXPECT_EQ(p.profiles[3], (WwanProfile{L"apn4", L"user4", L"pw4", L"pdp4", L"auth4"}));
    EXPECT_EQ(p.wifi, (WifiSettings{L"office", L"1", L"0", L"secret"}));

    // Blank lines and lone CRs or LFs between the lines change nothing.
    Parsed blank;
    EXPECT_EQ(blank.Run(L"get\r", L"\r\n\r\n" + GetReply(L"\r\n\n\r")), kComplete);
    EXPECT_EQ(blank.profiles, p.profiles);
    EXPECT_EQ(blank.wifi, p.wifi);

    // Whole lines ahead of the first label are left from an earlier reply:
    // passed over, logged, never a value.
    LogCapture log;
    Parsed passed;
    EXPECT_EQ(passed.Run(L"get\r", L"SERIAL 12345678\r\nGET w pw stale\r\n" + GetReply()), kComplete);
    EXPECT_EQ(passed.profiles, p.profiles);
    EXPECT_EQ(passed.wifi, p.wifi);
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::ParseRecvData passed over:[GET w pw stale]"));

    // From the first label on, each line must carry its own label at its
    // position. A foreign line between them, an "ERROR" line anywhere or a
    // line under another label make an error reply, and nothing is stored.
    Parsed shifted;
    std::wstring strBetween = GetReply();
    strBetween.insert(strBetween.find(L"GET 1 user"), L"SERIAL 12345678\r\n");
    std::wstring strSwapped = GetReply();
    strSwapped.replace(strSwapped.find(L"GET 1 auth"), 10, L"GET 1 pdp ");
    const std::wstring errorReplies[] = {strBetween, L"ERROR\r\n" + GetReply(), strSwapped};
    for (size_t i = 0; i < std::size(errorReplies); ++i)
        EXPECT_EQ(shifted.Run(L"get\r", errorReplies[i]), kError) << i;
    EXPECT_EQ(shifted.profiles, WwanProfiles{});
    EXPECT_EQ(shifted.wifi.strSsid, L"old ssid");

    // A value ending in "ERROR" is a value like any other.
    Parsed fatal;
    std::wstring strFatal = GetReply();
    strFatal.replace(strFatal.find(L"secret"), 6, L"MYFATALERROR");
    EXPECT_EQ(fatal.Run(L"get\r", strFatal), kComplete);
    EXPECT_EQ(fatal.wifi.strPassphrase, L"MYFATALERROR");
    EXPECT_EQ(fatal.profiles, p.profiles);

    // A line no longer than its label gives an empty value, kept as received.
    Parsed empty;
    std::wstring strReply = GetReply();
    strReply.replace(0, strReply.find(L"\r\n"), L"GET 1 apn ");
    EXPECT_EQ(empty.Run(L"get\r", strReply), kComplete);
    EXPECT_EQ(empty.profiles[0].strApn, L"");

    // A unit that trims trailing blanks sends the label alone; any other
    // shortening of a label stays an error reply.
    Parsed trimmed;
    std::wstring strTrimmed = GetReply();
    strTrimmed.replace(strTrimmed.find(L"GET 2 user user2"), 16, L"GET 2 user");
    EXPECT_EQ(trimmed.Run(L"get\r", strTrimmed), kComplete);
    EXPECT_EQ(trimmed.profiles[1].strUserName, L"");
    EXPECT_EQ(trimmed.profiles[1].strApn, L"apn2");
    Parsed cut;
    std::wstring strCut = GetReply();
    strCut.replace(strCut.find(L"GET 2 user user2"), 16, L"GET 2 use");
    EXPECT_EQ(cut.Run(L"get\r", strCut), kError);
    EXPECT_EQ(cut.profiles, WwanProfiles{});
}

TEST(ResponseParser, SettingsReplyInPiecesStoresNothingUntilComplete)
{
    Parsed p;
    const std::wstring strFull = GetReply();
    const WwanProfiles before = p.profiles;
    // Cut inside line 10, and inside the passphrase (the last line has no end yet).
    EXPECT_EQ(p.Run(L"get\r", strFull.substr(0, strFull.find(L"GET 2 pdp") + 5)), kIncomplete);
    EXPECT_EQ(p.Run(L"get\r", strFull.substr(0, strFull.size() - 4)), kIncomplete);
    EXPECT_EQ(p.profiles, before);
    EXPECT_EQ(p.wifi.strPassphrase, L"old pass");
    EXPECT_EQ(p.Run(L"get\r", strFull), kComplete);
    EXPECT_EQ(p.wifi.strPassphrase, L"secret");

    // An error reply, alone or after some settings lines, stores nothing.
    Parsed error;
    EXPECT_EQ(error.Run(L"get\r", L"ERROR\r\n"), kError);
    EXPECT_EQ(error.Run(L"get\r", strFull.substr(0, strFull.find(L"GET 2")) + L"ERROR\r\n"), kError);
    EXPECT_EQ(error.profiles, before);
    EXPECT_EQ(error.wifi.strSsid, L"old ssid");
}

TEST(ResponseParser, SetLineCompletesOnEchoIgnoringCaseOrOnError)
{
    Parsed p;
    const std::wstring strLine = L"set 1 apn internet\r";
    EXPECT_EQ(p.Run(strLine, L"set 1 apn internet\r\n"), kComplete);
    EXPECT_EQ(p.Run(strLine, L"SET 1 APN INTERNET\r\nmore"), kComplete);
    EXPECT_EQ(p.Run(strLine, L"ERROR\r\n"), kError);
    EXPECT_EQ(p.Run(strLine, L"noise\r\nERROR\r\n"), kError);
    EXPECT_EQ(p.Run(strLine, L"noise ERROR\r\n"), kIncomplete); // not an error reply, not the echo
    EXPECT_EQ(p.Run(strLine, L"\nset 1 apn internet\r\n"), kComplete);
    EXPECT_EQ(p.Run(strLine, L"OK\r\n"), kIncomplete);
    EXPECT_EQ(p.Run(strLine, L"set 1 apn intern"), kIncomplete);
    EXPECT_EQ(p.Run(strLine, L"set 1 apn internet\n"), kIncomplete); // the CR is part of the echo
    EXPECT_EQ(p.Run(L"set w pw \r", L"set w pw_\r\n"), kIncomplete);
    EXPECT_EQ(p.Run(L"set w pw MYFATALERROR\r", L"set w pw MYFATALERROR\r\n"), kComplete);
}

TEST(ResponseParser, TextWithoutKnownCommandIsIgnoredSilently)
{
    LogCapture log;
    Parsed p;
    EXPECT_EQ(p.Run(L"", L"FE OK\r\n"), kIncomplete);
    EXPECT_EQ(p.Run(L"ver", L"VER 1\r\n"), kIncomplete); // no carriage return: not the command
    EXPECT_EQ(p.Run(L"sett 1 apn x\r", L"ERROR\r\n"), kIncomplete);
    EXPECT_EQ(p.info.strVersion, L"VER old");
    EXPECT_TRUE(log.Lines().empty());
}
