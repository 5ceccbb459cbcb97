// The serial port on POSIX: termios, poll, flock.
#include "link/posix/SerialIoPosix.h"
#include "link/PortOpenFailure.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// strerror_r comes in a GNU and an XSI flavour; take the text from either.
[[maybe_unused]] std::string ErrorTextFrom(const char* pszText, const char*)
{
    return pszText;
}
[[maybe_unused]] std::string ErrorTextFrom(int nRc, const char* pszBuf)
{
    return nRc == 0 ? std::string(pszBuf) : std::string("Unknown error");
}

// Closes a terminal this program opened. The exclusive-use flag belongs to
// the terminal, not to this descriptor: it outlives the close while anything
// else holds the terminal (the other end of a pseudo-terminal, another
// program), and would refuse every later open but root's. So it is cleared
// first; the advisory lock goes with the descriptor.
void CloseTerminal(int fd)
{
    ioctl(fd, TIOCNXCL);
    close(fd);
}

// A failure of the port with errno nErrno.
Failure PortFailure(int nErrno)
{
    return Failure{ClassifyPortOpenFailure(ErrorCodeSet::Posix, nErrno, std::string()).kind, nErrno,
                   FromUtf8(SerialErrorText(nErrno))};
}

Status Fail(SerialStep step, int nErrno, int& fd, SerialStep* pStep)
{
    if (pStep)
        *pStep = step;
    if (fd >= 0)
        CloseTerminal(fd);
    fd = -1;
    return PortFailure(nErrno);
}

// A step's outcome as the callers see it: the other end hanging up ends the
// link as a failure does.
Status ToStatus(SerialIoStatus status, int nErrno)
{
    switch (status) {
    case SerialIoStatus::Failed:
        return PortFailure(nErrno);
    case SerialIoStatus::Closed:
        return Failure{FailureKind::NotFound, 0, L"the other end hung up"};
    case SerialIoStatus::Ok:
    case SerialIoStatus::Timeout:
        break;
    }
    return Status();
}

// The line settings: everything not named here keeps the driver's value,
// the parity bits (PARENB, PARODD) included.
void SetQvlLine(termios& tio)
{
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
    // No parity checking, no XON/XOFF, no translation of the input.
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON
                                          | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
}

// Waits up to nTimeoutMs for the events asked for in pfd: Ok when poll
// reported something (pfd.revents says what), Timeout when nothing came (or a
// signal broke the wait), Failed with nErrno otherwise.
SerialIoStatus PollOnce(pollfd& pfd, int nTimeoutMs, int& nErrno)
{
    nErrno = 0;
    if (pfd.fd < 0) {
        nErrno = EBADF;
        return SerialIoStatus::Failed;
    }
    const int nReady = poll(&pfd, 1, nTimeoutMs);
    if (nReady < 0) {
        if (errno == EINTR)
            return SerialIoStatus::Timeout;
        nErrno = errno;
        return SerialIoStatus::Failed;
    }
    return nReady == 0 ? SerialIoStatus::Timeout : SerialIoStatus::Ok;
}

SerialIoStatus WriteSome(SerialHandle port, const char* pBytes, size_t n, int nTimeoutMs, size_t& nWritten, int& nErrno)
{
    nWritten = 0;
    const int fd = static_cast<int>(port);
    pollfd pfd{fd, POLLOUT, 0};
    if (const SerialIoStatus status = PollOnce(pfd, nTimeoutMs, nErrno); status != SerialIoStatus::Ok)
        return status;
    if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        nErrno = (pfd.revents & POLLNVAL) ? EBADF : EIO;
        return SerialIoStatus::Failed;
    }
    const ssize_t nDone = write(fd, pBytes, n);
    if (nDone < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return SerialIoStatus::Timeout;
        nErrno = errno;
        return SerialIoStatus::Failed;
    }
    nWritten = static_cast<size_t>(nDone);
    return nWritten > 0 ? SerialIoStatus::Ok : SerialIoStatus::Timeout;
}

SerialIoStatus ReadSome(SerialHandle port, char* pBytes, size_t nMax, int nTimeoutMs, size_t& nRead, int& nErrno)
{
    nRead = 0;
    const int fd = static_cast<int>(port);
    pollfd pfd{fd, POLLIN, 0};
    if (const SerialIoStatus status = PollOnce(pfd, nTimeoutMs, nErrno); status != SerialIoStatus::Ok)
        return status;
    return SerialReadReady(fd, pfd.revents, pBytes, nMax, nRead, nErrno);
}

SerialIoStatus ReadSomeOrWake(SerialHandle port, SerialWake wake, char* pBytes, size_t nMax, int nTimeoutMs,
                              size_t& nRead, int& nErrno)
{
    if (wake == kNoSerialWake)
        return ReadSome(port, pBytes, nMax, nTimeoutMs, nRead, nErrno);
    nRead = 0;
    nErrno = 0;
    const int fd = static_cast<int>(port);
    if (fd < 0) {
        nErrno = EBADF;
        return SerialIoStatus::Failed;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {static_cast<int>(wake), POLLIN, 0}};
    const int nReady = poll(fds, 2, nTimeoutMs);
    if (nReady < 0) {
        if (errno == EINTR)
            return SerialIoStatus::Timeout;
        nErrno = errno;
        return SerialIoStatus::Failed;
    }
    // Bytes that are there are still taken; the caller then sees the stop.
    if (nReady == 0 || fds[0].revents == 0)
        return SerialIoStatus::Timeout;
    return SerialReadReady(fd, fds[0].revents, pBytes, nMax, nRead, nErrno);
}

} // namespace

std::string SerialErrorText(int nErrno)
{
    char szBuf[256] = {};
    return ErrorTextFrom(strerror_r(nErrno, szBuf, sizeof szBuf), szBuf);
}

Status SerialOpenPort(const std::string& strPath, SerialHandle& port, SerialStep* pStep)
{
    int fd = -1;
    port = kNoSerialPort;
    fd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(SerialStep::Open, errno, fd, pStep);
    // The lock keeps cooperating programs (another copy, qvlctl) apart, root
    // included; TIOCEXCL refuses other openers except root while the port is
    // ours. Only the lock's holder sets or clears the flag.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErr = errno;
        close(fd);
        fd = -1;
        return Fail(SerialStep::Open, nErr == EWOULDBLOCK ? EBUSY : nErr, fd, pStep);
    }
    ioctl(fd, TIOCEXCL);

    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return Fail(SerialStep::GetState, errno, fd, pStep);

    tcflush(fd, TCIOFLUSH);

    SetQvlLine(tio);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return Fail(SerialStep::SetState, errno, fd, pStep);

    termios timing{};
    if (tcgetattr(fd, &timing) != 0)
        return Fail(SerialStep::GetTimeouts, errno, fd, pStep);
    // A read returns at once with what is there; poll bounds the wait.
    timing.c_cc[VMIN] = 0;
    timing.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &timing) != 0)
        return Fail(SerialStep::SetTimeouts, errno, fd, pStep);

    // A pseudo-terminal refuses the modem lines; that is harmless.
    int nLines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &nLines);
    port = fd;
    return Status();
}

Status SerialWriteSome(SerialHandle port, const char* pBytes, size_t n, int nTimeoutMs, size_t& nWritten)
{
    int nErrno = 0;
    return ToStatus(WriteSome(port, pBytes, n, nTimeoutMs, nWritten, nErrno), nErrno);
}

Status SerialReadSome(SerialHandle port, char* pBytes, size_t nMax, int nTimeoutMs, size_t& nRead)
{
    int nErrno = 0;
    return ToStatus(ReadSome(port, pBytes, nMax, nTimeoutMs, nRead, nErrno), nErrno);
}

SerialWake SerialWakeCreate()
{
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd < 0 ? kNoSerialWake : fd;
}

void SerialWakeSignal(SerialWake wake)
{
    if (wake == kNoSerialWake)
        return;
    const uint64_t nOne = 1;
    // Non-blocking: a counter that is already set wakes as well.
    const ssize_t n = write(static_cast<int>(wake), &nOne, sizeof nOne);
    (void)n;
}

void SerialWakeClose(SerialWake wake)
{
    if (wake != kNoSerialWake)
        close(static_cast<int>(wake));
}

Status SerialReadSomeOrWake(SerialHandle port, SerialWake wake, char* pBytes, size_t nMax, int nTimeoutMs,
                            size_t& nRead)
{
    int nErrno = 0;
    return ToStatus(ReadSomeOrWake(port, wake, pBytes, nMax, nTimeoutMs, nRead, nErrno), nErrno);
}

SerialIoStatus SerialReadReady(int fd, short nRevents, char* pBytes, size_t nMax, size_t& nRead, int& nErrno)
{
    nRead = 0;
    if (nRevents & POLLNVAL) {
        nErrno = EBADF;
        return SerialIoStatus::Failed;
    }
    // Read what is left even after a hang-up; the next pass sees the end.
    // With VMIN and VTIME at 0 a read of nothing returns 0, so 0 is the end
    // only with a hang-up: input discarded between poll and read is not.
    if (nRevents & POLLIN) {
        const ssize_t nDone = read(fd, pBytes, nMax);
        if (nDone > 0) {
            nRead = static_cast<size_t>(nDone);
            return SerialIoStatus::Ok;
        }
        if (nDone == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return (nRevents & POLLHUP) ? SerialIoStatus::Closed : SerialIoStatus::Timeout;
        nErrno = errno;
        return SerialIoStatus::Failed;
    }
    if (nRevents & POLLHUP)
        return SerialIoStatus::Closed;
    nErrno = EIO;
    return SerialIoStatus::Failed;
}

void SerialClosePort(SerialHandle port)
{
    const int fd = static_cast<int>(port);
    if (fd < 0)
        return;
    tcflush(fd, TCOFLUSH);
    CloseTerminal(fd);
}

void SerialFlushInput(SerialHandle port)
{
    if (port != kNoSerialPort)
        tcflush(static_cast<int>(port), TCIFLUSH);
}
