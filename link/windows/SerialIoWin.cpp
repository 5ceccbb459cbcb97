// The serial port on Windows: CreateFile, DCB, COMMTIMEOUTS, synchronous
// ReadFile and WriteFile. The time-outs set at the open bound every read
// (what is waiting at once, else up to 100 ms) and every write call (10 ms);
// the callers' loops bring their own overall bounds.
#include "link/SerialIo.h"
#include "link/PortOpenFailure.h"

#include <windows.h>

#include "core/TextUtil.h"

namespace {

constexpr DWORD kReadTotalTimeoutMs = 100;
constexpr DWORD kWriteTotalTimeoutMs = 10;

HANDLE AsHandle(SerialHandle port)
{
    return reinterpret_cast<HANDLE>(port);
}

HANDLE OpenExclusive(const std::wstring& strName)
{
    // No sharing: a port another program holds is refused.
    return CreateFileW(strName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// A failure of the port with Windows' error code nError.
Failure PortFailure(DWORD nError)
{
    const int nCode = static_cast<int>(nError);
    return Failure{ClassifyPortOpenFailure(ErrorCodeSet::Windows, nCode, std::string()).kind, nCode,
                   FromUtf8(SerialErrorText(nCode))};
}

Status Fail(SerialStep step, HANDLE hPort, SerialStep* pStep)
{
    const DWORD nError = GetLastError();
    if (pStep)
        *pStep = step;
    if (hPort != INVALID_HANDLE_VALUE)
        CloseHandle(hPort);
    return PortFailure(nError);
}

// The line settings: 9600 baud, 8 data bits, one stop bit, the driver's
// parity, no parity checking, CTS output flow control, RTS handshake, DTR on
// while open, no XON/XOFF, received zero bytes discarded. Error character and
// abort-on-error stay as the driver has them.
void SetQvlLine(DCB& dcb)
{
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
}

} // namespace

std::string SerialErrorText(int nErrno)
{
    wchar_t* pszText = nullptr;
    const DWORD nLen =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(nErrno), 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::wstring strText = nLen && pszText ? std::wstring(pszText, nLen) : std::wstring();
    if (pszText)
        LocalFree(pszText);
    // The system ends its texts with a line break; the log adds its own.
    while (!strText.empty() && (strText.back() == L'\n' || strText.back() == L'\r' || strText.back() == L' '))
        strText.pop_back();
    if (strText.empty())
        return "Error " + std::to_string(static_cast<unsigned long>(nErrno));
    return ToUtf8(strText);
}

Status SerialOpenPort(const std::string& strPath, SerialHandle& port, SerialStep* pStep)
{
    port = kNoSerialPort;
    const std::wstring strName = FromUtf8(strPath);
    HANDLE hPort = OpenExclusive(strName);
    if (hPort == INVALID_HANDLE_VALUE) {
        // Only COM1 to COM9 open by their plain names; COM10 and up, and any
        // other device, through the device namespace.
        hPort = OpenExclusive(L"\\\\.\\" + strName);
    }
    if (hPort == INVALID_HANDLE_VALUE)
        return Fail(SerialStep::Open, hPort, pStep);

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(hPort, &dcb))
        return Fail(SerialStep::GetState, hPort, pStep);

    PurgeComm(hPort, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    SetQvlLine(dcb);
    if (!SetCommState(hPort, &dcb))
        return Fail(SerialStep::SetState, hPort, pStep);

    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(hPort, &timeouts))
        return Fail(SerialStep::GetTimeouts, hPort, pStep);
    // A read returns at once with what is waiting; with nothing waiting it
    // waits up to 100 ms for what arrives. A write call gives up after 10 ms.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTotalTimeoutMs;
    if (!SetCommTimeouts(hPort, &timeouts))
        return Fail(SerialStep::SetTimeouts, hPort, pStep);

    // Under RTS handshake the driver may refuse this; that is harmless.
    EscapeCommFunction(hPort, SETRTS);
    port = reinterpret_cast<SerialHandle>(hPort);
    return Status();
}

Status SerialWriteSome(SerialHandle port, const char* pBytes, size_t n, int /*nTimeoutMs*/, size_t& nWritten)
{
    // Each call is bounded by the port's write time-out; the caller's loop
    // bounds the whole line.
    nWritten = 0;
    if (port == kNoSerialPort)
        return PortFailure(ERROR_INVALID_HANDLE);
    DWORD nDone = 0;
    const DWORD nAsk = n > MAXDWORD ? MAXDWORD : static_cast<DWORD>(n);
    if (!WriteFile(AsHandle(port), pBytes, nAsk, &nDone, nullptr))
        return PortFailure(GetLastError());
    nWritten = nDone;
    return Status();
}

// A read waits on the port's own time-outs (100 ms at most), which bound a
// stop request; there is nothing to wake.
SerialWake SerialWakeCreate()
{
    return kNoSerialWake;
}

void SerialWakeSignal(SerialWake)
{
}

void SerialWakeClose(SerialWake)
{
}

Status SerialReadSomeOrWake(SerialHandle port, SerialWake, char* pBytes, size_t nMax, int nTimeoutMs, size_t& nRead)
{
    return SerialReadSome(port, pBytes, nMax, nTimeoutMs, nRead);
}

Status SerialReadSome(SerialHandle port, char* pBytes, size_t nMax, int /*nTimeoutMs*/, size_t& nRead)
{
    // Bounded by the port's read time-outs: at once with what is waiting,
    // else up to 100 ms.
    nRead = 0;
    if (port == kNoSerialPort)
        return PortFailure(ERROR_INVALID_HANDLE);
    DWORD nDone = 0;
    const DWORD nAsk = nMax > MAXDWORD ? MAXDWORD : static_cast<DWORD>(nMax);
    if (!ReadFile(AsHandle(port), pBytes, nAsk, &nDone, nullptr)) {
        const DWORD nError = GetLastError();
        DWORD nErrors = 0;
        ClearCommError(AsHandle(port), &nErrors, nullptr);
        return PortFailure(nError);
    }
    nRead = nDone;
    if (nRead > 0)
        return Status();
    // Nothing came. A port whose device is gone can keep answering reads
    // with nothing; its status cannot be read any more.
    DWORD nErrors = 0;
    COMSTAT stat{};
    if (!ClearCommError(AsHandle(port), &nErrors, &stat))
        return PortFailure(GetLastError());
    return Status();
}

void SerialClosePort(SerialHandle port)
{
    if (port == kNoSerialPort)
        return;
    PurgeComm(AsHandle(port), PURGE_TXABORT | PURGE_TXCLEAR);
    CloseHandle(AsHandle(port));
}

void SerialFlushInput(SerialHandle port)
{
    if (port != kNoSerialPort)
        PurgeComm(AsHandle(port), PURGE_RXCLEAR);
}
