#include "sim/VirtualUnit.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/TextUtil.h"
#include "presets/FileAccess.h"
#include "protocol/WireFields.h"

namespace {

constexpr size_t kMaxLineBytes = 1024; // a longer line is refused
constexpr size_t kMaxTextBytes = 32;   // apn, user, pw, ssid
constexpr int kWriteStallMs = 1000;    // give up a reply nobody reads
constexpr const char* kErrorReply = "ERROR\r\n";
constexpr const char* kStateHeader = "QVL-UNIT-STATE 1";

enum class FieldKind { Text, Index, Passphrase };

// What the unit accepts for a field.
FieldKind KindOf(const WireField& f)
{
    if (f.IsIndex())
        return FieldKind::Index;
    if (f.pWifi == &WifiSettings::strPassphrase)
        return FieldKind::Passphrase;
    return FieldKind::Text;
}

// The unit's bytes for a held text: one byte per character; characters the
// wire cannot carry become '?'.
std::string ToBytes(const std::wstring& str)
{
    std::string out;
    out.reserve(str.size());
    for (wchar_t wc : str)
        out += static_cast<unsigned long>(wc) <= 0xFF ? static_cast<char>(static_cast<unsigned char>(wc)) : '?';
    return out;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool ValueAccepted(const WireField& f, const std::string& strValue, const std::wstring& strKeyFormat)
{
    if (strValue.find('\n') != std::string::npos)
        return false; // would break the line framing of the "get\r" reply
    switch (KindOf(f)) {
    case FieldKind::Text:
        return strValue.size() <= kMaxTextBytes;
    case FieldKind::Index:
        // One digit: a list position.
        return strValue.size() == 1 && strValue[0] >= '0' && strValue[0] - '0' <= f.MaxIndex();
    case FieldKind::Passphrase:
        if (strValue.empty())
            return true;
        if (strKeyFormat == L"0")
            return strValue.size() >= 8 && strValue.size() <= 63;
        if (strValue.size() != 64)
            return false;
        for (char c : strValue) {
            if (!IsHexDigit(c))
                return false;
        }
        return true;
    }
    return false;
}

// State file values: printable ASCII as it is, every other byte and '%' as %XX.
std::string EscapeValue(const std::string& strBytes)
{
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (char c : strBytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F || c == '%') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

bool UnescapeValue(const std::string& strText, std::string& strBytes)
{
    strBytes.clear();
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] != '%') {
            strBytes += strText[i];
            continue;
        }
        if (i + 2 >= strText.size() || !IsHexDigit(strText[i + 1]) || !IsHexDigit(strText[i + 2]))
            return false;
        strBytes += static_cast<char>(std::stoi(strText.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return true;
}

std::string ErrnoText(const char* pszWhat)
{
    return std::string(pszWhat) + ": " + std::strerror(errno);
}

} // namespace

std::string IdentityReply(IdentityVariant variant, const std::string& strVersion, const std::string& strMcuId)
{
    const std::string strVersionLine = "VER " + strVersion + "\r\n";
    const std::string strMcuIdLine = "MCUID " + strMcuId + "\r\n";
    switch (variant) {
    case IdentityVariant::VersionOnly:
        return strVersionLine;
    case IdentityVariant::McuIdOnly:
        return "\r\n" + strMcuIdLine;
    case IdentityVariant::ExtraLine:
        return strVersionLine + strMcuIdLine + "BUILD 2024-05-01\r\n";
    case IdentityVariant::Both:
        break;
    }
    return strVersionLine + strMcuIdLine;
}

UnitSettings FactoryUnitSettings()
{
    UnitSettings s;
    for (const WireField& f : WireFields()) {
        if (f.IsIndex())
            f.In(s) = L"0";
    }
    return s;
}

bool SetUnitField(UnitSettings& s, const std::string& strProfile, const std::string& strField,
                  const std::wstring& strValue)
{
    const WireField* pField = FindWireField(strProfile, strField);
    if (pField == nullptr)
        return false;
    pField->In(s) = strValue;
    return true;
}

VirtualUnit::VirtualUnit(VirtualUnitOptions options)
    : m_options(std::move(options)), m_settings(m_options.settings), m_committed(m_options.settings)
{
}

VirtualUnit::~VirtualUnit()
{
    Stop();
}

bool VirtualUnit::Start(std::string* pstrError)
{
    std::lock_guard<std::mutex> control(m_mtxControl);
    if (m_bStarted)
        return true;
    std::string strError;
    auto fail = [&](const std::string& strWhy) {
        std::lock_guard<std::mutex> data(m_mtxData);
        m_strLastError = strWhy;
        if (pstrError)
            *pstrError = strWhy;
        return false;
    };

    if (!m_options.strStateFile.empty()) {
        struct stat st { };
        if (stat(m_options.strStateFile.c_str(), &st) == 0) {
            UnitSettings loaded;
            if (!LoadState(loaded, strError))
                return fail(strError);
            // The file holds the passwords: a readable one kept from before
            // is made private as well (every save writes it private).
            if (st.st_uid == geteuid() && (st.st_mode & 077) != 0)
                chmod(m_options.strStateFile.c_str(), 0600);
            std::lock_guard<std::mutex> data(m_mtxData);
            m_settings = loaded;
            m_committed = loaded;
        }
    }
    if (pipe2(m_fdWake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(ErrnoText("pipe"));
    if (!OpenPty(strError)) {
        close(m_fdWake[0]);
        close(m_fdWake[1]);
        m_fdWake[0] = m_fdWake[1] = -1;
        return fail(strError);
    }
    m_bStarted = true;
    return true;
}

void VirtualUnit::Stop()
{
    std::lock_guard<std::mutex> control(m_mtxControl);
    if (!m_bStarted)
        return;
    StopThread();
    ClosePty();
    close(m_fdWake[0]);
    close(m_fdWake[1]);
    m_fdWake[0] = m_fdWake[1] = -1;
    m_bStarted = false;
}

std::string VirtualUnit::PortPath() const
{
    std::lock_guard<std::mutex> control(m_mtxControl);
    return m_options.strLinkPath.empty() ? m_strSlavePath : m_options.strLinkPath;
}

void VirtualUnit::Unplug()
{
    std::lock_guard<std::mutex> control(m_mtxControl);
    if (m_fdMaster < 0)
        return;
    StopThread();
    ClosePty();
}

bool VirtualUnit::Plug()
{
    std::lock_guard<std::mutex> control(m_mtxControl);
    if (!m_bStarted) {
        std::lock_guard<std::mutex> data(m_mtxData);
        m_strLastError = "the unit is not started";
        return false;
    }
    if (m_fdMaster >= 0)
        return true;
    std::string strError;
    if (!OpenPty(strError)) {
        std::lock_guard<std::mutex> data(m_mtxData);
        m_strLastError = strError;
        return false;
    }
    return true;
}

bool VirtualUnit::IsPlugged() const
{
    std::lock_guard<std::mutex> data(m_mtxData);
    return m_bPlugged;
}

void VirtualUnit::SetFaults(const VirtualUnitFaults& faults)
{
    std::lock_guard<std::mutex> data(m_mtxData);
    m_faults = faults;
    m_nSetLinesSinceFaults = 0;
}

UnitSettings VirtualUnit::Settings() const
{
    std::lock_guard<std::mutex> data(m_mtxData);
    return m_settings;
}

UnitSettings VirtualUnit::CommittedSettings() const
{
    std::lock_guard<std::mutex> data(m_mtxData);
    return m_committed;
}

void VirtualUnit::SetSettings(const UnitSettings& s)
{
    std::lock_guard<std::mutex> data(m_mtxData);
    m_settings = s;
    m_committed = s;
}

std::vector<std::string> VirtualUnit::ReceivedLines() const
{
    std::lock_guard<std::mutex> data(m_mtxData);
    return m_arrReceivedLines;
}

std::string VirtualUnit::ReceivedBytes() const
{
    std::lock_guard<std::mutex> data(m_mtxData);
    return m_strReceivedBytes;
}

void VirtualUnit::ClearReceived()
{
    std::lock_guard<std::mutex> data(m_mtxData);
    m_arrReceivedLines.clear();
    m_strReceivedBytes.clear();
}

std::string VirtualUnit::LastError() const
{
    std::lock_guard<std::mutex> data(m_mtxData);
    return m_strLastError;
}

// ---- The pty -----------------------------------------------------------

bool VirtualUnit::OpenPty(std::string& strError)
{
    if (m_options.nServeFd >= 0)
        return TakeServeFd(strError);
    const int fdMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fdMaster < 0) {
        strError = ErrnoText("posix_openpt");
        return false;
    }
    char szSlave[128] = {};
    int fdSlave = -1;
    auto fail = [&](const char* pszWhat) {
        strError = ErrnoText(pszWhat);
        if (fdSlave >= 0)
            close(fdSlave);
        close(fdMaster);
        return false;
    };
    if (grantpt(fdMaster) != 0)
        return fail("grantpt");
    if (unlockpt(fdMaster) != 0)
        return fail("unlockpt");
    if (ptsname_r(fdMaster, szSlave, sizeof(szSlave)) != 0)
        return fail("ptsname");
    // The unit keeps the slave open itself while plugged: with no slave open
    // the master reports a hang-up on every poll.
    fdSlave = open(szSlave, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fdSlave < 0)
        return fail("open slave");
    // The slave keeps the driver's default line settings: setting up the
    // line is the client's business, as on a real port.
    const int nFlags = fcntl(fdMaster, F_GETFL);
    if (nFlags < 0 || fcntl(fdMaster, F_SETFL, nFlags | O_NONBLOCK) != 0)
        return fail("fcntl");

    if (!m_options.strLinkPath.empty()) {
        // Point the link at the new slave in one step: a reader sees either
        // the old target or the new one, never no link.
        // Only a link of ours is ever replaced, never a file that is there.
        struct stat st { };
        if (lstat(m_options.strLinkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            return fail(m_options.strLinkPath.c_str());
        }
        const std::string strTemp = m_options.strLinkPath + ".tmp." + std::to_string(getpid());
        unlink(strTemp.c_str());
        if (symlink(szSlave, strTemp.c_str()) != 0)
            return fail("symlink");
        if (rename(strTemp.c_str(), m_options.strLinkPath.c_str()) != 0) {
            const int nErr = errno;
            unlink(strTemp.c_str());
            errno = nErr;
            return fail("rename");
        }
    }

    m_fdMaster = fdMaster;
    m_fdSlave = fdSlave;
    m_strSlavePath = szSlave;
    StartServing();
    return true;
}

bool VirtualUnit::TakeServeFd(std::string& strError)
{
    if (m_bServeFdUsed) {
        strError = "the descriptor given to serve on is closed";
        return false;
    }
    const int fd = m_options.nServeFd;
    const int nFlags = fcntl(fd, F_GETFL);
    if (nFlags < 0 || fcntl(fd, F_SETFL, nFlags | O_NONBLOCK) != 0) {
        strError = ErrnoText(("descriptor " + std::to_string(fd)).c_str());
        return false;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_bServeFdUsed = true;
    m_fdMaster = fd;
    m_strSlavePath = "fd " + std::to_string(fd);
    StartServing();
    return true;
}

void VirtualUnit::StartServing()
{
    m_strLine.clear();
    m_bLastWasCr = false;
    m_bDiscarding = false;
    {
        std::lock_guard<std::mutex> data(m_mtxData);
        m_bPlugged = true;
    }
    m_bStopThread = false;
    m_thread = std::thread([this] { Serve(); });
}

void VirtualUnit::StopThread()
{
    if (!m_thread.joinable())
        return;
    m_bStopThread = true;
    const char c = 'x';
    if (write(m_fdWake[1], &c, 1) < 0) {
        // The pipe is non-blocking and read empty below: a full pipe already wakes.
    }
    m_thread.join();
    char buf[64];
    while (read(m_fdWake[0], buf, sizeof(buf)) > 0) { }
    m_bStopThread = false;
}

void VirtualUnit::ClosePty()
{
    if (m_fdMaster < 0)
        return;
    close(m_fdMaster);
    if (m_fdSlave >= 0)
        close(m_fdSlave);
    m_fdMaster = m_fdSlave = -1;
    if (!m_options.strLinkPath.empty()) {
        // Like a device node, the link goes away with the unit.
        struct stat st { };
        if (lstat(m_options.strLinkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            unlink(m_options.strLinkPath.c_str());
    }
    std::lock_guard<std::mutex> data(m_mtxData);
    m_bPlugged = false;
}

// ---- Serving -----------------------------------------------------------

void VirtualUnit::Serve()
{
    // m_fdMaster and m_fdWake do not change while this thread runs.
    const int fdMaster = m_fdMaster;
    const int fdWake = m_fdWake[0];
    char buf[4096];
    while (!m_bStopThread) {
        pollfd fds[2] = {{fdMaster, POLLIN, 0}, {fdWake, POLLIN, 0}};
        const bool bPending = !m_strLine.empty() || m_bDiscarding;
        const int nReady = poll(fds, 2, bPending ? m_options.nLineIdleMs : -1);
        if (nReady < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            break;
        if (nReady == 0) {
            // A line that was never ended.
            if (m_bDiscarding) {
                m_bDiscarding = false;
            } else {
                {
                    std::lock_guard<std::mutex> data(m_mtxData);
                    m_arrReceivedLines.push_back(m_strLine);
                }
                m_strLine.clear();
                SendReply(kErrorReply);
            }
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t nRead = read(fdMaster, buf, sizeof(buf));
            if (nRead > 0) {
                HandleBytes(buf, static_cast<size_t>(nRead));
                continue;
            }
            if (nRead < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        // Hang-up or a read error: nothing to serve until the slave is
        // usable again; do not spin.
        if (WaitWake(50))
            break;
    }
}

void VirtualUnit::HandleBytes(const char* pBytes, size_t nCount)
{
    {
        std::lock_guard<std::mutex> data(m_mtxData);
        m_strReceivedBytes.append(pBytes, nCount);
    }
    for (size_t i = 0; i < nCount; ++i) {
        const char c = pBytes[i];
        if (m_bLastWasCr && c == '\n') {
            m_bLastWasCr = false;
            continue;
        }
        m_bLastWasCr = (c == '\r');
        if (m_bDiscarding) {
            if (c == '\r')
                m_bDiscarding = false;
            continue;
        }
        m_strLine += c;
        if (c == '\r') {
            const std::string strLine = std::move(m_strLine);
            m_strLine.clear();
            HandleLine(strLine);
        } else if (m_strLine.size() >= kMaxLineBytes) {
            {
                std::lock_guard<std::mutex> data(m_mtxData);
                m_arrReceivedLines.push_back(m_strLine);
            }
            m_strLine.clear();
            m_bDiscarding = true;
            SendReply(kErrorReply);
        }
    }
}

void VirtualUnit::HandleLine(const std::string& strLine)
{
    std::string strReply;
    bool bCommit = false, bErase = false;
    UnitSettings toSave;
    {
        std::lock_guard<std::mutex> data(m_mtxData);
        m_arrReceivedLines.push_back(strLine);
        const bool bSetLine = strLine.compare(0, 4, "set ") == 0;
        if (bSetLine)
            ++m_nSetLinesSinceFaults;

        const std::string& strSilent = m_faults.strSilentOnCommand;
        if (!strSilent.empty()) {
            const bool bPrefix = strSilent.back() != '\r';
            if (strLine == strSilent || (bPrefix && strLine.compare(0, strSilent.size(), strSilent) == 0))
                return; // the line is ignored altogether
        }
        if (!m_faults.strErrorOnCommand.empty() && strLine == m_faults.strErrorOnCommand) {
            strReply = kErrorReply;
        } else if (bSetLine && m_faults.nErrorOnSetLine > 0 && m_nSetLinesSinceFaults == m_faults.nErrorOnSetLine) {
            strReply = kErrorReply;
        } else if (strLine == "fw\r") {
            bCommit = true;
            toSave = m_settings;
        } else if (strLine == "fe\r") {
            bErase = true;
            toSave = FactoryUnitSettings();
        } else {
            strReply = Answer(strLine);
        }
    }

    if (bCommit || bErase) {
        // Storing is the one step that can fail; the reply says whether it did.
        std::string strError;
        if (!m_options.strStateFile.empty() && !SaveState(toSave, strError)) {
            std::lock_guard<std::mutex> data(m_mtxData);
            m_strLastError = strError;
            strReply = kErrorReply;
        } else {
            std::lock_guard<std::mutex> data(m_mtxData);
            if (bErase)
                m_settings = toSave;
            m_committed = toSave;
            strReply = bErase ? "FE OK\r\n" : "FW OK\r\n";
        }
    }
    SendReply(strReply);
}

std::string VirtualUnit::Answer(const std::string& strLine)
{
    if (strLine == "ver\r")
        return m_options.strVersionReply;
    if (strLine == "serial\r")
        return m_options.strSerialReply;
    if (strLine == "get\r") {
        std::string strReply;
        for (const WireField& f : WireFields()) {
            std::string strLabel = ToBytes(f.ReplyLabel());
            const std::string strValue = ToBytes(f.In(m_settings));
            if (strValue.empty() && m_options.bTrimEmptyValues)
                strLabel.pop_back();
            strReply += strLabel + strValue + "\r\n";
        }
        return strReply;
    }
    if (strLine.compare(0, 4, "set ") == 0)
        return AnswerSet(strLine);
    return kErrorReply;
}

std::string VirtualUnit::AnswerSet(const std::string& strLine)
{
    // set <profile> <field> <value>\r  (the value may be empty, not the blank)
    const std::string strBody = strLine.substr(4, strLine.size() - 5);
    const size_t nBlank1 = strBody.find(' ');
    if (nBlank1 == std::string::npos)
        return kErrorReply;
    const size_t nBlank2 = strBody.find(' ', nBlank1 + 1);
    if (nBlank2 == std::string::npos)
        return kErrorReply;
    const WireField* pField =
        FindWireField(strBody.substr(0, nBlank1), strBody.substr(nBlank1 + 1, nBlank2 - nBlank1 - 1));
    const std::string strValue = strBody.substr(nBlank2 + 1);
    if (pField == nullptr || !ValueAccepted(*pField, strValue, m_settings.wifi.strKeyFormat))
        return kErrorReply;
    std::wstring& strStored = pField->In(m_settings);
    strStored = WidenBytes(strValue.data(), strValue.size());
    if (!strStored.empty() && m_faults.strCutValue == strBody.substr(0, nBlank2))
        strStored.pop_back();
    return strLine + "\n";
}

void VirtualUnit::SendReply(const std::string& strReply)
{
    VirtualUnitFaults faults;
    {
        std::lock_guard<std::mutex> data(m_mtxData);
        faults = m_faults;
    }
    const std::string strAll = faults.strNoise + strReply;
    // The pieces a USB unit's packets would make, each with the pause before it.
    std::vector<std::pair<std::string, int>> pieces;
    if (faults.nChunkSize > 0) {
        for (size_t nPos = 0; nPos < strAll.size(); nPos += faults.nChunkSize)
            pieces.push_back({strAll.substr(nPos, faults.nChunkSize), faults.nChunkPauseMs});
    } else if (faults.bPacketPerLine) {
        for (size_t nPos = 0; nPos < strAll.size();) {
            const size_t nEnd = std::min(strAll.find('\n', nPos), strAll.size() - 1) + 1;
            pieces.push_back({strAll.substr(nPos, nEnd - nPos), faults.nChunkPauseMs});
            nPos = nEnd;
        }
    } else {
        pieces.push_back({strAll, 0});
    }
    if (faults.nLateLfMs > 0) {
        std::vector<std::pair<std::string, int>> split;
        for (const auto& piece : pieces) {
            int nPause = piece.second;
            size_t nPos = 0;
            for (size_t nLf; (nLf = piece.first.find('\n', nPos)) != std::string::npos; nPos = nLf + 1) {
                if (nLf > nPos)
                    split.push_back({piece.first.substr(nPos, nLf - nPos), nPause});
                split.push_back({"\n", faults.nLateLfMs});
                nPause = 0;
            }
            if (nPos < piece.first.size())
                split.push_back({piece.first.substr(nPos), nPause});
        }
        pieces.swap(split);
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pieces[i].second > 0 && WaitWake(pieces[i].second))
            return;
        if (!WriteAll(pieces[i].first.data(), pieces[i].first.size()))
            return;
    }
}

bool VirtualUnit::WaitWake(int nTimeoutMs)
{
    pollfd fd = {m_fdWake[0], POLLIN, 0};
    return poll(&fd, 1, nTimeoutMs) > 0 || m_bStopThread;
}

bool VirtualUnit::WriteAll(const char* pBytes, size_t nCount)
{
    while (nCount > 0) {
        const ssize_t nWritten = write(m_fdMaster, pBytes, nCount);
        if (nWritten > 0) {
            pBytes += nWritten;
            nCount -= static_cast<size_t>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && errno != EAGAIN)
            return false;
        // Nobody reads the other side: wait a while for room, then drop.
        pollfd fds[2] = {{m_fdMaster, POLLOUT, 0}, {m_fdWake[0], POLLIN, 0}};
        if (poll(fds, 2, kWriteStallMs) <= 0 || fds[1].revents != 0 || !(fds[0].revents & POLLOUT))
            return false;
    }
    return true;
}

// ---- The state file ----------------------------------------------------

bool VirtualUnit::SaveState(const UnitSettings& s, std::string& strError) const
{
    std::ostringstream out;
    out << kStateHeader << "\n";
    for (const WireField& f : WireFields())
        out << f.GroupToken() << ' ' << f.pszKey << ' ' << EscapeValue(ToBytes(f.In(s))) << "\n";
    // Written beside the file under a fresh name and renamed over it, as the
    // presets are: a failed save leaves the previous state whole, and nothing
    // planted beside the file is followed. It holds the passwords: private.
    FileFacts fresh;
    fresh.bPrivate = true;
    if (const Status saved = ReplaceFileContents(m_options.strStateFile, out.str(), fresh); !saved) {
        strError = m_options.strStateFile + ": " + ToUtf8(saved.Text());
        return false;
    }
    return true;
}

bool VirtualUnit::LoadState(UnitSettings& s, std::string& strError) const
{
    std::ifstream in(m_options.strStateFile, std::ios::binary);
    if (!in) {
        strError = ErrnoText(m_options.strStateFile.c_str());
        return false;
    }
    std::string strLine;
    if (!std::getline(in, strLine) || strLine != kStateHeader) {
        // Refuse it rather than overwrite a file that is not ours on "fw\r".
        strError = m_options.strStateFile + ": not a state file of the virtual unit";
        return false;
    }
    s = FactoryUnitSettings();
    while (std::getline(in, strLine)) {
        // <profile> <field> <escaped value>; lines that do not parse are skipped.
        const size_t nBlank1 = strLine.find(' ');
        const size_t nBlank2 = nBlank1 == std::string::npos ? nBlank1 : strLine.find(' ', nBlank1 + 1);
        if (nBlank2 == std::string::npos)
            continue;
        const WireField* pField = FindWireField(std::string_view(strLine).substr(0, nBlank1),
                                                std::string_view(strLine).substr(nBlank1 + 1, nBlank2 - nBlank1 - 1));
        std::string strValue;
        if (pField == nullptr || !UnescapeValue(strLine.substr(nBlank2 + 1), strValue))
            continue;
        pField->In(s) = WidenBytes(strValue.data(), strValue.size());
    }
    return true;
}
