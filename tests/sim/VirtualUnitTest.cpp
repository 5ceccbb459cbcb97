// The virtual unit over its pseudo-terminal, driven from a raw client
// descriptor on the slave side as the utility would drive it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "sim/VirtualUnit.h"
#include "support/BuildPaths.h"
#include "support/FileBytes.h"

using namespace std::chrono;

namespace {

int OpenClient(const std::string& strPath)
{
    const int fd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// Reads until the text ends with strEnd, or until nothing more came for
// nIdleMs (strEnd empty: always the latter).
std::string Read(int fd, const std::string& strEnd = "", int nIdleMs = 1000)
{
    std::string strText;
    while (strEnd.empty() || strText.size() < strEnd.size()
           || strText.compare(strText.size() - strEnd.size(), strEnd.size(), strEnd) != 0) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, nIdleMs) <= 0 || !(p.revents & POLLIN))
            break;
        char buf[512];
        const ssize_t n = read(fd, buf, sizeof(buf));
        if (n <= 0)
            break;
        strText.append(buf, static_cast<size_t>(n));
    }
    return strText;
}

void Send(int fd, const std::string& strBytes)
{
    EXPECT_EQ(static_cast<ssize_t>(strBytes.size()), write(fd, strBytes.data(), strBytes.size()));
}

std::string TempPath(const char* pszName)
{
    return "/tmp/qvl-sim-" + std::to_string(getpid()) + "-" + pszName;
}

class UnitTest : public ::testing::Test {
protected:
    void Open(VirtualUnitOptions options = {})
    {
        options.nLineIdleMs = 150;
        m_pUnit = std::make_unique<VirtualUnit>(options);
        std::string strError;
        ASSERT_TRUE(m_pUnit->Start(&strError)) << strError;
        m_fd = OpenClient(m_pUnit->PortPath());
        ASSERT_GE(m_fd, 0);
    }
    void TearDown() override
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    // Sends a line and returns the reply (complete when it ends in "\r\n").
    std::string Ask(const std::string& strLine, int nIdleMs = 1000)
    {
        Send(m_fd, strLine);
        return Read(m_fd, "\r\n", nIdleMs);
    }
    std::string Accepted(const std::string& strLine) { return strLine + "\n"; }

    std::unique_ptr<VirtualUnit> m_pUnit;
    int m_fd = -1;
};

std::string GetReply(const UnitSettings& s)
{
    std::string str;
    for (int n = 0; n < 4; ++n) {
        const WwanProfile& p = s.wwan[static_cast<size_t>(n)];
        const std::string strN = std::to_string(n + 1);
        for (auto [pszName, pField] : {std::pair{" apn ", &p.strApn},
                                       {" user ", &p.strUserName},
                                       {" pw ", &p.strPassword},
                                       {" auth ", &p.strAuthType},
                                       {" pdp ", &p.strPdpType}})
            str += "GET " + strN + pszName + std::string(pField->begin(), pField->end()) + "\r\n";
    }
    const WifiSettings& w = s.wifi;
    for (auto [pszName, pField] : {std::pair{"ssid ", &w.strSsid},
                                   {"sec ", &w.strSecurity},
                                   {"pw_type ", &w.strKeyFormat},
                                   {"pw ", &w.strPassphrase}})
        str += std::string("GET w ") + pszName + std::string(pField->begin(), pField->end()) + "\r\n";
    return str;
}

} // namespace

TEST_F(UnitTest, AnswersEveryCommandAndRecordsWhatItReceived)
{
    VirtualUnitOptions options;
    options.settings = FactoryUnitSettings();
    options.settings.wwan[0].strApn = L"internet";
    options.settings.wifi.strPassphrase = L"caf\u00e9 secret"; // held as bytes: E9 on the wire
    Open(options);
    EXPECT_EQ(0u, m_pUnit->PortPath().find("/dev/pts/"));

    Send(m_fd, "ver\r");
    EXPECT_EQ("VER 1.0.4\r\nMCUID 0123ABCD\r\n", Read(m_fd, "MCUID 0123ABCD\r\n"));
    EXPECT_EQ("SERIAL 12345678\r\n", Ask("serial\r"));
    Send(m_fd, "get\r");
    EXPECT_EQ(GetReply(options.settings), Read(m_fd, "GET w pw caf\xE9 secret\r\n"));
    EXPECT_EQ("ERROR\r\n", Ask("VER\r"));
    EXPECT_EQ("ERROR\r\n", Ask("\r"));
    EXPECT_EQ("ERROR\r\n", Ask("garbage without end", 1000)); // answered once it stays unended
    // "\n" right after "\r" is ignored; two lines in one write get two replies.
    Send(m_fd, "serial\r\nserial\r");
    EXPECT_EQ("SERIAL 12345678\r\nSERIAL 12345678\r\n", Read(m_fd, "SERIAL 12345678\r\nSERIAL 12345678\r\n"));
    EXPECT_EQ((std::vector<std::string>{"ver\r", "serial\r", "get\r", "VER\r", "\r", "garbage without end", "serial\r",
                                        "serial\r"}),
              m_pUnit->ReceivedLines());
    EXPECT_EQ("ver\rserial\rget\rVER\r\rgarbage without endserial\r\nserial\r", m_pUnit->ReceivedBytes());
    m_pUnit->ClearReceived();
    EXPECT_TRUE(m_pUnit->ReceivedLines().empty());
    EXPECT_TRUE(m_pUnit->ReceivedBytes().empty());
}

TEST_F(UnitTest, SetLinesRoundTripThroughGetAndAreStoredOnlyByFw)
{
    Open();
    UnitSettings expected = FactoryUnitSettings();
    m_pUnit->SetSettings(expected);
    const std::string strHex(64, 'a');
    const char* apszLines[] = {"set 1 apn internet\r", "set 1 user guest\r", "set 1 pw s3cr3t\r",
                               "set 1 auth 2\r",       "set 1 pdp 1\r",      "set 4 apn \r",
                               "set w ssid office\r",  "set w sec 1\r",      "set w pw_type 1\r"};
    for (const char* pszLine : apszLines)
        EXPECT_EQ(Accepted(pszLine), Ask(pszLine)) << pszLine;
    EXPECT_EQ(Accepted("set w pw " + strHex + "\r"), Ask("set w pw " + strHex + "\r"));
    expected.wwan[0] = {L"internet", L"guest", L"s3cr3t", L"1", L"2"};
    expected.wifi = {L"office", L"1", L"1", std::wstring(64, L'a')};

    Send(m_fd, "get\r");
    EXPECT_EQ(GetReply(expected), Read(m_fd, "GET w pw " + strHex + "\r\n"));
    EXPECT_EQ(expected.wwan, m_pUnit->Settings().wwan);
    EXPECT_EQ(FactoryUnitSettings().wwan, m_pUnit->CommittedSettings().wwan);
    EXPECT_EQ("FW OK\r\n", Ask("fw\r"));
    EXPECT_EQ(expected.wifi, m_pUnit->CommittedSettings().wifi);

    EXPECT_EQ("FE OK\r\n", Ask("fe\r"));
    EXPECT_EQ(FactoryUnitSettings().wwan, m_pUnit->Settings().wwan);
    EXPECT_EQ(FactoryUnitSettings().wifi, m_pUnit->CommittedSettings().wifi);
}

TEST_F(UnitTest, RefusesUnknownFieldsIndexesOutsideTheListsAndValuesBeyondTheLimits)
{
    Open();
    m_pUnit->SetSettings(FactoryUnitSettings()); // key format ASCII
    const std::string s32(32, 'x'), s33(33, 'x');
    const char* apszRefused[] = {"set 5 apn x\r",      "set 0 apn x\r",      "set W ssid x\r",  "set 1 ssid x\r",
                                 "set w apn x\r",      "set 1 auth 3\r",     "set 1 pdp -1\r",  "set w sec 2\r",
                                 "set w pw_type -1\r", "set 1 auth \r",      "set 1 auth 01\r", "set 1 apn\r",
                                 "SET 1 apn x\r",      "set w pw 1234567\r", "set 1 apn a\nb\r"};
    for (const char* pszLine : apszRefused)
        EXPECT_EQ("ERROR\r\n", Ask(pszLine)) << pszLine;
    for (const char* pszField : {"1 apn ", "2 user ", "3 pw ", "w ssid "}) {
        EXPECT_EQ(Accepted("set " + std::string(pszField) + s32 + "\r"),
                  Ask("set " + std::string(pszField) + s32 + "\r"));
        EXPECT_EQ("ERROR\r\n", Ask("set " + std::string(pszField) + s33 + "\r")) << pszField;
    }
    // Passphrase: 8..63 characters in ASCII format, 64 hex digits otherwise, or empty.
    for (size_t nLen : {8u, 63u})
        EXPECT_EQ(Accepted("set w pw " + std::string(nLen, 'p') + "\r"),
                  Ask("set w pw " + std::string(nLen, 'p') + "\r"));
    EXPECT_EQ("ERROR\r\n", Ask("set w pw " + std::string(64, 'a') + "\r"));
    EXPECT_EQ(Accepted("set w pw_type 1\r"), Ask("set w pw_type 1\r"));
    EXPECT_EQ("ERROR\r\n", Ask("set w pw " + std::string(63, 'a') + "\r"));
    EXPECT_EQ("ERROR\r\n", Ask("set w pw " + std::string(63, 'a') + "g\r"));
    EXPECT_EQ(Accepted("set w pw 0123456789abcdefABCDEF" + std::string(42, '0') + "\r"),
              Ask("set w pw 0123456789abcdefABCDEF" + std::string(42, '0') + "\r"));
    EXPECT_EQ(Accepted("set w pw \r"), Ask("set w pw \r"));

    // Refused lines changed nothing.
    const UnitSettings s = m_pUnit->Settings();
    EXPECT_EQ(std::wstring(32, L'x'), s.wwan[0].strApn);
    EXPECT_EQ(L"0", s.wwan[0].strAuthType);
    EXPECT_EQ(L"0", s.wwan[0].strPdpType);
    EXPECT_EQ(L"0", s.wifi.strSecurity);
    EXPECT_EQ(L"", s.wifi.strPassphrase);

    // An endless line is refused once, and the next line is served normally.
    EXPECT_EQ("ERROR\r\n", Ask(std::string(3000, 'z') + "\r"));
    EXPECT_EQ("", Read(m_fd, "", 300));
    EXPECT_EQ("SERIAL 12345678\r\n", Ask("serial\r"));
}

TEST_F(UnitTest, FaultsCanBeSwitchedOnAndOff)
{
    Open();
    VirtualUnitFaults faults;
    faults.nErrorOnSetLine = 2;
    faults.strErrorOnCommand = "fw\r";
    faults.strSilentOnCommand = "set 3";
    m_pUnit->SetFaults(faults);
    EXPECT_EQ(Accepted("set 1 apn a\r"), Ask("set 1 apn a\r"));
    EXPECT_EQ("ERROR\r\n", Ask("set 1 apn b\r"));
    EXPECT_EQ(Accepted("set 1 apn c\r"), Ask("set 1 apn c\r"));
    EXPECT_EQ("", Ask("set 3 apn x\r", 300)); // silent, and not applied
    EXPECT_EQ(L"", m_pUnit->Settings().wwan[2].strApn);
    EXPECT_EQ("ERROR\r\n", Ask("fw\r"));
    EXPECT_EQ(L"", m_pUnit->CommittedSettings().wwan[0].strApn);

    faults = {};
    faults.strSilentOnCommand = "get\r";
    faults.strNoise = "\r\n#noise#";
    faults.nChunkSize = 4;
    faults.nChunkPauseMs = 40;
    m_pUnit->SetFaults(faults);
    EXPECT_EQ("", Ask("get\r", 300));
    const auto start = steady_clock::now();
    Send(m_fd, "serial\r");
    std::string strReply;
    int nPieces = 0;
    for (int i = 0; i < 200 && strReply.size() < 26; ++i) {
        const std::string strPiece = Read(m_fd, "", 10); // what came until a short silence
        nPieces += strPiece.empty() ? 0 : 1;
        strReply += strPiece;
    }
    EXPECT_EQ("\r\n#noise#SERIAL 12345678\r\n", strReply);
    EXPECT_GT(nPieces, 2);
    EXPECT_GE(steady_clock::now() - start, milliseconds(6 * 40)); // 7 pieces, 6 pauses

    m_pUnit->SetFaults({});
    EXPECT_EQ("FW OK\r\n", Ask("fw\r"));
    EXPECT_EQ(L"c", m_pUnit->CommittedSettings().wwan[0].strApn);
}

// The splits the reply tests rely on: each line of a reply in a write of its
// own, the pause between them; every line feed alone and late.
TEST_F(UnitTest, RepliesGoOutOneLinePerPacketOrWithLateLineFeeds)
{
    Open();
    VirtualUnitFaults faults;
    faults.bPacketPerLine = true;
    faults.nChunkPauseMs = 200;
    m_pUnit->SetFaults(faults);
    auto start = steady_clock::now();
    EXPECT_EQ(Ask("ver\r", 2000), "VER 1.0.4\r\n"); // the first line's write alone
    EXPECT_EQ(Read(m_fd, "\r\n", 2000), "MCUID 0123ABCD\r\n");
    EXPECT_GE(steady_clock::now() - start, milliseconds(200));

    faults = {};
    faults.nLateLfMs = 200;
    m_pUnit->SetFaults(faults);
    start = steady_clock::now();
    Send(m_fd, "serial\r");
    EXPECT_EQ(Read(m_fd, "\r", 2000), "SERIAL 12345678\r");
    EXPECT_EQ(Read(m_fd, "\n", 2000), "\n");
    EXPECT_GE(steady_clock::now() - start, milliseconds(200));
}

TEST_F(UnitTest, UnplugHangsUpTheClientAndPlugReturnsAtTheSameLinkPath)
{
    VirtualUnitOptions options;
    options.strLinkPath = TempPath("link");
    Open(options);
    EXPECT_EQ(options.strLinkPath, m_pUnit->PortPath());
    EXPECT_TRUE(m_pUnit->Plug()); // already plugged: nothing changes
    EXPECT_EQ("SERIAL 12345678\r\n", Ask("serial\r"));

    m_pUnit->Unplug();
    EXPECT_FALSE(m_pUnit->IsPlugged());
    pollfd p = {m_fd, POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 1000));
    EXPECT_TRUE(p.revents & POLLHUP);
    char c;
    EXPECT_GE(0, read(m_fd, &c, 1));
    struct stat st { };
    EXPECT_NE(0, lstat(options.strLinkPath.c_str(), &st)); // gone like a device node
    m_pUnit->Unplug();                                     // twice is harmless

    ASSERT_TRUE(m_pUnit->Plug());
    EXPECT_TRUE(m_pUnit->IsPlugged());
    close(m_fd);
    m_fd = OpenClient(options.strLinkPath);
    ASSERT_GE(m_fd, 0);
    EXPECT_EQ("SERIAL 12345678\r\n", Ask("serial\r"));

    m_pUnit->Stop();
    EXPECT_NE(0, lstat(options.strLinkPath.c_str(), &st));
    EXPECT_FALSE(m_pUnit->Plug()); // not started
}

TEST_F(UnitTest, StateFilePersistsStoredSettingsAndForeignFilesAreNeverOverwritten)
{
    VirtualUnitOptions options;
    options.strStateFile = TempPath("state");
    options.settings = FactoryUnitSettings();
    options.settings.wwan[1].strApn = L"initial";
    Open(options);
    // A link planted where a fixed temporary name would be is not followed.
    const std::string strPlanted = options.strStateFile + ".tmp";
    ASSERT_EQ(0, symlink(TempPath("victim").c_str(), strPlanted.c_str()));
    EXPECT_EQ(Accepted("set 1 apn 50%\t\xE9\r"), Ask("set 1 apn 50%\t\xE9\r"));
    EXPECT_EQ("FW OK\r\n", Ask("fw\r"));
    struct stat st { };
    EXPECT_NE(0, lstat(TempPath("victim").c_str(), &st));
    unlink(strPlanted.c_str());
    close(m_fd);
    m_fd = -1;
    m_pUnit.reset();

    options.settings = FactoryUnitSettings(); // the file wins over these
    Open(options);
    EXPECT_EQ(L"50%\t\u00e9", m_pUnit->Settings().wwan[0].strApn);
    EXPECT_EQ(L"initial", m_pUnit->CommittedSettings().wwan[1].strApn);

    // A store that fails is reported, and nothing counts as stored.
    const std::string strDir = TempPath("dir");
    mkdir(strDir.c_str(), 0755);
    m_pUnit->Stop();
    close(m_fd);
    options.strStateFile = strDir + "/missing/state";
    Open(options);
    EXPECT_EQ(Accepted("set 2 apn new\r"), Ask("set 2 apn new\r"));
    EXPECT_EQ("ERROR\r\n", Ask("fw\r"));
    EXPECT_EQ("ERROR\r\n", Ask("fe\r"));
    EXPECT_EQ(L"new", m_pUnit->Settings().wwan[1].strApn);
    EXPECT_EQ(L"", m_pUnit->CommittedSettings().wwan[1].strApn);

    const std::string strForeign = strDir + "/notes.txt";
    std::ofstream(strForeign) << "my notes\n";
    VirtualUnitOptions foreignOptions;
    foreignOptions.strStateFile = strForeign;
    VirtualUnit foreign(foreignOptions);
    std::string strError;
    EXPECT_FALSE(foreign.Start(&strError));
    EXPECT_NE(std::string::npos, strError.find("not a state file"));
    foreignOptions.strStateFile.clear();
    foreignOptions.strLinkPath = strForeign; // a file is no link to replace
    VirtualUnit foreignLink(foreignOptions);
    EXPECT_FALSE(foreignLink.Start(&strError));
    EXPECT_EQ("my notes\n", ReadBytes(strForeign));
    std::system(("rm -rf '" + strDir + "' '" + TempPath("state") + "'").c_str());
}

// The state file holds the passwords: private whatever the umask, also when
// an earlier one was left readable.
TEST_F(UnitTest, StateFileIsPrivate)
{
    const mode_t nOldMask = umask(022);
    VirtualUnitOptions options;
    options.strStateFile = TempPath("private-state");
    auto mode = [&options] {
        struct stat st { };
        EXPECT_EQ(0, stat(options.strStateFile.c_str(), &st));
        return st.st_mode & 07777;
    };
    Open(options);
    EXPECT_EQ("FW OK\r\n", Ask("fw\r"));
    EXPECT_EQ(0600u, mode());
    ASSERT_EQ(0, chmod(options.strStateFile.c_str(), 0644));
    EXPECT_EQ("FE OK\r\n", Ask("fe\r"));
    EXPECT_EQ(0600u, mode());

    ASSERT_EQ(0, chmod(options.strStateFile.c_str(), 0664));
    m_pUnit->Stop();
    close(m_fd);
    Open(options);
    EXPECT_EQ(0600u, mode()) << "a readable state file is made private when it is loaded";
    umask(nOldMask);
    unlink(options.strStateFile.c_str());
}

TEST_F(UnitTest, ApiIsSafeWhileTheUnitServes)
{
    Open();
    std::atomic<bool> bDone{false};
    std::thread reader([&] {
        while (!bDone) {
            (void)m_pUnit->Settings();
            (void)m_pUnit->ReceivedLines();
            m_pUnit->SetFaults({});
            (void)m_pUnit->IsPlugged();
        }
    });
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(Accepted("set 1 user u" + std::to_string(i) + "\r"), Ask("set 1 user u" + std::to_string(i) + "\r"));
    bDone = true;
    reader.join();
    EXPECT_EQ(50u, m_pUnit->ReceivedLines().size());
}

TEST(UnitSimProgram, ServesAtItsLinkTakesFaultOptionsAndQuitsAtEndOfInput)
{
    const std::string strLink = TempPath("prog-link");
    const std::string strCommand = std::string(QVL_UNIT_SIM_PATH) + " --link=" + strLink
        + " --init=1.apn=internet --serial=87654321 --error-on='fw\\r'";
    int fdIn[2];
    ASSERT_EQ(0, pipe(fdIn));
    FILE* pOut = nullptr;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fdIn[0], STDIN_FILENO);
        close(fdIn[1]);
        execl("/bin/sh", "sh", "-c", (strCommand + " > " + strLink + ".out").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fdIn[0]);
    for (int i = 0; i < 100 && access(strLink.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(milliseconds(20));
    const int fd = OpenClient(strLink);
    ASSERT_GE(fd, 0);
    Send(fd, "serial\r");
    EXPECT_EQ("SERIAL 87654321\r\n", Read(fd, "\r\n"));
    Send(fd, "fw\r");
    EXPECT_EQ("ERROR\r\n", Read(fd, "\r\n"));
    Send(fd, "get\r");
    EXPECT_EQ("GET 1 apn internet\r\n", Read(fd, "GET w pw \r\n").substr(0, 20));

    ASSERT_EQ(7, write(fdIn[1], "unplug\n", 7));
    pollfd p = {fd, POLLIN, 0};
    EXPECT_EQ(1, poll(&p, 1, 2000));
    EXPECT_TRUE(p.revents & POLLHUP);
    close(fd);
    close(fdIn[1]); // end of input quits
    int nStatus = -1;
    EXPECT_EQ(pid, waitpid(pid, &nStatus, 0));
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    pOut = fopen((strLink + ".out").c_str(), "r");
    ASSERT_NE(nullptr, pOut);
    char szLine[256] = {};
    EXPECT_NE(nullptr, fgets(szLine, sizeof(szLine), pOut));
    EXPECT_EQ(strLink + "\n", std::string(szLine));
    fclose(pOut);
    unlink((strLink + ".out").c_str());
    EXPECT_NE(0, access(strLink.c_str(), F_OK));
}
