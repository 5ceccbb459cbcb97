// The receive thread: one per connection. It reads everything the unit sends,
// appends it to the response text, runs the parser after every chunk, and is
// the only one to notice a lost unit: a failed read or a hang-up ends it, and
// its end closes the port, tells the window and releases a waiting
// transaction.
#include <algorithm>
#include <chrono>
#include <system_error>

#include <spdlog/spdlog.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "link/SerialIo.h"
#include "protocol/ResponseParser.h"

namespace {

constexpr auto kPassPause = std::chrono::milliseconds(10);
constexpr int kReadWaitMs = 100;
// Without the pause a read returns as soon as bytes arrive; its wait only
// bounds how long a stop request can go unnoticed.
constexpr int kQuickReadWaitMs = 5;
constexpr size_t kReadMax = 1024;

} // namespace

bool CQVLSession::StartRecvThread()
{
    LogDebug(logtext::kStartRecvThread);

    // The thread of an earlier connection has ended (or is told to now).
    StopRecvThread();
    m_bStopRecv = false;
    m_bRecvRunning = true;
    // Without a wake-up the stop is seen after the current wait.
    m_hRecvWake = SerialWakeCreate();
    try {
        m_pRecvThread = std::thread([this] { RecvThread(); });
    } catch (const std::system_error&) {
        m_bRecvRunning = false;
        SerialWakeClose(m_hRecvWake);
        m_hRecvWake = kNoSerialWake;
        LogError(logtext::kStartRecvThreadError);
        return false;
    }
    return true;
}

void CQVLSession::StopRecvThread()
{
    if (!m_pRecvThread.joinable() || m_pRecvThread.get_id() == std::this_thread::get_id())
        return;
    m_bStopRecv = true;
    SerialWakeSignal(m_hRecvWake);
    m_pRecvThread.join();
    SerialWakeClose(m_hRecvWake);
    m_hRecvWake = kNoSerialWake;
}

void CQVLSession::RecvThread()
{
    char buf[kReadMax];
    const bool bPause = m_bRecvPause;
    // A reply that completes only once the line stays quiet: when.
    bool bSettling = false;
    auto settleAt = std::chrono::steady_clock::now();
    for (;;) {
        if (bPause)
            std::this_thread::sleep_for(kPassPause);

        int nWaitMs = bPause ? kReadWaitMs : kQuickReadWaitMs;
        if (bSettling) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(settleAt - std::chrono::steady_clock::now());
            nWaitMs = static_cast<int>(std::clamp<long long>(left.count(), 0, nWaitMs));
        }
        size_t nRead = 0;
        const Status status = SerialReadSomeOrWake(m_hComm, m_hRecvWake, buf, kReadMax, nWaitMs, nRead);
        // Bytes read before a command was recorded belong to an earlier exchange.
        const unsigned long nSeq = m_nCommandSeq;
        if (!status)
            break;

        if (nRead > 0) {
            if (m_bStopRecv)
                break;
            bSettling = ReceiveChunk(buf, nRead, nSeq);
            settleAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplySettleMs);
        } else if (bSettling && std::chrono::steady_clock::now() >= settleAt) {
            bSettling = false;
            SettleRecvData();
        }

        if (m_bStopRecv)
            break;
    }
    RecvThreadTerminate();
}

bool CQVLSession::ReceiveChunk(const char* pData, size_t nSize, unsigned long nSeq)
{
    // Zero bytes are dropped, as a serial driver set to discard them would;
    // every other byte becomes the character of the same code.
    std::wstring strChunk = WidenBytes(pData, nSize);
    strChunk.erase(std::remove(strChunk.begin(), strChunk.end(), L'\0'), strChunk.end());

    const bool bLog = spdlog::should_log(spdlog::level::debug);
    std::wstring strWhole;
    {
        auto lock = LockShared();
        // A command recorded since the read started a new reply: the chunk
        // belongs to the earlier one.
        if (nSeq == m_nCommandSeq)
            m_strRecvData += strChunk;
        // A unit that talks without end keeps only its newest text.
        if (m_strRecvData.size() > kMaxRecvChars)
            m_strRecvData.erase(0, m_strRecvData.size() - kMaxRecvChars);
        if (bLog)
            strWhole = m_strRecvData;
    }
    if (bLog)
        LogDebug(logtext::kRx, strWhole);
    ParseRecvData();
    return IsReplySettling();
}

void CQVLSession::RecvThreadTerminate()
{
    LogDebug(logtext::kRecvThreadTerminate);
    UninitSerial();
    // A transaction waiting now ends at once: it finds the thread gone.
    m_bRecvRunning = false;
    m_pRecvEvent->Set();
    PostCloseQvlSerial();
}
