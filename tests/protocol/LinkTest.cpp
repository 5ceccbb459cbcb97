// The link and the transactions over real pseudo-terminals. The test plays the
// unit on the master side; the session opens the slave by its path.
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/QVLSession.h"
#include "support/LogCapture.h"
#include "support/WaitFor.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The unit's end of a pseudo-terminal. Once started, it answers every command
// line the protocol knows, keeping the settings it is sent.
class FakeUnit {
public:
    FakeUnit()
    {
        // The slave keeps the driver's defaults (cooked, echoing, CR to NL)
        // as a freshly plugged tty has them: the session must set the line.
        EXPECT_EQ(openpty(&m_master, &m_slave, nullptr, nullptr, nullptr), 0);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        strPath = ptsname(m_master);
        const char* keys[] = {"apn", "user", "pw", "auth", "pdp"};
        for (int n = 1; n <= 4; ++n)
            for (const char* k : keys)
                m_fields.push_back({std::to_string(n) + " " + k, std::string(k) + std::to_string(n)});
        m_fields.insert(m_fields.end(), {{"w ssid", "office"}, {"w sec", "1"}, {"w pw_type", "0"}, {"w pw", "secret"}});
    }
    ~FakeUnit()
    {
        Unplug();
        close(m_slave);
    }

    void Start()
    {
        m_thread = std::thread([this] { Loop(); });
    }
    void Unplug()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }

    void Write(const std::string& strBytes)
    {
        for (size_t nDone = 0; nDone < strBytes.size();) {
            const ssize_t n = write(m_master, strBytes.data() + nDone, strBytes.size() - nDone);
            if (n > 0)
                nDone += static_cast<size_t>(n);
            else
                std::this_thread::sleep_for(1ms);
        }
    }
    // Everything the session wrote within the time.
    std::string ReadFor(std::chrono::milliseconds t)
    {
        std::string str;
        const auto end = Clock::now() + t;
        char buf[4096];
        while (Clock::now() < end) {
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n > 0)
                str.append(buf, static_cast<size_t>(n));
            else
                std::this_thread::sleep_for(2ms);
        }
        return str;
    }

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        return m_lines;
    }

    std::string strPath;
    int m_slave = -1;
    // Behaviour, set before Start.
    int nErrorAtSet = 0;           // this set line (1-based) is answered ERROR
    std::string strErrorOn;        // this command is answered ERROR
    std::string strSilentOn = "-"; // this command is not answered ("" for all)
    size_t nPiece = 0;             // replies go out in pieces of this size
    std::chrono::milliseconds delay{0};

private:
    std::string Reply(const std::string& strLine)
    {
        if (strSilentOn.empty() || strLine == strSilentOn)
            return {};
        if (strLine == strErrorOn)
            return "ERROR\r\n";
        if (strLine == "ver\r")
            return "VER 1.0.4\r\nMCUID 0123ABCD\r\n";
        if (strLine == "serial\r")
            return "SERIAL 12345678\r\n";
        if (strLine == "fe\r")
            return "FE OK\r\n";
        if (strLine == "fw\r")
            return "FW OK\r\n";
        if (strLine == "get\r") {
            std::string str;
            for (const auto& f : m_fields)
                str += "GET " + f.first + " " + f.second + "\r\n";
            return str;
        }
        if (strLine.compare(0, 4, "set ") == 0) {
            if (++m_nSets == nErrorAtSet)
                return "ERROR\r\n";
            const std::string strBody = strLine.substr(4, strLine.size() - 5);
            const size_t nKeyEnd = strBody.find(' ', strBody.find(' ') + 1);
            for (auto& f : m_fields)
                if (f.first == strBody.substr(0, nKeyEnd))
                    f.second = strBody.substr(nKeyEnd + 1);
            return strLine + "\n";
        }
        return "ERROR\r\n";
    }

    void Loop()
    {
        std::string strPending;
        while (!m_bStop) {
            pollfd pfd{m_master, POLLIN, 0};
            if (poll(&pfd, 1, 10) <= 0 || !(pfd.revents & POLLIN))
                continue;
            char buf[512];
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n <= 0)
                continue;
            strPending.append(buf, static_cast<size_t>(n));
            for (size_t nEnd; (nEnd = strPending.find('\r')) != std::string::npos;) {
                const std::string strLine = strPending.substr(0, nEnd + 1);
                strPending.erase(0, nEnd + 1);
                std::string strReply;
                {
                    std::lock_guard<std::mutex> lock(m_mtx);
                    m_lines.push_back(strLine);
                    strReply = Reply(strLine);
                }
                std::this_thread::sleep_for(delay);
                const size_t nStep = nPiece ? nPiece : strReply.size() + 1;
                for (size_t i = 0; i < strReply.size(); i += nStep) {
                    Write(strReply.substr(i, nStep));
                    if (nPiece)
                        std::this_thread::sleep_for(15ms);
                }
            }
        }
    }

    int m_master = -1;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mtx;
    std::vector<std::string> m_lines;
    std::vector<std::pair<std::string, std::string>> m_fields;
    int m_nSets = 0;
};

class TestSession : public CQVLSession {
public:
    ~TestSession() override { StopRecvThread(); }
    using CQVLSession::m_mtxPort;
    using CQVLSession::m_mtxShared;
    using CQVLSession::m_nCommandSeq;
    using CQVLSession::ReceiveChunk;
    using CQVLSession::RecordCommand;

    bool Connect(const std::string& strPath)
    {
        SetComPort(std::wstring(strPath.begin(), strPath.end()));
        return InitSerial() && StartRecvThread();
    }
    std::wstring Port() const { return ComPort(); }

    std::atomic<int> nPosts{0};

protected:
    void PostCloseQvlSerial() override { ++nPosts; }
};

std::wstring Wide(const std::string& str)
{
    return std::wstring(str.begin(), str.end());
}

} // namespace

TEST(SerialPort, OpensExclusivelyAndSetsTheLine)
{
    LogCapture log;
    FakeUnit unit;
    TestSession first, second, missing, notTty;
    // Beyond the cooked defaults, a driver may come with any of these on.
    termios tio{};
    ASSERT_EQ(tcgetattr(unit.m_slave, &tio), 0);
    tio.c_iflag |= INLCR | IGNCR | IXOFF | INPCK;
    tio.c_cflag |= CSTOPB;
    cfsetspeed(&tio, B115200);
    ASSERT_EQ(tcsetattr(unit.m_slave, TCSANOW, &tio), 0);

    first.SetComPort(Wide(unit.strPath));
    ASSERT_TRUE(first.InitSerial());

    // Read back from the slave: raw both ways, no CR/NL translation,
    // 9600 8N1, RTS/CTS, no XON/XOFF, modem lines ignored (CLOCAL).
    ASSERT_EQ(tcgetattr(unit.m_slave, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS | CLOCAL), static_cast<tcflag_t>(CRTSCTS | CLOCAL));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | INPCK), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    // We run as root in CI: the refusal must not rest on TIOCEXCL alone.
    second.SetComPort(Wide(unit.strPath));
    EXPECT_FALSE(second.InitSerial());
    EXPECT_EQ(second.LastError(), L"Device or resource busy");
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::InitSerial " + unit.strPath + " CreateFile Failure."));
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::InitSerial " + unit.strPath + " Device or resource busy"));

    missing.SetComPort(L"/dev/no-such-qvl-port");
    EXPECT_FALSE(missing.InitSerial());
    EXPECT_EQ(missing.LastError(), L"No such file or directory");

    char szFile[] = "/tmp/qvl-not-a-tty-XXXXXX";
    const int fdFile = mkstemp(szFile);
    notTty.SetComPort(Wide(szFile));
    EXPECT_FALSE(notTty.InitSerial());
    EXPECT_TRUE(log.Has("[error] CQVLUtilityDlg::InitSerial GetCommState Error."));
    close(fdFile);
    unlink(szFile);

    first.UninitSerial();
    first.UninitSerial();
    EXPECT_TRUE(second.InitSerial());
    second.UninitSerial();
}

// The exclusive-use flag is the terminal's: it stays after a close while the
// unit's end holds the terminal, and then refuses every opener but root.
TEST(SerialPort, ClosingGivesTheTerminalBackForTheNextOpen)
{
    LogCapture log;
    FakeUnit unit;
    auto exclusive = [&unit] {
        int nExcl = -1;
        EXPECT_EQ(ioctl(unit.m_slave, TIOCGEXCL, &nExcl), 0);
        return nExcl;
    };
    for (int nRun = 0; nRun < 4; ++nRun) {
        TestSession session, other;
        session.SetComPort(Wide(unit.strPath));
        ASSERT_TRUE(session.InitSerial()) << "open " << nRun + 1;
        EXPECT_EQ(exclusive(), 1);
        // A refused second opener leaves the holder's flag alone.
        other.SetComPort(Wide(unit.strPath));
        EXPECT_FALSE(other.InitSerial());
        EXPECT_EQ(exclusive(), 1);
        session.UninitSerial();
        EXPECT_EQ(exclusive(), 0) << "after close " << nRun + 1;
    }
    // The same through the receive thread, which closes the port itself.
    for (int nRun = 0; nRun < 3; ++nRun) {
        TestSession session;
        ASSERT_TRUE(session.Connect(unit.strPath)) << "connect " << nRun + 1;
        session.StopRecvThread();
        EXPECT_EQ(exclusive(), 0);
    }
}

TEST(SerialPort, WritesExactBytesAndRefusesWhatCannotGoOnTheWire)
{
    LogCapture log;
    FakeUnit unit;
    TestSession session;
    session.SetComPort(Wide(unit.strPath));
    ASSERT_TRUE(session.InitSerial());

    EXPECT_TRUE(session.SendData(L"get\r"));
    EXPECT_EQ(unit.ReadFor(100ms), std::string("\x67\x65\x74\x0D"));
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::SendData [get\r]"));

    log.Clear();
    EXPECT_FALSE(session.SendData(L""));
    EXPECT_FALSE(session.SendData(L"set w ssid caf\u00e9\r"));
    EXPECT_FALSE(session.SendData(L"set w ssid \U0001F600\r"));
    // A line end anywhere but at the end would split the line in two.
    EXPECT_FALSE(session.SendData(L"set 1 apn internet\rfe\r"));
    EXPECT_FALSE(session.SendData(L"set 1 apn a\nb\r"));
    EXPECT_FALSE(session.SendData(L"get\r\n"));
    EXPECT_EQ(unit.ReadFor(100ms), "");
    EXPECT_EQ(log.Count("[error] CQVLUtilityDlg::SendData"), 6u);

    // Nobody drains the line: the write gives up instead of hanging.
    const auto t0 = Clock::now();
    EXPECT_FALSE(session.SendData(std::wstring(256 << 10, L'x') + L"\r"));
    EXPECT_GT(SecondsSince(t0), 0.9);
    EXPECT_LT(SecondsSince(t0), 4.0);

    session.UninitSerial();
    EXPECT_FALSE(session.SendData(L"get\r"));
}

TEST(ReceiveThread, DropsInputPendingBeforeOpenAndWidensBytes)
{
    FakeUnit unit;
    unit.Write("VER stale\r\n");
    pollfd pfd{unit.m_slave, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 1000), 1); // the bytes wait in the slave's input

    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(session.GetRecvData(), L"");

    unit.Write(std::string("x\xE9\0y", 4));
    EXPECT_TRUE(WaitFor([&] { return session.GetRecvData() == L"x\u00E9y"; }));
}

TEST(ReceiveThread, KeepsOnlyTheNewestTextOfAnEndlessSender)
{
    FakeUnit unit;
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    std::string strSent;
    for (int i = 0; strSent.size() < 100000; ++i)
        strSent += std::to_string(i) + ",";
    unit.Write(strSent);
    const std::string strTail = strSent.substr(strSent.size() - CQVLSession::kMaxRecvChars);
    EXPECT_TRUE(WaitFor([&] { return session.GetRecvData() == Wide(strTail); }, 5000ms));
}

TEST(ReceiveThread, ChunkReadBeforeTheCommandWasRecordedIsNotItsReply)
{
    TestSession session;
    session.SetDeviceInfo(DeviceInfo{L"MCUID old", L"VER old", L"old"});
    // A read returns the late reply of an earlier "serial" just as the next
    // one is recorded.
    const unsigned long nSeqAtRead = session.m_nCommandSeq;
    session.RecordCommand(L"serial\r");
    session.ReceiveChunk("SERIAL 99999999\r\n", 17, nSeqAtRead);
    EXPECT_EQ(session.GetRecvData(), L"");
    session.ReceiveChunk("SERIAL 12345678\r\n", 17, session.m_nCommandSeq);
    EXPECT_EQ(session.GetDeviceInfo().strSerial, L"12345678");
}

TEST(ReceiveThread, StopEndsTheThreadAndFreesThePort)
{
    LogCapture log;
    FakeUnit unit;
    TestSession session, other;
    ASSERT_TRUE(session.Connect(unit.strPath));
    EXPECT_TRUE(session.IsRecvThreadRunning());
    session.StopRecvThread();
    session.StopRecvThread();
    EXPECT_FALSE(session.IsRecvThreadRunning());
    EXPECT_EQ(session.nPosts, 1);
    EXPECT_EQ(log.Count("CQVLUtilityDlg::UninitSerial"), 1u);
    other.SetComPort(Wide(unit.strPath));
    EXPECT_TRUE(other.InitSerial());
    other.UninitSerial();
}

TEST(Transactions, FullExchangeWithTheUnit)
{
    LogCapture log;
    FakeUnit unit;
    unit.Start();
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));

    ASSERT_TRUE(session.QueryQvlVer());
    EXPECT_TRUE(log.Has("[info] CQVLUtilityDlg::QueryQvlVer"));
    EXPECT_TRUE(log.Has("[info] QvlVersion:VER 1.0.4 QvlMcuID:MCUID 0123ABCD QvlSerial: 12345678"));

    ASSERT_TRUE(session.get_APN_WIFI_info());
    EXPECT_EQ(session.GetWwanProfile(2), (WwanProfile{L"apn3", L"user3", L"pw3", L"pdp3", L"auth3"}));
    EXPECT_EQ(session.GetWifiSettings(), (WifiSettings{L"office", L"1", L"0", L"secret"}));

    session.SetWwanProfile(0, WwanProfile{L"internet", L"", L"p w", L"-1", L"2"});
    session.SetWifiSettings(WifiSettings{L"home net", L"0", L"1", L"pass"});
    ASSERT_TRUE(session.set_APN_WIFI_info());
    ASSERT_TRUE(session.fw_APN_WIFI_info());
    ASSERT_TRUE(session.fe_APN_WIFI_info());

    const auto lines = unit.Lines();
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_EQ(lines[0], "ver\r");
    EXPECT_EQ(lines[1], "serial\r");
    EXPECT_EQ(lines[2], "get\r");
    const std::vector<std::string> first5(lines.begin() + 3, lines.begin() + 8);
    EXPECT_EQ(first5,
              (std::vector<std::string>{"set 1 apn internet\r", "set 1 user \r", "set 1 pw p w\r", "set 1 auth 2\r",
                                        "set 1 pdp -1\r"}));
    EXPECT_EQ(lines[8], "set 2 apn apn2\r");
    EXPECT_EQ(lines[22], "set 4 pdp pdp4\r");
    EXPECT_EQ(lines[23], "set w ssid home net\r");
    EXPECT_EQ(lines[26], "set w pw pass\r");
    EXPECT_EQ(lines[27], "fw\r");
    EXPECT_EQ(lines[28], "fe\r");
    EXPECT_TRUE(log.Has("[info] Write WWAN 1 username "));
    EXPECT_TRUE(log.Has("[info] Write WWAN 1 Auth 2"));
    EXPECT_TRUE(log.Has("[info] Write WiFi key_fmt 1"));
    EXPECT_TRUE(log.Has("[info] Write WiFi passphrase pass"));

    // What the unit now holds comes back unchanged.
    session.SetWifiSettings(WifiSettings{});
    ASSERT_TRUE(session.get_APN_WIFI_info());
    EXPECT_EQ(session.GetWwanProfile(0), (WwanProfile{L"internet", L"", L"p w", L"-1", L"2"}));
    EXPECT_EQ(session.GetWifiSettings(), (WifiSettings{L"home net", L"0", L"1", L"pass"}));
}

TEST(Transactions, ErrorRepliesFailWithTheirTexts)
{
    LogCapture log;
    FakeUnit unit;
    unit.nErrorAtSet = 7;
    unit.strErrorOn = "fw\r";
    unit.Start();
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    const std::wstring strPort = Wide(unit.strPath);

    const Status set = session.set_APN_WIFI_info();
    EXPECT_EQ(set.Text(), strPort + L" Write Error.");
    EXPECT_TRUE(set.Is(FailureKind::InvalidData));
    EXPECT_EQ(session.GetSendData(), L"set 2 user \r");
    EXPECT_EQ(unit.Lines().size(), 7u);
    EXPECT_TRUE(log.Has("[error] CQVLUtilityDlg::set_APN_WIFI_info " + unit.strPath + " Write Error."));

    const Status committed = session.fw_APN_WIFI_info("CQVLUtilityDlg::OnBnClickedWrite");
    EXPECT_EQ(committed.Text(), strPort + L" Write Error.");
    EXPECT_TRUE(committed.Is(FailureKind::InvalidData));
    EXPECT_TRUE(log.Has("[error] CQVLUtilityDlg::OnBnClickedWrite " + unit.strPath + " Write Error."));
}

TEST(Transactions, ErrorReplyToReadAndErase)
{
    FakeUnit unit;
    unit.strErrorOn = "get\r";
    unit.Start();
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    session.SetWifiSettings(WifiSettings{L"kept", L"", L"", L""});
    const Status read = session.get_APN_WIFI_info();
    EXPECT_EQ(read.Text(), Wide(unit.strPath) + L" Reload Error.");
    EXPECT_TRUE(read.Is(FailureKind::InvalidData));
    EXPECT_EQ(session.GetWifiSettings().strSsid, L"kept");

    FakeUnit eraseUnit;
    eraseUnit.strErrorOn = "fe\r";
    eraseUnit.Start();
    TestSession eraseSession;
    ASSERT_TRUE(eraseSession.Connect(eraseUnit.strPath));
    const Status erased = eraseSession.fe_APN_WIFI_info();
    EXPECT_EQ(erased.Text(), Wide(eraseUnit.strPath) + L" Erase Error.");
    EXPECT_TRUE(erased.Is(FailureKind::InvalidData));
}

TEST(Transactions, RepliesArrivingInPieces)
{
    FakeUnit unit;
    unit.nPiece = 7;
    unit.Start();
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    ASSERT_TRUE(session.QueryQvlVer());
    EXPECT_EQ(session.GetDeviceInfo().strMcuId, L"MCUID 0123ABCD");
    EXPECT_EQ(session.GetDeviceInfo().strSerial, L"12345678");
    ASSERT_TRUE(session.get_APN_WIFI_info());
    EXPECT_EQ(session.GetWwanProfile(3).strPdpType, L"pdp4");
    EXPECT_EQ(session.GetWifiSettings().strPassphrase, L"secret");
}

TEST(Transactions, SignalBeforeTheWaitIsKept)
{
    FakeUnit unit;
    TestSession session;
    session.SetReplyTimeout(3000ms);
    ASSERT_TRUE(session.Connect(unit.strPath));

    // Hold the write back until the reply has been parsed and signalled.
    std::unique_lock<std::mutex> hold(session.m_mtxPort);
    TxStatus status = TxStatus::WriteFailed;
    Clock::time_point tSent;
    std::thread ui([&] { status = session.Transact(L"fe\r"); });
    ASSERT_TRUE(WaitFor([&] { return session.GetSendData() == L"fe\r"; }));
    unit.Write("FE OK\r\n");
    ASSERT_TRUE(WaitFor([&] { return session.GetRecvData() == L"FE OK\r\n"; }));
    // The receive thread parses a chunk before it reads the next: once a
    // second one is in, the reply has been parsed and signalled.
    unit.Write("\n");
    ASSERT_TRUE(WaitFor([&] { return session.GetRecvData() == L"FE OK\r\n\n"; }));
    tSent = Clock::now();
    hold.unlock();
    ui.join();
    EXPECT_EQ(status, TxStatus::Ok);
    EXPECT_LT(SecondsSince(tSent), 1.0);
}

TEST(Transactions, LateReplyOfEarlierCommandDoesNotEndTheNextWait)
{
    FakeUnit unit; // played by hand: nothing answers unless the test writes
    TestSession session;
    session.SetReplyTimeout(300ms);
    ASSERT_TRUE(session.Connect(unit.strPath));

    EXPECT_EQ(session.Transact(L"fe\r"), TxStatus::Timeout);
    // The erase's reply comes while the commit waits for its own.
    TxStatus status = TxStatus::Ok;
    double dWaited = 0;
    std::thread ui([&] {
        const auto t0 = Clock::now();
        status = session.Transact(L"fw\r");
        dWaited = SecondsSince(t0);
    });
    EXPECT_TRUE(WaitFor([&] { return session.GetSendData() == L"fw\r"; })); // (the thread is joined either way)
    unit.Write("FE OK\r\n");
    ui.join();
    EXPECT_EQ(status, TxStatus::Timeout);
    EXPECT_GT(dWaited, 0.28);
}

TEST(Transactions, LineLeftHalfWrittenIsEndedBeforeTheNextCommand)
{
    LogCapture log;
    FakeUnit unit; // not reading yet: the line stalls part-way
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    EXPECT_FALSE(session.SendData(std::wstring(256 << 10, L'x') + L"\r"));

    unit.Start();
    EXPECT_EQ(session.Transact(L"fe\r"), TxStatus::Ok);
    const auto lines = unit.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].back(), '\r'); // the fragment, ended on its own
    EXPECT_EQ(lines[0].find_first_not_of('x'), lines[0].size() - 1);
    EXPECT_EQ(lines[1], "fe\r");
}

TEST(Transactions, SilentUnitFailsAfterFiveSeconds)
{
    LogCapture log;
    FakeUnit unit;
    unit.strSilentOn = "";
    unit.Start();
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));
    const auto t0 = Clock::now();
    EXPECT_FALSE(session.QueryQvlVer());
    EXPECT_GT(SecondsSince(t0), 4.9);
    EXPECT_LT(SecondsSince(t0), 6.5);
    EXPECT_TRUE(log.Has("[error] CQVLUtilityDlg::QueryQvlVer " + unit.strPath + " Timeout Error."));
    EXPECT_EQ(unit.Lines(), std::vector<std::string>{"ver\r"});
}

TEST(Transactions, UnplugDuringWaitFailsAtOnce)
{
    LogCapture log;
    FakeUnit unit;
    unit.strSilentOn = "";
    unit.Start();
    TestSession session;
    ASSERT_TRUE(session.Connect(unit.strPath));

    std::thread unplug([&] {
        std::this_thread::sleep_for(200ms);
        unit.Unplug();
    });
    const auto t0 = Clock::now();
    const Status read = session.get_APN_WIFI_info();
    EXPECT_LT(SecondsSince(t0), 1.0);
    unplug.join();
    EXPECT_EQ(read.Text(), Wide(unit.strPath) + L" Disconnected.");
    EXPECT_TRUE(read.Is(FailureKind::NotFound));
    EXPECT_TRUE(log.Has("[error] CQVLUtilityDlg::get_APN_WIFI_info " + unit.strPath + " Disconnected."));
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::RecvThreadTerminate"));
    EXPECT_TRUE(log.Has("[debug] CQVLUtilityDlg::UninitSerial"));
    EXPECT_FALSE(session.IsRecvThreadRunning());

    // The port is gone: the next command cannot be written.
    const Status erased = session.fe_APN_WIFI_info();
    EXPECT_EQ(erased.Text(), Wide(unit.strPath) + L" Write Error.");
    EXPECT_TRUE(erased.Is(FailureKind::IoError));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(session.nPosts, 1);
}

TEST(Transactions, LateReplyWaitingInThePortIsNeverTheNextReply)
{
    // The unit answers "ver" only after the time-out, just as the next
    // exchange starts: its reply is still in the port's input when the
    // command is recorded, and must not complete that command.
    FakeUnit unit;
    unit.strSilentOn = "ver\r";
    unit.Start();
    TestSession session;
    session.SetReplyTimeout(300ms);
    ASSERT_TRUE(session.Connect(unit.strPath));
    session.SetDeviceInfo(DeviceInfo{L"MCUID old", L"VER old", L""});
    EXPECT_EQ(session.Transact(L"ver\r"), TxStatus::Timeout);

    // Hold the receive thread on one byte, so what follows stays unread.
    std::unique_lock<std::mutex> hold(session.m_mtxShared);
    unit.Write("x");
    std::this_thread::sleep_for(150ms);
    unit.Write("VER 9.9.9\r\nMCUID 99999999\r\n");
    std::this_thread::sleep_for(50ms);
    TxStatus status = TxStatus::Ok;
    std::thread ui([&] { status = session.Transact(L"ver\r"); });
    std::this_thread::sleep_for(150ms); // the transaction is at its start, waiting for the lock
    hold.unlock();
    ui.join();
    EXPECT_EQ(status, TxStatus::Timeout);
    EXPECT_EQ(session.GetDeviceInfo().strVersion, L"VER old");
    EXPECT_EQ(session.GetDeviceInfo().strMcuId, L"MCUID old");
}
