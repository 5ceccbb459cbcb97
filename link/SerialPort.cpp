// The serial port to the unit: open and configure, write one command line,
// close. The receive thread reads the same descriptor and closes it at its
// end; m_mtxPort keeps a write on the user-interface thread and that close
// apart, so a write never lands on a reused descriptor.
#include <chrono>
#include <string>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/QVLSession.h"
#include "core/TextUtil.h"
#include "link/SerialIo.h"

namespace {

// A write that makes no progress for this long (the unit holds CTS low, the
// line is jammed) is given up.
constexpr auto kWriteStall = std::chrono::milliseconds(1000);

// The log text of a failed configuration step.
const char* StepErrorText(SerialStep step)
{
    switch (step) {
    case SerialStep::GetState:
        return "GetCommState Error.";
    case SerialStep::SetState:
        return "SetComState Error.";
    case SerialStep::GetTimeouts:
        return "GetCommTimeouts Error.";
    case SerialStep::SetTimeouts:
        return "SetCommTimeouts Error.";
    case SerialStep::Open:
        break;
    }
    return "CreateFile Failure.";
}

} // namespace

Status CQVLSession::InitSerial()
{
    LogDebug(logtext::kInitSerial);

    const std::string strPort = m_strComPortPath.empty() ? ToUtf8(m_strComPort) : m_strComPortPath;
    SerialHandle port = kNoSerialPort;
    SerialStep step = SerialStep::Open;
    const Status opened = SerialOpenPort(strPort, port, &step);
    if (!opened) {
        m_hComm = kNoSerialPort;
        m_lastFailure = opened.Why();
        if (step == SerialStep::Open) {
            // A port that does not open is retried every second; the caller
            // reports the reason once per port and reason.
            LogDebug(logtext::kInitSerialOpenFailed, strPort);
            LogDebug(logtext::kInitSerialOpenReason, strPort, m_lastFailure.strText);
        } else {
            LogError(logtext::kInitSerialStepFailed, StepErrorText(step));
        }
        return opened;
    }

    std::lock_guard<std::mutex> lock(m_mtxPort);
    m_hComm = port;
    return Status();
}

bool CQVLSession::SendData(std::wstring strLine)
{
    // The wire carries ASCII only; anything else is refused, not mangled.
    std::string strNarrow;
    strNarrow.reserve(strLine.size());
    bool bAscii = true;
    for (wchar_t wc : strLine) {
        if (static_cast<unsigned long>(wc) > 0x7F) {
            bAscii = false;
            break;
        }
        strNarrow += static_cast<char>(wc);
    }
    if (strLine.empty()) {
        LogError(logtext::kSendEmptyRefused);
        LogDebug(logtext::kTx, strNarrow);
        return false;
    }
    if (!bAscii) {
        LogError(logtext::kSendNonAsciiRefused);
        LogDebug(logtext::kTx, strLine);
        return false;
    }
    // The unit ends a command at CR (and may at LF): one inside the line
    // would make the rest of it a command of its own.
    if (strNarrow.find_first_of("\r\n") < strNarrow.size() - 1 || strNarrow.back() == '\n') {
        LogError(logtext::kSendLineEndRefused);
        LogDebug(logtext::kTx, strNarrow);
        return false;
    }

    bool bResult = false;
    size_t nDone = 0;
    bool bStalled = false;
    {
        std::lock_guard<std::mutex> lock(m_mtxPort);
        const SerialHandle port = m_hComm;
        auto lastProgress = std::chrono::steady_clock::now();
        while (port != kNoSerialPort && nDone < strNarrow.size()) {
            const auto waited = std::chrono::steady_clock::now() - lastProgress;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(kWriteStall - waited);
            if (left.count() <= 0) {
                bStalled = true;
                break;
            }
            size_t nWritten = 0;
            if (!SerialWriteSome(port, strNarrow.data() + nDone, strNarrow.size() - nDone,
                                 static_cast<int>(left.count()), nWritten))
                break;
            if (nWritten > 0) {
                nDone += nWritten;
                lastProgress = std::chrono::steady_clock::now();
            }
        }
        bResult = port != kNoSerialPort && nDone == strNarrow.size();
    }
    // The unit holds the written start of the line; the next exchange ends it.
    if (!bResult && nDone > 0)
        m_bPartialLine = true;

    LogDebug(logtext::kTx, strNarrow);
    if (bStalled)
        LogError(logtext::kSendStalled, kWriteStall.count(), nDone, strNarrow.size());
    return bResult;
}

void CQVLSession::UninitSerial()
{
    LogDebug(logtext::kUninitSerial);
    std::lock_guard<std::mutex> lock(m_mtxPort);
    const SerialHandle port = m_hComm.exchange(kNoSerialPort);
    if (port != kNoSerialPort)
        SerialClosePort(port);
}
